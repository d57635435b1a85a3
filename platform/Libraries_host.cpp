// Host stand-in: native programs load nothing by name.
#include "platform/Libraries.h"

namespace platform {

void LoadLibrariesFromSystemFolderOnly() {}

}  // namespace platform
