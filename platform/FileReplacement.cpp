#include "platform/FileReplacement.h"

#include "platform/Directory.h"

namespace platform {

FileReplacement::FileReplacement(std::string target, Aside aside) : target_(std::move(target)) {
  if (aside == Aside::WhenReplacing && file_.Open(target_, OpenMode::CreateNew)) {
    path_ = target_;
    state_ = State::Open;
    return;
  }
  path_ = AsideOf(target_);
  RemoveFile(path_);
  if (file_.Open(path_, OpenMode::CreateNew)) state_ = State::Open;
}

bool FileReplacement::Flushed() {
  if (state_ != State::Open) return false;
  // Created directly: nothing was there to keep, so nothing to flush for.
  if (path_ == target_) {
    file_.Close();
    return true;
  }
  // A writer that used the name closed the stream; the contents are
  // flushed through a handle of their own.
  bool flushed = file_.IsOpen() ? file_.Flush() : file_.Open(path_, OpenMode::ReadWrite) && file_.Flush();
  file_.Close();
  return flushed;
}

bool FileReplacement::Commit() {
  if (!Flushed() || (path_ != target_ && !RenameOver(path_, target_))) {
    Abandon();
    return false;
  }
  state_ = State::Done;
  return true;
}

namespace {

// Whether a rename can put a file in the target's place now: nothing holds
// it open and it is no folder.
bool Replaceable(const std::string& target) {
  File probe;
  return probe.Open(target, OpenMode::ReadWriteExclusive) || !(FileExists(target) || DirectoryExists(target));
}

}  // namespace

bool FileReplacement::CommitPair(FileReplacement& companion) {
  bool aside = path_ != target_ && companion.path_ != companion.target_;
  if (!aside || !companion.Flushed() || !Flushed() || !Replaceable(companion.target_) || !RenameOver(path_, target_)) {
    companion.Abandon();
    Abandon();
    return false;
  }
  // The first is replaced: from here the companion's aside file stands for
  // the pair and is never taken away.
  state_ = companion.state_ = State::Done;
  return RenameOver(companion.path_, companion.target_);
}

bool FileReplacement::FinishPair(const std::string& target, const std::string& companion) {
  const std::string first = AsideOf(target), second = AsideOf(companion);
  if (FileExists(first)) return (!FileExists(second) || RemoveFile(second)) && RemoveFile(first);
  return !FileExists(second) || RenameOver(second, companion);
}

void FileReplacement::Abandon() {
  file_.Close();
  if (state_ == State::Open) RemoveFile(path_);
  if (state_ != State::Done) state_ = State::Failed;
}

}  // namespace platform
