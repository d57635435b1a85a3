// The one way a file is replaced whole: the new contents go to a file beside
// the target, which takes the target's name in one step only once it is
// complete and on disk. Until then the target is the old file (or absent),
// whenever the process is killed or the machine loses power, and every way
// out of the write other than Commit takes the aside file away again.
#pragma once

#include <string>

#include "platform/File.h"

namespace platform {

class FileReplacement {
 public:
  enum class Aside {
    // The new contents always go aside first: a reader must never find a
    // half-written file of the target's name (an archive, a program).
    Always,
    // A target that does not exist yet is created directly, exclusively;
    // one that exists is replaced by way of the aside file. For writers
    // that have recorded the name before the first byte (a run killed
    // midway leaves an unfinished file a later run writes again), and that
    // write too many small files to pay for a flush and a rename each.
    WhenReplacing,
  };

  // Opens the new contents for writing (Stream()). The aside file is
  // target + ".new", created exclusively; a file of that name is what an
  // earlier write of the target left when it was killed, and is removed
  // first. IsOpen() is false when nothing could be created.
  explicit FileReplacement(std::string target, Aside aside = Aside::Always);
  ~FileReplacement() { Abandon(); }
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  bool IsOpen() const { return state_ == State::Open; }
  // The new contents, open for reading and writing. A writer that opens the
  // file by its name (Path()) closes this first.
  File& Stream() { return file_; }
  // Where the new contents are written: the aside file, or the target
  // itself when it is being created directly.
  const std::string& Path() const { return path_; }
  const std::string& Target() const { return target_; }

  // Flushes the new contents to disk and puts them in the target's place
  // in one step. False when any of it fails: the target is then as it was
  // and nothing written stays.
  bool Commit();
  // Replaces this target and `companion`'s as a pair that must match (a
  // file and its index), both written aside. Both are flushed, then this
  // target is replaced and the companion's right after it. A failure up to
  // the first rename (the companion's target held open or a folder is one)
  // leaves both targets as they were; false then. A companion that cannot
  // be renamed after that, like a kill between the two renames, leaves its
  // aside file alone, which FinishPair puts in place; false too.
  bool CommitPair(FileReplacement& companion);
  // Takes what was written away; the target stays as it was.
  void Abandon();

  // Finishes what a CommitPair of these targets that was cut short left:
  // with the first target's aside file there, neither was replaced and both
  // aside files go (the companion's first, so that its own never stands
  // alone for an uncommitted pair); with the companion's alone, the first
  // was replaced and the companion's takes its place. False when that
  // cannot be done; the pair is then half replaced.
  static bool FinishPair(const std::string& target, const std::string& companion);

  // The aside file's name for a target, for code that clears away what a
  // killed write left without replacing the target.
  static std::string AsideOf(const std::string& target) { return target + ".new"; }

 private:
  enum class State { Failed, Open, Done };
  // Flushes and closes the new contents, still open to be given up.
  bool Flushed();

  std::string target_, path_;
  File file_;
  State state_ = State::Failed;
};

}  // namespace platform
