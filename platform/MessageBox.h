// Message boxes without an owner window: the error and question boxes of
// the programs. A test may put a handler in place of the system's box, on
// every build; without one the Windows build shows the box, and the host
// build, which has no screen, treats it as a box nobody watches (below).
//
// Whether a person watches the run is decided here, once for every box: a
// run that a mod manager or a script started must never wait for a click
// nobody will give.
#pragma once

#include <functional>
#include <string>

namespace platform {

// Buttons and icons, and the answers, with the system's values.
enum : unsigned {
  kMbOk = 0x0,
  kMbOkCancel = 0x1,
  kMbRetryCancel = 0x5,
  kMbYesNo = 0x4,
  kMbIconError = 0x10,
  kMbIconQuestion = 0x20,
  kMbIconWarning = 0x30,
  kMbIconInformation = 0x40,
};
enum : int { kIdOk = 1, kIdCancel = 2, kIdRetry = 4, kIdYes = 6, kIdNo = 7 };

// 8-bit text in the system code page, or Unicode text.
int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags);
int ShowMessageBoxW(const std::u16string& text, const std::u16string& caption, unsigned flags);

// Receives every box instead of the system (Unicode boxes converted to
// 8-bit); an empty handler restores the system's boxes. Returns the handler
// it replaces, so nested replacements restore in order.
using MessageBoxHandler = std::function<int(const std::string& text, const std::string& caption, unsigned flags)>;
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// Whether a person watches the run and can answer a box: true unless the
// program says otherwise. When nobody does, no box is shown and nothing
// waits: each box is written as one line, "caption: text" with its line
// breaks as blanks, to the standard error the program was started with
// (nowhere when it has none), and takes the answer that lets the run end:
// Cancel of a Retry/Cancel box, otherwise its first button. Nor does the
// system stop the run with a box of its own (a drive without its disk).
void SetPersonWatching(bool watching);
bool PersonWatching();

}  // namespace platform
