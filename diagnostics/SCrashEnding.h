// A thread's way out of a crash. While one exists on a thread, an error
// report made on that thread (for a fault or exception nothing else took)
// names its stage, when the caller names none, and first runs its ending,
// once: the work the thread was doing is wound up where it safely can be,
// as an installation leaves its log and uninstaller for what it did. The
// ending runs with the exception hook quiet on that thread, and whatever it
// throws or faults, the report is of the error that brought it there.
//
// Header only, so that code which registers an ending needs no link to the
// diagnostics: the report finds it through Current().
#pragma once

#include <functional>
#include <string>
#include <utility>

class TCrashEnding {
 public:
  TCrashEnding(std::string stage, std::function<void()> ending)
      : Stage(std::move(stage)), Ending(std::move(ending)), previous_(Current()) {
    Current() = this;
  }
  ~TCrashEnding() { Current() = previous_; }
  TCrashEnding(const TCrashEnding&) = delete;
  TCrashEnding& operator=(const TCrashEnding&) = delete;

  // The innermost ending of the calling thread, or none.
  static TCrashEnding*& Current() {
    static thread_local TCrashEnding* current = nullptr;
    return current;
  }

  const std::string Stage;
  std::function<void()> Ending;  // emptied by the report that runs it

 private:
  TCrashEnding* previous_;
};
