// The program's own version, from its version resource.
#pragma once

#include <string>

namespace platform {

// The FileVersion string of the running program's version resource, looked
// up under its first translation and then under 040504E2; empty when there
// is none.
std::string OwnFileVersion();

}  // namespace platform
