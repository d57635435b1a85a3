// The system's folder for temporary files.
#pragma once

#include <string>

namespace platform {

// The path as the system reports it, ending in a backslash; empty when
// the code page cannot carry it (NarrowPath).
std::string TempPath();

// A folder in the temporary folder that this process has just made for
// itself (MakePrivateDir) under a random name nobody can predict: the
// temporary folder is shared by every program of the user, so nothing that
// is to be trusted later is ever written there under a name of its own.
// Its path, ending in a backslash; empty when none could be made.
std::string MakePrivateTempFolder();

}  // namespace platform
