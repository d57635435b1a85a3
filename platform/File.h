// A file handle with 64-bit positions: the one way the system's own code
// reaches files. Paths are 8-bit text in the system code page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace platform {

enum class OpenMode {
  Read,             // existing file; others may read and write it meanwhile
                    // (a running installer reads its own program file)
  ReadWrite,        // existing file, read and write
  ReadWriteShared,  // existing file, read and write; others may read and
                    // write it meanwhile (a game file the game may hold open)
  Create,           // new or truncated file, read and write
  CreateNew,        // new file only, read and write; fails when the name is
                    // taken, so two writers never get the same file
  // Existing file, read and write, and nobody else may open it meanwhile
  // (a file changed in place that another program must not read half
  // written).
  ReadWriteExclusive,
  // Existing file, read only; others may read it, but nobody may write,
  // rename or delete it meanwhile (a program held as it was checked until it
  // has been started).
  ReadDenyWrite,
};

enum class SeekOrigin { Begin, Current, End };

class File {
 public:
  File() = default;
  File(const std::string& path, OpenMode mode) { Open(path, mode); }
  ~File() { Close(); }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = kInvalid; }
  File& operator=(File&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = other.handle_;
      other.handle_ = kInvalid;
    }
    return *this;
  }

  // Closes any file held, then opens path; false when it cannot be opened.
  bool Open(const std::string& path, OpenMode mode);
  bool IsOpen() const { return handle_ != kInvalid; }
  void Close();

  // New absolute position, or -1 when positioning fails.
  int64_t Seek(int64_t distance, SeekOrigin origin);
  // Length of the file, or -1.
  int64_t Size();
  // Reads up to n bytes; fewer only at the end of the file or on an error.
  size_t Read(void* buffer, size_t n);
  // True when all n bytes were written.
  bool Write(const void* buffer, size_t n);
  // Makes the current position the end of the file.
  bool Truncate();
  // Has what was written reach the disk before this returns.
  bool Flush();

 private:
  static constexpr intptr_t kInvalid = -1;
  intptr_t handle_ = kInvalid;
};

// Small whole-file services built on the handle.
bool FileExists(const std::string& path);
bool RemoveFile(const std::string& path);
// Removes the read-only attribute of a file, keeping its other attributes;
// true when the file is writable by attribute afterwards.
bool ClearReadOnly(const std::string& path);

// Owns a temporary file for one scope: it is removed however the scope
// ends, so no error path leaves it behind.
class TempFileOwner {
 public:
  explicit TempFileOwner(std::string path) : path_(std::move(path)) {}
  ~TempFileOwner() { RemoveFile(path_); }
  TempFileOwner(const TempFileOwner&) = delete;
  TempFileOwner& operator=(const TempFileOwner&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace platform
