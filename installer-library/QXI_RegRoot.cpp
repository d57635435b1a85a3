#include "installer-library/QXI_RegRoot.h"

namespace {

struct RootNames {
  std::string_view shortName, longName;
};

// Indexed by code.
constexpr RootNames kRoots[kRegRootCount] = {
    {"HKLM", "HKEY_LOCAL_MACHINE"}, {"HKCU", "HKEY_CURRENT_USER"},   {"HKCR", "HKEY_CLASSES_ROOT"},
    {"HKU", "HKEY_USERS"},          {"HKCC", "HKEY_CURRENT_CONFIG"},
};

char UpperAZ(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

uint8_t RegRootFromName(std::string_view name) {
  std::string upper(name);
  for (char& c : upper) c = UpperAZ(c);
  for (uint8_t code = 0; code < kRegRootCount; ++code)
    if (upper == kRoots[code].shortName) return code;
  return 0;
}

std::string RegRootToName(uint8_t code) {
  return code < kRegRootCount ? std::string(kRoots[code].longName) : std::string("!ERROR!");
}
