#include "compiler/FormMain.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>

#include "Global/QXI_PakFile.h"
#include "compiler/QXI_GenerateModCode.h"
#include "compiler/TCompiler.h"
#include "tests/support/LanguageFile.h"
#include "tests/support/SetupArchives.h"
#include "tests/support/TempDir.h"

using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileText;

namespace {

// Dialog answers are queued by the test; an empty answer is a cancel.
class FakeView : public TFrmMainView {
 public:
  bool OpenDialog(const std::string& filter, std::string& fileName) override {
    filters.push_back(filter);
    return Answer(fileName);
  }
  bool SaveDialog(const std::string& filter, const std::string& defaultExt, std::string& fileName) override {
    filters.push_back(filter);
    saveExt = defaultExt;
    return Answer(fileName);
  }
  void ShowMessage(const std::string& text, const std::string& caption) override {
    messages.push_back(caption + ": " + text);
  }
  bool SelectDirectory(std::string& path) override { return Answer(path); }
  void StatusChanged() override {
    if (onStatus) onStatus();
  }

  std::deque<std::string> answers;
  std::vector<std::string> filters, messages;
  std::string saveExt;
  std::function<void()> onStatus;

 private:
  bool Answer(std::string& out) {
    if (answers.empty()) return false;
    std::string a = answers.front();
    answers.pop_front();
    if (a.empty()) return false;
    out = a;
    return true;
  }
};

std::string ReadText(const std::string& path) {
  std::vector<uint8_t> bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

std::vector<TModInfoRow> DefaultRows() {
  return {{"Mod", "MyMod"},          {"Mod Dir", "MyMod"},   {"Mod_Ver", "1.0"},   {"Mod_Music", "Menu"},
          {"Mod_Ver_Align", "0"},    {"Req_Ver", "1.10"},    {"Multi_Name", ""},   {"CreditsChange1", "340"},
          {"CreditsChange2", "360"}, {"CreditsDark1", "50"}, {"CreditsDark2", "0"}};
}

class FormMainTest : public ::testing::Test {
 protected:
  FormMainTest() : form(compiler, view) {
    compiler.ProgramDir = program.Path();
    HasUninstallOption = true;
    HasShortcutsOption = true;
  }
  ~FormMainTest() override {
    HasUninstallOption = true;
    HasShortcutsOption = true;
  }

  std::string P(const std::string& relative) const { return program.File(relative); }
  void MakeFolder(const std::string& relative) { std::filesystem::create_directories(P(relative)); }
  bool Exists(const std::string& relative) const { return std::filesystem::exists(P(relative)); }

  TempDir program;
  TCompiler compiler;
  FakeView view;
  TFrmMain form;
};

}  // namespace

TEST_F(FormMainTest, StartsWithTheDefaultSettings) {
  form.FormCreate({});
  EXPECT_EQ(form.Caption, " Torvane v1.0");
  EXPECT_EQ(form.ModInfo, DefaultRows());
  EXPECT_EQ(form.SetupShortName, "MySetup");
  EXPECT_EQ(form.SetupName, "MySetup v1.0");
  EXPECT_EQ(form.SetupExeName, "mysetup.exe");
  EXPECT_EQ(form.ModFilesDir, "");
  EXPECT_EQ(form.ActivePage, TMainPage::SetupInfoTab);
  EXPECT_EQ(form.ErrorStringLabel, u"Error: None");
  EXPECT_EQ(form.ErrorLineNumberLabel, "Line Num: None");
  EXPECT_FALSE(form.ErrorFlashTimerEnabled || form.ErrorTimerStopEnabled || form.LabelCompileVisible);
  EXPECT_EQ(form.Commands.Count(), 32);
  EXPECT_EQ(compiler.Commands, &form.Commands);
  EXPECT_NE(form.Worker, nullptr);
}

TEST(FormMainStart, DebugSwitchIsTheFirstParameterInAnyCase) {
  struct Case {
    std::vector<std::string> parameters;
    bool debug;
  };
  const Case cases[] = {
      {{}, false},          {{"-debug"}, true}, {{"-DEBUG"}, true}, {{"-Debug", "x"}, true}, {{"x", "-debug"}, false},
      {{"-debugx"}, false}, {{"debug"}, false}, {{""}, false},
  };
  for (const Case& c : cases) {
    TempDir program;
    TCompiler compiler;
    compiler.ProgramDir = program.Path();
    FakeView view;
    TFrmMain form(compiler, view);
    form.FormCreate(c.parameters);
    EXPECT_EQ(form.DebugMode, c.debug) << (c.parameters.empty() ? "(none)" : c.parameters[0]);
  }
}

TEST_F(FormMainTest, LayoutListsTakeEveryEntryOfTheirFolder) {
  form.FormCreate({});
  EXPECT_TRUE(form.InstLayout.Items.empty());
  EXPECT_EQ(form.InstLayout.ItemIndex, -1);
  EXPECT_EQ(form.InstLayout.Text, "");

  MakeFolder("layout/install/QX1");
  MakeFolder("layout/install/alt");
  WriteFileText(P("layout/install/readme.txt"), "x");
  MakeFolder("layout/uninstall/QX1");
  form.GenerateInstLayoutCombo();
  form.GenerateUninstLayoutCombo();
  EXPECT_EQ(form.InstLayout.Items, (std::vector<std::string>{"alt", "QX1", "readme.txt"}));
  EXPECT_EQ(form.InstLayout.ItemIndex, 0);
  EXPECT_EQ(form.InstLayout.Text, "alt");
  EXPECT_EQ(form.UninstLayout.Items, (std::vector<std::string>{"QX1"}));
  EXPECT_EQ(form.UninstLayout.Text, "QX1");
}

TEST_F(FormMainTest, LoadReadsTheProjectAndNamesTheModAfterTheFile) {
  form.FormCreate({});
  WriteFileText(P("MyMod.trvx"),
                "[SETUP]\r\nSetupShortName=Short\r\nSetupName=Long Name\r\nSetupExeName=x.exe\r\n"
                "ModFilesDir=C:\\files\r\nInstLayout=Blue\r\n"
                "[Main]\r\nMod=Loaded\r\nMod Dir=Ignored\r\nExtra=kept\r\nCreditsDark2=7\r\n");
  view.answers = {P("MyMod.trvx")};
  form.Load1Click();
  EXPECT_EQ(view.filters, (std::vector<std::string>{"TRVX Setup(*.TRVX)|*.trvx"}));
  EXPECT_EQ(form.SetupShortName, "Short");
  EXPECT_EQ(form.SetupName, "Long Name");
  EXPECT_EQ(form.SetupExeName, "x.exe");
  EXPECT_EQ(form.ModFilesDir, "C:\\files");
  EXPECT_EQ(form.InstLayout.Text, "Blue");
  EXPECT_EQ(form.UninstLayout.Text, "QX1");  // missing: the default
  std::vector<TModInfoRow> rows = DefaultRows();
  rows[0].Value = "Loaded";
  rows[10].Value = "7";
  rows.push_back({"Extra", "kept"});
  EXPECT_EQ(form.ModInfo, rows);
  EXPECT_EQ(form.Caption, " Torvane v1.0 - MyMod.trvx");
}

TEST_F(FormMainTest, LoadOfAFileWithoutKeysGivesTheDefaultsAndCancelChangesNothing) {
  form.FormCreate({});
  form.SetupName = "Changed";
  form.SetModInfoValue("Mod_Ver", "9");
  view.answers = {""};
  form.Load1Click();
  EXPECT_EQ(form.SetupName, "Changed");
  EXPECT_EQ(form.Caption, " Torvane v1.0");

  WriteFileText(P("Empty.trvx"), "");
  view.answers = {P("Empty.trvx")};
  form.Load1Click();
  EXPECT_EQ(form.SetupName, "MySetup v1.0");
  EXPECT_EQ(form.InstLayout.Text, "QX1");
  std::vector<TModInfoRow> rows = DefaultRows();
  rows[1].Value = "Empty";
  EXPECT_EQ(form.ModInfo, rows);
}

TEST_F(FormMainTest, SaveWritesTheProjectFromScratchInTableOrder) {
  form.FormCreate({});
  form.ModFilesDir = "C:\\m";
  form.InstLayout.Text = "QX1";
  form.UninstLayout.Text = "QX2";
  form.SetModInfoValue("Extra", "e");
  WriteFileText(P("p.trvx"), "[Main]\r\nStale=1\r\n[Other]\r\nx=y\r\n");
  view.answers = {P("p.trvx")};
  form.Save1Click();
  EXPECT_EQ(view.saveExt, "trvx");
  EXPECT_EQ(ReadText(P("p.trvx")),
            "[SETUP]\r\nSetupShortName=MySetup\r\nSetupName=MySetup v1.0\r\nSetupExeName=mysetup.exe\r\n"
            "ModFilesDir=C:\\m\r\nInstLayout=QX1\r\nUninstLayout=QX2\r\n"
            "[Main]\r\nMod=MyMod\r\nMod Dir=MyMod\r\nMod_Ver=1.0\r\nMod_Music=Menu\r\nMod_Ver_Align=0\r\n"
            "Req_Ver=1.10\r\nCreditsChange1=340\r\nCreditsChange2=360\r\nCreditsDark1=50\r\nCreditsDark2=0\r\n"
            "Extra=e\r\n");
  EXPECT_EQ(form.Caption, " Torvane v1.0 - p.trvx");
  EXPECT_FALSE(Exists("p.trvx.tmp"));
  EXPECT_TRUE(view.messages.empty());
}

TEST_F(FormMainTest, SavedProjectLoadsBackWithEmptyRowsEmpty) {
  form.FormCreate({});
  form.SetupName = "Round Trip";
  form.SetModInfoValue("Multi_Name", "");
  form.SetModInfoValue("Mod", "RT");
  view.answers = {P("rt")};  // no extension: the project's own is added
  form.Save1Click();
  ASSERT_TRUE(Exists("rt.trvx"));
  EXPECT_EQ(ReadText(P("rt.trvx")).find("Multi_Name"), std::string::npos);

  TCompiler other;
  other.ProgramDir = program.Path();
  FakeView otherView;
  TFrmMain loaded(other, otherView);
  otherView.answers = {P("rt.trvx")};
  loaded.Load1Click();
  EXPECT_EQ(loaded.SetupName, "Round Trip");
  EXPECT_EQ(loaded.ModInfoValue("Mod"), "RT");
  EXPECT_EQ(loaded.ModInfoValue("Mod Dir"), "rt");
  EXPECT_EQ(loaded.ModInfoValue("Multi_Name"), "");
  EXPECT_EQ(loaded.ModInfo.size(), DefaultRows().size());
}

TEST_F(FormMainTest, AFailedSaveIsReportedAndKeepsTheOldProject) {
  form.FormCreate({});
  WriteFileText(P("keep.trvx"), "[SETUP]\r\nSetupName=Old\r\n");
  MakeFolder("keep.trvx.new");  // the file written aside cannot be created
  view.answers = {P("keep.trvx")};
  form.Save1Click();
  EXPECT_EQ(ReadText(P("keep.trvx")), "[SETUP]\r\nSetupName=Old\r\n");
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.messages[0].rfind("Save error: Error: The project could not be saved as ", 0), 0u);
  EXPECT_EQ(form.Caption, " Torvane v1.0");

