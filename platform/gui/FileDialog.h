// The system's dialogs that pick a file to open or a name to save under.
// Paths are 8-bit text in the system code page.
#pragma once

#include <string>

namespace gui {

// A filter written as "Text|*.ext|Text2|*.a;*.b" in the form the dialogs
// take: each part ended by a zero character, the list by one more.
std::string FileDialogFilter(const std::string& filter);

// Windows only. Modal to `owner` (a window handle, or null); false when the
// user cancels, otherwise fileName holds the chosen path. The save dialog
// adds defaultExt (without its dot) to a name typed without extension.
bool OpenFileDialog(void* owner, const std::string& filter, std::string& fileName);
bool SaveFileDialog(void* owner, const std::string& filter, const std::string& defaultExt, std::string& fileName);

}  // namespace gui
