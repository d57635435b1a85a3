#include "platform/Directory.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/File.h"
#include "tests/support/TempDir.h"

using platform::DirEntry;
using testing_support::TempDir;
using testing_support::WriteFileText;

namespace {

std::vector<std::string> Names(const std::vector<DirEntry>& entries) {
  std::vector<std::string> names;
  for (const DirEntry& e : entries) names.push_back(e.Name);
  return names;
}

TEST(Directory, EntriesAreSortedByNameIgnoringCase) {
  struct Case {
    std::vector<std::string> given, sorted;
  };
  const Case cases[] = {
      {{}, {}},
      {{"b", "A", "c"}, {"A", "b", "c"}},
      {{"file10", "File2", "file1"}, {"file1", "file10", "File2"}},
      {{"sub", "Sub.dat", "sub.dat"}, {"sub", "Sub.dat", "sub.dat"}},  // equal but case: bytes decide
      {{"\xC9t\xE9", "\xE9te", "eta"}, {"eta", "\xE9te", "\xC9t\xE9"}},  // accented letters fold too
  };
  for (const Case& c : cases) {
    std::vector<DirEntry> entries;
    for (const std::string& n : c.given) entries.push_back({n, false, false});
    platform::SortDirEntries(entries);
    EXPECT_EQ(Names(entries), c.sorted);
  }
}

TEST(Directory, ListsFilesAndFoldersWithoutDotEntries) {
  TempDir dir;
  WriteFileText(dir.File("b.txt"), "b");
  WriteFileText(dir.File("A.txt"), "a");
  std::filesystem::create_directory(dir.File("sub"));
  std::vector<DirEntry> entries;
  ASSERT_TRUE(platform::ListFolder(dir.Path(), entries));
  ASSERT_EQ(Names(entries), (std::vector<std::string>{"A.txt", "b.txt", "sub"}));
  EXPECT_FALSE(entries[0].IsFolder);
  EXPECT_TRUE(entries[2].IsFolder);
  for (const DirEntry& e : entries) EXPECT_FALSE(e.IsLink) << e.Name;

  // A trailing separator of either kind changes nothing.
  std::vector<DirEntry> again;
  ASSERT_TRUE(platform::ListFolder(dir.Path() + "\\", again));
  EXPECT_EQ(Names(again), Names(entries));

  ASSERT_TRUE(platform::ListFolder(dir.File("sub"), again));
  EXPECT_TRUE(again.empty());
  EXPECT_FALSE(platform::ListFolder(dir.File("missing"), again));
  EXPECT_FALSE(platform::ListFolder(dir.File("b.txt"), again)) << "a file is no folder";

  EXPECT_TRUE(platform::FolderExists(dir.File("sub")));
  EXPECT_TRUE(platform::FolderExists(dir.Path() + "\\sub\\"));
  EXPECT_FALSE(platform::FolderExists(dir.File("b.txt")));
  EXPECT_FALSE(platform::FolderExists(dir.File("missing")));
}

TEST(Directory, LinksAreMarked) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("real"));
  WriteFileText(dir.File("real/f.txt"), "f");
  std::error_code ec;
  std::filesystem::create_directory_symlink("real", dir.File("link"), ec);
  if (ec) GTEST_SKIP() << "no symbolic links here: " << ec.message();
  std::vector<DirEntry> entries;
  ASSERT_TRUE(platform::ListFolder(dir.Path(), entries));
  ASSERT_EQ(Names(entries), (std::vector<std::string>{"link", "real"}));
  EXPECT_TRUE(entries[0].IsLink);
  EXPECT_FALSE(entries[1].IsLink);
}

TEST(Directory, RenameOverReplacesAFile) {
  TempDir dir;
  WriteFileText(dir.File("new"), "new");
  WriteFileText(dir.File("old"), "old");
  ASSERT_TRUE(platform::RenameOver(dir.File("new"), dir.File("old")));
  EXPECT_FALSE(platform::FileExists(dir.File("new")));
  EXPECT_EQ(testing_support::ReadFileBytes(dir.File("old")), (std::vector<uint8_t>{'n', 'e', 'w'}));

  ASSERT_TRUE(platform::RenameOver(dir.File("old"), dir.File("fresh")));
  EXPECT_TRUE(platform::FileExists(dir.File("fresh")));

  EXPECT_FALSE(platform::RenameOver(dir.File("missing"), dir.File("fresh")));
  EXPECT_TRUE(platform::FileExists(dir.File("fresh")));
  std::filesystem::create_directory(dir.File("folder"));
  EXPECT_FALSE(platform::RenameOver(dir.File("fresh"), dir.File("folder")));
  EXPECT_TRUE(platform::FileExists(dir.File("fresh")));
  EXPECT_TRUE(platform::FolderExists(dir.File("folder")));
}

}  // namespace
