// Placeholder until the tool lands.
int main() { return 0; }
