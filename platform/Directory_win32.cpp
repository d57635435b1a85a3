// Folder services on the Windows file API.
#include <windows.h>
#include <sddl.h>

#include "platform/Directory.h"
#include "platform/Text.h"
#include "platform/WidePath.h"

namespace platform {

namespace {

int32_t DosDateTime(const FILETIME& utc) {
  FILETIME local;
  WORD date = 0, time = 0;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToDosDateTime(&local, &date, &time)) return 0;
  return static_cast<int32_t>(static_cast<uint32_t>(date) << 16 | time);
}

// Volume and file index of an existing file, opened for no access at all.
bool FileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
  HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  return ok;
}

// Whether the process holds the administrators' rights (elevated, or an
// administrator where Windows does not split them off).
bool RunsAsAdministrator() {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                &administrators))
    return false;
  BOOL member = FALSE;
  if (!CheckTokenMembership(nullptr, administrators, &member)) member = FALSE;
  FreeSid(administrators);
  return member != FALSE;
}

}  // namespace

bool ListDirectory(const std::string& dir, std::vector<DirEntry>& entries) {
  entries.clear();
  std::u16string pattern = AnsiToWide(dir) + u"*.*";
  // Past the 8-bit calls' length the system lists a folder only by its
  // full path behind "\\?\".
  if (pattern.size() > kMaxPath) {
    std::u16string full(32768, u'\0');
    DWORD n = GetFullPathNameW(reinterpret_cast<const wchar_t*>(pattern.c_str()), static_cast<DWORD>(full.size()),
                               reinterpret_cast<wchar_t*>(full.data()), nullptr);
    if (n > 0 && n < full.size()) pattern = u"\\\\?\\" + full.substr(0, n);
  }
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW(reinterpret_cast<const wchar_t*>(pattern.c_str()), &found);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    const std::u16string name(reinterpret_cast<const char16_t*>(found.cFileName));
    if (name == u"." || name == u"..") continue;
    DirEntry entry;
    if (!WideToAnsiExact(name, entry.Name)) {
      entry.WideName = name;
      std::string alternate;
      if (WideToAnsiExact(reinterpret_cast<const char16_t*>(found.cAlternateFileName), alternate) && !alternate.empty())
        entry.Name = alternate;
    }
    entry.IsDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.DosDateTime = DosDateTime(found.ftLastWriteTime);
    // Only a reparse point that stands for another name (symbolic link,
    // junction) is a link; a deduplicated or cloud-held file carries a
    // reparse point too and is an ordinary file.
    entry.IsLink =
        (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsReparseTagNameSurrogate(found.dwReserved0);
    entry.Size = static_cast<int64_t>(static_cast<uint64_t>(found.nFileSizeHigh) << 32 | found.nFileSizeLow);
    entries.push_back(std::move(entry));
  } while (FindNextFileW(h, &found));
  FindClose(h);
  SortDirEntries(entries);
  return true;
}

bool DirectoryExists(const std::string& path) {
  DWORD attr = GetFileAttributesA(path.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool SameFile(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION ia, ib;
  return FileIdentity(a, ia) && FileIdentity(b, ib) && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

bool MakeDir(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

bool MakePrivateDir(const std::string& path) {
  // Where this process is no administrator, every program of the user has
  // its rights anyway, and the folder takes the usual ones.
  if (!RunsAsAdministrator()) return MakeDir(path);
  // Owned by the administrators, not by the user: an owner may always
  // change the access list, and the programs of the user without the
  // administrators' rights run as that user.
  PSECURITY_DESCRIPTOR administratorsOnly = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA("O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", SDDL_REVISION_1,
                                                            &administratorsOnly, nullptr))
    return false;
  SECURITY_ATTRIBUTES attributes{sizeof attributes, administratorsOnly, FALSE};
  const bool made = CreateDirectoryA(path.c_str(), &attributes) != 0;
  LocalFree(administratorsOnly);
  return made;
}

bool RemoveAtRestart(const std::string& path) {
  return MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
}

bool RemoveEmptyDir(const std::string& path) { return RemoveDirectoryA(path.c_str()) != 0; }

// A link to a folder is removed as a folder, a link to a file as a file;
// neither call touches the target.
bool RemoveLink(const std::string& path) {
  DWORD attr = GetFileAttributesA(path.c_str());
  if (attr == INVALID_FILE_ATTRIBUTES || !(attr & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  if (attr & FILE_ATTRIBUTE_DIRECTORY) return RemoveDirectoryA(path.c_str()) != 0;
  return DeleteFileA(path.c_str()) != 0;
}

bool RenameOver(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool RenameFile(const std::string& from, const std::string& to) { return MoveFileA(from.c_str(), to.c_str()) != 0; }

}  // namespace platform
