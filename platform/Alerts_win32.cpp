#include "platform/Alerts.h"

#include <windows.h>

namespace platform {

void FatalApplicationExit(const std::string& text) {
  FatalAppExitA(0, text.c_str());
  // Not reached: the call ends the process.
  ExitProcess(1);
}

void EndProcess(unsigned exitCode) { ExitProcess(exitCode); }

}  // namespace platform
