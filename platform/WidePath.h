// Paths between the system's own 16-bit names and the 8-bit text in the
// system code page in which the programs keep them. A name the code page
// cannot hold is carried by its short (8.3) form, which names the same file
// or folder; a path that has neither form is refused by its callers, never
// replaced by a look-alike that would name another one.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// The longest path the system's 8-bit calls take: MAX_PATH less its
// terminator.
constexpr size_t kMaxPath = 259;

// The 8-bit path that names what `path` names: the same text when the code
// page holds all of it, else the short form of its longest leading part that
// exists followed by the rest, when the code page holds that. Empty when it
// has neither: a part the code page cannot hold does not exist yet, or its
// volume keeps no short names.
std::string NarrowPath(const std::u16string& path);
// NarrowPath, or where that gives nothing, the path with a '?' for each
// character the code page does not have, which names no file at all: for
// a path that is kept, and refused only where it is used.
std::string NarrowPathOrMarked(const std::u16string& path);
// Why NarrowPath gives nothing, as the rest of a sentence about the path.
constexpr char kNoNarrowPath[] =
    "holds characters the system's code page does not have, and no short (8.3) name stands for it";

// A path as the system names it and its user knows it, for messages: the
// long names of its existing leading part (where an 8-bit path may hold
// short ones), then the rest as it is.
std::u16string WidePath(const std::string& path);

}  // namespace platform
