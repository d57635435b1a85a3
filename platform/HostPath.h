// Host stand-ins only: the system's paths use backslashes, POSIX wants '/'.
#pragma once

#include <algorithm>
#include <string>

namespace platform {

inline std::string HostPath(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

}  // namespace platform
