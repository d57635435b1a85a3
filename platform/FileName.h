// Rules of Windows file names that hold on every build, so a name from an
// archive, a log or a script is judged the same on the host as on Windows.
#pragma once

#include <string_view>

namespace platform {

// Whether one path segment names a device (CON, PRN, AUX, NUL, COM1-COM9,
// LPT1-LPT9, CONIN$, CONOUT$) in any case, with or without an extension and
// trailing dots or blanks: Windows opens the device for such a name in
// every folder, so it can never be a file of its own.
bool IsDeviceName(std::string_view segment);

// Whether one path segment can be the name of a file or folder of its own:
// not empty, no character a file name cannot hold ("*:<>?|/\ and control
// characters), no trailing dot or blank (Windows drops them, so the name
// would stand for another one) and not a device name.
bool IsPlainFileName(std::string_view segment);

// Whether a path names one file or folder plainly: a drive letter, ":\"
// and at least one name, each a plain file name (so no "." or "..", no
// device, no stream after a ":"), separated by single backslashes, with at
// most one backslash at the end. Relative paths, "\\server\share" and
// "\\?\" forms are not.
bool IsPlainAbsolutePath(std::string_view path);

}  // namespace platform
