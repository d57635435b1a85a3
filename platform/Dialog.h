// Message boxes of the installer's worker code: modal, without an owner
// window, 8-bit text in the system code page. The host stand-in records
// every box and answers from a queue a test fills (HostSystem.h).
#pragma once

#include <string>

namespace platform {

// Buttons, icons and answers, with the system's values.
enum : unsigned {
  kMbOk = 0x0,
  kMbOkCancel = 0x1,
  kMbYesNo = 0x4,
  kMbRetryCancel = 0x5,
  kMbIconError = 0x10,
  kMbIconQuestion = 0x20,
  kMbIconWarning = 0x30,
  kMbIconInformation = 0x40,
};
enum : int { kIdOk = 1, kIdCancel = 2, kIdRetry = 4, kIdYes = 6, kIdNo = 7 };

// Shows the box and waits for it to be closed; the answer.
int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags);

}  // namespace platform
