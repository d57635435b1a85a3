// The running program itself.
#pragma once

#include <string>

namespace platform {

// Full path of the running program's file as the system names it; empty
// when the system cannot tell it.
std::u16string ProgramFileWide();
// The same as 8-bit text (NarrowPath): empty also when the code page can
// carry it neither as it is nor by its short form.
std::string ProgramFile();

}  // namespace platform
