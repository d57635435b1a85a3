#include "compiler/QXI_CompilerFileList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/Text.h"
#include "platform/WidePath.h"
#include "tests/support/TempDir.h"

using testing_support::TempDir;
using testing_support::WriteFileText;

namespace {

class FakeOwner : public TFileListOwner {
 public:
  void Status(const std::string& text) const override { status.push_back(text); }
  void Log(const std::string& text) const override { log.push_back(text); }
  const std::string& BaseDir() const override { return sourceFolder; }
  std::string LayoutIconPath() const override { return layoutIcon; }

  mutable std::vector<std::string> status, log;
  std::string sourceFolder, layoutIcon = "no-such-folder\\icon.ico";
};

// Files on disk under a fresh folder.
class FileListTest : public ::testing::Test {
 protected:
  // Creates the file (folders given with "/") and gives its path as the
  // walk forms it, with backslashes.
  std::string Make(const std::string& relative, const std::string& text = "x") {
    std::filesystem::path p = std::filesystem::path(dir.Path()) / relative;
    std::filesystem::create_directories(p.parent_path());
    WriteFileText(p.string(), text);
    std::string path = dir.Path() + "\\" + relative;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
  }
  std::string Folder(const std::string& relative) { return dir.Path() + "\\" + relative + "\\"; }

  // Entry names of a group, in order.
  std::vector<std::string> GroupNames(uint16_t group) const {
    std::vector<std::string> names;
    for (const auto& f : list.Groups.at(group).Files) names.push_back(f.Name);
    return names;
  }

