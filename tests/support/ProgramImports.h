// The DLLs a program file names in its import directories, read from the
// file itself, so that 32-bit programs can be looked at where they cannot
// run.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace testing_support {

// Known DLLs on every Windows the programs run on: Windows loads them from
// the system folder only, never from the program's own. (psapi is one only
// from Windows 7 on; shlwapi and msvcrt are imported by the known shell32
// and ole32 everywhere, which makes them known too.)
inline const std::set<std::string> kKnownDlls = {"advapi32.dll", "comdlg32.dll", "gdi32.dll",    "kernel32.dll",
                                                 "msvcrt.dll",   "ole32.dll",    "oleaut32.dll", "shell32.dll",
                                                 "shlwapi.dll",  "user32.dll"};

// The lower-cased names of the DLLs of a program's import and delay-load
// import directories; empty for a file that is no program.
inline std::vector<std::string> ImportedDlls(const std::vector<uint8_t>& file) {
  auto u16 = [&](size_t at) -> uint32_t { return at + 2 <= file.size() ? file[at] | file[at + 1] << 8 : 0; };
  auto u32 = [&](size_t at) -> uint32_t { return at + 4 <= file.size() ? u16(at) | u16(at + 2) << 16 : 0; };
  const size_t pe = u32(0x3C);
  if (u32(pe) != 0x00004550) return {};  // "PE\0\0"
  const size_t optional = pe + 24, sections = optional + u16(pe + 20);
  const size_t directories = optional + (u16(optional) == 0x20B ? 112 : 96);  // PE32+ or PE32
  // A file offset for an address in the loaded image; 0 when no section
  // holds it.
  auto offsetOf = [&](uint32_t rva) -> size_t {
    for (size_t s = 0; s < u16(pe + 6); ++s) {
      const size_t header = sections + 40 * s;
      const uint32_t va = u32(header + 12), size = std::max(u32(header + 8), u32(header + 16));
      if (rva >= va && rva < va + size) return u32(header + 20) + (rva - va);
    }
    return 0;
  };
  auto nameAt = [&](uint32_t rva) {
    std::string name;
    for (size_t at = offsetOf(rva); at && at < file.size() && file[at]; ++at)
      name += static_cast<char>(std::tolower(file[at]));
    return name;
  };
  std::vector<std::string> names;
  // Directory 1: 20-byte descriptors, the name at 12; directory 13: 32-byte
  // ones, the name at 4. A descriptor without a name ends the list.
  for (auto [directory, size, nameField] : {std::tuple{1, 20, 12}, std::tuple{13, 32, 4}}) {
    const uint32_t rva = u32(directories + 8 * directory);
    for (size_t at = rva ? offsetOf(rva) : 0; at && u32(at + nameField); at += size)
      names.push_back(nameAt(u32(at + nameField)));
  }
  return names;
}

}  // namespace testing_support
