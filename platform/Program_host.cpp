// Host stand-in: the kernel's link to the running executable.
#include "platform/Program.h"

#include <unistd.h>

namespace platform {

std::string ProgramFile() {
  std::string path(4096, '\0');
  ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0 || static_cast<size_t>(n) >= path.size()) return {};
  return path.substr(0, static_cast<size_t>(n));
}

}  // namespace platform
