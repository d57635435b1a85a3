// The last words of a program: the system's fatal-application-exit box, a
// Retry/Cancel question before giving up, and ending the process.
#pragma once

#include <string>

namespace platform {

// Shows the system's fatal-application-exit box with the text and ends the
// process without any cleanup.
[[noreturn]] void FatalApplicationExit(const std::string& text);
// A box with the caption, a warning icon and the buttons Retry and Cancel,
// without an owner window; true for Retry.
bool AskRetryOrCancel(const std::string& text, const std::string& caption);
// Ends the process at once with the exit code.
[[noreturn]] void EndProcess(unsigned exitCode);

}  // namespace platform
