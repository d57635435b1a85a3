#include "platform/Directory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/File.h"
#include "platform/FileReplacement.h"
#include "platform/Text.h"
#include "platform/WidePath.h"
#include "tests/support/TempDir.h"

using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileText;
namespace fs = std::filesystem;

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

// A name the code page cannot hold is listed by its short form, which opens
// the same file, with the name as the system has it beside it; a path
// outside the code page is carried by that form, or not at all, never by a
// look-alike. Without 16-bit names (the host) there is nothing to carry.
TEST(DirectoryListing, NamesOutsideTheCodePageComeByTheirShortForm) {
  TempDir dir;
  const std::u16string folder = platform::AnsiToWide(dir.Path()) + u"\\\u0141ukasz";
  const fs::path made = fs::path(dir.Path()) / u"\u0141ukasz";
  fs::create_directories(made / u"\u65E5\u672C");
  std::ofstream(made / u"\u03A9mega.txt") << "omega";
  const std::string narrow = platform::NarrowPath(folder);
#ifdef _WIN32
  ASSERT_FALSE(narrow.empty());
  EXPECT_EQ(platform::WidePath(narrow), folder) << "the long names again";
  std::vector<platform::DirEntry> items;
  ASSERT_TRUE(platform::ListDirectory(narrow + "\\", items));
  ASSERT_EQ(items.size(), 2u);
  for (const platform::DirEntry& e : items) {
    EXPECT_TRUE(e.WideName == (e.IsDirectory ? u"\u65E5\u672C" : u"\u03A9mega.txt"));
    EXPECT_EQ(
        platform::EntryPathFault(narrow + "\\", e),
        u"The name of " + folder + u"\\" + e.WideName + u" holds characters the system's code page does not have");
  }
  EXPECT_EQ(ReadFileBytes(narrow + "\\" + (items[0].IsDirectory ? items[1] : items[0]).Name),
            (std::vector<uint8_t>{'o', 'm', 'e', 'g', 'a'}));
#else
  EXPECT_EQ(narrow, "");
#endif
  EXPECT_EQ(platform::NarrowPath(folder + u"\\new"), narrow.empty() ? "" : narrow + "\\new");
  EXPECT_EQ(platform::NarrowPath(folder + u"\\\u0418\u0433\u0440\u0430"), "") << "a new name outside it";
  EXPECT_EQ(platform::WideToAnsi(u"\u0141ukasz"), "?ukasz") << "never the look-alike Lukasz";
  std::string exact;
  EXPECT_TRUE(platform::WideToAnsiExact(u"caf\u00E9", exact));
  EXPECT_EQ(exact, "caf\xE9");
  EXPECT_FALSE(platform::WideToAnsiExact(u"\u0141ukasz", exact));
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
  std::vector<platform::DirEntry> items(3);
  items[0].Name = "b";
  items[1].Name = "B";
  items[2].Name = "a";
  platform::SortDirEntries(items);
  EXPECT_EQ(items[0].Name, "a");
  EXPECT_EQ(items[1].Name, "B");
  EXPECT_EQ(items[2].Name, "b");
}

TEST(DirectoryListing, LinksAreListedAsLinks) {
  TempDir dir;
  fs::create_directories(dir.File("target"));
  std::error_code ec;
  fs::create_directory_symlink(fs::absolute(dir.File("target")), dir.File("link"), ec);
  if (ec) GTEST_SKIP() << "symbolic links cannot be made here: " << ec.message();
  fs::create_symlink(fs::absolute(dir.File("gone")), dir.File("dangling"), ec);
  std::vector<platform::DirEntry> items;
  ASSERT_TRUE(platform::ListDirectory(dir.Path() + "\\", items));
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].Name, "dangling");
  EXPECT_TRUE(items[0].IsLink);
  EXPECT_TRUE(items[1].IsLink && items[1].IsDirectory);
  EXPECT_FALSE(items[2].IsLink);
  EXPECT_TRUE(platform::RemoveLink(dir.Path() + "\\link\\"));
  EXPECT_TRUE(platform::RemoveLink(dir.Path() + "\\dangling"));
  EXPECT_FALSE(platform::RemoveLink(dir.Path() + "\\target"));  // no link: left alone
  EXPECT_TRUE(fs::is_directory(dir.File("target")));
  EXPECT_FALSE(fs::exists(dir.File("link")));
}

