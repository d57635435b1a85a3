// Host stand-in of the folder layer: POSIX calls on paths mapped by HostPath.
#include "platform/Dir.h"

#include <cstdio>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/HostPath.h"

namespace platform {

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return ::stat(HostPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeDir(const std::string& path) { return ::mkdir(HostPath(path).c_str(), 0755) == 0; }

bool RemoveEmptyDir(const std::string& path) { return ::rmdir(HostPath(path).c_str()) == 0; }

bool ListDir(const std::string& dir, std::vector<DirEntry>& entries) {
  entries.clear();
  std::string host = HostPath(dir);
  DIR* d = ::opendir(host.c_str());
  if (!d) return false;
  while (dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    DirEntry entry;
    entry.Name = name;
    struct stat st;
    std::string full = host + "/" + name;
    if (::lstat(full.c_str(), &st) != 0) continue;  // gone since it was listed
    entry.IsLink = S_ISLNK(st.st_mode);
    entry.IsDir = entry.IsLink ? ::stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode) : S_ISDIR(st.st_mode);
    entries.push_back(entry);
  }
  ::closedir(d);
  SortByName(entries);
  return true;
}

bool RemoveLink(const std::string& path) {
  struct stat st;
  std::string host = HostPath(path);
  return ::lstat(host.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && ::unlink(host.c_str()) == 0;
}

bool RenameOver(const std::string& from, const std::string& to) {
  return std::rename(HostPath(from).c_str(), HostPath(to).c_str()) == 0;
}

}  // namespace platform
