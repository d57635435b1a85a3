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

bool FileReplacement::Commit() {
  if (state_ != State::Open) return false;
  if (path_ == target_) {
    // Created directly: nothing was there to keep, so nothing to flush for.
    file_.Close();
    state_ = State::Done;
    return true;
  }
  // A writer that used the name closed the stream; the contents are
  // flushed through a handle of their own.
  bool flushed = file_.IsOpen() ? file_.Flush() : file_.Open(path_, OpenMode::ReadWrite) && file_.Flush();
  file_.Close();
  if (!flushed || !RenameOver(path_, target_)) {
    Abandon();
    return false;
  }
  state_ = State::Done;
  return true;
}

void FileReplacement::Abandon() {
  file_.Close();
  if (state_ == State::Open) RemoveFile(path_);
  if (state_ != State::Done) state_ = State::Failed;
}

}  // namespace platform
