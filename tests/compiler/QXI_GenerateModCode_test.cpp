#include "compiler/QXI_GenerateModCode.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "compiler/TCompiler.h"
#include "installer-library/QXI_Commands.h"
#include "tests/support/TempDir.h"

using testing_support::TempDir;

namespace {

// A program folder with language folders, and the options as the window
// starts with them.
class GenerateModCodeTest : public ::testing::Test {
 protected:
  GenerateModCodeTest() {
    HasUninstallOption = true;
    HasShortcutsOption = true;
    in.SetupName = "MySetup v1.0";
    in.SetupShortName = "MySetup";
    in.SetupExeName = "mysetup.exe";
    in.PrefixName = "MySetup";
    in.InstallPages = "Install\\QX1";
    in.UninstallPages = "Uninstall\\QX1";
    in.ModDir = "MyMod";
    in.ModFilesDir = "C:\\mods\\MyMod";
    in.ModIniFile = "C:\\T\\initempdir\\MyMod.ini";
    in.ProgramDir = dir.Path();
  }
  ~GenerateModCodeTest() override {
    HasUninstallOption = true;
    HasShortcutsOption = true;
  }

  void AddFile(const std::string& relative) {
    std::filesystem::create_directories(std::filesystem::path(dir.File(relative)).parent_path());
    testing_support::WriteFileText(dir.File(relative), "x");
  }
  void AddFolder(const std::string& relative) { std::filesystem::create_directories(dir.File(relative)); }

  // The script's lines, split at the carriage returns that end them.
  std::vector<std::string> Lines() {
    std::string code = GenerateModCode(in);
    EXPECT_FALSE(code.empty());
    EXPECT_EQ(code.back(), '\r');
    EXPECT_EQ(code.find('\n'), std::string::npos);
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = code.find('\r', start)) != std::string::npos; start = end + 1)
      lines.push_back(code.substr(start, end - start));
    return lines;
  }

  TempDir dir;
  TModCodeInputs in;
};

const std::vector<std::string> kHeader = {
    "Name \"MySetup v1.0\"",
    "ShortName \"MySetup\"",
    "OutFile \"mysetup.exe\"",
    "prefix \"MySetup\"",
    "InstallDir \"$PROGRAMFILES\\Quexar\\\"",
    "InstallDirRegKey HKLM \"Software\\Venmark\\Quexar\\\" \"Path\"",
};

std::vector<std::string> Join(std::vector<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

}  // namespace

TEST_F(GenerateModCodeTest, FullScriptWithLanguagesUninstallerAndShortcuts) {
  AddFile("languages/Install/English.wri");
  AddFile("languages/Install/Deutsch.v2.wri");
  AddFile("languages/Install/Upper.WRI");
  AddFile("languages/Install/notes.txt");
  AddFile("languages/Install/long.wrix");
  AddFolder("languages/Install/Folder.wri");
  AddFile("languages/Uninstall/English.wri");
  EXPECT_EQ(GenerateModCode(in),
            "Name \"MySetup v1.0\"\r"
            "ShortName \"MySetup\"\r"
            "OutFile \"mysetup.exe\"\r"
            "prefix \"MySetup\"\r"
            "InstallDir \"$PROGRAMFILES\\Quexar\\\"\r"
            "InstallDirRegKey HKLM \"Software\\Venmark\\Quexar\\\" \"Path\"\r"
            "language install\\Deutsch.v2\r"
            "language install\\English\r"
            "language install\\Upper\r"
            "uninstalllanguage uninstall\\English\r"
            "pages \"Install\\QX1\"\r"
            "uninstallpages \"Uninstall\\QX1\"\r"
            "Message \"<LANG21>\"\r"
            "File \"C:\\T\\initempdir\\MyMod.ini\" \"mods\\\"\r"
            "File \"C:\\mods\\MyMod\\\" \"mods\\MyMod\\\"\r"
            "Message \"<LANG22>\"\r"
            "CreateDirectory \"$SMPROGRAMS\\Quexar\\Mods\\\"\r"
            "CreateDirectory \"$SMPROGRAMS\\Quexar\\Mods\\MyMod\\\"\r"
            "CreateShortCut \"$SMPROGRAMS\\Quexar\\Mods\\MyMod\\Play.lnk\" \"$INSTDIR\\qxrun.exe\" \"mod MyMod\"\r"
            "CreateShortCut \"$SMPROGRAMS\\Quexar\\Mods\\MyMod\\Uninstall.lnk\" "
            "\"$INSTDIR\\MySetup_Uninstall.exe\" \"\"\r");
}

