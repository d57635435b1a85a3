// The system's folder for temporary files.
#pragma once

#include <string>

namespace platform {

// The path as the system reports it, ending in a backslash.
std::string TempPath();

}  // namespace platform
