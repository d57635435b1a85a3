// Host stand-in: one processor is all there is to pin, the system speaks
// US English, COM does not exist, and a thread ends only by returning.
#include "platform/Process.h"

namespace platform {

bool RestrictToFirstProcessor() { return true; }

uint16_t SystemDefaultLangId() { return 0x409; }

ComScope::ComScope() {}

ComScope::~ComScope() {}

bool ThreadEnded(std::thread& thread) { return !thread.joinable(); }

}  // namespace platform
