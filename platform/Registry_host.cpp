// Host stand-in of the registry: a process-wide tree in memory, with the
// Windows rules the system relies on (names without regard to case, keys
// created with the keys above them, a key with subkeys cannot be deleted).
#include <map>
#include <mutex>

#include "platform/HostSystem.h"
#include "platform/Registry.h"
#include "platform/Text.h"

namespace platform {
namespace {

struct Value {
  std::string name, text;
  bool isText = true;  // else a number, which no string read returns
};
struct Key {
  std::map<std::string, Value> values;  // by folded name
};

struct Store {
  std::mutex lock;
  // By root code and folded path ("" is the root itself); ids for handles.
  std::map<std::string, Key> keys;
  std::map<uintptr_t, std::string> open;
  uintptr_t nextId = 1;
} store;

std::string KeyId(uint8_t root, const std::string& path) {
  return std::to_string(root) + "\\" + LowerAZ(TrimKeyPath(path));
}

Key* OpenKeyOf(uintptr_t handle) {
  auto it = store.open.find(handle);
  if (it == store.open.end()) return nullptr;
  auto key = store.keys.find(it->second);
  return key == store.keys.end() ? nullptr : &key->second;
}

}  // namespace

bool Registry::Open(const std::string& path, bool canCreate, bool) {
  CloseKey();
  if (root_ > 4) return false;
  // As on Windows, no key name is longer than 255 characters.
  const std::string trimmed = TrimKeyPath(path);
  for (size_t from = 0, at; from <= trimmed.size(); from = at + 1) {
    at = trimmed.find('\\', from);
    if (at == std::string::npos) at = trimmed.size();
    if (at - from > 255) return false;
  }
  std::lock_guard<std::mutex> guard(store.lock);
  std::string id = KeyId(root_, path);
  if (!store.keys.count(id)) {
    if (!canCreate) return false;
    // Create every key on the way down, as the real registry does.
    std::string sub = TrimKeyPath(path);
    for (size_t at = sub.find('\\'); at != std::string::npos; at = sub.find('\\', at + 1))
      store.keys[KeyId(root_, sub.substr(0, at))];
    store.keys[id];
  }
  key_ = store.nextId++;
  store.open[key_] = id;
  return true;
}

void Registry::CloseKey() {
  if (!key_) return;
  std::lock_guard<std::mutex> guard(store.lock);
  store.open.erase(key_);
  key_ = 0;
}

bool Registry::ReadString(const std::string& name, std::string& value) {
  value.clear();
  std::lock_guard<std::mutex> guard(store.lock);
  Key* key = OpenKeyOf(key_);
  if (!key) return false;
  auto it = key->values.find(LowerAZ(name));
  if (it == key->values.end() || !it->second.isText) return false;
  value = it->second.text;
  return true;
}

// The stand-in keeps 8-bit text.
bool Registry::ReadString(const std::string& name, std::u16string& value) {
  std::string text;
  const bool read = ReadString(name, text);
  value = AnsiToWide(text);
  return read;
}

bool Registry::WriteInteger(const std::string& name, uint32_t value) {
  std::lock_guard<std::mutex> guard(store.lock);
  Key* key = OpenKeyOf(key_);
  if (!key) return false;
  key->values[LowerAZ(name)] = Value{name, std::to_string(value), false};
  return true;
}

bool Registry::ValueExists(const std::string& name) {
  std::lock_guard<std::mutex> guard(store.lock);
  Key* key = OpenKeyOf(key_);
  return key && key->values.count(LowerAZ(name)) == 1;
}

bool Registry::WriteString(const std::string& name, const std::string& value) {
  std::lock_guard<std::mutex> guard(store.lock);
  Key* key = OpenKeyOf(key_);
  if (!key) return false;
  key->values[LowerAZ(name)] = Value{name, value};
  return true;
}

bool Registry::DeleteValue(const std::string& name) {
  std::lock_guard<std::mutex> guard(store.lock);
  Key* key = OpenKeyOf(key_);
  return key && key->values.erase(LowerAZ(name)) == 1;
}

bool Registry::KeyExists(const std::string& path) {
  std::lock_guard<std::mutex> guard(store.lock);
  return root_ <= 4 && store.keys.count(KeyId(root_, path)) == 1;
}

bool Registry::DeleteKey(const std::string& path) {
  std::lock_guard<std::mutex> guard(store.lock);
  if (root_ > 4 || TrimKeyPath(path).empty()) return false;
  std::string id = KeyId(root_, path);
  auto it = store.keys.find(id);
  if (it == store.keys.end()) return false;
  auto child = store.keys.lower_bound(id + "\\");
  if (child != store.keys.end() && child->first.rfind(id + "\\", 0) == 0) return false;  // has subkeys
  store.keys.erase(it);
  return true;
}

bool Registry::DeleteEmptyKey(const std::string& path) {
  {
    std::lock_guard<std::mutex> guard(store.lock);
    auto it = store.keys.find(KeyId(root_, path));
    if (root_ > 4 || it == store.keys.end() || !it->second.values.empty()) return false;
  }
  return DeleteKey(path);
}

namespace host {

void ClearRegistry() {
  std::lock_guard<std::mutex> guard(store.lock);
  store.keys.clear();
}

}  // namespace host
}  // namespace platform
