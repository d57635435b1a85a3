#include "platform/File.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "tests/support/TempDir.h"

using testing_support::TempDir;
using testing_support::WriteFileText;
namespace fs = std::filesystem;

TEST(FileAttributes, ClearReadOnlyKeepsTheOtherPermissions) {
  TempDir dir;
  std::string path = dir.File("f.bin");
  WriteFileText(path, "x");
  fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  ASSERT_EQ(fs::status(path).permissions() & fs::perms::owner_write, fs::perms::none);
  EXPECT_TRUE(platform::ClearReadOnly(path));
  fs::perms after = fs::status(path).permissions();
  EXPECT_NE(after & fs::perms::owner_write, fs::perms::none);
  EXPECT_NE(after & fs::perms::owner_read, fs::perms::none);
  // Already writable: nothing to do.
  EXPECT_TRUE(platform::ClearReadOnly(path));
  EXPECT_FALSE(platform::ClearReadOnly(dir.File("missing.bin")));
}

TEST(FileSharing, ASharedReadWriteFileCanBeOpenedTwice) {
  TempDir dir;
  std::string path = dir.File("shared.bin");
  WriteFileText(path, "abcd");
  platform::File a, b;
  ASSERT_TRUE(a.Open(path, platform::OpenMode::ReadWriteShared));
  ASSERT_TRUE(b.Open(path, platform::OpenMode::ReadWriteShared));
  ASSERT_TRUE(a.Write("XY", 2));
  char got[4] = {};
  ASSERT_EQ(b.Read(got, 4), 4u);
  EXPECT_EQ(std::string(got, 4), "XYcd");
}

TEST(TempFileOwner, RemovesTheFileHoweverTheScopeEnds) {
  TempDir dir;
  for (bool raise : {false, true}) {
    std::string path = dir.File("owned.tmp");
    try {
      platform::TempFileOwner owner(path);
      platform::File(path, platform::OpenMode::Create).Write("x", 1);
      ASSERT_TRUE(platform::FileExists(path));
      if (raise) throw std::runtime_error("step failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(platform::FileExists(path)) << raise;
  }
}
