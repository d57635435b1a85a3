// Host stand-in of the file layer for native tests: POSIX calls on paths
// mapped by HostPath.
#include "platform/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>

#include "platform/HostPath.h"
#include "platform/HostSystem.h"

namespace platform {

namespace {

std::function<void()> fileChangeHook;

void BeforeFileChange() {
  if (fileChangeHook) fileChangeHook();
}

}  // namespace

void host::SetFileChangeHook(std::function<void()> hook) { fileChangeHook = std::move(hook); }

bool File::Open(const std::string& path, OpenMode mode) {
  Close();
  int flags = O_RDONLY;
  // The stand-in has no sharing modes.
  if (mode == OpenMode::ReadWrite || mode == OpenMode::ReadWriteShared || mode == OpenMode::ReadWriteExclusive)
    flags = O_RDWR;
  if (mode == OpenMode::Create) flags = O_RDWR | O_CREAT | O_TRUNC;
  if (mode == OpenMode::CreateNew) flags = O_RDWR | O_CREAT | O_EXCL;
  int fd = ::open(HostPath(path).c_str(), flags | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return false;
  }
  handle_ = fd;
  return true;
}

void File::Close() {
  if (handle_ != kInvalid) ::close(static_cast<int>(handle_));
  handle_ = kInvalid;
}

int64_t File::Seek(int64_t distance, SeekOrigin origin) {
  if (!IsOpen()) return -1;
  int whence = origin == SeekOrigin::Begin ? SEEK_SET : origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END;
  off_t pos = ::lseek(static_cast<int>(handle_), static_cast<off_t>(distance), whence);
  return pos < 0 ? -1 : static_cast<int64_t>(pos);
}

int64_t File::Size() {
  struct stat st;
  if (!IsOpen() || ::fstat(static_cast<int>(handle_), &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

size_t File::Read(void* buffer, size_t n) {
  if (!IsOpen()) return 0;
  size_t done = 0;
  while (done < n) {
    ssize_t got = ::read(static_cast<int>(handle_), static_cast<char*>(buffer) + done, n - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

bool File::Write(const void* buffer, size_t n) {
  if (!IsOpen()) return false;
  // With a hook, the write lands page by page, the hook called before each
  // page, as a kill may stop a write between any two pages.
  constexpr int64_t kPage = 4096;
  const int64_t at = fileChangeHook ? Seek(0, SeekOrigin::Current) : -1;
  size_t done = 0;
  do {
    size_t end = at < 0 ? n : std::min<size_t>(n, done + static_cast<size_t>(kPage - (at + done) % kPage));
    BeforeFileChange();
    while (done < end) {
      ssize_t put = ::write(static_cast<int>(handle_), static_cast<const char*>(buffer) + done, end - done);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      done += static_cast<size_t>(put);
    }
  } while (done < n);
  return true;
}

bool File::Truncate() {
  BeforeFileChange();
  int64_t pos = Seek(0, SeekOrigin::Current);
  return pos >= 0 && ::ftruncate(static_cast<int>(handle_), static_cast<off_t>(pos)) == 0;
}

// A test that sets the hook plays kills, which the system's cache survives:
// its many flushes need not wait for the disk.
bool File::Flush() { return IsOpen() && (fileChangeHook || ::fsync(static_cast<int>(handle_)) == 0); }

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(HostPath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool RemoveFile(const std::string& path) { return ::unlink(HostPath(path).c_str()) == 0; }

// The owner's write permission stands for the attribute.
bool ClearReadOnly(const std::string& path) {
  struct stat st;
  std::string p = HostPath(path);
  if (::stat(p.c_str(), &st) != 0) return false;
  return (st.st_mode & S_IWUSR) || ::chmod(p.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
}

}  // namespace platform
