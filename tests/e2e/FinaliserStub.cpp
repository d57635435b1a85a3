// Stands in for the finaliser an uninstaller starts when it ends: it
// writes the command line it was given and, on a line of its own, its own
// path beside the program named by its first argument, so a test can see
// that it ran, with what and from where. The marker is written under
// another name and renamed, so a test that sees it can read it whole.
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc < 2) return 1;
  std::string marker = std::string(argv[1]) + ".finalised";
  char self[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  const std::string partial = marker + ".part";
  FILE* out = std::fopen(partial.c_str(), "wb");
  if (!out) return 1;
  std::fprintf(out, "%s\n%s", GetCommandLineA(), self);
  std::fclose(out);
  return MoveFileExA(partial.c_str(), marker.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
