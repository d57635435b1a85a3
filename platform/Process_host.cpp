// Host stand-in: one processor is all there is to pin, the system speaks
// US English, and COM does not exist.
#include "platform/Process.h"

namespace platform {

bool RestrictToFirstProcessor() { return true; }

uint16_t SystemDefaultLangId() { return 0x409; }

ComScope::ComScope() {}

ComScope::~ComScope() {}

}  // namespace platform