TEST_F(GenerateModCodeTest, OptionsDecideTheUninstallAndShortcutLines) {
  AddFile("languages/Install/English.wri");
  AddFile("languages/Uninstall/English.wri");
  const std::vector<std::string> body = {
      "pages \"Install\\QX1\"",
      "Message \"<LANG21>\"",
      "File \"C:\\T\\initempdir\\MyMod.ini\" \"mods\\\"",
      "File \"C:\\mods\\MyMod\\\" \"mods\\MyMod\\\"",
      "Message \"<LANG22>\"",
  };
  const std::vector<std::string> shortcuts = {
      "CreateDirectory \"$SMPROGRAMS\\Quexar\\Mods\\\"",
      "CreateDirectory \"$SMPROGRAMS\\Quexar\\Mods\\MyMod\\\"",
      "CreateShortCut \"$SMPROGRAMS\\Quexar\\Mods\\MyMod\\Play.lnk\" \"$INSTDIR\\qxrun.exe\" \"mod MyMod\"",
  };
  const std::vector<std::string> uninstallShortcut = {
      "CreateShortCut \"$SMPROGRAMS\\Quexar\\Mods\\MyMod\\Uninstall.lnk\" \"$INSTDIR\\MySetup_Uninstall.exe\" \"\"",
  };
  const std::vector<std::string> install = {"language install\\English"};
  const std::vector<std::string> uninstall = {"uninstalllanguage uninstall\\English"};
  const std::vector<std::string> uninstallPages = {"uninstallpages \"Uninstall\\QX1\""};

  HasUninstallOption = false;
  HasShortcutsOption = false;
  EXPECT_EQ(Lines(), Join({kHeader, install, body}));

  // Without an uninstaller there is nothing for an uninstall shortcut.
  HasShortcutsOption = true;
  EXPECT_EQ(Lines(), Join({kHeader, install, body, shortcuts}));
  HasUninstallOption = true;
  std::vector<std::string> both = Join({kHeader, install, uninstall, {body[0]}, uninstallPages});
  both.insert(both.end(), body.begin() + 1, body.end());
  EXPECT_EQ(Lines(), Join({both, shortcuts, uninstallShortcut}));

  HasUninstallOption = true;
  HasShortcutsOption = false;
  std::vector<std::string> withUninstall = Join({kHeader, install, uninstall, {body[0]}, uninstallPages});
  withUninstall.insert(withUninstall.end(), body.begin() + 1, body.end());
  EXPECT_EQ(Lines(), withUninstall);
}

TEST_F(GenerateModCodeTest, MissingOrEmptyLanguageFoldersAddNoLines) {
  std::vector<std::string> lines = Lines();
  ASSERT_GE(lines.size(), 7u);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 6), kHeader);
  EXPECT_EQ(lines[6], "pages \"Install\\QX1\"");

  AddFolder("languages/Install");
  AddFile("languages/Uninstall/readme.txt");
  EXPECT_EQ(Lines(), lines);
}

TEST_F(GenerateModCodeTest, LanguageNamesThatWouldSplitOrBeCutAreQuoted) {
  AddFile("languages/Install/English (UK).wri");
  AddFile("languages/Install/C#.wri");
  AddFile("languages/Install/semi;colon.wri");
  AddFile("languages/Install/Plain.wri");
  std::vector<std::string> lines = Lines();
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 6, lines.begin() + 10),
            (std::vector<std::string>{"language \"install\\C#\"", "language \"install\\English (UK)\"",
                                      "language install\\Plain", "language \"install\\semi;colon\""}));
}

TEST_F(GenerateModCodeTest, OutFileNameGetsExeAndLosesInvalidCharacters) {
  struct Case {
    std::string exeName, line;
  };
  const Case cases[] = {
      {"mysetup", "OutFile \"mysetup.exe\""},
      {"mysetup.EXE", "OutFile \"mysetup.EXE\""},
      {"my:setup?.exe", "OutFile \"mysetup.exe\""},
      {"my\"setup|<>*", "OutFile \"mysetup.exe\""},
      {"setup.exe.txt", "OutFile \"setup.exe.txt.exe\""},
      {"v1.0\\setup", "OutFile \"v1.0\\setup.exe\""},  // the extension is the name's, not the folder's
      {"", "OutFile \".exe\""},
  };
  for (const Case& c : cases) {
    in.SetupExeName = c.exeName;
    EXPECT_EQ(Lines()[2], c.line) << c.exeName;
  }
}

