#include "platform/Shell.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <stdexcept>

#include "platform/Text.h"
#include "platform/WidePath.h"

namespace platform {
namespace {

// Releases a COM interface at the end of its scope.
template <class T>
struct ComRef {
  T* p = nullptr;
  ~ComRef() {
    if (p) p->Release();
  }
};

}  // namespace

std::string GetItemIdFolder(void* owner, int folderId) {
  LPITEMIDLIST items = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(static_cast<HWND>(owner), folderId, &items)) || !items) return {};
  wchar_t path[MAX_PATH] = {0};
  BOOL found = SHGetPathFromIDListW(items, path);
  CoTaskMemFree(items);
  return found ? NarrowPath(reinterpret_cast<const char16_t*>(path)) : std::string();
}

std::string GetFolderPathById(int folderId) {
  wchar_t path[MAX_PATH] = {0};
  if (FAILED(SHGetFolderPathW(nullptr, folderId, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
  return NarrowPath(reinterpret_cast<const char16_t*>(path));
}

bool SaveShellLink(const std::string& linkPath, const std::string& target, const std::string& arguments,
                   const std::string& workingDir, int showCommand, const std::string* iconPath, int iconIndex) {
  ComRef<IShellLinkA> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&link.p))))
    throw std::runtime_error("Cannot create the shell link object");
  ComRef<IPersistFile> file;
  if (FAILED(link.p->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.p)))) return false;
  bool filled = SUCCEEDED(link.p->SetPath(target.c_str())) && SUCCEEDED(link.p->SetArguments(arguments.c_str())) &&
                SUCCEEDED(link.p->SetWorkingDirectory(workingDir.c_str())) &&
                SUCCEEDED(link.p->SetShowCmd(showCommand));
  if (filled && iconPath) filled = SUCCEEDED(link.p->SetIconLocation(iconPath->c_str(), iconIndex));
  if (!filled) return false;
  std::u16string wide = AnsiToWide(linkPath);
  return SUCCEEDED(file.p->Save(reinterpret_cast<const wchar_t*>(wide.c_str()), FALSE));
}

}  // namespace platform
