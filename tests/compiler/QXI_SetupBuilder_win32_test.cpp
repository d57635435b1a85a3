// The builder with Windows' own resource update, on a real program carrying
// the installer's icon resources.
#include "compiler/QXI_SetupBuilder.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/compiler/BuilderFixture.h"
#include "tests/support/ExeResources_win32.h"

using namespace builder_testing;
using testing_support::kUkEnglish;
using testing_support::Resources;
using testing_support::RunProgram;

namespace {

class WindowsBuilderTest : public BuilderTest {
 protected:
  void SetUp() override {
    baseProgram = ReadFileBytes("SetupBase.exe");
    Put("base/setup.exe", baseProgram);
    compiler.IconWriter = DefaultIconWriter();
  }

  // Held open without sharing, as a running program or a virus scanner may.
  HANDLE Lock(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  }
};

TEST_F(WindowsBuilderTest, TheInstallerCarriesTheLayoutIconAndItsArchive) {
  CompileMod();
  ASSERT_TRUE(compiler.BuildSetup()) << testing::PrintToString(log);

  {
    Resources r(Target());
    ASSERT_TRUE(r.Loaded());
    EXPECT_EQ(r.MainIconImages(), (std::vector<std::pair<int, Bytes>>{{32, testing_support::MakeIconImage(32, 5)}}));
    EXPECT_EQ(r.Icon1Languages(), std::set<WORD>{kUkEnglish}) << "the base program's own icon is gone";
  }

  TPak pak(Target(), false, false);
  ASSERT_EQ(pak.Entries.size(), 16u);
  for (int i = 0; i < 16; ++i) EXPECT_TRUE(pak.VerifyEntry(i)) << pak.Entries[i].Name;
  // The archive starts where the program with its new icon ends.
  EXPECT_EQ(pak.Entries[0].Offset, pak.Base);
  EXPECT_GE(pak.Base, baseProgram.size());
  pak.Close();
  EXPECT_EQ(RunProgram(Target()), 42u) << "the installer still starts";
}

TEST_F(WindowsBuilderTest, ALockedBaseProgramFailsTheBuild) {
  CompileMod();
  HANDLE lock = Lock(Path("base\\setup.exe"));
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(compiler.BuildSetup());
  CloseHandle(lock);
  EXPECT_EQ(log.back(), "Error: Cannot read the base program " + Path("base\\setup.exe"));
  EXPECT_FALSE(platform::FileExists(Target()));
  EXPECT_FALSE(platform::FileExists(Target() + ".new"));
}

// An older installer still in use cannot be replaced: the build says so and
// that installer stays as it was.
TEST_F(WindowsBuilderTest, AnInstallerInUseIsNotReplaced) {
  const Bytes older = Repeated("older installer ", 100);
  Put("compiled/MyMod.exe", older);
  CompileMod();
  HANDLE lock = Lock(Target());
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(compiler.BuildSetup());
  CloseHandle(lock);
  EXPECT_EQ(log.back(), "Error: Cannot replace " + Path("compiled\\MyMod.exe"));
  EXPECT_FALSE(Logged("Finished"));
  EXPECT_EQ(ReadFileBytes(Target()), older);
  EXPECT_FALSE(platform::FileExists(Target() + ".new"));
}

}  // namespace
