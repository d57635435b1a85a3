#include "platform/MessageBox.h"

#include <atomic>

#include "platform/Console.h"
#include "platform/MessageBoxSystem.h"
#include "platform/Text.h"

namespace platform {

namespace {

MessageBoxHandler& Handler() {
  static MessageBoxHandler handler;
  return handler;
}

std::atomic<bool> personWatching{true};

}  // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  MessageBoxHandler before = std::move(Handler());
  Handler() = std::move(handler);
  return before;
}

void SetPersonWatching(bool watching) {
  personWatching = watching;
  SystemPersonWatching(watching);
}

bool PersonWatching() { return personWatching; }

int AnswerUnwatched(const std::u16string& text, const std::u16string& caption, unsigned flags) {
  // One line per box, so that a reader of the stream can tell them apart;
  // a name outside the code page stays as it is (WriteErrorLine).
  std::u16string line = caption + u": ";
  for (size_t i = 0; i < text.size(); ++i) {
    const bool lineBreak = text[i] == u'\r' || text[i] == u'\n';
    if (!lineBreak)
      line += text[i];
    else if (i == 0 || (text[i - 1] != u'\r' && text[i - 1] != u'\n'))
      line += u' ';
  }
  WriteErrorLine(line);
  // Retrying what just failed would fail again for ever; every other box
  // goes on as its first button does (OK, Yes).
  switch (flags & 0xF) {
    case kMbRetryCancel:
      return kIdCancel;
    case kMbYesNo:
      return kIdYes;
    default:
      return kIdOk;
  }
}

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  if (Handler()) return Handler()(text, caption, flags);
  if (!PersonWatching()) return AnswerUnwatched(AnsiToWide(text), AnsiToWide(caption), flags);
  return SystemMessageBox(text, caption, flags);
}

int ShowMessageBoxW(const std::u16string& text, const std::u16string& caption, unsigned flags) {
  if (Handler()) return Handler()(WideToAnsi(text), WideToAnsi(caption), flags);
  if (!PersonWatching()) return AnswerUnwatched(text, caption, flags);
  return SystemMessageBoxW(text, caption, flags);
}

}  // namespace platform
