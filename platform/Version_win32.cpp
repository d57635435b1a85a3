// The version resource API.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "platform/Version.h"

namespace platform {
namespace {

bool QueryText(std::vector<char>& block, const std::string& path, std::string& text) {
  char* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) || !value) return false;
  text.assign(value, length && value[length - 1] == '\0' ? length - 1 : length);
  return true;
}

}  // namespace

std::string OwnFileVersion() {
  char path[MAX_PATH + 1] = {0};
  if (!GetModuleFileNameA(nullptr, path, MAX_PATH)) return "";
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &handle);
  if (size == 0) return "";
  std::vector<char> block(size);
  if (!GetFileVersionInfoA(path, 0, size, block.data())) return "";
  std::string version;
  WORD* translation = nullptr;
  UINT length = 0;
  if (VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) &&
      translation && length >= 4) {
    char code[16];
    std::snprintf(code, sizeof code, "%.4x%.4x", translation[0], translation[1]);
    if (QueryText(block, std::string("\\StringFileInfo\\") + code + "\\FileVersion", version)) return version;
  }
  if (QueryText(block, "\\StringFileInfo\\040504E2\\FileVersion", version)) return version;
  return "";
}

}  // namespace platform
