#include "platform/Directory.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/TempDir.h"

using testing_support::TempDir;
using testing_support::WriteFileText;

TEST(DirectoryListing, SortedWithoutRegardToCase) {
  TempDir dir;
  for (const char* name : {"b.txt", "A.txt", "c", "_x", "B2"}) WriteFileText(dir.File(name), name);
  std::filesystem::create_directories(dir.File("Sub"));
  std::vector<platform::DirEntry> items;
  ASSERT_TRUE(platform::ListDirectory(dir.Path() + "\\", items));
  std::vector<std::string> names;
  for (const auto& e : items) names.push_back(e.Name);
  EXPECT_EQ(names, (std::vector<std::string>{"_x", "A.txt", "b.txt", "B2", "c", "Sub"}));
  EXPECT_TRUE(items.back().IsDirectory);
  EXPECT_FALSE(items.front().IsDirectory);
  // A file written just now has a DOS date after 2020.
  EXPECT_GT(static_cast<uint32_t>(items.front().DosDateTime) >> 25, 40u);

  EXPECT_FALSE(platform::ListDirectory(dir.File("none") + "\\", items));
  EXPECT_TRUE(platform::DirectoryExists(dir.File("Sub")));
  EXPECT_FALSE(platform::DirectoryExists(dir.File("c")));
  EXPECT_FALSE(platform::DirectoryExists(dir.File("none")));
}

TEST(DirectoryListing, SameFileHoweverSpelled) {
  TempDir dir;
  std::filesystem::create_directories(dir.File("d"));
  WriteFileText(dir.File("d/f"), "x");
  WriteFileText(dir.File("d/g"), "x");
  EXPECT_TRUE(platform::SameFile(dir.File("d/f"), dir.Path() + "\\d\\..\\d\\f"));
  EXPECT_FALSE(platform::SameFile(dir.File("d/f"), dir.File("d/g")));
  EXPECT_FALSE(platform::SameFile(dir.File("d/f"), dir.File("d/missing")));
  EXPECT_FALSE(platform::SameFile(dir.File("d/missing"), dir.File("d/missing")));
}

TEST(DirectoryListing, SortKeepsCaseVariantsInByteOrder) {
  std::vector<platform::DirEntry> items = {{"b", false, 0}, {"B", false, 0}, {"a", false, 0}};
  platform::SortDirEntries(items);
  EXPECT_EQ(items[0].Name, "a");
  EXPECT_EQ(items[1].Name, "B");
  EXPECT_EQ(items[2].Name, "b");
}
