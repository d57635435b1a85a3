#include "platform/Registry.h"

#include <algorithm>
#include <vector>

#include "platform/Registry_win32.h"
#include "platform/Text.h"

namespace platform {
namespace {

HKEY K(uintptr_t key) { return reinterpret_cast<HKEY>(key); }

// The game is a 32-bit program, so its values (its install path) are in the
// 32-bit view of the registry, and so is everything the programs write.
// A 32-bit program is in that view already: the flag matters to the 64-bit
// build, and the 32-bit build keeps to the calls of every Windows it runs on.
#ifdef _WIN64
constexpr REGSAM kView = KEY_WOW64_32KEY;
#else
constexpr REGSAM kView = 0;
#endif

}  // namespace

HKEY RootKeyOf(uint8_t code) {
  static const HKEY kKeys[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, HKEY_USERS,
                               HKEY_CURRENT_CONFIG};
  return code < sizeof kKeys / sizeof kKeys[0] ? kKeys[code] : HKEY(0);
}

bool Registry::Open(const std::string& path, bool canCreate, bool readOnly) {
  CloseKey();
  HKEY root = RootKeyOf(root_);
  if (!root) return false;
  std::string sub = TrimKeyPath(path);
  REGSAM access = (readOnly ? KEY_READ : KEY_READ | KEY_WRITE) | kView;
  HKEY key = nullptr;
  LONG rc = canCreate ? RegCreateKeyExA(root, sub.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key,
                                        nullptr)
                      : RegOpenKeyExA(root, sub.c_str(), 0, access, &key);
  if (rc != ERROR_SUCCESS) return false;
  key_ = reinterpret_cast<uintptr_t>(key);
  return true;
}

void Registry::CloseKey() {
  if (key_) RegCloseKey(K(key_));
  key_ = 0;
}

bool Registry::ReadString(const std::string& name, std::string& value) {
  std::u16string wide;
  const bool read = ReadString(name, wide);
  value = WideToAnsi(wide);
  return read;
}

// In 16-bit text, as the registry keeps strings: the 8-bit call would turn
// a character outside the code page into a look-alike.
bool Registry::ReadString(const std::string& name, std::u16string& value) {
  value.clear();
  const std::u16string wideName = AnsiToWide(name);
  auto* valueName = reinterpret_cast<const wchar_t*>(wideName.c_str());
  DWORD type = 0, size = 0;
  if (!key_ || RegQueryValueExW(K(key_), valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return false;
  std::vector<char16_t> data(size / 2 + 1, 0);
  if (RegQueryValueExW(K(key_), valueName, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
      ERROR_SUCCESS)
    return false;
  // The stored text may or may not carry its terminator.
  const size_t stored = std::min<size_t>(size / 2, data.size());
  value.assign(data.data(), std::find(data.data(), data.data() + stored, u'\0'));
  return true;
}

bool Registry::WriteString(const std::string& name, const std::string& value) {
  return key_ && RegSetValueExA(K(key_), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

bool Registry::WriteInteger(const std::string& name, uint32_t value) {
  DWORD data = value;
  return key_ && RegSetValueExA(K(key_), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                                sizeof data) == ERROR_SUCCESS;
}

bool Registry::ValueExists(const std::string& name) {
  return key_ && RegQueryValueExA(K(key_), name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool Registry::DeleteValue(const std::string& name) {
  return key_ && RegDeleteValueA(K(key_), name.c_str()) == ERROR_SUCCESS;
}

bool Registry::KeyExists(const std::string& path) {
  HKEY root = RootKeyOf(root_), key = nullptr;
  if (!root || RegOpenKeyExA(root, TrimKeyPath(path).c_str(), 0, KEY_READ | kView, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

bool Registry::DeleteKey(const std::string& path) {
  HKEY root = RootKeyOf(root_);
  std::string sub = TrimKeyPath(path);
#ifdef _WIN64
  return root && !sub.empty() && RegDeleteKeyExA(root, sub.c_str(), kView, 0) == ERROR_SUCCESS;
#else
  return root && !sub.empty() && RegDeleteKeyA(root, sub.c_str()) == ERROR_SUCCESS;
#endif
}

bool Registry::DeleteEmptyKey(const std::string& path) {
  HKEY root = RootKeyOf(root_), key = nullptr;
  if (!root || RegOpenKeyExA(root, TrimKeyPath(path).c_str(), 0, KEY_READ | kView, &key) != ERROR_SUCCESS) return false;
  DWORD subkeys = 1, values = 1;
  LONG rc = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                             nullptr, nullptr);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS && subkeys == 0 && values == 0 && DeleteKey(path);
}

}  // namespace platform