  view.answers = {P("no such folder/p.trvx")};
  form.Save1Click();
  EXPECT_EQ(view.messages.size(), 2u);
}

TEST_F(FormMainTest, ImportTakesTheModSettingsAndDerivesTheSetupNames) {
  form.FormCreate({});
  WriteFileText(P("Cool Mod.ini"), "[MAIN]\r\nMod=Cool\r\nMod_Ver=2.0 beta\r\nMod Dir=Whatever\r\nNew Key=n\r\n");
  view.answers = {P("Cool Mod.ini")};
  form.Button6Click();
  EXPECT_EQ(view.filters, (std::vector<std::string>{"QX Mod INI (*.INI)|*.ini"}));
  EXPECT_EQ(form.SetupName, "Cool v2.0 beta");
  EXPECT_EQ(form.SetupShortName, "Cool");
  EXPECT_EQ(form.SetupExeName, "Cool_Mod_2.0_beta.exe");
  EXPECT_EQ(form.ModInfoValue("Mod Dir"), "Cool Mod");
  EXPECT_EQ(form.ModInfo.back(), (TModInfoRow{"New Key", "n"}));

  // Rows, once present, stay; keys the next file lacks fall back to the defaults.
  WriteFileText(P("other.ini"), "[main]\r\nMod=Other\r\n");
  view.answers = {P("other.ini")};
  form.Button6Click();
  EXPECT_EQ(form.ModInfo.back(), (TModInfoRow{"New Key", "n"}));
  EXPECT_EQ(form.ModInfoValue("Mod_Ver"), "1.0");
  EXPECT_EQ(form.SetupExeName, "other_1.0.exe");
  EXPECT_EQ(form.ModInfo.size(), DefaultRows().size() + 1);
}

