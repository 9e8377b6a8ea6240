/* A library that only carries a version resource for the version tests. */
__declspec(dllexport) int QxVersionProbe(void) { return 0; }
