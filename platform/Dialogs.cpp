#include "platform/Dialogs.h"

#include <mutex>

namespace platform {
namespace {

std::mutex handlerLock;
MessageBoxHandler handler;

}  // namespace

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  MessageBoxHandler current;
  {
    std::lock_guard<std::mutex> guard(handlerLock);
    current = handler;
  }
  return current ? current(text, caption, flags) : SystemMessageBox(text, caption, flags);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler replacement) {
  std::lock_guard<std::mutex> guard(handlerLock);
  std::swap(handler, replacement);
  return replacement;
}

}  // namespace platform