TEST_F(FormMainTest, CheckBoxesAndBrowseSetTheirValues) {
  form.FormCreate({});
  form.HasUninstallCheck = false;
  form.HasUninstallCheckClick();
  EXPECT_FALSE(HasUninstallOption);
  EXPECT_TRUE(HasShortcutsOption);
  form.HasShortcutsCheck = false;
  form.HasShortcutsCheckClick();
  EXPECT_FALSE(HasShortcutsOption);

  view.answers = {"C:\\picked"};
  form.Button4Click();
  EXPECT_EQ(form.ModFilesDir, "C:\\picked");
  view.answers = {""};
  form.Button4Click();
  EXPECT_EQ(form.ModFilesDir, "C:\\picked");
}

TEST_F(FormMainTest, CompileRefusesWhatCannotMakeAnInstaller) {
  form.FormCreate({});
  form.CompiledInformation = {"previous log"};
  MakeFolder("files");
  struct Case {
    std::string modFilesDir, modDir, message;
    std::string setupName = "MySetup v1.0";
  };
  const std::string quoteRefused = "\" cannot hold a double quote (\")";
  const Case cases[] = {
      // The script has no way to quote a double quote.
      {P("files"), "MyMod", "Compile error: Error: \"Setup Name" + quoteRefused, "My \"Best\" Mod"},
      {P("fi\"les"), "MyMod", "Compile error: Error: \"Directory with mod files" + quoteRefused},
      {"", "MyMod", "Compile error: Error: You need to specify where your mod`s files are stored"},
      {P("missing"), "MyMod", "Compile error: Error: The folder with your mod's files does not exist: " + P("missing")},
      {P("files"), "", "Compile error: Error: \"Mod Dir\" must be a plain folder name"},
      {P("files"), "?:", "Compile error: Error: \"Mod Dir\" must be a plain folder name"},
      {P("files"), "..", "Compile error: Error: \"Mod Dir\" must be a plain folder name"},
      {P("files"), "..\\..\\evil", "Compile error: Error: \"Mod Dir\" must be a plain folder name"},
      {P("files"), "a/b", "Compile error: Error: \"Mod Dir\" must be a plain folder name"},
  };
  for (const Case& c : cases) {
    view.messages.clear();
    form.ModFilesDir = c.modFilesDir;
    form.SetModInfoValue("Mod Dir", c.modDir);
    form.SetupName = c.setupName;
    form.Compile1Click();
    EXPECT_EQ(view.messages, std::vector<std::string>{c.message}) << c.modDir;
    EXPECT_EQ(form.CompiledInformation, std::vector<std::string>{"previous log"});
    EXPECT_EQ(form.SourceFile, "");
    EXPECT_FALSE(Exists("initempdir"));
    EXPECT_FALSE(Exists("compiled"));
  }
}

