// The system's own message boxes behind platform/MessageBox.h.
#pragma once

#include <string>

namespace platform {

int SystemMessageBox(const std::string& text, const std::string& caption, unsigned flags);
int SystemMessageBoxW(const std::u16string& text, const std::u16string& caption, unsigned flags);
// Keeps the system's own boxes (a critical error of a drive) from stopping
// a run that nobody watches.
void SystemPersonWatching(bool watching);

// A box that nobody watches: its line on standard error, and its answer.
int AnswerUnwatched(const std::u16string& text, const std::u16string& caption, unsigned flags);

}  // namespace platform
