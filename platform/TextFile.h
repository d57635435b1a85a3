// The text of a file that an ordinary editor saved, in whichever encoding
// it chose: a byte-order mark names it (UTF-8, UTF-16 little- or
// big-endian); without one, text that is valid UTF-8 is UTF-8 (Notepad's
// default), and anything else is in the system code page.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The file's text without its mark. Broken UTF-8 after a UTF-8 mark shows
// U+FFFD where it breaks; an odd last byte of UTF-16 is dropped.
std::u16string DecodeTextFile(std::string_view bytes);

}  // namespace platform
