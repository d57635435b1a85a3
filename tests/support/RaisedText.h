// The message of what a call raises, for tests of error texts.
#pragma once

#include <exception>
#include <string>

namespace testing_support {

// The exception's message, or "" when the call raises nothing.
template <class Fn>
std::string RaisedText(Fn fn) {
  try {
    fn();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

}  // namespace testing_support
