// Host stand-in: nothing is started; each start is recorded and behaves as
// the test set up (HostSystem.h).
#include <map>
#include <mutex>

#include "platform/HostSystem.h"
#include "platform/ShellProcess.h"

namespace platform {
namespace {

std::mutex startLock;
host::ShellProcessOutcome outcome;
std::vector<host::ShellProcessStart> starts;
std::map<uintptr_t, int> activeReads;  // reads left before each process ends
uintptr_t nextProcess = 1;

}  // namespace

bool StartShellProcess(const std::string& file, const std::string* parameters, void* ownerWindow, int showCommand,
                       uintptr_t& process) {
  std::lock_guard<std::mutex> guard(startLock);
  starts.push_back({file, parameters != nullptr, parameters ? *parameters : "", ownerWindow, showCommand});
  process = 0;
  if (!outcome.Starts) return false;
  if (outcome.KeepsProcess) {
    process = nextProcess++;
    activeReads[process] = outcome.ActiveReads;
  }
  return true;
}

bool ProcessActive(uintptr_t process) {
  std::lock_guard<std::mutex> guard(startLock);
  auto it = activeReads.find(process);
  if (it == activeReads.end() || it->second <= 0) return false;
  --it->second;
  return true;
}

void CloseProcess(uintptr_t process) {
  std::lock_guard<std::mutex> guard(startLock);
  activeReads.erase(process);
}

void host::SetShellProcessOutcome(const ShellProcessOutcome& next) {
  std::lock_guard<std::mutex> guard(startLock);
  outcome = next;
}

std::vector<host::ShellProcessStart> host::TakeShellProcessStarts() {
  std::lock_guard<std::mutex> guard(startLock);
  std::vector<ShellProcessStart> taken;
  taken.swap(starts);
  return taken;
}

size_t host::OpenShellProcesses() {
  std::lock_guard<std::mutex> guard(startLock);
  return activeReads.size();
}

}  // namespace platform
