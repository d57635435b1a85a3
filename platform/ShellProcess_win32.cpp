#include "platform/ShellProcess.h"

#include <windows.h>
#include <shellapi.h>

namespace platform {

bool StartShellProcess(const std::string& file, const std::string* parameters, void* ownerWindow, int showCommand,
                       uintptr_t& process) {
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  // A file that cannot be opened fails the call: the shell's own error box
  // would stop the run until someone answers it, and names nothing.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
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
  // The handle, not the exit code: a program may end with the code the
  // system uses for "still active" (259), and would then be waited for for
  // ever.
  return process && WaitForSingleObject(reinterpret_cast<HANDLE>(process), 0) == WAIT_TIMEOUT;
}

void CloseProcess(uintptr_t process) {
  if (process) CloseHandle(reinterpret_cast<HANDLE>(process));
}

}  // namespace platform
