// The version resource API, from the system folder's version.dll (not a
// known DLL, so it is not imported).
#include <windows.h>

#include <cstdio>
#include <vector>

#include "platform/Libraries_win32.h"
#include "platform/Program.h"
#include "platform/Version.h"

namespace platform {
namespace {

struct TVersionApi {
  decltype(&GetFileVersionInfoSizeA) InfoSize = nullptr;
  decltype(&GetFileVersionInfoA) Info = nullptr;
  decltype(&VerQueryValueA) Query = nullptr;
};

TVersionApi LoadVersionApi() {
  HMODULE library = LoadSystemLibrary(L"version.dll");
  TVersionApi api;
  api.InfoSize = LibraryFunction<decltype(api.InfoSize)>(library, "GetFileVersionInfoSizeA");
  api.Info = LibraryFunction<decltype(api.Info)>(library, "GetFileVersionInfoA");
  api.Query = LibraryFunction<decltype(api.Query)>(library, "VerQueryValueA");
  return api;
}

bool QueryText(const TVersionApi& api, std::vector<char>& block, const std::string& path, std::string& text) {
  char* value = nullptr;
  UINT length = 0;
  if (!api.Query(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) || !value) return false;
  text.assign(value, length && value[length - 1] == '\0' ? length - 1 : length);
  return true;
}

}  // namespace

std::string OwnFileVersion() {
  const TVersionApi api = LoadVersionApi();
  if (!api.InfoSize || !api.Info || !api.Query) return "";
  const std::string path = ProgramFile();
  if (path.empty()) return "";
  DWORD handle = 0;
  DWORD size = api.InfoSize(path.c_str(), &handle);
  if (size == 0) return "";
  std::vector<char> block(size);
  if (!api.Info(path.c_str(), 0, size, block.data())) return "";
  std::string version;
  WORD* translation = nullptr;
  UINT length = 0;
  if (api.Query(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) &&
      translation && length >= 4) {
    char code[16];
    std::snprintf(code, sizeof code, "%.4x%.4x", translation[0], translation[1]);
    if (QueryText(api, block, std::string("\\StringFileInfo\\") + code + "\\FileVersion", version)) return version;
  }
  if (QueryText(api, block, "\\StringFileInfo\\040504E2\\FileVersion", version)) return version;
  return "";
}

}  // namespace platform
