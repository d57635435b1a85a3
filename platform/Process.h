// The running process: the processors it may use, the system's language and
// COM on a thread.
#pragma once

#include <cstdint>

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

}  // namespace platform
