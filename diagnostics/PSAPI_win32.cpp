// The module list through psapi.dll itself (not its later copies in
// kernel32), so that it works on every Windows the programs run on. It is
// a known DLL only from Windows 7 on, so it is loaded from the system folder
// rather than imported; loaded with the program, so that a fault is never
// the first to load it.
#define PSAPI_VERSION 1
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "diagnostics/PSAPI.h"
#include "platform/Libraries_win32.h"
#include "platform/WidePath.h"

namespace {

struct THandleCloser {
  void operator()(HANDLE h) const { CloseHandle(h); }
};

struct TPsapi {
  decltype(&EnumProcessModules) EnumModules = nullptr;
  decltype(&GetModuleFileNameExW) ModuleFileName = nullptr;
  decltype(&GetModuleInformation) ModuleInformation = nullptr;
};

TPsapi LoadPsapi() {
  using platform::LibraryFunction;
  HMODULE library = platform::LoadSystemLibrary(L"psapi.dll");
  TPsapi api;
  api.EnumModules = LibraryFunction<decltype(api.EnumModules)>(library, "EnumProcessModules");
  api.ModuleFileName = LibraryFunction<decltype(api.ModuleFileName)>(library, "GetModuleFileNameExW");
  api.ModuleInformation = LibraryFunction<decltype(api.ModuleInformation)>(library, "GetModuleInformation");
  return api;
}

const TPsapi Psapi = LoadPsapi();

}  // namespace

void RefreshModuleList() {
  ModuleList.Clear();
  std::unique_ptr<void, THandleCloser> process(
      OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, GetCurrentProcessId()));
  if (!process || !Psapi.EnumModules || !Psapi.ModuleFileName || !Psapi.ModuleInformation) return;
  std::vector<HMODULE> modules(kMaxModules);
  DWORD needed = 0;
  if (Psapi.EnumModules(process.get(), modules.data(), static_cast<DWORD>(modules.size() * sizeof(HMODULE)), &needed)) {
    size_t count = std::min<size_t>(needed / sizeof(HMODULE), kMaxModules);
    for (size_t i = 0; i < count; ++i) {
      wchar_t name[MAX_PATH];
      MODULEINFO info;
      DWORD length = Psapi.ModuleFileName(process.get(), modules[i], name, MAX_PATH);
      if (length == 0 || !Psapi.ModuleInformation(process.get(), modules[i], &info, sizeof info)) continue;
      // A module in a folder the code page cannot name is read by its short
      // form; a look-alike name would open nothing or another file.
      const std::string path =
          platform::NarrowPathOrMarked(std::u16string(reinterpret_cast<const char16_t*>(name), length));
      ModuleList.Add(path, reinterpret_cast<uintptr_t>(info.lpBaseOfDll), info.SizeOfImage);
    }
  }
  ModuleList.Sort();
}
