// Keeps the test support library non-empty in every build.
