// Message boxes without an owner window, as shown by the installer's worker
// code. Tests put a handler in place of the system's box, so nothing waits
// for a click.
#pragma once

#include <functional>
#include <string>

namespace platform {

// Buttons and the answers, with the system's values.
constexpr unsigned kMessageBoxOk = 0x0;
constexpr unsigned kMessageBoxRetryCancel = 0x5;
constexpr unsigned kMessageBoxIconWarning = 0x30;
constexpr int kMessageBoxIdOk = 1;
constexpr int kMessageBoxIdRetry = 4;

using MessageBoxHandler = std::function<int(const std::string& text, const std::string& caption, unsigned flags)>;

// Shows 8-bit text in the system code page; the button chosen.
int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags);
// Puts a handler in place of the system's box (an empty one restores the
// box); returns the handler it replaces.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// The system's own box; on the host, which has none, the first button.
int SystemMessageBox(const std::string& text, const std::string& caption, unsigned flags);

}  // namespace platform
