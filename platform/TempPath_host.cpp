// Host stand-in: $TMPDIR or /tmp, written as the system writes paths (drive
// Z: for the host's root, as Wine shows it, backslashes, a trailing one).
#include <algorithm>
#include <cstdlib>

#include "platform/TempPath.h"

namespace platform {

std::string TempPath() {
  const char* dir = std::getenv("TMPDIR");
  std::string path = std::string("Z:") + (dir && *dir == '/' ? dir : "/tmp");
  std::replace(path.begin(), path.end(), '/', '\\');
  if (path.back() != '\\') path += '\\';
  return path;
}

}  // namespace platform
