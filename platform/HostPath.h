// How the host stand-ins read the system's paths: backslashes become
// slashes, and a drive letter names the host's root, as Wine's drive Z: does
// ("Z:\work\a" is /work/a). Included by *_host.cpp files only.
#pragma once

#include <algorithm>
#include <string>

namespace platform {

inline std::string HostPath(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  bool drive = path.size() >= 3 && path[1] == ':' && path[2] == '/' &&
               ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  if (drive) path.erase(0, 2);
  return path;
}

}  // namespace platform
