// The uninstall log: every file, registry value and folder an installation
// created, kept for the uninstaller, and its file "install.log" with each
// string scrambled by digit key A.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

// The file's counts and string lengths are 16-bit.
constexpr size_t kMaxUninstallEntries = 65535;
constexpr size_t kMaxUninstallText = 65535;

class TUninstallList {
 public:
  // Known folders collapsed to path variables, in the order first logged.
  const std::vector<std::string>& Files() const { return files_.Items; }
  // "root" "key" "value name" "value text", in the order logged.
  const std::vector<std::string>& RegEntries() const { return regEntries_.Items; }
  // In the order made (outermost first), known folders collapsed as in
  // Files, so that a moved installation still finds its folders; logs of
  // earlier versions hold absolute paths. Duplicates kept.
  const std::vector<std::string>& Dirs() const { return dirs_; }

  void Clear();
  // Compared with A-Z folded to a-z and every other byte as it is.
  bool HasFile(const std::string& path) const;
  // Whether a file's path (as AddFile takes it) is logged.
  bool NamesFile(const std::string& path) const;
  bool HasRegEntry(const std::string& entry) const;
  // Each Add returns true when the text is in its list afterwards. A text
  // the file could not hold (a full list, more than 65,535 bytes) is
  // refused. AddFile and AddDir store the path with known folders
  // collapsed; AddFile, like AddRegEntry, keeps only the first of equal
  // texts; AddDir keeps duplicates.
  bool AddFile(const std::string& path);
  bool AddRegEntry(const std::string& entry);
  bool AddDir(const std::string& dir);
  // Drops the folders logged after the first count.
  void TruncateDirs(size_t count);
  // The three lists, exactly these texts (repeated files and registry
  // entries once).
  void Assign(const std::vector<std::string>& files, const std::vector<std::string>& regEntries,
              const std::vector<std::string>& dirs);
  // A logged file that was renamed: the new path takes the old one's place
  // (once, when it is logged already). A path that is not logged changes
  // nothing. True when the new path is logged in its place.
  bool RenameFile(const std::string& from, const std::string& to);

  // dir + "\" + prefix + "install.log" (no second backslash after a
  // folder that ends in one).
  static std::string LogPath(const std::string& dir, const std::string& prefix);
  // Writes the log aside and renames it over the old one, so a failed save
  // leaves the old log intact; false on failure.
  bool SaveToFile(const std::string& dir, const std::string& prefix) const;
  // dir + "\" + prefix + "install.owner": the mark beside an installation's
  // log that names the setup it belongs to (its short name).
  static std::string OwnerPath(const std::string& dir, const std::string& prefix);
  // Removes the log with its mark, and what a save that was cut short left
  // beside it.
  static void RemoveFile(const std::string& dir, const std::string& prefix);
  // Replaces the lists by the file's content when the whole log can be
  // read. A log that is missing, cannot be opened or is damaged leaves them
  // as they are. True when the lists were replaced; false with the reason
  // in LoadError otherwise. Never throws, and holds no more than the file's
  // own bytes whatever its counts claim.
  bool LoadFromFile(const std::string& dir, const std::string& prefix);
  // Why the last LoadFromFile or MergeFromFile returned false, with the
  // numbers.
  const std::string& LoadError() const { return loadError_; }

  // Puts the log of an earlier installation into the same place in front
  // of what this run has logged, so that one uninstaller removes what any
  // of them put there: its entries first, then this run's, each once;
  // folders (compared as expanded paths, without case and a trailing
  // backslash) ordered shallower first, older first within a depth, so
  // that removing them last first takes each folder before the one that
  // holds it. A missing file merges nothing. A file that does not load
  // whole merges the entries it holds whole, and the result is false with
  // the reason in LoadError.
  bool MergeFromFile(const std::string& dir, const std::string& prefix);

  // While an installation runs, its log is kept saved in its place, so that
  // a run that is killed leaves a log of what it did. KeepSaved names the
  // place (SaveToFile's arguments; an empty dir: none); Checkpoint saves
  // there when anything changed since the last save, and is true when
  // nothing needed saving or the save succeeded.
  void KeepSaved(const std::string& dir, const std::string& prefix);
  bool Checkpoint();

 private:
  // A list without equal texts, with an index of its folded texts so that
  // a large installation does not compare every new path with every
  // logged one.
  struct TUniqueList {
    std::vector<std::string> Items;
    std::unordered_set<std::string> Folded;
    bool Has(const std::string& text) const;
    bool Add(const std::string& text);
    bool Replace(const std::string& from, const std::string& to);
    void Clear();
  };
  // Reads the log at path into these (empty) lists, as far as it holds
  // whole entries; false with the reason in loadError_ when it is not read
  // whole.
  bool ReadFrom(const std::string& path);

  TUniqueList files_, regEntries_;
  std::vector<std::string> dirs_;
  std::string loadError_;
  // Counts changes, so that a checkpoint saves only a log that changed.
  uint64_t revision_ = 0, savedRevision_ = 0;
  std::string keepDir_, keepPrefix_;
};

extern TUninstallList UninstallList;

// A registry entry as the log keeps it: the four fields each in double
// quotes, separated by single blanks: "root" "key path" "value name" "text".
std::string RegEntryText(const std::string& root, const std::string& keyPath, const std::string& valueName,
                         const std::string& valueText);
