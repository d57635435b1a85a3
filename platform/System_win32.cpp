#include "platform/System.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstring>

#include "platform/Text.h"
#include "platform/WidePath.h"

namespace platform {

// Read in 16-bit text: a value that names a folder outside the code page
// (a profile under such a name) comes as its short form, or with '?' where
// it has none, never as a look-alike of another folder.
std::string EnvironmentBlock() {
  std::string block;
  LPWCH env = GetEnvironmentStringsW();
  if (!env) return std::string(1, '\0');
  for (const wchar_t* p = env; *p; p += wcslen(p) + 1) {
    const std::u16string entry(reinterpret_cast<const char16_t*>(p));
    // The first "=" after the first character: hidden entries begin with one.
    const size_t split = entry.find(u'=', 1);
    const std::u16string value = split == std::u16string::npos ? u"" : entry.substr(split + 1);
    block += split == std::u16string::npos ? WideToAnsi(entry)
                                           : WideToAnsi(entry.substr(0, split + 1)) + NarrowPathOrMarked(value);
    block += '\0';
  }
  block += '\0';
  FreeEnvironmentStringsW(env);
  return block;
}

uint32_t LogicalDriveStrings(uint32_t capacity, std::string& roots) {
  std::string buffer(capacity, '\0');
  DWORD n = GetLogicalDriveStringsA(capacity, buffer.data());
  if (n > 0 && n <= capacity) roots.assign(buffer.data(), n);
  return n;
}

unsigned DriveType(const std::string& root) { return GetDriveTypeA(root.c_str()); }

int64_t DriveFreeBytes(const std::string& root) {
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExA(root.c_str(), &available, nullptr, nullptr)) return -1;
  return static_cast<int64_t>(available.QuadPart);
}

std::string SystemErrorText(uint32_t code) {
  char* text = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string out(text ? text : "", n);
  if (text) LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

bool SystemRandomBytes(void* out, size_t n) {
  HCRYPTPROV provider = 0;
  // Verify-only, in the machine key set: no key container is needed.
  if (!CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | CRYPT_MACHINE_KEYSET))
    return false;
  const bool filled = CryptGenRandom(provider, static_cast<DWORD>(n), static_cast<BYTE*>(out));
  CryptReleaseContext(provider, 0);
  return filled;
}

}  // namespace platform
