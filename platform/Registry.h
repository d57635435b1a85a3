// The registry accessor: one root key, at most one open key at a time, string
// values. Roots are the stored root codes 0 (HKEY_LOCAL_MACHINE) to 4
// (HKEY_CURRENT_CONFIG). Key paths are relative to the root; leading and
// trailing backslashes are ignored. A 32-bit program sees the 32-bit view.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

class Registry {
 public:
  Registry() = default;
  ~Registry() { CloseKey(); }
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  // Closes any open key. A code above 4 leaves no root: every open fails.
  void SetRoot(uint8_t rootCode);
  uint8_t Root() const { return root_; }

  // Opens a key for reading and writing, creating it (with the keys above
  // it) when asked; closes any key open before.
  bool OpenKey(const std::string& path, bool canCreate);
  bool OpenKeyReadOnly(const std::string& path);
  void CloseKey();
  bool KeyOpen() const { return key_ != 0; }

  // Of the open key. ReadString fails for a missing or non-string value;
  // ValueExists tells the two apart. WriteInteger writes a 32-bit number.
  // The 8-bit text has a '?' for each character the code page lacks; the
  // 16-bit one is the value as stored.
  bool ReadString(const std::string& name, std::string& value);
  bool ReadString(const std::string& name, std::u16string& value);
  bool WriteString(const std::string& name, const std::string& value);
  bool WriteInteger(const std::string& name, uint32_t value);
  bool ValueExists(const std::string& name);
  bool DeleteValue(const std::string& name);

  // Of the root: whether a key exists, and deleting one that has no subkeys.
  bool KeyExists(const std::string& path);
  bool DeleteKey(const std::string& path);
  // Deletes a key only when it holds no value and no subkey: what other
  // programs put there stays with it.
  bool DeleteEmptyKey(const std::string& path);

 private:
  bool Open(const std::string& path, bool canCreate, bool readOnly);

  uint8_t root_ = 0;
  uintptr_t key_ = 0;  // HKEY on Windows; a key id of the stand-in on the host
};

// Key paths as the registry takes them: no leading or trailing backslash.
std::string TrimKeyPath(const std::string& path);

}  // namespace platform
