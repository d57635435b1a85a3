// The running process: the processors it may use, the system's language,
// COM on a thread and whether a thread still runs.
#pragma once

#include <cstdint>
#include <thread>

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

// Whether the thread has ended, also when the system ended it without its
// body returning (a thread that faulted where nothing could handle it). A
// thread that is not joinable counts as ended. On the host a thread ends
// only by returning from its body, so its stand-in counts every joinable
// thread as running.
bool ThreadEnded(std::thread& thread);

}  // namespace platform
