#include "platform/MessageBox.h"

#include "platform/MessageBoxSystem.h"
#include "platform/Text.h"

namespace platform {

namespace {
MessageBoxHandler& Handler() {
  static MessageBoxHandler handler;
  return handler;
}
}  // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  MessageBoxHandler before = std::move(Handler());
  Handler() = std::move(handler);
  return before;
}

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  if (Handler()) return Handler()(text, caption, flags);
  return SystemMessageBox(text, caption, flags);
}

int ShowMessageBoxW(const std::u16string& text, const std::u16string& caption, unsigned flags) {
  if (Handler()) return Handler()(WideToAnsi(text), WideToAnsi(caption), flags);
  return SystemMessageBoxW(text, caption, flags);
}

}  // namespace platform
