// Folder listings, file identity, and creating, removing and renaming
// folders and files. Listings are sorted by name without regard to case, so
// results do not depend on the file system's order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct DirEntry {
  // The name in the system code page; for a name the code page cannot hold,
  // its short (8.3) form, or, where the system keeps none, the name with a
  // '?' for each such character, which names no file at all.
  std::string Name;
  bool IsDirectory = false;  // else a file (a link counts as what it points to)
  // Last write time as a DOS date (high word) and time (low word), local
  // time; 0 when it cannot be expressed (before 1980).
  int32_t DosDateTime = 0;
  bool IsLink = false;  // a symbolic link or junction: never to be entered
  int64_t Size = 0;     // of a file, as the listing reports it
  // The name as the system has it, when Name is not that name; else empty.
  std::u16string WideName;
};

// The files, folders and links directly in `dir` (which ends in a
// separator), without "." and ".."; false when the folder cannot be listed.
// A folder whose path is too long for the system's 8-bit calls is listed
// too, so that what lies in it can be named.
bool ListDirectory(const std::string& dir, std::vector<DirEntry>& entries);
// Why the packers cannot take an entry of the listing of `dir` by its
// 8-bit path: its name holds characters the code page does not have, or it
// is a file whose path is longer than the system's 8-bit calls take. A text
// that names it as the system does; empty when neither holds.
std::u16string EntryPathFault(const std::string& dir, const DirEntry& entry);
bool DirectoryExists(const std::string& path);
// Whether two paths name the same existing file, however they are spelled.
bool SameFile(const std::string& a, const std::string& b);

// Creates one folder level; false when it exists already or cannot be made.
bool MakeDir(const std::string& path);
// The same for a folder that, where this process runs with the
// administrators' rights, only they and the system may open or change:
// programs of the same user that run without those rights can neither put
// a file into it nor change one there.
bool MakePrivateDir(const std::string& path);
// Has Windows remove a file, or a folder that is empty by then, when it
// next starts (administrators only); false when that cannot be arranged.
bool RemoveAtRestart(const std::string& path);
// Removes a folder that is empty; false otherwise.
bool RemoveEmptyDir(const std::string& path);
// Removes a symbolic link or junction itself, never what it points to.
bool RemoveLink(const std::string& path);
// Renames a file, replacing any file of the new name.
bool RenameOver(const std::string& from, const std::string& to);
// Renames (moves) a file; fails when the new name exists already.
bool RenameFile(const std::string& from, const std::string& to);
// Copies a file's contents, replacing any file of the new name only once
// the copy is whole and on disk (FileReplacement): a copy cut short leaves
// the earlier file as it was.
bool CopyFileOver(const std::string& from, const std::string& to);

// Puts a listing in ListDirectory's order: by lower-cased name, names that
// differ only in case in byte order.
void SortDirEntries(std::vector<DirEntry>& entries);

}  // namespace platform
