// Host stand-in: no screen, so nobody ever watches a box: it is written to
// the error stream and answered as in a run nobody watches, which cancels
// a Retry/Cancel box, so that a test without its own handler can never
// retry forever.
#include "platform/MessageBox.h"
#include "platform/MessageBoxSystem.h"
#include "platform/Text.h"

namespace platform {

int SystemMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  return AnswerUnwatched(AnsiToWide(text), AnsiToWide(caption), flags);
}

int SystemMessageBoxW(const std::u16string& text, const std::u16string& caption, unsigned flags) {
  return AnswerUnwatched(text, caption, flags);
}

void SystemPersonWatching(bool) {}

}  // namespace platform
