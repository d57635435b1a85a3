// Windows builds only: what Windows itself reads from a program file, for
// the tests of programs the system writes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace testing_support {

constexpr WORD kUkEnglish = 2057;
constexpr WORD kNeutral = 0;

inline std::string FullPath(const std::string& path) {
  char buf[MAX_PATH];
  DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, buf, nullptr);
  return std::string(buf, n);
}

inline BOOL CALLBACK AddLanguage(HMODULE, LPCSTR, LPCSTR, WORD lang, LONG_PTR langs) {
  reinterpret_cast<std::set<WORD>*>(langs)->insert(lang);
  return TRUE;
}

// The resources of an executable as Windows itself reads them.
class Resources {
 public:
  explicit Resources(const std::string& exe)
      : module_(LoadLibraryExA(FullPath(exe).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
  ~Resources() {
    if (module_) FreeLibrary(module_);
  }
  bool Loaded() const { return module_ != nullptr; }

  // The data of one resource; `found` tells an empty one from a missing one.
  std::vector<uint8_t> Get(LPCSTR type, LPCSTR name, WORD lang, bool& found) const {
    found = false;
    HRSRC r = FindResourceExA(module_, type, name, lang);
    if (!r) return {};
    found = true;
    auto* p = static_cast<const uint8_t*>(LockResource(LoadResource(module_, r)));
    return std::vector<uint8_t>(p, p + SizeofResource(module_, r));
  }
  std::vector<uint8_t> Icon1(WORD lang, bool& found) const {
    return Get(MAKEINTRESOURCEA(3), MAKEINTRESOURCEA(1), lang, found);
  }
  std::vector<uint8_t> MainIcon(bool& found) const { return Get(MAKEINTRESOURCEA(14), "MAINICON", kUkEnglish, found); }

  std::set<WORD> Icon1Languages() const {
    std::set<WORD> langs;
    EnumResourceLanguagesA(module_, MAKEINTRESOURCEA(3), MAKEINTRESOURCEA(1), AddLanguage,
                           reinterpret_cast<LONG_PTR>(&langs));
    return langs;
  }

 private:
  HMODULE module_;
};

// Runs a program to its end; its exit code, or ~0 when it did not start.
inline DWORD RunProgram(const std::string& exe) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::string cmd = FullPath(exe);
  cmd.insert(cmd.begin(), '"');
  cmd.push_back('"');
  if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return ~0u;
  WaitForSingleObject(pi.hProcess, 30000);
  DWORD code = ~0u;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code;
}

}  // namespace testing_support
