// The files a compile run collects for the installer archive, in numbered
// groups: group 0 for the installer's own items, one group per
// file-carrying script line after it. Update lines that name the same target
// share the first such line's group, a later file of the same entry name
// replacing the earlier one.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/ByteOrder.h"

// What the list needs from the compiler that owns it.
class TFileListOwner {
 public:
  virtual ~TFileListOwner() = default;
  virtual void Status(const std::string& text) const = 0;
  virtual void Log(const std::string& text) const = 0;
  // Folder against which relative sources are resolved; empty: as written.
  virtual const std::string& BaseDir() const = 0;
  // The install layout's icon: it becomes the installer's icon resource, so
  // no folder walk packs it.
  virtual std::string LayoutIconPath() const = 0;
};

class TCompilerFileList {
 public:
  struct TFile {
    std::string Source;             // path on disk; empty for contents from memory
    std::string Name;               // entry name, possibly with folders (sub\file.dat)
    uint16_t Group = 0;             // the group the entry is written with
    std::optional<Bytes> Contents;  // the entry's bytes when they come from memory
  };
  struct TGroup {
    std::string Name;  // lower case; empty for an unnamed group
    std::vector<TFile> Files;
  };

  explicit TCompilerFileList(TFileListOwner& owner) : owner_(owner) { Clear(); }

  std::vector<TGroup> Groups;  // index = group number
  int32_t TotalCount = 0;      // entries added; a replacement does not count
  uint16_t LastGroup = 0;      // last group number handed out
  uint16_t RegKeyCount = 0;    // next install-directory registry slot

  // Back to one unnamed group 0 and all counters 0.
  void Clear();
  // Grows the list to hold group `group`, naming that group; groups that
  // exist already keep their name, those grown in between stay unnamed.
  void EnsureGroup(uint16_t group, const std::string& groupName);
  // Adds one file, when it exists, under prefix + name.
  void AddFile(const std::string& source, const std::string& name, uint16_t group, const std::string& prefix);
  // Adds an entry of group 0 whose bytes the compiler made (the setup
  // information, the compiled lines): packed from memory, no file between.
  void AddContents(const std::string& name, Bytes contents);
  // Group and entry index of an entry of that name in an earlier group of
  // the same name; both -1 when there is none.
  void FindDuplicate(const std::string& name, uint16_t group, int& groupIndex, int& entryIndex) const;
  // The group a new entry of `group` goes into.
  uint16_t ResolveGroup(uint16_t group) const;
  // Adds one file, or every file below a folder under its relative name.
  // Empty when it took every file; otherwise why it stopped, naming the
  // file or folder as the system does (16-bit text): a folder it cannot
  // read, a name the installer's 8-bit entry names cannot hold, a path too
  // long for the system's 8-bit calls. Nothing is ever left out in silence.
  std::u16string AddDir(const std::string& path, uint16_t group, const std::string& groupName, bool absolute,
                        const std::string& prefix);
  // One step of the breadth-first folder walk of AddDir, with its result.
  std::u16string ScanDirectory(std::deque<std::string>& workList, const std::string& root, uint16_t group,
                               const std::string& prefix);

 private:
  // The first group from 1 up, other than `group`, that carries the same
  // non-empty name; -1 when there is none.
  int FirstNamesake(uint16_t group) const;

  TFileListOwner& owner_;
};
