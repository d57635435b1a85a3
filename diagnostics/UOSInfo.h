// What the error report says of the machine's Windows: the version numbers
// and service pack the system reports, named by a fixed table.
#pragma once

#include <cstdint>
#include <string>

constexpr uint32_t kPlatformWin9x = 1;
constexpr uint32_t kPlatformWinNT = 2;
constexpr uint8_t kProductWorkstation = 1;

// Version data as Windows reports them at start-up.
struct TOSVersionData {
  uint32_t PlatformId = 0;
  uint32_t MajorVersion = 0;
  uint32_t MinorVersion = 0;
  uint32_t BuildNumber = 0;  // the low 16 bits on the 9x family
  std::string CSDVersion;    // the system's service-pack text
  // From the extended version record; 0 when the system could not give it.
  uint16_t ServicePackMajor = 0;
  uint16_t ServicePackMinor = 0;
  uint16_t SuiteMask = 0;
  uint8_t ProductType = 0;
  // The hotfix that makes NT 4.0 SP6 into SP6a is installed.
  bool HasQ246009 = false;
};

class TOSInfo {
 public:
  TOSInfo() = default;
  explicit TOSInfo(TOSVersionData data) : data_(std::move(data)) {}

  // 0 "Unknown OS", 1 95, 2 98, 3 Me, 4 NT4, 5 2000, 6 XP, 7 Server 2003,
  // 8 Vista, 9 Server 2008, 10 7, 11 Server 2008 R2, 12 8, 13 Server 2012.
  int GetWinVersion() const;
  std::string GetServicePack() const;
  bool IsWinNT4SP6a() const;
  bool IsWin9x() const { return data_.PlatformId == kPlatformWin9x; }
  bool IsWinNT() const { return data_.PlatformId == kPlatformWinNT; }
  uint32_t BuildNumber() const { return data_.BuildNumber; }
  uint32_t MajorVersion() const { return data_.MajorVersion; }
  uint32_t MinorVersion() const { return data_.MinorVersion; }
  uint16_t ServicePackMajor() const { return data_.ServicePackMajor; }
  uint16_t ServicePackMinor() const { return data_.ServicePackMinor; }

  // The running system's data, read once. Windows only.
  static const TOSInfo& Current();

 private:
  TOSVersionData data_;
};

// The name of a version: a table of major and minor numbers first, then
// the name of `os`'s version code.
std::string GetProductName(uint32_t major, uint32_t minor, const TOSInfo& os);

// The version Windows really runs, which may be newer than the one it
// reports to programs: from "RtlGetVersion" when ntdll.dll has it, else the
// reported one. Windows only.
void GetRealWindowsVersion(uint32_t& major, uint32_t& minor);
