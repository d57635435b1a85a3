// Stands in for the finaliser an uninstaller starts when it ends: it
// writes the command line it was given and, on a line of its own, its own
// path beside the program named by its first argument, so a test can see
// that it ran, with what and from where.
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc < 2) return 1;
  std::string marker = std::string(argv[1]) + ".finalised";
  char self[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  FILE* out = std::fopen(marker.c_str(), "wb");
  if (!out) return 1;
  std::fprintf(out, "%s\n%s", GetCommandLineA(), self);
  std::fclose(out);
  return 0;
}
