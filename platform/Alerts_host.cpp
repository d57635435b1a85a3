// Host stand-in: nobody sits in front of a native test run, so the text goes
// to the error stream.
#include "platform/Alerts.h"

#include <cstdio>
#include <cstdlib>

namespace platform {

void FatalApplicationExit(const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
  std::_Exit(1);
}

void EndProcess(unsigned exitCode) { std::_Exit(static_cast<int>(exitCode)); }

}  // namespace platform
