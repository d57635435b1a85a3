// The module list through psapi.dll itself (not its later copies in
// kernel32), so that it works on every Windows the programs run on.
#define PSAPI_VERSION 1
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "diagnostics/PSAPI.h"

namespace {

struct THandleCloser {
  void operator()(HANDLE h) const { CloseHandle(h); }
};

}  // namespace

void RefreshModuleList() {
  ModuleList.Clear();
  std::unique_ptr<void, THandleCloser> process(
      OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, GetCurrentProcessId()));
  if (!process) return;
  std::vector<HMODULE> modules(kMaxModules);
  DWORD needed = 0;
  if (EnumProcessModules(process.get(), modules.data(), static_cast<DWORD>(modules.size() * sizeof(HMODULE)),
                         &needed)) {
    size_t count = std::min<size_t>(needed / sizeof(HMODULE), kMaxModules);
    for (size_t i = 0; i < count; ++i) {
      char name[MAX_PATH];
      MODULEINFO info;
      DWORD length = GetModuleFileNameExA(process.get(), modules[i], name, MAX_PATH);
      if (length == 0 || !GetModuleInformation(process.get(), modules[i], &info, sizeof info)) continue;
      ModuleList.Add(std::string(name, length), reinterpret_cast<uintptr_t>(info.lpBaseOfDll), info.SizeOfImage);
    }
  }
  ModuleList.Sort();
}
