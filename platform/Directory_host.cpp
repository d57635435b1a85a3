// Host stand-in of the folder services: POSIX calls.
#include <dirent.h>
#include <sys/stat.h>

#include <ctime>

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
    struct stat st;
    if (::stat((base + name).c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) continue;
    entries.push_back({name, S_ISDIR(st.st_mode), DosDateTime(st.st_mtime)});
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

}  // namespace platform
