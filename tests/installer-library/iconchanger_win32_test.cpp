#include "installer-library/iconchanger.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "Global/QXI_PakFile.h"
#include "tests/support/ExeResources_win32.h"
#include "tests/support/IconFile.h"
#include "tests/support/TempDir.h"

using testing_support::kUkEnglish;
using testing_support::MakeIconFile;
using testing_support::MakeIconImage;
using testing_support::ReadFileBytes;
using testing_support::Resources;
using testing_support::RunProgram;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

class IconChange : public ::testing::Test {
 protected:
  void SetUp() override {
    exe = dir.File("setup.exe");
    WriteFileBytes(exe, ReadFileBytes("SetupBase.exe"));
    Resources base(exe);
    ASSERT_TRUE(base.Loaded());
    bool found;
    baseIcon = base.Icon1(kUkEnglish, found);
    ASSERT_TRUE(found) << "the base program carries icon 1 in UK English";
    baseGroup = base.MainIcon(found);
    ASSERT_TRUE(found) << "the base program carries the group icon MAINICON";
    ASSERT_EQ(base.Icon1Languages(), std::set<WORD>{kUkEnglish});
    manifest = base.Get(MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1), kUkEnglish, found);
    ASSERT_TRUE(found) << "the base program carries its manifest";
  }

  std::string Icon(const std::string& name, const Bytes& file) {
    WriteFileBytes(dir.File(name), file);
    return dir.File(name);
  }

  // The group icon, in the base program's language, lists the icon file's
  // images and nothing else: at every size Windows finds a new image, and
  // no icon of the base program is left in any language.
  void ExpectIcon(const std::vector<Bytes>& images) {
    Resources r(exe);
    ASSERT_TRUE(r.Loaded());
    std::vector<std::pair<int, Bytes>> expected;
    for (const Bytes& image : images) expected.push_back({static_cast<int>(GetU32(image.data() + 4)), image});
    EXPECT_EQ(r.MainIconImages(), expected);
    EXPECT_EQ(r.IconNumbers().size(), images.size());
    EXPECT_EQ(r.Icon1Languages(), std::set<WORD>{kUkEnglish});
    bool found;
    EXPECT_NE(r.Icon1(kUkEnglish, found), baseIcon);
  }

  TempDir dir;
  std::string exe;
  Bytes baseIcon, baseGroup, manifest;
};

TEST_F(IconChange, EveryImageOfTheFileReplacesTheProgramsIcon) {
  const std::vector<Bytes> images = {MakeIconImage(48, 10), MakeIconImage(16, 20), MakeIconImage(32, 30)};
  ASSERT_TRUE(ChangeExeIcon(Icon("icon.ico", MakeIconFile(images)), exe));
  ExpectIcon(images);
  bool found;
  EXPECT_EQ(Resources(exe).Get(MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1), kUkEnglish, found), manifest)
      << "the other resources stay";
  EXPECT_EQ(RunProgram(exe), 42u);
}

// Fewer images the second time: none of the first change is left.
TEST_F(IconChange, ASecondChangeReplacesTheFirst) {
  ASSERT_TRUE(ChangeExeIcon(Icon("a.ico", MakeIconFile({MakeIconImage(32, 1), MakeIconImage(16, 3)})), exe));
  Bytes second = MakeIconImage(16, 2);
  ASSERT_TRUE(ChangeExeIcon(Icon("b.ico", MakeIconFile({second})), exe));
  ExpectIcon({second});
}

TEST_F(IconChange, FailuresLeaveTheExecutableAsItWas) {
  const Bytes before = ReadFileBytes(exe);
  Bytes damaged = MakeIconFile({MakeIconImage(32, 1)});
  damaged.resize(damaged.size() - 1);
  EXPECT_FALSE(ChangeExeIcon(dir.File("missing.ico"), exe));
  EXPECT_FALSE(ChangeExeIcon(Icon("short.ico", Bytes{0, 0, 1, 0, 1}), exe));
  EXPECT_FALSE(ChangeExeIcon(Icon("cut.ico", damaged), exe));
  EXPECT_EQ(ReadFileBytes(exe), before);

  const std::string good = Icon("good.ico", MakeIconFile({MakeIconImage(32, 1)}));
  EXPECT_FALSE(ChangeExeIcon(good, dir.File("missing.exe")));
  EXPECT_FALSE(platform::FileExists(dir.File("missing.exe")));

  const std::string text = dir.File("text.exe");
  WriteFileBytes(text, Bytes(300, 'x'));
  EXPECT_FALSE(ChangeExeIcon(good, text)) << "not a program";
  EXPECT_EQ(ReadFileBytes(text), Bytes(300, 'x'));

  // A program held open by another process without sharing.
  HANDLE lock = CreateFileA(exe.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(ChangeExeIcon(good, exe)) << "locked program";
  CloseHandle(lock);
  EXPECT_EQ(ReadFileBytes(exe), before);
}

// The builder's order: icon first, archive appended after it. Both must be
// intact in the result, and the program must still start.
TEST_F(IconChange, AnArchiveAppendedAfterTheIconReadsBack) {
  Bytes image = MakeIconImage(64, 99);  // larger than the base icon
  ASSERT_TRUE(ChangeExeIcon(Icon("icon.ico", MakeIconFile({image})), exe));
  const Bytes payload(5000, 'p');
  {
    TPak pak(exe, true, false);
    ASSERT_TRUE(pak.IsOpen());
    int i = pak.AddEntry("SetupInfo", "", 0);
    ASSERT_TRUE(pak.WriteEntryData(i, payload.data(), payload.size()));
    ASSERT_TRUE(pak.WriteTable());
  }
  TPak pak(exe, false, false);
  ASSERT_EQ(pak.Entries.size(), 1u);
  EXPECT_TRUE(pak.VerifyEntry(0));
  EXPECT_EQ(pak.GetData(0), payload);
  pak.Close();
  ExpectIcon({image});
  EXPECT_EQ(RunProgram(exe), 42u);
}

// What is appended to a program (the map of the kit's base installer) still
// ends it after the update that writes it anew.
TEST_F(IconChange, WhatIsAppendedToTheProgramStaysAtItsEnd) {
  const Bytes appended(4000, 0x4D);
  Bytes program = ReadFileBytes(exe);
  program.insert(program.end(), appended.begin(), appended.end());
  WriteFileBytes(exe, program);
  Bytes image = MakeIconImage(64, 99);
  ASSERT_TRUE(ChangeExeIcon(Icon("icon.ico", MakeIconFile({image})), exe));
  const Bytes after = ReadFileBytes(exe);
  ASSERT_GT(after.size(), appended.size());
  EXPECT_EQ(Bytes(after.end() - static_cast<std::ptrdiff_t>(appended.size()), after.end()), appended);
  ExpectIcon({image});
  EXPECT_EQ(RunProgram(exe), 42u);
}

}  // namespace
