// Host stand-in: nothing is shown; each box is recorded and answered with
// the next queued answer, or with its first button when none is queued.
#include <deque>
#include <mutex>

#include "platform/Dialog.h"
#include "platform/HostSystem.h"

namespace platform {
namespace {

std::mutex boxLock;
std::deque<int> answers;
std::vector<host::ShownBox> shown;

int FirstButton(unsigned flags) {
  switch (flags & 0xF) {
    case kMbYesNo: return kIdYes;
    case kMbRetryCancel: return kIdRetry;
    default: return kIdOk;
  }
}

}  // namespace

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  std::lock_guard<std::mutex> guard(boxLock);
  shown.push_back({text, caption, flags});
  if (answers.empty()) return FirstButton(flags);
  int answer = answers.front();
  answers.pop_front();
  return answer;
}

void host::QueueBoxAnswers(const std::vector<int>& list) {
  std::lock_guard<std::mutex> guard(boxLock);
  answers.assign(list.begin(), list.end());
}

std::vector<host::ShownBox> host::TakeShownBoxes() {
  std::lock_guard<std::mutex> guard(boxLock);
  std::vector<ShownBox> taken;
  taken.swap(shown);
  return taken;
}

}  // namespace platform
