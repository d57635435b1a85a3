// Host stand-in: native programs carry no version resource.
#include "platform/Version.h"

namespace platform {

std::string OwnFileVersion() { return ""; }

}  // namespace platform
