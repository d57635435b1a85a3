// Host stand-in of the folder listing: POSIX calls.
#include "platform/Directory.h"

#include <cstdio>
#include <dirent.h>
#include <sys/stat.h>

#include "platform/HostPath.h"

namespace platform {

bool ListFolder(const std::string& folder, std::vector<DirEntry>& entries) {
  entries.clear();
  std::string dir = HostPath(folder);
  if (!dir.empty() && dir.back() != '/') dir += '/';
  DIR* d = ::opendir(dir.c_str());
  if (!d) return false;
  while (dirent* item = ::readdir(d)) {
    std::string name = item->d_name;
    if (name == "." || name == "..") continue;
    DirEntry e;
    e.Name = name;
    struct stat st;
    if (::lstat((dir + name).c_str(), &st) == 0 && S_ISLNK(st.st_mode)) e.IsLink = true;
    e.IsFolder = ::stat((dir + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    entries.push_back(std::move(e));
  }
  ::closedir(d);
  SortDirEntries(entries);
  return true;
}

bool FolderExists(const std::string& path) {
  struct stat st;
  return ::stat(HostPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RenameOver(const std::string& from, const std::string& to) {
  struct stat st;
  // rename() would also move a folder over an empty one; only files here.
  if (::stat(HostPath(from).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (::stat(HostPath(to).c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return false;
  return std::rename(HostPath(from).c_str(), HostPath(to).c_str()) == 0;
}

}  // namespace platform