TEST_F(FormMainTest, CompileErrorShowsTheTextLineAndSelection) {
  form.FormCreate({});
  MakeFolder("files");
  form.ModFilesDir = P("files");
  // Registry holding only the first five keywords of the script: the sixth
  // line is an unknown command.
  TCommandList few;
  for (const char* k : {"name", "shortname", "outfile", "prefix", "installdir"})
    few.Add(std::make_unique<TCommandClass>(k, 0));
  compiler.Commands = &few;
  form.Compile1Click();
  compiler.Commands = &form.Commands;

  EXPECT_EQ(compiler.Error.Text, "Unknown Command \"InstallDirRegKey\"");
  EXPECT_EQ(form.ErrorStringLabel, u"Error: Unknown Command \"InstallDirRegKey\"");
  EXPECT_EQ(form.ErrorLineNumberLabel, "Line Num: 5");
  EXPECT_TRUE(form.ErrorLabelsVisible && form.ErrorPanelVisible && form.SourceTabVisible);
  EXPECT_TRUE(form.ErrorFlashTimerEnabled && form.ErrorTimerStopEnabled);
  EXPECT_EQ(form.ActivePage, TMainPage::SetupInfoTab);
  EXPECT_EQ(form.ActiveControl, TFocus::SourceFile);
  const std::string line = "InstallDirRegKey HKLM \"Software\\Venmark\\Quexar\\\" \"Path\"";
  size_t at = form.SourceFile.find(line);
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(form.SourceSelStart, static_cast<int32_t>(at));
  EXPECT_EQ(form.SourceSelLength, static_cast<int32_t>(line.size()));
  EXPECT_FALSE(form.LabelCompileVisible);
  EXPECT_EQ(form.CompiledInformation, std::vector<std::string>{});  // no build ran
  EXPECT_FALSE(Exists("initempdir"));
}

