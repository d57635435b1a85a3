// Host stand-in: the host's names are all the 8-bit text there is, and it
// keeps no short names, as a Windows volume that keeps none.
#include "platform/WidePathSystem.h"

namespace platform {

bool ShortPathOf(const std::u16string&, std::u16string&) { return false; }

bool LongPathOf(const std::u16string&, std::u16string&) { return false; }

}  // namespace platform
