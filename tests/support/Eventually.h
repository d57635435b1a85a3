// Waiting for something another thread or process does, in tests that drive
// windows. The limit is generous: a first window under Wine on a busy machine
// can take many seconds, and a test that gives up early either fails for
// nothing or leaves a modal box nobody answers.
#pragma once

#include <chrono>
#include <thread>

namespace testing_support {

constexpr std::chrono::seconds kPatience{60};

// True as soon as the condition holds; false when it still does not after
// the limit.
template <typename Condition>
bool Eventually(Condition condition, std::chrono::milliseconds limit = kPatience) {
  auto until = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace testing_support
