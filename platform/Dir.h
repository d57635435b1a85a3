// Folders: test, create, list and remove them. Paths are 8-bit text in the
// system code page.
#pragma once

#include <string>
#include <vector>

namespace platform {

struct DirEntry {
  std::string Name;
  bool IsDir = false;   // a folder, or a link to one
  bool IsLink = false;  // a symbolic link or junction: never to be entered
};

// True for an existing folder (or a link to one).
bool DirectoryExists(const std::string& path);
// Creates one folder level; false when it exists already or cannot be made.
bool MakeDir(const std::string& path);
// Removes a folder that is empty; false otherwise.
bool RemoveEmptyDir(const std::string& path);
// The entries of a folder, "." and ".." left out, sorted by name without
// regard to case so that results do not depend on the file system; false
// when the folder cannot be listed.
bool ListDir(const std::string& dir, std::vector<DirEntry>& entries);
// Orders entries by name without regard to case (ties by exact name), as
// every listing is ordered.
void SortByName(std::vector<DirEntry>& entries);
// Removes a symbolic link or junction itself, never what it points to.
bool RemoveLink(const std::string& path);
// Renames a file, replacing any file of the new name.
bool RenameOver(const std::string& from, const std::string& to);

}  // namespace platform
