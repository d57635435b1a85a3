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

// The code of a short name, or kRegRootCount for any other name.
uint8_t FindRoot(std::string_view name) {
  std::string upper(name);
  for (char& c : upper) c = UpperAZ(c);
  uint8_t code = 0;
  while (code < kRegRootCount && upper != kRoots[code].shortName) ++code;
  return code;
}

}  // namespace

uint8_t RegRootFromName(std::string_view name) {
  uint8_t code = FindRoot(name);
  return code < kRegRootCount ? code : 0;
}

bool IsRegRootName(std::string_view name) { return FindRoot(name) < kRegRootCount; }

std::string RegRootToName(uint8_t code) {
  return code < kRegRootCount ? std::string(kRoots[code].longName) : std::string("!ERROR!");
}
