// The running program itself.
#pragma once

#include <string>

namespace platform {

// Full path of the running program's file; empty when the system cannot
// tell it.
std::string ProgramFile();

}  // namespace platform
