#include <windows.h>

#include <string>

#include "platform/Libraries.h"
#include "platform/Libraries_win32.h"

namespace platform {

void LoadLibrariesFromSystemFolderOnly() {
  // Looked up: the call came with updates of Windows 7 and is built into
  // Windows 8 and later.
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  auto setDefaultDirectories = LibraryFunction<BOOL(WINAPI*)(DWORD)>(kernel, "SetDefaultDllDirectories");
  if (setDefaultDirectories && setDefaultDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
  // Older systems still search the program's folder; the programs' own
  // loads name full paths (LoadSystemLibrary).
  auto setDirectory = LibraryFunction<BOOL(WINAPI*)(LPCWSTR)>(kernel, "SetDllDirectoryW");
  if (setDirectory) setDirectory(L"");
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  UINT n = GetSystemDirectoryW(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  std::wstring path(folder, n);
  path += L'\\';
  path += name;
  // The DLL's own imports from the system folder too; where the system
  // lacks the search flags, from the DLL's folder first.
  HMODULE library = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!library && GetLastError() == ERROR_INVALID_PARAMETER)
    library = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  return library;
}

HMODULE LoadBoundLibrary(const wchar_t* name) {
  HMODULE library = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  // A system without the search flags takes the binding all the same, and
  // the search that LoadLibrariesFromSystemFolderOnly left otherwise.
  if (!library && GetLastError() == ERROR_INVALID_PARAMETER) library = LoadLibraryW(name);
  return library;
}

}  // namespace platform
