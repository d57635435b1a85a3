#include "platform/System.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstring>

namespace platform {

std::string EnvironmentBlock() {
  std::string block;
  LPCH env = GetEnvironmentStringsA();
  if (!env) return std::string(1, '\0');
  const char* p = env;
  while (*p) p += strlen(p) + 1;
  block.assign(static_cast<const char*>(env), p + 1);
  FreeEnvironmentStringsA(env);
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
