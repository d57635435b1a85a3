// DLLs of the system folder, loaded by their full path (Windows builds only).
#pragma once

#include <windows.h>

namespace platform {

// The DLL `name` of the system folder, loaded by its full path; null when it
// cannot be loaded. It stays loaded for the life of the process.
HMODULE LoadSystemLibrary(const wchar_t* name);

// A function of a loaded DLL as the type it is called through; null when
// the DLL or the function is missing.
template <typename Function>
Function LibraryFunction(HMODULE library, const char* name) {
  return library ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name))) : nullptr;
}

}  // namespace platform
