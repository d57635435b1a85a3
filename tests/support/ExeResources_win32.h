// Windows builds only: what Windows itself reads from a program file, for
// the tests of programs the system writes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "platform/ByteOrder.h"

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

inline BOOL CALLBACK AddNumber(HMODULE, LPCSTR, LPSTR name, LONG_PTR numbers) {
  if (IS_INTRESOURCE(name))
    reinterpret_cast<std::set<WORD>*>(numbers)->insert(LOWORD(reinterpret_cast<ULONG_PTR>(name)));
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

  // What the group icon MAINICON (UK English) shows: for each of its
  // entries, the width it records and the data of the icon it lists, in the
  // group's language; an entry whose icon is missing has no data.
  std::vector<std::pair<int, std::vector<uint8_t>>> MainIconImages() const {
    std::vector<std::pair<int, std::vector<uint8_t>>> images;
    bool found;
    const std::vector<uint8_t> group = MainIcon(found);
    for (size_t at = 6; group.size() >= 6 && images.size() < GetU16(group.data() + 4) && at + 14 <= group.size();
         at += 14) {
      const WORD id = GetU16(group.data() + at + 12);
      images.push_back(
          {group[at] ? group[at] : 256, Get(MAKEINTRESOURCEA(3), MAKEINTRESOURCEA(id), kUkEnglish, found)});
    }
    return images;
  }
  // The numbers of every icon resource, in any language.
  std::set<WORD> IconNumbers() const {
    std::set<WORD> numbers;
    EnumResourceNamesA(module_, MAKEINTRESOURCEA(3), AddNumber, reinterpret_cast<LONG_PTR>(&numbers));
    return numbers;
  }

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
