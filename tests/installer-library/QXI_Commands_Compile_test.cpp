// The commands' compile steps over small scripts: the setup information the
// header lines fill, jump targets, language files and file groups.
#include "installer-library/QXI_Commands.h"

#include <gtest/gtest.h>

#include "installer-library/QXI_DigitKey.h"
#include "tests/installer-library/CommandTesting.h"

using namespace command_testing;

namespace {

using Q = FakeCompiler::Queued;

std::vector<std::string> Params(const FakeCompiler& fc, size_t line) { return fc.lines.Lines[line].Params; }

}  // namespace

TEST(CompileSteps, HeaderLinesFillTheSetupInformation) {
  struct Case {
    std::vector<std::string> script;
    TSetupInfoFile expected;  // fields set on top of an empty record
  };
  auto info = [](auto fill) {
    TSetupInfoFile i;
    fill(i);
    return i;
  };
  const Case cases[] = {
      {{"name N"}, info([](auto& i) { i.SetupName = i.SetupShortName = "N"; })},
      {{"shortname S", "name N"}, info([](auto& i) { i.SetupName = i.SetupShortName = "N"; })},
      {{"name N", "shortname S"}, info([](auto& i) { i.SetupName = "N", i.SetupShortName = "S"; })},
      {{"outfile a.exe", "OUTFILE \"b c.exe\""}, info([](auto& i) { i.SetupExeName = "b c.exe"; })},
      {{"prefix abc"}, info([](auto& i) { i.UninstallPrefix = "abc_", i.UninstallExe = "abc_Uninstall.exe"; })},
      {{"installdir $PROGRAMFILES\\Quexar\\"}, info([](auto& i) { i.InstallDir = "$PROGRAMFILES\\Quexar\\"; })},
      {{"pages Install\\Classic"}, info([](auto& i) { i.Pages = "Install\\Classic"; })},
      {{"uninstallpages \"\""}, info([](auto& i) { i.HasUninstall = 1; })},
      {{"uninstallpages Uninstall\\Plain"},
       info([](auto& i) { i.UninstallPages = "Uninstall\\Plain", i.HasUninstall = 1; })},
      {{"changelog docs\\changes.txt"}, info([](auto& i) { i.Changelog = "docs\\changes.txt"; })},
      {{"installdirregkey hkcu Software\\Q Path"}, info([](auto& i) {
         i.InstallDirRegKey[0] = TREGKEY{1, "Software\\Q", "Path"};
       })},
      // An unknown root is refused and fills no slot.
      {{"installdirregkey HKEY_CURRENT_USER Software\\Q Path"}, TSetupInfoFile{}},
      // Too few parameters change nothing.
      {{"installdirregkey HKCU Software\\Q", "name", "prefix"},
       info([](auto& i) { i.UninstallPrefix = "_", i.UninstallExe = "_Uninstall.exe"; })},
  };
  for (const Case& c : cases) {
    FakeCompiler fc = Compiled(c.script);
    EXPECT_EQ(fc.info, c.expected) << c.script[0];
  }
  EXPECT_EQ(Compiled({"installdirregkey HKCU Software\\Q"}).errorText, "Not enough parameters");
  EXPECT_EQ(Compiled({"installdirregkey HKCU Software\\Q"}).regKeyCount, 0);
}

TEST(CompileSteps, ChangeLogIsKeptAsWrittenWithOrWithoutASourceFolder) {
  for (const char* base : {"", "D:\\src"}) {
    FakeCompiler fc;
    fc.baseDir = base;
    Parse(fc, {"changelog changes.txt"});
    CompileSteps(fc);
    EXPECT_EQ(fc.info.Changelog, "changes.txt") << base;
  }
}

TEST(CompileSteps, RegistryLinesFillFiveSlotsThenOverwriteTheLast) {
  std::vector<std::string> script;
  for (int i = 1; i <= 6; ++i) script.push_back("installdirregkey HKLM Key" + std::to_string(i) + " V");
  FakeCompiler fc = Compiled(script);
  for (size_t slot = 0; slot < 4; ++slot) EXPECT_EQ(fc.info.InstallDirRegKey[slot].Path, script[slot].substr(22, 4));
  EXPECT_EQ(fc.info.InstallDirRegKey[4].Path, "Key6");
  EXPECT_EQ(fc.regKeyCount, 4);

  // A new compile run starts with slot 1 again.
  fc.regKeyCount = 0;
  Parse(fc, {"installdirregkey HKCC Again V"});
  CompileSteps(fc);
  EXPECT_EQ(fc.info.InstallDirRegKey[0], (TREGKEY{4, "Again", "V"}));
  EXPECT_EQ(fc.info.InstallDirRegKey[4].Path, "Key6");
}

TEST(CompileSteps, LanguageLinesQueueTheFilesBesideTheCompiler) {
  FakeCompiler fc = Compiled({"language install\\English", "uninstalllanguage uninstall\\Deutsch.v2", "language"});
  EXPECT_EQ(
      fc.queued,
      (std::vector<Q>{
          {"C:\\Torvane\\languages\\install\\English.wri", "LANGUAGE-install\\English", 0, false},
          {"C:\\Torvane\\languages\\uninstall\\Deutsch.v2.wri", "UNINSTALL_LANGUAGE-uninstall\\Deutsch.v2", 0, false},
          {"C:\\Torvane\\languages\\.wri", "LANGUAGE-", 0, false},
      }));
  EXPECT_EQ(fc.errorText, "");
}