TEST_F(FormMainTest, CompileBuildsTheInstallerFromTheGeneratedScript) {
  form.FormCreate({"-debug"});
  MakeFolder("base");
  testing_support::WriteFileBytes(P("base/setup.exe"), {0x4D, 0x5A, 1, 2, 3});
  for (const char* layout : {"layout/Install/QX1", "layout/Uninstall/QX1"}) {
    MakeFolder(layout);
    WriteFileText(P(std::string(layout) + "/Pages.txt"), "page1=welcome\r\n");
  }
  // The script names the language folder in lower case; a host file system
  // may tell the two spellings apart.
  for (const char* folder : {"languages/Install", "languages/install"}) {
    MakeFolder(folder);
    testing_support::WriteFileBytes(P(std::string(folder) + "/English.wri"),
                                    testing_support::LanguageFileBytes(u"English\r\n409\r\n"));
  }
  MakeFolder("files/sub");
  WriteFileText(P("files/a.dat"), "a");
  WriteFileText(P("files/sub/b.dat"), "b");
  form.InstLayout.Text = form.UninstLayout.Text = "QX1";
  form.ModFilesDir = P("files");
  form.SetModInfoValue("Mod Dir", "My?Mod:");  // the settings file is named without them
  // What an earlier run left in the setup information goes before this one.
  compiler.SetupInfo.Changelog = "changes.txt";
  compiler.SetupInfo.InstallDirRegKey[4] = {1, "Software\\Old", "Path"};
  MakeFolder("initempdir");
  WriteFileText(P("initempdir/MyMod.ini"), "[Main]\r\nStale=left by a run that did not end\r\n");
  // Another mod's settings file left by an earlier compile is not this installer's.
  WriteFileText(P("initempdir/OtherMod.ini"), "[Main]\r\nMod=Other\r\n");

  std::string seenIni;
  view.onStatus = [&] {
    if (seenIni.empty() && Exists("initempdir/MyMod.ini")) seenIni = ReadText(P("initempdir/MyMod.ini"));
  };
  form.Compile1Click();

  EXPECT_TRUE(view.messages.empty());
  EXPECT_EQ(seenIni,
            "[Main]\r\nMod=MyMod\r\nMod Dir=My?Mod:\r\nMod_Ver=1.0\r\nMod_Music=Menu\r\nMod_Ver_Align=0\r\n"
            "Req_Ver=1.10\r\nCreditsChange1=340\r\nCreditsChange2=360\r\nCreditsDark1=50\r\nCreditsDark2=0\r\n");
  ASSERT_FALSE(form.CompiledInformation.empty());
  EXPECT_EQ(form.CompiledInformation.back(), "Finished");
  EXPECT_FALSE(form.LabelCompileVisible);
  EXPECT_FALSE(Exists("initempdir/MyMod.ini"));
  EXPECT_TRUE(Exists("initempdir/OtherMod.ini"));
  EXPECT_EQ(form.ActivePage, TMainPage::TabSheet2);
  EXPECT_EQ(form.ActiveControl, TFocus::CompiledInformation);
  EXPECT_EQ(compiler.SetupInfo.Changelog, "");
  EXPECT_EQ(compiler.SetupInfo.InstallDirRegKey[4], TREGKEY{});
  EXPECT_EQ(compiler.SetupInfo.UninstallExe, "MySetup_Uninstall.exe");
  EXPECT_NE(form.SourceFile.find("File \"" + P("files") + "\\\" \"mods\\MyMod\\\"\r"), std::string::npos);

  TPak pak(P("compiled/mysetup.exe"), false, false);
  std::vector<std::string> entries;
  for (const TPakFile& e : pak.Entries) entries.push_back(std::to_string(e.Group) + " " + e.Name);
  EXPECT_EQ(entries,
            (std::vector<std::string>{"0 LANGUAGE-install\\English", "0 Pages.txt", "0 UNINSTALL_Pages.txt",
                                      "0 SetupInfo", "0 CompiledLines", "1 MyMod.ini", "2 a.dat", "2 sub\\b.dat"}));
  uint32_t size = 0;
  Bytes ini = pak.FindFile("MyMod.ini", 1, size);
  EXPECT_EQ(std::string(ini.begin(), ini.end()), seenIni);

  // The listing follows the build in debug mode.
  EXPECT_TRUE(form.CompiledVerVisible && form.SourceTabVisible);
  ASSERT_EQ(form.CompiledVer.size(), form.SourceLines().size());
  EXPECT_EQ(form.CompiledVer[0], "name \"MySetup v1.0\"");
  EXPECT_EQ(form.CompiledVer[10], "file " + program.Path() + "\\initempdir\\MyMod.ini mods\\ 1");
}

