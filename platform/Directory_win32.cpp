// The folder listing on the Windows file API.
#include "platform/Directory.h"

#include <windows.h>

namespace platform {

bool ListFolder(const std::string& folder, std::vector<DirEntry>& entries) {
  entries.clear();
  std::string pattern = folder;
  if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
  pattern += '*';
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA(pattern.c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    DirEntry e;
    e.Name = name;
    e.IsFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // Only links and junctions count: other reparse points (cloud or
    // deduplicated files) are ordinary files to their reader.
    e.IsLink = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
               (found.dwReserved0 == IO_REPARSE_TAG_SYMLINK || found.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT);
    entries.push_back(std::move(e));
  } while (FindNextFileA(h, &found));
  bool complete = GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(h);
  SortDirEntries(entries);
  return complete;
}

bool FolderExists(const std::string& path) {
  DWORD attr = GetFileAttributesA(path.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool RenameOver(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

}  // namespace platform
