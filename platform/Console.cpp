#include "platform/Console.h"

#include <cstdio>

namespace platform {

void WriteOutputLine(const std::string& text) {
  std::fputs((text + "\n").c_str(), stdout);
  std::fflush(stdout);
}

void WriteErrorLine(const std::string& text) {
  std::fputs((text + "\n").c_str(), stderr);
  std::fflush(stderr);
}

}  // namespace platform