TEST_F(FormMainTest, TheTemporaryFolderStaysWhenItHoldsOtherFiles) {
  form.FormCreate({});
  MakeFolder("files");
  MakeFolder("initempdir");
  WriteFileText(P("initempdir/other.ini"), "[Main]\r\nMod=x\r\n");
  form.ModFilesDir = P("files");
  form.Compile1Click();
  EXPECT_TRUE(Exists("initempdir/other.ini"));
  EXPECT_FALSE(Exists("initempdir/MyMod.ini"));
}

TEST_F(FormMainTest, ASettingsFileThatCannotBeWrittenStopsTheCompile) {
  form.FormCreate({});
  MakeFolder("files");
  WriteFileText(P("initempdir"), "a file where the folder belongs");
  form.ModFilesDir = P("files");
  form.CompiledInformation = {"previous log"};
  form.Compile1Click();
  EXPECT_EQ(view.messages,
            std::vector<std::string>{"Compile error: Error: The mod's settings file could not be written to " +
                                     program.Path() + "\\initempdir\\MyMod.ini"});
  EXPECT_EQ(form.CompiledInformation, std::vector<std::string>{"previous log"});
  EXPECT_EQ(ReadText(P("initempdir")), "a file where the folder belongs");
}

TEST_F(FormMainTest, ErrorPanelFlashesUntilTheStopTimer) {
  form.FormCreate({});
  form.ErrorFlashTimerEnabled = form.ErrorTimerStopEnabled = true;
  const bool red[] = {true, false, true};
  for (bool expected : red) {
    form.ErrorFlashTimerTimer();
    EXPECT_EQ(form.ErrorPanelRed, expected);
    EXPECT_EQ(form.Image1Visible, !expected);
  }
  form.ErrorTimerStopTimer();
  EXPECT_FALSE(form.ErrorFlashTimerEnabled || form.ErrorTimerStopEnabled);
  EXPECT_TRUE(form.ErrorPanelRed);  // the last toggle stays
  // ... until the next compile, which starts on the plain panel.
  MakeFolder("files");
  form.ModFilesDir = P("files");
  form.Compile1Click();
  EXPECT_FALSE(form.ErrorPanelRed);
  EXPECT_TRUE(form.Image1Visible);
}

