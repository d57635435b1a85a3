// Stands in for the finaliser an uninstaller starts when it ends: it
// writes the command line it was given beside the program named by its
// first argument, so a test can see that it ran and with what.
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc < 2) return 1;
  std::string marker = std::string(argv[1]) + ".finalised";
  FILE* out = std::fopen(marker.c_str(), "wb");
  if (!out) return 1;
  std::fputs(GetCommandLineA(), out);
  std::fclose(out);
  return 0;
}
