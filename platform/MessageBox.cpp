#include "platform/MessageBox.h"

#include <mutex>

#include "platform/MessageBoxSystem.h"
#include "platform/Text.h"

namespace platform {

namespace {

// Boxes come from the setup thread as well as from the window's thread.
std::mutex handlerLock;

MessageBoxHandler& Handler() {
  static MessageBoxHandler handler;
  return handler;
}

MessageBoxHandler CurrentHandler() {
  std::lock_guard<std::mutex> guard(handlerLock);
  return Handler();
}

}  // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  std::lock_guard<std::mutex> guard(handlerLock);
  std::swap(Handler(), handler);
  return handler;
}

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  if (MessageBoxHandler handler = CurrentHandler()) return handler(text, caption, flags);
  return SystemMessageBox(text, caption, flags);
}

int ShowMessageBoxW(const std::u16string& text, const std::u16string& caption, unsigned flags) {
  if (MessageBoxHandler handler = CurrentHandler()) return handler(WideToAnsi(text), WideToAnsi(caption), flags);
  return SystemMessageBoxW(text, caption, flags);
}

}  // namespace platform
