// Host stand-in: no screen to show a box on.
#include "platform/Dialogs.h"

namespace platform {

int SystemMessageBox(const std::string&, const std::string&, unsigned) { return kMessageBoxIdOk; }

}  // namespace platform
