#include "installer-library/QXI_FD.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "Global/ZCodec.h"
#include "installer-library/QXI_Global.h"
#include "tests/installer-library/GlobalsFixture.h"
#include "tests/support/TempDir.h"

using testing_support::DrivePath;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileText;
namespace fs = std::filesystem;

TEST(PathSplits, SplitFirstDirAndFolderOfPath) {
  struct Split {
    const char* path;
    const char* first;
    const char* rest;
  } splits[] = {
      {"a\\b\\c", "a\\", "b\\c"}, {"abc", "abc", ""}, {"\\x", "\\", "x"}, {"a\\", "a\\", ""}, {"", "", ""},
  };
  for (const Split& c : splits) {
    std::string rest = c.path;
    EXPECT_EQ(SplitFirstDir(rest), c.first);
    EXPECT_EQ(rest, c.rest);
  }
  struct Folder {
    const char* path;
    const char* folder;
  } folders[] = {
      {"C:\\a\\b.txt", "C:\\a\\"}, {"C:\\", "C:\\"}, {"C:b.txt", "C:"}, {"b.txt", ""}, {"a\\b\\", "a\\b\\"}, {"", ""},
  };
  for (const Folder& c : folders) EXPECT_EQ(FolderOfPath(c.path), c.folder) << c.path;
}

class LoggedOutput : public InstallerGlobals {
 protected:
  TempDir tmp;
  std::string base = DrivePath(tmp.Path());
};

TEST_F(LoggedOutput, OnlyTheLevelsMadeAreLoggedParentsFirst) {
  fs::create_directory(tmp.File("a"));
  EXPECT_TRUE(ForceDirectoriesLogged(base + "\\a\\b\\c"));
  EXPECT_TRUE(fs::is_directory(tmp.File("a/b/c")));
  EXPECT_EQ(UninstallList.Dirs(), (std::vector<std::string>{base + "\\a\\b\\", base + "\\a\\b\\c"}));
  // existing levels are neither made nor logged
  EXPECT_TRUE(ForceDirectoriesLogged(base + "\\a\\b\\c\\"));
  EXPECT_EQ(UninstallList.Dirs().size(), 2u);
}

TEST_F(LoggedOutput, PathsWithoutADriveAreLeftAlone) {
  const std::string paths[] = {tmp.Path() + "\\rel\\x", "\\\\server\\share\\x", "C:\\", "C:", "C:x\\y"};
  for (const std::string& p : paths) ForceDirectoriesLogged(p);
  EXPECT_FALSE(fs::exists(tmp.File("rel")));
  EXPECT_TRUE(UninstallList.Dirs().empty());
}

TEST_F(LoggedOutput, ALevelThatCannotBeMadeEndsTheRest) {
  WriteFileText(tmp.File("file"), "in the way");
  EXPECT_FALSE(ForceDirectoriesLogged(base + "\\file\\sub\\deeper"));
  EXPECT_TRUE(UninstallList.Dirs().empty());
}

TEST_F(LoggedOutput, WriteBufferToFile) {
  const Bytes data = {'d', 'a', 't', 'a', 0, 0xFF};
  std::string path = base + "\\new\\dir\\f.bin";
  EXPECT_TRUE(WriteBufferToFile(path, data.data(), data.size()));
  EXPECT_EQ(ReadFileBytes(tmp.File("new/dir/f.bin")), data);
  EXPECT_EQ(UninstallList.Dirs(), (std::vector<std::string>{base + "\\new\\", base + "\\new\\dir\\"}));
  // an existing file is truncated; no data gives an empty file
  EXPECT_TRUE(WriteBufferToFile(path, data.data(), 2));
  EXPECT_EQ(ReadFileBytes(tmp.File("new/dir/f.bin")), Bytes({'d', 'a'}));
  EXPECT_TRUE(WriteBufferToFile(path, nullptr, 10));
  EXPECT_TRUE(ReadFileBytes(tmp.File("new/dir/f.bin")).empty());
  // a folder where the file should go
  EXPECT_FALSE(WriteBufferToFile(base + "\\new", data.data(), data.size()));
  EXPECT_TRUE(fs::is_directory(tmp.File("new")));
}
