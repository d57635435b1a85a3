#include "platform/ShellProcess.h"

#include <windows.h>
#include <shellapi.h>

namespace platform {

bool StartShellProcess(const std::string& file, const std::string* parameters, void* ownerWindow, int showCommand,
                       uintptr_t& process) {
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.hwnd = static_cast<HWND>(ownerWindow);
  info.lpFile = file.c_str();
  info.lpParameters = parameters ? parameters->c_str() : nullptr;
  info.nShow = showCommand;
  process = 0;
  if (!ShellExecuteExA(&info)) return false;
  process = reinterpret_cast<uintptr_t>(info.hProcess);
  return true;
}

bool ProcessActive(uintptr_t process) {
  DWORD code = 0;
  return process && GetExitCodeProcess(reinterpret_cast<HANDLE>(process), &code) && code == STILL_ACTIVE;
}

void CloseProcess(uintptr_t process) {
  if (process) CloseHandle(reinterpret_cast<HANDLE>(process));
}

}  // namespace platform
