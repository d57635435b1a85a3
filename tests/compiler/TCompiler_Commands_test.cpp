// A script's compile steps filling the compiler's real file list: language
// files in group 0, one group per file-carrying line, and update lines that
// name the same target sharing the first one's group.
#include "compiler/TCompiler.h"

#include <gtest/gtest.h>

#include "tests/compiler/BuilderFixture.h"

using namespace builder_testing;

namespace {

using Files = std::vector<std::pair<std::string, std::string>>;  // entry name, source below the program folder

Files GroupFiles(const TCompiler& c, size_t group, const std::string& root) {
  Files out;
  for (const TCompilerFileList::TFile& f : c.FileList.Groups[group].Files) {
    EXPECT_EQ(f.Group, group) << f.Name;
    out.push_back({f.Name, f.Source.substr(root.size() + 1)});
  }
  return out;
}

}  // namespace

TEST_F(BuilderTest, CompileStepsQueueTheScriptsFilesGroupByGroup) {
  compiler.Compile({"language English", "file files\\", "qxpupdate patch1\\ pw Data.qxp", "vfsupdate patch2\\ DATA.QXP",
                    "file none\\", "uninstalllanguage UnEnglish", "language Missing"},
                   Path("mod"));
  ASSERT_EQ(compiler.Error.Text, "");
  const TCompilerFileList& list = compiler.FileList;
  ASSERT_EQ(list.Groups.size(), 5u);
  EXPECT_EQ(list.LastGroup, 4);
  EXPECT_EQ(GroupFiles(compiler, 0, dir.Path()), (Files{{"LANGUAGE-English", "languages\\English.wri"},
                                                        {"UNINSTALL_LANGUAGE-UnEnglish", "languages\\UnEnglish.wri"}}));
  EXPECT_EQ(GroupFiles(compiler, 1, dir.Path()),
            (Files{{"a.dat", "mod\\files\\a.dat"}, {"sub\\b.dat", "mod\\files\\sub\\b.dat"}}));
  // The container line names the archive of the line before it, in other
  // letters: its files join that group, its own y.dat replacing the first.
  EXPECT_EQ(GroupFiles(compiler, 2, dir.Path()),
            (Files{{"x.dat", "mod\\patch1\\x.dat"}, {"y.dat", "mod\\patch2\\y.dat"}, {"z.dat", "mod\\patch2\\z.dat"}}));
  EXPECT_EQ(list.Groups[2].Name, "data.qxp");
  EXPECT_TRUE(list.Groups[3].Files.empty());
  EXPECT_TRUE(list.Groups[4].Files.empty());
  std::vector<std::string> lastParams;
  for (const TCompLine& line : compiler.CompLines.Lines)
    if (line.Id == 7 || line.Id == 11 || line.Id == 30) lastParams.push_back(line.Params.back());
  EXPECT_EQ(lastParams, (std::vector<std::string>{"1", "2", "3", "4"}));
}
