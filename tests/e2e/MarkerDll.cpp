// A DLL that shows it was loaded: it writes an empty file named after
// itself with ".loaded" appended and ends the process at once (exit code
// 99), before anything can call into it. Copies of it under the names of
// the DLLs a program loads, put beside the program, show whether Windows
// took any of them from there. It needs nothing but kernel32, so that it
// loads whatever name it carries.
#include <windows.h>

extern "C" BOOL WINAPI MarkerDllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t path[MAX_PATH + 8];
  DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
  if (n > 0 && n < MAX_PATH) {
    lstrcatW(path, L".loaded");
    HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
  }
  TerminateProcess(GetCurrentProcess(), 99);
  return FALSE;
}
