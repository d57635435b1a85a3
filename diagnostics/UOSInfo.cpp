#include "diagnostics/UOSInfo.h"

#include "platform/Text.h"

namespace {

const char* const kWinVersionNames[] = {
    "Unknown OS",    "Windows 95",          "Windows 98", "Windows Me",
    "Windows NT4",   "Windows 2000",        "Windows XP", "Windows Server 2003",
    "Windows Vista", "Windows Server 2008", "Windows 7",  "Windows Server 2008 R2",
    "Windows 8",     "Windows Server 2012",
};

bool StartsWithEither(const std::string& text, char a, char b) {
  return !text.empty() && (text[0] == a || text[0] == b);
}

}  // namespace

int TOSInfo::GetWinVersion() const {
  const uint32_t major = data_.MajorVersion, minor = data_.MinorVersion;
  const bool workstation = data_.ProductType == kProductWorkstation;
  if (IsWin9x()) {
    if (major != 4) return 0;
    return minor == 0 ? 1 : minor == 10 ? 2 : minor == 90 ? 3 : 0;
  }
  if (!IsWinNT()) return 0;
  switch (major) {
    case 4:
      return minor == 0 ? 4 : 0;
    case 5:
      return minor <= 2 ? 5 + static_cast<int>(minor) : 0;
    case 6:
      if (minor > 2) return 0;
      return 8 + 2 * static_cast<int>(minor) + (workstation ? 0 : 1);
    default:
      return 0;
  }
}

bool TOSInfo::IsWinNT4SP6a() const {
  return GetWinVersion() == 4 && platform::AnsiLowerCase(data_.CSDVersion) == "service pack 6" && data_.HasQ246009;
}

std::string TOSInfo::GetServicePack() const {
  if (IsWin9x()) {
    const std::string& csd = data_.CSDVersion;
    int code = GetWinVersion();
    if (code == 1 && (StartsWithEither(csd, 'B', 'b') || StartsWithEither(csd, 'C', 'c'))) return "OSR2";
    if (code == 2 && StartsWithEither(csd, 'A', 'a')) return "SE";
    return "";
  }
  if (IsWinNT()) return IsWinNT4SP6a() ? "Service Pack 6a" : data_.CSDVersion;
  return "";
}

std::string GetProductName(uint32_t major, uint32_t minor, const TOSInfo& os) {
  if (major == 5 && minor == 0) return "Windows 2000";
  if (major == 5 && minor == 1) return "Windows XP";
  if (major == 6 && minor == 0) return "Windows Vista";
  if (major == 6 && minor == 1) return "Windows 7";
  if (major == 6 && minor == 2) return "Windows 8";
  if (major == 6 && minor == 3) return "Windows 8.1";
  if (major == 10) return "Windows 10";
  return kWinVersionNames[os.GetWinVersion()];
}
