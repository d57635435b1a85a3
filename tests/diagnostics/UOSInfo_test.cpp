#include "diagnostics/UOSInfo.h"

#include <gtest/gtest.h>

namespace {

TOSInfo OS(uint32_t platform, uint32_t major, uint32_t minor, uint8_t product = kProductWorkstation,
           const std::string& csd = "", bool hotfix = false) {
  TOSVersionData d;
  d.PlatformId = platform;
  d.MajorVersion = major;
  d.MinorVersion = minor;
  d.ProductType = product;
  d.CSDVersion = csd;
  d.HasQ246009 = hotfix;
  return TOSInfo(d);
}

constexpr uint32_t k9x = kPlatformWin9x, kNT = kPlatformWinNT;
constexpr uint8_t kServer = 3;

}  // namespace

TEST(UOSInfo, VersionCodes) {
  struct Case {
    uint32_t platform, major, minor;
    uint8_t product;
    int code;
  } cases[] = {
      {k9x, 4, 0, 0, 1},  {k9x, 4, 10, 0, 2},       {k9x, 4, 90, 0, 3},      {k9x, 4, 3, 0, 0},  {k9x, 5, 0, 0, 0},
      {kNT, 4, 0, 1, 4},  {kNT, 4, 1, 1, 0},        {kNT, 5, 0, 1, 5},       {kNT, 5, 1, 1, 6},  {kNT, 5, 2, 3, 7},
      {kNT, 5, 3, 1, 0},  {kNT, 6, 0, 1, 8},        {kNT, 6, 0, kServer, 9}, {kNT, 6, 1, 1, 10}, {kNT, 6, 1, 2, 11},
      {kNT, 6, 2, 1, 12}, {kNT, 6, 2, kServer, 13}, {kNT, 6, 3, 1, 0},       {kNT, 10, 0, 1, 0}, {0, 5, 1, 1, 0},
      {3, 6, 1, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.platform << " " << c.major << "." << c.minor << " type " << int(c.product));
    EXPECT_EQ(OS(c.platform, c.major, c.minor, c.product).GetWinVersion(), c.code);
  }
}

TEST(UOSInfo, ProductNamesFromTheNumbersFirstThenFromTheCode) {
  struct Case {
    uint32_t major, minor;  // the real version
    TOSInfo os;             // what the system reports to the program
    const char* name;
  } cases[] = {
      {5, 0, OS(kNT, 5, 0), "Windows 2000"},
      {5, 1, OS(kNT, 5, 1), "Windows XP"},
      {5, 2, OS(kNT, 5, 2, kServer), "Windows Server 2003"},  // through the code table
      {6, 0, OS(kNT, 6, 0, kServer), "Windows Vista"},        // the numbers come first
      {6, 1, OS(kNT, 6, 1), "Windows 7"},
      {6, 2, OS(kNT, 6, 2, kServer), "Windows 8"},
      {6, 3, OS(kNT, 6, 2), "Windows 8.1"},
      {10, 0, OS(kNT, 6, 2), "Windows 10"},
      {10, 7, OS(kNT, 6, 2), "Windows 10"},
      {4, 10, OS(k9x, 4, 10), "Windows 98"},
      {4, 0, OS(kNT, 4, 0), "Windows NT4"},
      {11, 0, OS(kNT, 11, 0), "Unknown OS"},
      {6, 4, OS(kNT, 6, 2, kServer), "Windows Server 2012"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.major << "." << c.minor);
    EXPECT_EQ(GetProductName(c.major, c.minor, c.os), c.name);
  }
}

TEST(UOSInfo, ServicePacks) {
  struct Case {
    const char* what;
    TOSInfo os;
    const char* pack;
  } cases[] = {
      {"95 OSR2", OS(k9x, 4, 0, 0, "B"), "OSR2"},
      {"95 OSR2.5", OS(k9x, 4, 0, 0, "c"), "OSR2"},
      {"95 first release", OS(k9x, 4, 0, 0, "A"), ""},
      {"95 text with a leading blank", OS(k9x, 4, 0, 0, " C"), ""},
      {"98 SE", OS(k9x, 4, 10, 0, "a"), "SE"},
      {"98 first release", OS(k9x, 4, 10, 0, ""), ""},
      {"Me", OS(k9x, 4, 90, 0, "A"), ""},
      {"NT 4 SP6 with the hotfix", OS(kNT, 4, 0, 1, "SERVICE PACK 6", true), "Service Pack 6a"},
      {"NT 4 SP6 without it", OS(kNT, 4, 0, 1, "Service Pack 6", false), "Service Pack 6"},
      {"NT 4 SP5 with the key", OS(kNT, 4, 0, 1, "Service Pack 5", true), "Service Pack 5"},
      {"XP", OS(kNT, 5, 1, 1, "Service Pack 3", true), "Service Pack 3"},
      {"another platform", OS(3, 5, 1, 1, "Service Pack 3"), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.os.GetServicePack(), c.pack);
  }
  EXPECT_TRUE(OS(kNT, 4, 0, 1, "service pack 6", true).IsWinNT4SP6a());
  EXPECT_FALSE(OS(kNT, 5, 0, 1, "Service Pack 6", true).IsWinNT4SP6a()) << "only NT 4.0";
}
