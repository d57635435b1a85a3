// Host stand-in of the folder services: POSIX calls.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>

#include "platform/Directory.h"
#include "platform/HostPath.h"

namespace platform {

namespace {

int32_t DosDateTime(time_t when) {
  struct tm t;
  if (!localtime_r(&when, &t) || t.tm_year < 80 || t.tm_year > 207) return 0;
  uint32_t date = static_cast<uint32_t>((t.tm_year - 80) << 9 | (t.tm_mon + 1) << 5 | t.tm_mday);
  uint32_t time = static_cast<uint32_t>(t.tm_hour << 11 | t.tm_min << 5 | t.tm_sec / 2);
  return static_cast<int32_t>(date << 16 | time);
}

}  // namespace

bool ListDirectory(const std::string& dir, std::vector<DirEntry>& entries) {
  entries.clear();
  std::string base = HostPath(dir);
  DIR* d = opendir(base.c_str());
  if (!d) return false;
  while (dirent* item = readdir(d)) {
    std::string name = item->d_name;
    if (name == "." || name == "..") continue;
    // A link is listed as a link even when what it points to is gone, so
    // that it can be removed.
    struct stat st;
    std::string full = base + name;
    if (::lstat(full.c_str(), &st) != 0) continue;
    bool link = S_ISLNK(st.st_mode);
    if (link && ::stat(full.c_str(), &st) != 0) {
      entries.push_back({name, false, 0, true, 0, {}});
      continue;
    }
    if (!(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) continue;
    entries.push_back(
        {name, S_ISDIR(st.st_mode), DosDateTime(st.st_mtime), link, static_cast<int64_t>(st.st_size), {}});
  }
  closedir(d);
  SortDirEntries(entries);
  return true;
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return ::stat(HostPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return ::stat(HostPath(a).c_str(), &sa) == 0 && ::stat(HostPath(b).c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

bool MakeDir(const std::string& path) { return ::mkdir(HostPath(path).c_str(), 0755) == 0; }

bool MakePrivateDir(const std::string& path) { return ::mkdir(HostPath(path).c_str(), 0700) == 0; }

// Nothing restarts here.
bool RemoveAtRestart(const std::string&) { return false; }

bool RemoveEmptyDir(const std::string& path) { return ::rmdir(HostPath(path).c_str()) == 0; }

bool RemoveLink(const std::string& path) {
  struct stat st;
  std::string host = HostPath(path);
  // A trailing separator would make the calls follow the link.
  while (host.size() > 1 && host.back() == '/') host.pop_back();
  return ::lstat(host.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && ::unlink(host.c_str()) == 0;
}

bool RenameOver(const std::string& from, const std::string& to) {
  return std::rename(HostPath(from).c_str(), HostPath(to).c_str()) == 0;
}

bool RenameFile(const std::string& from, const std::string& to) {
  return ::renameat2(AT_FDCWD, HostPath(from).c_str(), AT_FDCWD, HostPath(to).c_str(), RENAME_NOREPLACE) == 0;
}

}  // namespace platform
