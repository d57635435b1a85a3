// The system's own message boxes behind platform/MessageBox.h.
#pragma once

#include <string>

namespace platform {

int SystemMessageBox(const std::string& text, const std::string& caption, unsigned flags);
int SystemMessageBoxW(const std::u16string& text, const std::u16string& caption, unsigned flags);

}  // namespace platform
