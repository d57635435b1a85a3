// Registry roots as the setup information stores them: a one-byte code,
// written in scripts by a short name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

constexpr uint8_t kRegRootCount = 5;  // codes 0 (HKLM) to 4 (HKCC)

// The code of a script's short root name ("HKLM", "hkcu", ...); the name is
// compared with A-Z folded to upper case, and anything else, a long name
// included, gives 0 (HKEY_LOCAL_MACHINE). Stored scripts and uninstall logs
// are read so; the compiler refuses any other name (IsRegRootName).
uint8_t RegRootFromName(std::string_view name);
// Whether the name is one of the five short root names, in any case.
bool IsRegRootName(std::string_view name);

// The long name of a code ("HKEY_CURRENT_USER"), or "!ERROR!".
std::string RegRootToName(uint8_t code);
