#include "platform/Dir.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/File.h"
#include "tests/support/TempDir.h"

using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileText;
namespace fs = std::filesystem;

TEST(Folders, MakeTestAndRemove) {
  TempDir tmp;
  std::string dir = tmp.Path() + "\\made";
  EXPECT_FALSE(platform::DirectoryExists(dir));
  EXPECT_TRUE(platform::MakeDir(dir));
  EXPECT_FALSE(platform::MakeDir(dir));  // exists already
  EXPECT_TRUE(platform::DirectoryExists(dir));
  EXPECT_TRUE(platform::DirectoryExists(dir + "\\"));
  EXPECT_FALSE(platform::MakeDir(tmp.Path() + "\\missing\\child"));
  WriteFileText(tmp.File("made/f.txt"), "x");
  EXPECT_FALSE(platform::DirectoryExists(dir + "\\f.txt"));
  EXPECT_FALSE(platform::RemoveEmptyDir(dir));  // not empty
  EXPECT_FALSE(platform::RemoveLink(dir + "\\f.txt"));  // no link: left alone
  EXPECT_TRUE(platform::RemoveFile(dir + "\\f.txt"));
  EXPECT_TRUE(platform::RemoveEmptyDir(dir));
  EXPECT_FALSE(platform::DirectoryExists(dir));
}

TEST(Folders, ListingsAreSortedWithoutRegardToCase) {
  TempDir tmp;
  for (const char* name : {"b.txt", "A.txt", "c", "a2.txt"}) WriteFileText(tmp.File(name), "x");
  fs::create_directory(tmp.File("Sub"));
  std::vector<platform::DirEntry> entries;
  ASSERT_TRUE(platform::ListDir(tmp.Path(), entries));
  std::vector<std::string> names;
  for (const auto& e : entries) {
    names.push_back(e.Name);
    EXPECT_EQ(e.IsDir, e.Name == "Sub") << e.Name;
    EXPECT_FALSE(e.IsLink);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"A.txt", "a2.txt", "b.txt", "c", "Sub"}));
  EXPECT_FALSE(platform::ListDir(tmp.Path() + "\\missing", entries));
  EXPECT_TRUE(entries.empty());
  ASSERT_TRUE(platform::ListDir(tmp.Path() + "\\Sub", entries));
  EXPECT_TRUE(entries.empty());
}

TEST(Folders, RenameOverReplacesTheTarget) {
  TempDir tmp;
  WriteFileText(tmp.File("new"), "new contents");
  WriteFileText(tmp.File("old"), "old");
  EXPECT_TRUE(platform::RenameOver(tmp.Path() + "\\new", tmp.Path() + "\\old"));
  EXPECT_FALSE(fs::exists(tmp.File("new")));
  EXPECT_EQ(ReadFileBytes(tmp.File("old")).size(), 12u);
  EXPECT_FALSE(platform::RenameOver(tmp.Path() + "\\new", tmp.Path() + "\\old"));
}