TEST_F(FormMainTest, ListingOfABuiltInstaller) {
  form.FormCreate({});
  // An installer archive holding a stored script: a label, a header command
  // (placeholder) and a message line.
  TCompLines lines;
  lines.Lines = {{0, {"start"}, 0}, {2, {"Name"}, 1}, {15, {"a b", "c"}, 2}};
  Bytes stored;
  ASSERT_TRUE(lines.Store(form.Commands, stored));
  {
    WriteFileText(P("setup.exe"), "MZ program bytes");
    TPak pak(P("setup.exe"), true, false);
    int i = pak.AddEntry("CompiledLines", "", 0);
    ASSERT_TRUE(pak.WriteEntryData(i, stored.data(), stored.size()));
    ASSERT_TRUE(pak.WriteTable());
  }
  view.answers = {P("setup.exe")};
  form.test1Click();
  EXPECT_EQ(view.filters.back(), "EXE|*.EXE");
  EXPECT_EQ(form.CompiledVer, (std::vector<std::string>{"message \"a b\" c"}));
  EXPECT_TRUE(form.CompiledVerVisible && form.DividerPanelVisible);

  // A file without an installer archive leaves the compiled lines alone.
  WriteFileText(P("plain.exe"), "MZ nothing appended");
  view.answers = {P("plain.exe")};
  form.test1Click();
  EXPECT_EQ(form.CompiledVer, (std::vector<std::string>{"No compiled script found in " + P("plain.exe"),
                                                        "No archive at the end of the file"}));
  EXPECT_EQ(compiler.CompLines.Lines.size(), 3u);
  // A script the reader refuses: its reason.
  testing_support::WriteSetupArchive(P("cut.exe"), {{"CompiledLines", 0, Bytes{1}}});
  view.answers = {P("cut.exe")};
  form.test1Click();
  EXPECT_EQ(form.CompiledVer,
            (std::vector<std::string>{"No compiled script found in " + P("cut.exe"),
                                      "The line count at byte 0 runs past the end of the 1-byte block"}));

  // A script entry whose size no longer matches its data: the reader's own
  // error box, as every other reader shows it.
  testing_support::WriteSetupArchive(P("damaged.exe"), {{"CompiledLines", 0, Bytes(200, 'x')}});
  const uint32_t table = TPak(P("damaged.exe"), false, false).TableOffset;
  std::vector<uint8_t> bytes = ReadFileBytes(P("damaged.exe"));
  bytes.at(table + 2 + 13 + 12) = 201;  // the low byte of OriginalSize, 200
  testing_support::WriteFileBytes(P("damaged.exe"), bytes);
  view.answers = {P("damaged.exe")};
  form.test1Click();
  EXPECT_EQ(view.messages, std::vector<std::string>{"Error: CompiledLines\r\rError: DecompSize - 200 OrigSize - 201"});
}

TEST(XPGradient, RunsFromLightToDarkBlueColumnByColumn) {
  auto rgb = [](int r, int g, int b) { return static_cast<uint32_t>(r | g << 8 | b << 16); };
  EXPECT_TRUE(XPGradientColumns(0).empty());
  EXPECT_EQ(XPGradientColumns(1), std::vector<uint32_t>{rgb(153, 198, 241)});
  std::vector<uint32_t> c = XPGradientColumns(102);
  ASSERT_EQ(c.size(), 102u);
  EXPECT_EQ(c[0], rgb(153, 198, 241));
  EXPECT_EQ(c[1], rgb(152, 198, 241));   // 0.91 and 0.47 drop to 0
  EXPECT_EQ(c[51], rgb(102, 152, 217));  // 46.5 and 24.0
  EXPECT_EQ(c[101], rgb(52, 106, 194));
  std::vector<uint32_t> wide = XPGradientColumns(1000);
  for (size_t x = 1; x < wide.size(); ++x)
    for (int s = 0; s < 24; s += 8) EXPECT_LE((wide[x] >> s) & 255, (wide[x - 1] >> s) & 255) << x;
  EXPECT_EQ(wide.back(), rgb(52, 106, 194));
}
