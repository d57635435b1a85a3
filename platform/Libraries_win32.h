// DLLs of the system folder, loaded by their full path (Windows builds only).
#pragma once

#include <windows.h>

namespace platform {

// The DLL `name` of the system folder, loaded by its full path; null when it
// cannot be loaded. It stays loaded for the life of the process.
HMODULE LoadSystemLibrary(const wchar_t* name);
// A DLL that the program's manifest binds to one of the system's
// side-by-side copies (the common controls of version 6), loaded by its
// name, to which alone the binding applies: the bound copy, or else the
// system folder's. It stays loaded for the life of the process.
HMODULE LoadBoundLibrary(const wchar_t* name);

// A function of a loaded DLL as the type it is called through; null when
// the DLL or the function is missing.
template <typename Function>
Function LibraryFunction(HMODULE library, const char* name) {
  return library ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name))) : nullptr;
}

}  // namespace platform
