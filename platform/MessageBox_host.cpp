// Host stand-in: no screen; the box is written to the error stream and its
// first button is taken, but a Retry/Cancel box is cancelled, so that a test
// without its own handler can never retry forever.
#include <cstdio>

#include "platform/MessageBox.h"
#include "platform/MessageBoxSystem.h"
#include "platform/Text.h"

namespace platform {

int SystemMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
  switch (flags & 0xF) {
    case kMbYesNo:
      return kIdYes;
    case kMbRetryCancel:
      return kIdCancel;
    default:
      return kIdOk;
  }
}

int SystemMessageBoxW(const std::u16string& text, const std::u16string& caption, unsigned flags) {
  return SystemMessageBox(WideToAnsi(text), WideToAnsi(caption), flags);
}

}  // namespace platform
