// The last words of a program: the system's fatal-application-exit box, and
// ending the process.
#pragma once

#include <string>

namespace platform {

// Shows the system's fatal-application-exit box with the text and ends the
// process without any cleanup.
[[noreturn]] void FatalApplicationExit(const std::string& text);
// Ends the process at once with the exit code.
[[noreturn]] void EndProcess(unsigned exitCode);

}  // namespace platform
