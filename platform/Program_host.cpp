// Host stand-in: the kernel's link to the running executable.
#include "platform/Program.h"

#include <unistd.h>

#include "platform/Text.h"

namespace platform {

std::u16string ProgramFileWide() {
  std::string path(4096, '\0');
  ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0 || static_cast<size_t>(n) >= path.size()) return {};
  return AnsiToWide(path.substr(0, static_cast<size_t>(n)));
}

}  // namespace platform
