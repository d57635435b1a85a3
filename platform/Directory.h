// Listing folders. Paths are 8-bit text in the system code page.
#pragma once

#include <string>
#include <vector>

namespace platform {

struct DirEntry {
  std::string Name;
  bool IsFolder = false;  // for a link: what it points to
  bool IsLink = false;    // a symbolic link or a junction
};

// The entries of a folder, "." and ".." left out, sorted by SortDirEntries.
// False when the folder cannot be listed.
bool ListFolder(const std::string& folder, std::vector<DirEntry>& entries);

// Names compared case-insensitively (exact bytes break ties), so that a walk
// visits files in the same order on every file system.
void SortDirEntries(std::vector<DirEntry>& entries);

bool FolderExists(const std::string& path);

// Renames a file, replacing any file of the new name; false when it could
// not, and then both files are as they were.
bool RenameOver(const std::string& from, const std::string& to);

}  // namespace platform