  TempDir dir;
  FakeOwner owner;
  TCompilerFileList list{owner};
};

using Names = std::vector<std::string>;

TEST_F(FileListTest, EnsureGroupNamesOnlyTheNewHighestGroup) {
  list.EnsureGroup(3, "Data.QXP");
  ASSERT_EQ(list.Groups.size(), 4u);
  EXPECT_EQ(list.Groups[3].Name, "data.qxp");
  EXPECT_EQ(list.Groups[1].Name, "");
  EXPECT_EQ(list.Groups[2].Name, "");
  list.EnsureGroup(3, "other.qxp");
  list.EnsureGroup(2, "between.qxp");
  EXPECT_EQ(list.Groups.size(), 4u);
  EXPECT_EQ(list.Groups[3].Name, "data.qxp");
  EXPECT_EQ(list.Groups[2].Name, "");
}

// Script lines, in order: file, vfsupdate, qxpupdate, qxpupdate and
// vfsupdate, the last three naming one target in different letter case.
TEST_F(FileListTest, UpdateGroupsOfOneTargetMergeIntoTheFirst) {
  std::string modA = Make("a/readme.txt");
  Make("b/skin.dat");
  std::string first = Make("c/shared.dat", "first"), onlyC = Make("c/only_c.dat");
  std::string second = Make("d/SHARED.DAT", "second"), onlyD = Make("d/sub/only_d.dat");
  std::string third = Make("e/shared.dat", "third");

  list.AddDir(Folder("a"), 1, "", false, "");
  list.AddDir(Folder("b"), 2, "c.vfs", false, "");
  list.AddDir(Folder("c"), 3, "Data.qxp", false, "");
  owner.log.clear();
  list.AddDir(Folder("d"), 4, "DATA.QXP", false, "");
  list.AddDir(Folder("e"), 5, "data.qxp", false, "");

  ASSERT_EQ(list.Groups.size(), 6u);
  EXPECT_EQ(GroupNames(1), Names{"readme.txt"});
  EXPECT_EQ(GroupNames(2), Names{"skin.dat"});
  EXPECT_EQ(GroupNames(3), (Names{"only_c.dat", "shared.dat", "sub\\only_d.dat"}));
  EXPECT_TRUE(list.Groups[4].Files.empty());
  EXPECT_TRUE(list.Groups[5].Files.empty());
  // The replaced entry keeps its place, takes the last source and the
  // replacing file's name.
  const auto& files = list.Groups[3].Files;
  EXPECT_EQ(files[0].Source, onlyC);
  EXPECT_EQ(files[1].Source, third);
  EXPECT_EQ(files[2].Source, onlyD);
  for (const auto& f : files) EXPECT_EQ(f.Group, 3);
  EXPECT_EQ(list.Groups[1].Files[0].Source, modA);
  EXPECT_EQ(owner.log,
            (Names{"Replacing Previous Instance of SHARED.DAT", "Replacing Previous Instance of shared.dat"}));
  EXPECT_EQ(list.TotalCount, 5) << "replacements do not count";
  EXPECT_EQ(list.Groups[4].Name, "data.qxp");
}

TEST_F(FileListTest, UnnamedGroupsNeverMerge) {
  Make("a/same.txt");
  Make("b/same.txt");
  list.AddDir(Folder("a"), 1, "", false, "");
  list.AddDir(Folder("b"), 2, "", false, "");
  EXPECT_EQ(GroupNames(1), Names{"same.txt"});
  EXPECT_EQ(GroupNames(2), Names{"same.txt"});
  EXPECT_EQ(list.Groups[2].Files[0].Group, 2);
  EXPECT_EQ(list.TotalCount, 2);
  EXPECT_TRUE(owner.log.empty());
}

TEST_F(FileListTest, TheWalkIsBreadthFirstInNameOrder) {
  for (const char* f : {"mod/sub/deeper/x.dat", "mod/c.dat", "mod/sub/a.dat", "mod/A.txt", "mod/sub2/y.dat",
                        "mod/b.dat", "mod/sub/Z.dat"})
    Make(f);
  std::filesystem::create_directories(std::filesystem::path(dir.Path()) / "mod/empty");
  list.AddDir(Folder("mod"), 1, "", false, "");
  EXPECT_EQ(GroupNames(1),
            (Names{"A.txt", "b.dat", "c.dat", "sub\\a.dat", "sub\\Z.dat", "sub2\\y.dat", "sub\\deeper\\x.dat"}));
  EXPECT_EQ(list.Groups[1].Files[3].Source, dir.Path() + "\\mod\\sub\\a.dat");
  EXPECT_EQ(owner.status.front(), "Adding To List A.txt Current Count: 0");
  EXPECT_EQ(owner.status.back(), "Adding To List sub\\deeper\\x.dat Current Count: 6");
}

TEST_F(FileListTest, SourcesAreFoundThroughTheSourceFolder) {
  Make("base/mod/one.dat");
  Make("base/single.dat");
  owner.sourceFolder = dir.Path() + "\\base";
  list.AddDir("mod\\", 1, "", false, "");
  list.AddDir("single.dat", 2, "", false, "");
  list.AddDir("missing\\", 3, "", false, "");
  list.AddDir(dir.Path() + "\\base\\mod\\", 4, "", true, "");
  list.AddDir(dir.Path() + "\\base\\mod", 5, "", true, "");  // no final separator
  EXPECT_EQ(GroupNames(1), Names{"one.dat"});
  EXPECT_EQ(GroupNames(2), Names{"single.dat"});
  EXPECT_EQ(list.Groups[2].Files[0].Source, dir.Path() + "\\base\\single.dat");
  ASSERT_EQ(list.Groups.size(), 6u) << "a missing source still takes its group";
  EXPECT_TRUE(list.Groups[3].Files.empty());
  EXPECT_EQ(GroupNames(4), Names{"one.dat"});
  EXPECT_EQ(GroupNames(5), Names{"one.dat"});
}

TEST_F(FileListTest, MissingFilesAreLeftOutSilently) {
  list.AddFile(dir.File("missing.txt"), "missing.txt", 0, "");
  list.AddFile(dir.Path(), "folder", 0, "");
  EXPECT_TRUE(list.Groups[0].Files.empty());
  EXPECT_EQ(list.TotalCount, 0);
  EXPECT_TRUE(owner.status.empty());
  EXPECT_TRUE(owner.log.empty());
}

TEST_F(FileListTest, TheLayoutIconIsLeftOutOfEveryWalk) {
  Make("layout/Pages.txt");
  Make("layout/ICON.ICO");
  Make("layout/sub/icon.ico");
  Make("other/icon.ico");
  owner.layoutIcon = Folder("layout") + "icon.ico";
  list.AddDir(Folder("layout"), 0, "", true, "");
  list.AddDir(Folder("other"), 0, "", true, "UNINSTALL_");
  EXPECT_EQ(GroupNames(0), (Names{"Pages.txt", "sub\\icon.ico", "UNINSTALL_icon.ico"}));
  // The prefix is part of the entry name, not of the status text.
  EXPECT_EQ(owner.status.back(), "Adding To List icon.ico Current Count: 2");
}

// A name the installer's 8-bit entry names cannot hold, or a path too long
// for the system's 8-bit calls, ends the walk with an error that names it
// as the system does: never a build with the file left out. Names outside
// the code page exist only where the system keeps 16-bit names.
TEST_F(FileListTest, NothingIsLeftOutInSilence) {
  const std::string deep = std::string(120, 'd') + "/" + std::string(120, 'e');
  struct Row {
    std::u16string file;   // below the row's folder, "/" between folders
    std::u16string fault;  // after the row's folder as the walk names it
    bool sixteenBitNames;
  } rows[] = {
      {u"plain.txt", u"", false},
      {u"\u03A9mega.txt", u"\u03A9mega.txt holds characters the system's code page does not have", true},
      {u"\u65E5\u672C.txt", u"\u65E5\u672C.txt holds characters the system's code page does not have", true},
      {u"\u0414\u0430\u043D\u043D\u044B\u0435/x.txt",
       u"\u0414\u0430\u043D\u043D\u044B\u0435 holds characters the system's code page does not have", true},
      {platform::AnsiToWide(deep + "/file.txt"),
       platform::AnsiToWide(std::string(120, 'd') + "\\" + std::string(120, 'e') + "\\file.txt") +
           u" is longer than the system's 259 characters",
       false},
  };
#ifndef _WIN32
  const bool sixteenBitNames = false;
#else
  const bool sixteenBitNames = true;
#endif
  for (size_t i = 0; i < std::size(rows); ++i) {
    const Row& row = rows[i];
    if (row.sixteenBitNames && !sixteenBitNames) continue;
    const std::string folder = "row" + std::to_string(i);
    const std::filesystem::path file = std::filesystem::path(dir.Path()) / folder / row.file;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << "x";  // by the 16-bit name, where the system has one
    const std::u16string fault = list.AddDir(Folder(folder), 1, "", false, "");
    if (row.fault.empty()) {
      EXPECT_EQ(fault, u"") << i;
      continue;
    }
    const std::u16string what = row.fault.find(u"longer") == std::u16string::npos ? u"The name of " : u"The path of ";
    EXPECT_TRUE(fault == what + platform::WidePath(Folder(folder)) + row.fault)
        << i << " " << platform::WideToAnsi(fault);
  }
}

TEST_F(FileListTest, LinksAreNotFollowed) {
  Make("mod/real.dat");
  Make("outside/secret.dat");
  std::error_code ec;
  std::filesystem::create_directory_symlink("..", std::filesystem::path(dir.Path()) / "mod/up", ec);
  if (ec) GTEST_SKIP() << "no symbolic links here: " << ec.message();
  std::filesystem::create_symlink("../outside/secret.dat", std::filesystem::path(dir.Path()) / "mod/file.lnk", ec);
  ASSERT_FALSE(ec);
  std::filesystem::create_symlink("../outside/gone.dat", std::filesystem::path(dir.Path()) / "mod/dangling", ec);
  ASSERT_FALSE(ec);
  list.AddDir(Folder("mod"), 1, "", false, "");
  EXPECT_EQ(GroupNames(1), Names{"real.dat"});
  EXPECT_EQ(owner.log, (Names{"Skipping link " + Folder("mod") + "dangling",
                              "Skipping link " + Folder("mod") + "file.lnk", "Skipping link " + Folder("mod") + "up"}));
}

}  // namespace
