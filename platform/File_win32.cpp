// The file layer on the Windows file API.
#include "platform/File.h"

#include <windows.h>

namespace platform {
namespace {

HANDLE H(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

// ReadFile and WriteFile take 32-bit counts; larger transfers go in slices.
constexpr size_t kSlice = 1u << 30;

}  // namespace

bool File::Open(const std::string& path, OpenMode mode) {
  Close();
  DWORD access = GENERIC_READ, share = FILE_SHARE_READ, disposition = OPEN_EXISTING;
  if (mode == OpenMode::Read || mode == OpenMode::ReadWriteShared) share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  if (mode == OpenMode::ReadWriteExclusive) share = 0;
  if (mode != OpenMode::Read && mode != OpenMode::ReadDenyWrite) access |= GENERIC_WRITE;
  if (mode == OpenMode::Create) disposition = CREATE_ALWAYS;
  if (mode == OpenMode::CreateNew) disposition = CREATE_NEW;
  HANDLE h = CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<intptr_t>(h);
  return true;
}

void File::Close() {
  if (handle_ != kInvalid) CloseHandle(H(handle_));
  handle_ = kInvalid;
}

int64_t File::Seek(int64_t distance, SeekOrigin origin) {
  if (!IsOpen()) return -1;
  DWORD method = origin == SeekOrigin::Begin ? FILE_BEGIN : origin == SeekOrigin::Current ? FILE_CURRENT : FILE_END;
  LARGE_INTEGER d, pos;
  d.QuadPart = distance;
  if (!SetFilePointerEx(H(handle_), d, &pos, method)) return -1;
  return pos.QuadPart;
}

int64_t File::Size() {
  LARGE_INTEGER size;
  if (!IsOpen() || !GetFileSizeEx(H(handle_), &size)) return -1;
  return size.QuadPart;
}

size_t File::Read(void* buffer, size_t n) {
  if (!IsOpen()) return 0;
  size_t done = 0;
  while (done < n) {
    DWORD want = static_cast<DWORD>(n - done < kSlice ? n - done : kSlice), got = 0;
    if (!ReadFile(H(handle_), static_cast<char*>(buffer) + done, want, &got, nullptr) || got == 0) break;
    done += got;
  }
  return done;
}

bool File::Write(const void* buffer, size_t n) {
  if (!IsOpen()) return false;
  size_t done = 0;
  while (done < n) {
    DWORD want = static_cast<DWORD>(n - done < kSlice ? n - done : kSlice), put = 0;
    if (!WriteFile(H(handle_), static_cast<const char*>(buffer) + done, want, &put, nullptr) || put == 0) return false;
    done += put;
  }
  return true;
}

bool File::Truncate() { return IsOpen() && SetEndOfFile(H(handle_)); }

bool File::Flush() { return IsOpen() && FlushFileBuffers(H(handle_)); }

bool FileExists(const std::string& path) {
  DWORD attr = GetFileAttributesA(path.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool RemoveFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

bool ClearReadOnly(const std::string& path) {
  DWORD attr = GetFileAttributesA(path.c_str());
  if (attr == INVALID_FILE_ATTRIBUTES) return false;
  return !(attr & FILE_ATTRIBUTE_READONLY) || SetFileAttributesA(path.c_str(), attr & ~FILE_ATTRIBUTE_READONLY);
}

}  // namespace platform
