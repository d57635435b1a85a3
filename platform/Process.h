// The running process: the processors it may use, the system's language,
// COM on a thread, and documents or programs started through the shell.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Restricts the process to the first processor; false when the system
// refuses.
bool RestrictToFirstProcessor();

// The system's default language identifier.
uint16_t SystemDefaultLangId();

// COM initialised on the calling thread (default apartment model) for the
// life of the object; a failure to initialise is ignored.
class ComScope {
 public:
  ComScope();
  ~ComScope();
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  bool initialised_ = false;
};

// Opens a file through the shell with its default verb, no owner window,
// no working folder and a normal window, without waiting for it; false
// when the shell could not start it.
bool ShellOpen(const std::string& file, const std::string& parameters);

}  // namespace platform