TEST_F(GenerateModCodeTest, NamesReachTheirLinesCleanedWhereTheyNameFiles) {
  in.SetupName = "Cool: The <Mod>";
  in.SetupShortName = "My Mod";
  in.PrefixName = "My Mod?";
  in.ModDir = "a<b>c";
  std::vector<std::string> lines = Lines();
  EXPECT_EQ(lines[0], "Name \"Cool: The <Mod>\"");
  EXPECT_EQ(lines[1], "ShortName \"My Mod\"");
  EXPECT_EQ(lines[3], "prefix \"My Mod\"");
  EXPECT_EQ(lines[10], "File \"C:\\mods\\MyMod\\\" \"mods\\abc\\\"");
  EXPECT_EQ(lines[13], "CreateDirectory \"$SMPROGRAMS\\Quexar\\Mods\\abc\\\"");
  EXPECT_EQ(lines[14],
            "CreateShortCut \"$SMPROGRAMS\\Quexar\\Mods\\abc\\Play.lnk\" \"$INSTDIR\\qxrun.exe\" \"mod abc\"");
  EXPECT_EQ(lines[15],
            "CreateShortCut \"$SMPROGRAMS\\Quexar\\Mods\\abc\\Uninstall.lnk\" \"$INSTDIR\\My Mod_Uninstall.exe\" \"\"");
}

TEST_F(GenerateModCodeTest, TheScriptParsesWithTheRegisteredCommands) {
  AddFile("languages/Install/English.wri");
  AddFile("languages/Uninstall/English (UK).wri");
  in.ModFilesDir = "C:\\Mods\\C#";
  TCommandList commands;
  RegisterCommands(commands);
  TCompiler compiler(&commands);
  std::string code = GenerateModCode(in);
  std::vector<std::string> lines;
  for (size_t start = 0, end; (end = code.find('\r', start)) != std::string::npos; start = end + 1)
    lines.push_back(code.substr(start, end - start));
  compiler.ParseLines(lines);
  EXPECT_EQ(compiler.Error.Text, "");
  ASSERT_EQ(compiler.CompLines.Lines.size(), lines.size());
  const std::vector<std::string> keywords = {
      "name",     "shortname",         "outfile",         "prefix",          "installdir",     "installdirregkey",
      "language", "uninstalllanguage", "pages",           "uninstallpages",  "message",        "file",
      "file",     "message",           "createdirectory", "createdirectory", "createshortcut", "createshortcut"};
  for (size_t i = 0; i < keywords.size(); ++i)
    EXPECT_EQ(commands.Get(compiler.CompLines.Lines[i].Id)->Keyword, keywords[i]) << i;
  EXPECT_EQ(compiler.CompLines.Lines[7].Params[0], "uninstall\\English (UK)");
  EXPECT_EQ(compiler.CompLines.Lines[12].Params[0], "C:\\Mods\\C#\\");
  EXPECT_EQ(compiler.CompLines.Lines[17].Params.size(), 3u);
}

TEST(ModCodeNames, InvalidNameCharactersAreExactlySeven) {
  std::string invalid;
  for (int c = 0; c < 256; ++c)
    if (IsInvalidNameChar(static_cast<char>(c))) invalid += static_cast<char>(c);
  EXPECT_EQ(invalid, "\"*:<>?|");
}

TEST(ModCodeNames, CleaningRoutines) {
  struct Case {
    std::string text, stripped, underscored;
  };
  const Case cases[] = {
      {"My Mod 1.0", "My Mod 1.0", "My_Mod_1.0"},
      {"a\\b/c", "a\\b/c", "a\\b/c"},
      {"\"*:<>?|", "", "\"*:<>?|"},
      {"  x  ", "  x  ", "__x__"},
      {"tab\tstays", "tab\tstays", "tab\tstays"},
      {"\xE9t\xE9 ?", "\xE9t\xE9 ", "\xE9t\xE9_?"},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StripInvalidNameChars(c.text), c.stripped) << c.text;
    EXPECT_EQ(SpacesToUnderscore(c.text), c.underscored) << c.text;
  }
}

TEST(ModCodeNames, FileNameWithoutExtension) {
  struct Case {
    std::string path, name;
  };
  const Case cases[] = {
      {"C:\\p\\MyMod.trvx", "MyMod"},   {"C:\\mods\\Cool Mod.ini", "Cool Mod"},
      {"Deutsch.v2.wri", "Deutsch.v2"}, {"noext", "noext"},
      {"C:\\dir.d\\noext", "noext"},    {"a/b.c/d.e", "d"},
      {"C:name.ini", "name"},           {".wri", ""},
      {"trailing.", "trailing"},        {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(FileNameWithoutExt(c.path), c.name) << c.path;
}
