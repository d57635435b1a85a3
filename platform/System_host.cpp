// Host stand-in: the real process environment; drives and shell folders
// come from the table a test sets up (HostSystem.h).
#include "platform/System.h"

#include <fstream>
#include <map>
#include <mutex>
#include <vector>

#include "platform/HostSystem.h"
#include "platform/Text.h"

extern char** environ;

namespace platform {
namespace {

std::mutex tableLock;
std::vector<std::pair<std::string, unsigned>> drives;
std::map<std::string, int64_t> freeBytes;  // by lower-cased root

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

void host::SetDriveFreeBytes(const std::string& root, int64_t bytes) {
  std::lock_guard<std::mutex> guard(tableLock);
  freeBytes[AnsiLowerCase(root)] = bytes;
}

int64_t DriveFreeBytes(const std::string& root) {
  std::lock_guard<std::mutex> guard(tableLock);
  auto it = freeBytes.find(AnsiLowerCase(root));
  return it == freeBytes.end() ? -1 : it->second;
}

std::string SystemErrorText(uint32_t code) { return "System error " + std::to_string(code) + "."; }

bool SystemRandomBytes(void* out, size_t n) {
  std::ifstream random("/dev/urandom", std::ios::binary);
  return random.read(static_cast<char*>(out), static_cast<std::streamsize>(n)).gcount() ==
         static_cast<std::streamsize>(n);
}

}  // namespace platform