TEST(CompileSteps, JumpTargetsResolveToLabelLines) {
  // Compiled indices: 0 start, 1 goto, 2 iffileexists, 3 messagebox, 4 end,
  // 5 goto, 6 iffileexists, 7 messagebox.
  FakeCompiler fc = Compiled({"start:", "goto END", "iffileexists a.txt start end", "messagebox t c end Start",
                              "end:", "goto 0", "iffileexists a.txt 0 12", "messagebox t c 0 0"});
  EXPECT_EQ(fc.errorText, "");
  EXPECT_EQ(Params(fc, 1), (std::vector<std::string>{"4"}));
  EXPECT_EQ(Params(fc, 2), (std::vector<std::string>{"a.txt", "0", "4"}));
  EXPECT_EQ(Params(fc, 3), (std::vector<std::string>{"t", "c", "4", "0"}));
  EXPECT_EQ(Params(fc, 5), (std::vector<std::string>{"0"}));  // goto has no "0" rule: line 0
  EXPECT_EQ(Params(fc, 6), (std::vector<std::string>{"a.txt", "-1", "12"}));
  EXPECT_EQ(Params(fc, 7), (std::vector<std::string>{"t", "c", "-1", "-1"}));
}

TEST(CompileSteps, ErrorsNameTheirSourceLine) {
  struct Case {
    std::vector<std::string> script;
    std::string error;
    int32_t line;  // -99: none reported
  };
  const std::string fits(41, 'p'), tooLong(42, 'p');
  // Group 65536 would wrap to 0, the installer's own group.
  std::vector<std::string> allGroups(65535, "file a");
  allGroups.push_back("vfsupdate b c.vfs");
  const Case cases[] = {
      {{"qxpupdate d " + fits + " e.qxp", "qxpofficial e.qxp " + fits + " 1"}, "", -99},
      {{"", "qxpupdate d " + tooLong + " e.qxp"}, "Password too long - at most 41 bytes", 1},
      {{"qxpofficial e.qxp " + tooLong + " 1"}, "Access code too long - at most 41 bytes", 0},
      // Lines of one archive share one group, taken under one password.
      {{"qxpupdate a pw e.qxp", "vfsupdate b e.qxp", "qxpupdate c pw E.QXP"}, "", -99},
      {{"qxpupdate a pw e.qxp", "", "qxpupdate c other E.QXP"},
       "Password differs from the one an earlier line gives E.QXP",
       2},
      {allGroups, "Too many file groups - a script holds at most 65535 file, qxpupdate and vfsupdate lines", 65535},
      {{"goto nowhere"}, "Label not found - nowhere", 0},
      {{"", "goto"}, "Label not found - ", 1},
      {{"x:", "iffileexists f x 5x"}, "Label not found - 5x", 1},
      {{"messagebox t c", "iffileexists f"}, "Not enough parameters", 1},
      // The installer would read any other root name as HKLM.
      {{"installdirregkey hkcu a b", "", "installdirregkey HKEY_CURRENT_USER a b"},
       "Unknown registry root \"HKEY_CURRENT_USER\" - use HKLM, HKCU, HKCR, HKU or HKCC",
       2},
      {{"writeregstr Hkcc a b c", "writeregstr HKMN a b c"},
       "Unknown registry root \"HKMN\" - use HKLM, HKCU, HKCR, HKU or HKCC",
       1},
      {{"file a b HKU k v x 1", "file a b hklm k v x 1", "file a b \"\" k v x 1"},
       "Unknown registry root \"\" - use HKLM, HKCU, HKCR, HKU or HKCC",
       2},
      {{"file a b HKU k"}, "", -99},  // only the conditional form names a root
      // Every step runs; the last error in line order is the one reported.
      {{"messagebox t c a b", "goto c", "x:"}, "Label not found - c", 1},
  };
  for (const Case& c : cases) {
    FakeCompiler fc = Compiled(c.script);
    EXPECT_EQ(fc.errorText, c.error) << c.script.back();
    EXPECT_EQ(fc.errorLine, c.line) << c.script.back();
  }
}

TEST(CompileSteps, FileCarryingLinesTakeTheNextGroupInScriptOrder) {
  FakeCompiler fc =
      Compiled({"file a", "rename x", "vfsupdate b c.vfs", "qxpupdate d pw e.qxp", "file", "qxpupdate d pw"});
  EXPECT_EQ(Params(fc, 0), (std::vector<std::string>{"a", "1"}));
  EXPECT_EQ(Params(fc, 2), (std::vector<std::string>{"b", "c.vfs", "2"}));
  EXPECT_EQ(Params(fc, 3), (std::vector<std::string>{"d", DigitKeyEncode(kDigitKeyB, "pw"), "e.qxp", "3"}));
  EXPECT_EQ(Params(fc, 4), (std::vector<std::string>{"", "4"}));    // a bare file line passes its check
  EXPECT_EQ(Params(fc, 5), (std::vector<std::string>{"d", "pw"}));  // failed its check: no group, no scrambling
  EXPECT_EQ(fc.lastGroup, 4);
  EXPECT_EQ(fc.queued,
            (std::vector<Q>{{"a", "", 1, true}, {"b", "c.vfs", 2, true}, {"d", "e.qxp", 3, true}, {"", "", 4, true}}));
  EXPECT_EQ(fc.errorText, "Not enough parameters");
  EXPECT_EQ(fc.errorLine, 5);
}

TEST(CompileSteps, OfficialCodeIsScrambledWithoutAGroup) {
  FakeCompiler fc = Compiled({"qxpofficial data.qxp Code true", "duplicateentry data.qxp a b"});
  EXPECT_EQ(Params(fc, 0), (std::vector<std::string>{"data.qxp", DigitKeyEncode(kDigitKeyB, "Code"), "true"}));
  EXPECT_EQ(Params(fc, 1), (std::vector<std::string>{"data.qxp", "a", "b"}));
  EXPECT_EQ(fc.lastGroup, 0);
  EXPECT_TRUE(fc.queued.empty());
}
