// Host stand-in: shell folders come from the table a test sets up; shell
// links exist only on Windows.
#include "platform/Shell.h"

#include <map>
#include <mutex>
#include <stdexcept>

#include "platform/HostSystem.h"

namespace platform {
namespace {

std::mutex tableLock;
std::map<int, std::string> folders;

std::string Lookup(int folderId) {
  std::lock_guard<std::mutex> guard(tableLock);
  auto it = folders.find(folderId);
  return it == folders.end() ? std::string() : it->second;
}

}  // namespace

void host::SetShellFolder(int folderId, const std::string& path) {
  std::lock_guard<std::mutex> guard(tableLock);
  if (path.empty())
    folders.erase(folderId);
  else
    folders[folderId] = path;
}

std::string GetItemIdFolder(void*, int folderId) { return Lookup(folderId); }

std::string GetFolderPathById(int folderId) { return Lookup(folderId); }

bool SaveShellLink(const std::string&, const std::string&, const std::string&, const std::string&, int,
                   const std::string*, int) {
  throw std::runtime_error("Shell links can only be created on Windows");
}

}  // namespace platform
