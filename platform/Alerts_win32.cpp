#include "platform/Alerts.h"

#include <windows.h>

namespace platform {

void FatalApplicationExit(const std::string& text) {
  FatalAppExitA(0, text.c_str());
  // Not reached: the call ends the process.
  ExitProcess(1);
}

bool AskRetryOrCancel(const std::string& text, const std::string& caption) {
  return MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_RETRYCANCEL | MB_ICONWARNING) == IDRETRY;
}

void EndProcess(unsigned exitCode) { ExitProcess(exitCode); }

}  // namespace platform
