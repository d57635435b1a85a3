// Host stand-in: one processor is all there is to pin, the language is the
// one a test sets (US English by default), COM does not exist, and started
// programs are recorded for the test instead of run.
#include "platform/Process.h"

#include <mutex>
#include <vector>

#include "platform/HostSystem.h"

namespace platform {
namespace {

std::mutex tableLock;
uint16_t langId = 0x409;
std::vector<host::ShellStart> starts;

}  // namespace

void host::SetSystemLangId(uint16_t id) {
  std::lock_guard<std::mutex> guard(tableLock);
  langId = id;
}

std::vector<host::ShellStart> host::TakeShellStarts() {
  std::lock_guard<std::mutex> guard(tableLock);
  std::vector<host::ShellStart> taken;
  taken.swap(starts);
  return taken;
}

bool RestrictToFirstProcessor() { return true; }

uint16_t SystemDefaultLangId() {
  std::lock_guard<std::mutex> guard(tableLock);
  return langId;
}

ComScope::ComScope() {}

ComScope::~ComScope() {}

bool ShellOpen(const std::string& file, const std::string& parameters) {
  std::lock_guard<std::mutex> guard(tableLock);
  starts.push_back({file, parameters});
  return true;
}

}  // namespace platform