TEST(Folders, MakeTestAndRemove) {
  TempDir tmp;
  std::string dir = tmp.Path() + "\\made";
  EXPECT_FALSE(platform::DirectoryExists(dir));
  EXPECT_TRUE(platform::MakeDir(dir));
  EXPECT_FALSE(platform::MakeDir(dir));  // exists already
  EXPECT_TRUE(platform::DirectoryExists(dir + "\\"));
  EXPECT_FALSE(platform::MakeDir(tmp.Path() + "\\missing\\child"));
  WriteFileText(tmp.File("made/f.txt"), "x");
  EXPECT_FALSE(platform::RemoveEmptyDir(dir));  // not empty
  EXPECT_FALSE(platform::RemoveLink(dir + "\\f.txt"));
  EXPECT_TRUE(platform::RemoveFile(dir + "\\f.txt"));
  EXPECT_TRUE(platform::RemoveEmptyDir(dir));
  EXPECT_FALSE(platform::DirectoryExists(dir));
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

// A file replaced whole is the old one or the new one, never a mix: the
// target changes only at Commit, a leftover of a killed write is cleared,
// and every other way out leaves the target and no aside file.
TEST(Folders, AReplacedFileIsTheOldOrTheNewOne) {
  using Aside = platform::FileReplacement::Aside;
  struct Case {
    const char* name;
    const char* before;  // the target's contents, or null for none
    bool leftover;       // a killed write's <target>.new is there
    Aside aside;
    bool commit;
    const char* after;  // the target's contents, or null for none
    bool direct;        // written under the target's own name
  };
  const Case cases[] = {
      {"a new file, committed", nullptr, false, Aside::Always, true, "new", false},
      {"an old file, committed", "old", false, Aside::Always, true, "new", false},
      {"an old file, given up", "old", false, Aside::Always, false, "old", false},
      {"a new file, given up", nullptr, false, Aside::Always, false, nullptr, false},
      {"a leftover is cleared first", "old", true, Aside::Always, true, "new", false},
      {"a leftover goes when given up", "old", true, Aside::Always, false, "old", false},
      {"a new file is written directly when that is allowed", nullptr, false, Aside::WhenReplacing, true, "new", true},
      {"and taken away when given up", nullptr, false, Aside::WhenReplacing, false, nullptr, true},
      {"an old file still goes aside", "old", false, Aside::WhenReplacing, true, "new", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir tmp;
    const std::string target = tmp.Path() + "\\f.txt";
    if (c.before) WriteFileText(tmp.File("f.txt"), c.before);
    if (c.leftover) WriteFileText(tmp.File("f.txt.new"), "half");
    {
      platform::FileReplacement file(target, c.aside);
      ASSERT_TRUE(file.IsOpen());
      EXPECT_EQ(file.Path(), c.direct ? target : target + ".new");
      ASSERT_TRUE(file.Stream().Write("new", 3));
      // Until Commit, the target is what it was.
      if (c.before) {
        EXPECT_EQ(ReadFileBytes(tmp.File("f.txt")).size(), std::string(c.before).size());
      }
      if (c.commit) {
        EXPECT_TRUE(file.Commit());
      }
    }
    EXPECT_EQ(fs::exists(tmp.File("f.txt")), c.after != nullptr);
    if (c.after) {
      EXPECT_EQ(ReadFileBytes(tmp.File("f.txt")).size(), std::string(c.after).size());
    }
    EXPECT_FALSE(fs::exists(tmp.File("f.txt.new")));
  }
}

// Two files that must match (a file and its index) are replaced together;
// each row is what the disk holds when the run ends at some point of it,
// and the next run finishes the pair or takes it back, never mixes it.
TEST(Folders, APairIsReplacedTogetherOrFinishedByTheNextRun) {
  using platform::FileReplacement;
  auto text = [](const std::string& path) {
    std::vector<uint8_t> b = ReadFileBytes(path);
    return std::string(b.begin(), b.end());
  };
  struct Case {
    const char* what;
    const char* firstAside;   // <first>.new left, or null
    const char* secondAside;  // <second>.new left, or null
    const char* first;        // the targets then
    const char* second;
    const char* firstAfter;  // and after the next run finishes the pair
    const char* secondAfter;
  } cases[] = {
      {"ended while the first was written", "hal", nullptr, "old1", "old2", "old1", "old2"},
      {"ended before the first rename", "new1", "new2", "old1", "old2", "old1", "old2"},
      {"ended between the renames", nullptr, "new2", "new1", "old2", "new1", "new2"},
      {"ended after both", nullptr, nullptr, "new1", "new2", "new1", "new2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir tmp;
    WriteFileText(tmp.File("a.bin"), c.first);
    WriteFileText(tmp.File("a.idx"), c.second);
    if (c.firstAside) WriteFileText(tmp.File("a.bin.new"), c.firstAside);
    if (c.secondAside) WriteFileText(tmp.File("a.idx.new"), c.secondAside);
    EXPECT_TRUE(FileReplacement::FinishPair(tmp.Path() + "\\a.bin", tmp.Path() + "\\a.idx"));
    EXPECT_EQ(text(tmp.File("a.bin")), c.firstAfter);
    EXPECT_EQ(text(tmp.File("a.idx")), c.secondAfter);
    EXPECT_FALSE(fs::exists(tmp.File("a.bin.new")));
    EXPECT_FALSE(fs::exists(tmp.File("a.idx.new")));
  }

  // Committed whole; refused before anything is replaced when the second
  // target cannot be.
  for (bool blocked : {false, true}) {
    TempDir tmp;
    WriteFileText(tmp.File("a.bin"), "old1");
    if (blocked) fs::create_directory(tmp.File("a.idx"));
    {
      FileReplacement first(tmp.Path() + "\\a.bin"), second(tmp.Path() + "\\a.idx");
      ASSERT_TRUE(first.Stream().Write("new1", 4) && second.Stream().Write("new2", 4));
      EXPECT_EQ(first.CommitPair(second), !blocked);
    }
    EXPECT_EQ(text(tmp.File("a.bin")), blocked ? "old1" : "new1");
    EXPECT_EQ(fs::is_directory(tmp.File("a.idx")), blocked);
    if (!blocked) {
      EXPECT_EQ(text(tmp.File("a.idx")), "new2");
    }
    EXPECT_FALSE(fs::exists(tmp.File("a.bin.new")) || fs::exists(tmp.File("a.idx.new")));
  }
}

// A writer that opens the new file by its name, and a replacement that
// cannot take the target's place, which leaves the target as it was.
TEST(Folders, AReplacementWrittenByNameOrRefusedLeavesNoAsideFile) {
  TempDir tmp;
  const std::string target = tmp.Path() + "\\f.txt";
  {
    platform::FileReplacement file(target);
    file.Stream().Close();
    WriteFileText(tmp.File("f.txt.new"), "by name");
    EXPECT_TRUE(file.Commit());
  }
  EXPECT_EQ(ReadFileBytes(tmp.File("f.txt")).size(), 7u);
  fs::create_directory(tmp.File("dir"));
  {
    platform::FileReplacement file(tmp.Path() + "\\dir");
    ASSERT_TRUE(file.IsOpen());
    EXPECT_FALSE(file.Commit());
  }
  EXPECT_TRUE(fs::is_directory(tmp.File("dir")));
  EXPECT_FALSE(fs::exists(tmp.File("dir.new")));
  EXPECT_FALSE(platform::FileReplacement(tmp.Path() + "\\missing\\f.txt").IsOpen());
}
