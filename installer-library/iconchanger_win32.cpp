#include "installer-library/iconchanger.h"

#include <windows.h>

#include <algorithm>
#include <set>

namespace {

const LPCSTR kIcon = MAKEINTRESOURCEA(3);        // RT_ICON
const LPCSTR kGroupIcon = MAKEINTRESOURCEA(14);  // RT_GROUP_ICON

// A resource type or name as the resource functions take it: a number, or a
// text kept here.
struct TResourceName {
  WORD Id = 0;
  std::string Text;

  explicit TResourceName(LPCSTR name)
      : Id(IS_INTRESOURCE(name) ? LOWORD(reinterpret_cast<ULONG_PTR>(name)) : 0),
        Text(IS_INTRESOURCE(name) ? "" : name) {}
  LPCSTR Get() const { return Text.empty() ? MAKEINTRESOURCEA(Id) : Text.c_str(); }
  bool Is(LPCSTR type) const { return Text.empty() && Id == LOWORD(reinterpret_cast<ULONG_PTR>(type)); }
};

struct TResource {
  TResourceName Type, Name;
  WORD Language;
  Bytes Data;
};

// Every resource of a program, in the order the system lists them.
struct TResources {
  HMODULE Program;
  std::vector<TResource> Items;
};

BOOL CALLBACK AddLanguage(HMODULE program, LPCSTR type, LPCSTR name, WORD language, LONG_PTR found) {
  auto* resources = reinterpret_cast<TResources*>(found);
  HRSRC resource = FindResourceExA(program, type, name, language);
  const auto* data = resource ? static_cast<const uint8_t*>(LockResource(LoadResource(program, resource))) : nullptr;
  Bytes bytes = data ? Bytes(data, data + SizeofResource(program, resource)) : Bytes();
  resources->Items.push_back({TResourceName(type), TResourceName(name), language, std::move(bytes)});
  return TRUE;
}

BOOL CALLBACK AddName(HMODULE program, LPCSTR type, LPSTR name, LONG_PTR found) {
  EnumResourceLanguagesA(program, type, name, AddLanguage, found);
  return TRUE;
}

BOOL CALLBACK AddType(HMODULE program, LPSTR type, LONG_PTR found) {
  EnumResourceNamesA(program, type, AddName, found);
  return TRUE;
}

// False for a file that is no program.
bool ReadResources(const std::string& exePath, std::vector<TResource>& items) {
  char full[MAX_PATH];
  DWORD n = GetFullPathNameA(exePath.c_str(), MAX_PATH, full, nullptr);
  if (n == 0 || n >= MAX_PATH) return false;
  HMODULE program = LoadLibraryExA(full, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!program) return false;
  TResources resources{program, {}};
  EnumResourceTypesA(program, AddType, reinterpret_cast<LONG_PTR>(&resources));
  FreeLibrary(program);
  items = std::move(resources.Items);
  return true;
}

// The program's resources are written anew, the icon's replaced and every
// other one as it was: deleting single resources from those a program
// keeps is not honoured by every implementation of the resource update.
bool WriteIconImages(const std::vector<TIconImage>& images, const std::string& exePath) {
  std::vector<TResource> resources;
  if (!ReadResources(exePath, resources)) return false;

  // The first group icon is the one Windows shows for the program; its
  // images go with it, in every language they exist in.
  auto group =
      std::find_if(resources.begin(), resources.end(), [](const TResource& r) { return r.Type.Is(kGroupIcon); });
  TResourceName groupName(group != resources.end() ? group->Name.Get() : "MAINICON");
  const WORD language = group != resources.end() ? group->Language : MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
  std::set<WORD> listed, taken;
  if (group != resources.end()) {
    const std::vector<uint16_t> ids = GroupIconIds(group->Data);
    listed.insert(ids.begin(), ids.end());
    resources.erase(group);
  }
  std::erase_if(resources, [&](const TResource& r) { return r.Type.Is(kIcon) && listed.count(r.Name.Id); });
  for (const TResource& r : resources)
    if (r.Type.Is(kIcon)) taken.insert(r.Name.Id);
  // The new images take the lowest numbers no other icon of the program uses.
  std::vector<uint16_t> ids;
  for (WORD id = 1; ids.size() < images.size(); ++id) {
    if (id == 0) return false;  // every number taken
    if (!taken.count(id)) ids.push_back(id);
  }

  const Bytes appended = DataAppendedToProgram(exePath);
  HANDLE update = BeginUpdateResourceA(exePath.c_str(), TRUE);
  if (!update) return false;
  bool updated = true;
  auto put = [&](LPCSTR type, LPCSTR name, WORD lang, const Bytes& data) {
    updated = updated && UpdateResourceA(update, type, name, lang, const_cast<uint8_t*>(data.data()),
                                         static_cast<DWORD>(data.size()));
  };
  for (const TResource& r : resources) put(r.Type.Get(), r.Name.Get(), r.Language, r.Data);
  for (size_t i = 0; i < images.size(); ++i) put(kIcon, MAKEINTRESOURCEA(ids[i]), language, images[i].Data);
  put(kGroupIcon, groupName.Get(), language, GroupIconResource(images, ids));
  if (!updated) {
    EndUpdateResourceA(update, TRUE);  // discard: the executable stays as it was
    return false;
  }
  return EndUpdateResourceA(update, FALSE) != 0 && KeepDataAppendedToProgram(exePath, appended);
}

}  // namespace

bool ChangeExeIcon(const std::string& iconPath, const std::string& exePath) {
  std::vector<TIconImage> images;
  std::string reason;
  return ReadIconFile(iconPath, images, reason) && WriteIconImages(images, exePath);
}

bool ChangeExeIconFromData(const Bytes& iconFile, const std::string& exePath) {
  std::vector<TIconImage> images;
  std::string reason;
  return ReadIconData(iconFile, images, reason) && WriteIconImages(images, exePath);
}
