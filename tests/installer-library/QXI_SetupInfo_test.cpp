#include "installer-library/QXI_SetupInfo.h"

#include <gtest/gtest.h>

#include "tests/installer-library/StoredBytes.h"

using namespace stored_bytes;

namespace {

TSetupInfoFile Sample() {
  TSetupInfoFile s;
  s.SetupName = "My Mod";
  s.SetupShortName = "MyMod";
  s.SetupExeName = "mymod.exe";
  s.UninstallExe = "mm_Uninstall.exe";
  s.UninstallPrefix = "mm_";
  s.InstallDir = "C:\\Games\\Q";
  s.Changelog = "ChangeLog";
  s.InstallDirRegKey[0] = {1, "Software\\Q", "Path"};
  s.InstallDirRegKey[4] = {4, "", ""};
  s.Pages = "Install\\Std";
  s.UninstallPages = "Uninstall\\Std";
  s.IsUninstaller = 1;
  s.HasUninstall = 1;
  return s;
}

}  // namespace

TEST(SetupInfo, EmptyRecordIs45Bytes) {
  TSetupInfoFile empty;
  Bytes raw;
  ASSERT_TRUE(empty.Store(raw));
  EXPECT_EQ(raw, Bytes(45, 0));

  TSetupInfoFile back = Sample();
  ASSERT_TRUE(back.LoadFromBuffer(raw.data(), raw.size()));
  EXPECT_EQ(back, TSetupInfoFile{});
}

TEST(SetupInfo, StoredFieldOrderIsExact) {
  Bytes expected = Cat({Str("My Mod"),
                        Str("MyMod"),
                        Str("mymod.exe"),
                        Str("mm_Uninstall.exe"),
                        Str("mm_"),
                        Str("C:\\Games\\Q"),
                        Str("ChangeLog"),
                        {1},
                        Str("Software\\Q"),
                        Str("Path"),
                        {0, 0, 0, 0, 0},
                        {0, 0, 0, 0, 0},
                        {0, 0, 0, 0, 0},
                        {4, 0, 0, 0, 0},
                        Str("Install\\Std"),
                        Str("Uninstall\\Std"),
                        {1, 1}});
  Bytes raw;
  ASSERT_TRUE(Sample().Store(raw));
  EXPECT_EQ(raw, expected);
}

TEST(SetupInfo, RoundTripsEveryValue) {
  std::vector<TSetupInfoFile> records = {Sample()};
  TSetupInfoFile high;  // root bytes are kept as written, also above 4
  for (size_t i = 0; i < kInstallDirRegKeys; ++i) high.InstallDirRegKey[i] = {static_cast<uint8_t>(250 + i), "p", "k"};
  high.IsUninstaller = 7;
  records.push_back(high);
  TSetupInfoFile longest;
  longest.InstallDir = std::string(65535, 'd');
  longest.UninstallPages = std::string(65535, 'u');
  records.push_back(longest);

  for (const TSetupInfoFile& r : records) {
    Bytes raw;
    ASSERT_TRUE(r.Store(raw));
    TSetupInfoFile back;
    ASSERT_TRUE(back.LoadFromBuffer(raw.data(), raw.size()));
    EXPECT_EQ(back, r);
  }
}

TEST(SetupInfo, TooLongStringIsRefused) {
  TSetupInfoFile r;
  r.InstallDirRegKey[2].Key = std::string(65536, 'k');
  Bytes raw;
  EXPECT_FALSE(r.Store(raw));
}

TEST(SetupInfo, DamagedRecordIsRejectedAndLeavesFieldsAlone) {
  Bytes good;
  ASSERT_TRUE(Sample().Store(good));
  const std::string size = std::to_string(good.size());
  std::vector<std::pair<Bytes, std::string>> damaged;  // the cuts each name their field
  for (size_t n = 0; n < good.size(); ++n) damaged.push_back({Bytes(good.begin(), good.begin() + n), ""});
  Bytes longer = good;
  longer.push_back(0);
  damaged.push_back({longer, "1 bytes follow the end of the record at byte " + size});
  Bytes hugeCount = good;  // the first string claims more than the block holds
  hugeCount[0] = 0xFF;
  hugeCount[1] = 0xFF;
  damaged.push_back(
      {hugeCount, "SetupName at byte 0 (a string of 65535 bytes) runs past the end of the " + size + "-byte block"});
  damaged.push_back({Bytes(good.begin(), good.end() - 1), "HasUninstall at byte " + std::to_string(good.size() - 1) +
                                                              " runs past the end of the " +
                                                              std::to_string(good.size() - 1) + "-byte block"});

  for (const auto& [block, why] : damaged) {
    Bytes exact(block);  // exactly sized, so ASan sees any over-read
    TSetupInfoFile r;
    r.SetupName = "kept";
    std::string reason;
    EXPECT_FALSE(r.LoadFromBuffer(exact.data(), exact.size(), reason)) << "size " << exact.size();
    TSetupInfoFile expected;
    expected.SetupName = "kept";
    EXPECT_EQ(r, expected);
    if (!why.empty())
      EXPECT_EQ(reason, why);
    else
      EXPECT_NE(reason.find(" runs past the end of the " + std::to_string(exact.size()) + "-byte block"),
                std::string::npos)
          << reason;
  }
}
