// Stand-in for the installer program in tests that need a real Windows
// program carrying the installer's resources (Setup.rc). It only ends with a
// code of its own, so a test can see that a changed copy still runs.
int main() { return 42; }
