// While a THookQuietScope exists on a thread, that thread's raises pass the
// exception hook untraced, and strict mode does not end them: work done on
// the way to the report of an error (finishing an installation) may throw
// and catch without replacing the trace of that error.
//
// Header only, so that code which works that way needs no link to the
// diagnostics.
#pragma once

class THookQuietScope {
 public:
  THookQuietScope() : previous_(Quiet()) { Quiet() = true; }
  ~THookQuietScope() { Quiet() = previous_; }
  THookQuietScope(const THookQuietScope&) = delete;
  THookQuietScope& operator=(const THookQuietScope&) = delete;

 private:
  friend bool HookQuietOnThisThread();
  static bool& Quiet() {
    static thread_local bool quiet = false;
    return quiet;
  }

  bool previous_;
};

inline bool HookQuietOnThisThread() { return THookQuietScope::Quiet(); }
