// Placeholder until the payload units land.
