// The system's short and long forms of a path, behind platform/WidePath.h.
#pragma once

#include <string>

namespace platform {

// The short (8.3) and the long form of an existing file or folder; false
// when it does not exist or the system has no such form for it.
bool ShortPathOf(const std::u16string& existing, std::u16string& shortPath);
bool LongPathOf(const std::u16string& existing, std::u16string& longPath);

}  // namespace platform
