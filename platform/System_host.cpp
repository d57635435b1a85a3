// Host stand-in: the real process environment; drives and shell folders
// come from the table a test sets up (HostSystem.h).
#include "platform/System.h"

#include <mutex>
#include <vector>

#include "platform/HostSystem.h"
#include "platform/Text.h"

extern char** environ;

namespace platform {
namespace {

std::mutex tableLock;
std::vector<std::pair<std::string, unsigned>> drives;

}  // namespace

void host::SetDrives(const std::vector<std::pair<std::string, unsigned>>& list) {
  std::lock_guard<std::mutex> guard(tableLock);
  drives = list;
}

std::string EnvironmentBlock() {
  std::string block;
  for (char** e = environ; e && *e; ++e) {
    block += *e;
    block.push_back('\0');
  }
  block.push_back('\0');
  return block;
}

uint32_t LogicalDriveStrings(uint32_t capacity, std::string& roots) {
  std::lock_guard<std::mutex> guard(tableLock);
  std::string list;
  for (const auto& d : drives) {
    list += d.first;
    list.push_back('\0');
  }
  if (list.size() + 1 > capacity) return static_cast<uint32_t>(list.size() + 1);
  roots = list;
  return static_cast<uint32_t>(list.size());
}

unsigned DriveType(const std::string& root) {
  std::lock_guard<std::mutex> guard(tableLock);
  for (const auto& d : drives)
    if (AnsiLowerCase(d.first) == AnsiLowerCase(root)) return d.second;
  return kDriveNoRoot;
}

std::string SystemErrorText(uint32_t code) { return "System error " + std::to_string(code) + "."; }

}  // namespace platform
