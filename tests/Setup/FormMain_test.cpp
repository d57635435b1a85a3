#include "Setup/FormMain.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "Setup/Ggauge.h"
#include "Setup/SE_SetupThread.h"
#include "Setup/SE_ShellTreeView.h"
#include "installer-library/SE_Uninstall_List.h"
#include "platform/Directory.h"
#include "platform/File.h"
#include "platform/Text.h"
#include "tests/Setup/WizardFixture.h"

namespace {

// The page types of InstallerLayout, by index.
constexpr int32_t kWelcome = 0, kLanguagePage = 1, kFolderPage = 2, kSpacePage = 3, kWorkPage = 4, kFinishPage = 5;

}  // namespace

TEST_F(WizardTest, SetUpTitlesButtonsAndTheNamedControls) {
  struct Case {
    const char* name;
    uint8_t uninstaller;
    std::u16string title;
  } cases[] = {{"installer", 0, u"Cool Mod"}, {"uninstaller", 1, u"ModKit Runtime Test Uninstall"}};
  for (const Case& c : cases) {
    form.reset();
    SetupInfoFile.IsUninstaller = c.uninstaller;
    Open(WizardLayout({{"welcome", "[Patching_StatusLabel2]\r\ntype=tlabel\r\n[finishtext]\r\ntype=tedit"},
                       {"finish", "[PATCHING_STATUSLABEL]\r\ntype=tlabel"}},
                      "[settings]\r\ncolour=$00FF00\r\n"));
    EXPECT_EQ(host.Title, c.title) << c.name;
    EXPECT_EQ(host.Caption, u" " + c.title) << c.name;
    EXPECT_EQ(form->BackButton.Caption(), u"< Back");
    EXPECT_EQ(form->NextButton.Caption(), u"Next >");
    EXPECT_EQ(form->CancelButton.Caption(), u"Cancel");
    EXPECT_EQ(form->Panel1.Color(), 0x00FF00);
    ASSERT_NE(form->PatchingStatusLabel(), nullptr);
    EXPECT_EQ(form->PatchingStatusLabel()->Name(), "PATCHING_STATUSLABEL") << "names compared without case";
    EXPECT_EQ(form->FinishTextLabel(), nullptr) << "an edit is no label";
    EXPECT_EQ(form->PatchingProgressBar(), nullptr);
    EXPECT_EQ(PatchingStatusLabel.load(), form->PatchingStatusLabel()) << "the hand-off knows its target";
    EXPECT_EQ(FinishTextLabel.load(), nullptr);
  }
}

TEST_F(WizardTest, TheInstallFolderIsExpandedAndShownInTheEdit) {
  ProgramFilesDir = "C:\\Program Files\\";
  SetupInfoFile.InstallDir = "$PROGRAMFILES\\\\Quexar";
  Open(InstallerLayout());
  EXPECT_EQ(SetupInfoFile.InstallDir, "C:\\Program Files\\Quexar");
  EXPECT_EQ(form->InstallDirEdit()->Text(), u"C:\\Program Files\\Quexar");
  EXPECT_FALSE(form->InstallDirShown);
}

TEST_F(WizardTest, ThePatchPageChecksTheSpace) {
  Open(InstallerLayout());
  NextTo(kSpacePage - 1);
  struct Case {
    int64_t required, available;
    bool nextEnabled;
  } cases[] = {
      {100, 100, true}, {100, 99, false}, {0, -1, false}, {0, 0, true}, {int64_t{5} << 40, int64_t{6} << 40, true}};
  for (const Case& c : cases) {
    WizardPages->ShowPage(kSpacePage - 1);
    SpaceRequired = c.required;
    SpaceAvailable = c.available;
    SpaceRequiredText = FormatByteSize(c.required);
    SpaceAvailableText = "lots";
    form->NextButtonClick();
    ASSERT_EQ(WizardPages->Current, kSpacePage);
    EXPECT_EQ(form->NextButton.Enabled(), c.nextEnabled) << c.required << " of " << c.available;
    EXPECT_EQ(form->NextButton.Caption(), u"Install");
    EXPECT_EQ(form->SpaceAvailableLabel()->Caption(),
              u"Needed " + platform::AnsiToWide(FormatByteSize(c.required)) + u"\rfree lots");
  }
  // A language change keeps what the check decided, and the text, translated.
  WizardPages->ShowPage(kSpacePage - 1);
  SpaceAvailable = 0;
  SpaceRequired = 1;
  form->NextButtonClick();
  AddLanguage(u"Deutsch\r\n407;\r\n7 Frei <%SPACEAVA%>\r\n13 Weiter >\r\n15 Installieren\r\n");
  form->English1Click(1);
  EXPECT_FALSE(form->NextButton.Enabled());
  EXPECT_EQ(form->NextButton.Caption(), u"Installieren");
  EXPECT_EQ(form->SpaceAvailableLabel()->Caption(), u"Frei lots");
}

TEST_F(WizardTest, TheInstallationRunsOnTheSetupThreadAndShowsItsProgress) {
  const int32_t publish = AddCommand([](int32_t line) {
    SetStatusText(u"copying " + platform::AnsiToWide(std::to_string(line)));
    StepProgress(true);
  });
  CompLines = Script({Cmd(publish), Cmd(publish), Cmd(publish)});
  Open(InstallerLayout());
  NextTo(kSpacePage);
  form->NextButtonClick();
  EXPECT_EQ(ran, (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(WizardPages->Current, kFinishPage) << "the page after the work shows by itself";
  EXPECT_FALSE(form->Working);
  EXPECT_EQ(FileCount, 1);
  EXPECT_EQ(form->PatchingStatusLabel()->Caption(), u"copying 2") << "the last status is not lost";
  EXPECT_EQ(form->PatchingProgressBar()->Max(), 1);
  EXPECT_EQ(form->PatchingProgressBar()->Progress(), 1) << "clamped to the gauge's maximum";
  EXPECT_EQ(LanguageSelection, "Deutsch");
  ASSERT_FALSE(UninstallList.Dirs().empty());
  EXPECT_EQ(UninstallList.Dirs().front().rfind("$INSTDIR", 0), 0u) << "the install folder is logged first";
  EXPECT_EQ(ExpandPath(UninstallList.Dirs().front()), SetupInfoFile.InstallDir);
  EXPECT_GT(host.Pumps, 0) << "the window stays alive while the thread works";
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(form->ExitCode(), kExitDone);
}

TEST_F(WizardTest, TheLaterLanguagePageChoosesTheLanguage) {
  Open(WizardLayout(
      {{"languageselection", "[a]\r\ntype=tradio\r\ncaption=Fran\u00E7ais\r\nchecked=true"},
       {"languageselection", "[b]\r\ntype=tlabel\r\ncaption=none checked\r\n[c]\r\ntype=tradio\r\ncaption=x"},
       {"languageselection", "[d]\r\ntype=tradio\r\ncaption=Italiano\r\nchecked=true"},
       {"patching", ""},
       {"finish", ""}}));
  NextTo(3);
  EXPECT_EQ(LanguageSelection, "Italiano");
}

TEST_F(WizardTest, AFailedInstallationShowsItsTextAndEndsAsAFailure) {
  const int32_t failure = AddCommand([](int32_t) {
    SetFailureText(u"It failed", true);
    AbortFlag = true;
  });
  CompLines = Script({Cmd(failure), Cmd(failure)});
  Open(InstallerLayout());
  NextTo(kWorkPage);
  EXPECT_EQ(ran, (std::vector<int32_t>{0}));
  EXPECT_EQ(WizardPages->Current, kFinishPage);
  EXPECT_EQ(form->FinishTextLabel()->Caption(), u"It failed") << "set on the window's thread";
  EXPECT_EQ(form->ExitCode(), kExitFailed);
  EXPECT_TRUE(boxes.empty());
  EXPECT_TRUE(platform::DirectoryExists(installDir)) << "the finishing steps ran after the abort";
}

TEST_F(WizardTest, AnErrorOfTheWindowsThreadLetsTheScriptStopAndFinishBeforeTheReport) {
  SetupInfoFile.HasUninstall = 1;
  SetupInfoFile.UninstallExe = "Uninstall.exe";
  SetupInfoFile.UninstallPrefix = "Cool_";
  // The line under way when the window fails ends once the wizard has
  // asked the script to stop (a line never sees the failure itself).
  const int32_t busy = AddCommand([&](int32_t) {
    for (int ms = 0; !AbortFlag && ms < 10000; ++ms) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    UninstallList.AddFile(installDir + "\\done.txt");
  });
  const int32_t step = AddCommand();
  CompLines = Script({Cmd(busy), Cmd(step)});
  Open(InstallerLayout());
  host.OnPump = [] { throw std::runtime_error("a message handler failed"); };
  NextTo(kWorkPage);
  EXPECT_EQ(errors, (std::vector<ReportedError>{{"a message handler failed", ""}}));
  EXPECT_EQ(ran, std::vector<int32_t>{0}) << "no line after the one under way";
  TUninstallList log;
  EXPECT_TRUE(log.LoadFromFile(installDir, "Cool_"));
  EXPECT_TRUE(log.HasFile("$INSTDIR\\done.txt")) << "the log, saved after the line ended";
  EXPECT_TRUE(platform::FileExists(installDir + "\\Uninstall.exe"));
  EXPECT_FALSE(SetupThread->Running);
}

TEST_F(WizardTest, ABrokenFinishIsShownToTheUser) {
  SetupInfoFile.HasUninstall = 1;
  testing_support::WriteFileText(dir.File("Game"), "a file where the folder belongs");
  Open(InstallerLayout());
  NextTo(kWorkPage);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Caption, "Setup Error");
  EXPECT_EQ(boxes[0].Text.rfind("Error: The uninstall log could not be written: ", 0), 0u) << boxes[0].Text;
  EXPECT_EQ(form->ExitCode(), kExitFailed);
}

TEST_F(WizardTest, ASilentRunEndsAfterItsWork) {
  const int32_t step = AddCommand();
  const int32_t abort = AddCommand([](int32_t) { AbortFlag = true; });
  struct Case {
    const char* name;
    std::string idDir;
    int32_t command;
    int exitCode;
    std::vector<RecordedBox> boxes;
  } cases[] = {
      {"completed", "", step, kExitDone, {{"Completed", "Information", 0}}},
      {"aborted", "", abort, kExitFailed, {{"It failed", "Error", 0}}},
      {"aborted, folder named", installDir, abort, kExitFailed, {{"It failed", "Error", 0}}},
      {"completed, folder named", installDir, step, kExitDone, {}},
  };
  for (const Case& c : cases) {
    form.reset();
    boxes.clear();
    AbortFlag = false;
    Silent = true;
    IdDir = platform::AnsiToWide(c.idDir);
    CompLines = Script({Cmd(c.command)});
    Open(InstallerLayout());
    EXPECT_EQ(RunSilently(), c.exitCode) << c.name;
    EXPECT_EQ(boxes, c.boxes) << c.name;
    EXPECT_EQ(WizardPages->Current, kFinishPage) << c.name;
  }
}

TEST_F(WizardTest, ASilentRunWhosePagesLeadNowhereEnds) {
  Silent = true;
  const RecordedBox nothing{"Nothing was installed: the setup's pages hold no installation page.", "Error", 0};
  struct Case {
    const char* name;
    std::vector<WizardPage> pages;
    int exitCode;
    std::vector<RecordedBox> boxes;
  } cases[] = {
      {"no pages", {}, kExitFailed, {{"Error File Missing: Pages.txt", "Missing File", 0}, nothing}},
      {"no work and no finish page", {{"welcome", ""}, {"installdir", ""}}, kExitFailed, {nothing}},
      {"a finish page but no work page", {{"welcome", ""}, {"finish", ""}}, kExitFailed, {nothing}},
  };
  for (const Case& c : cases) {
    form.reset();
    boxes.clear();
    std::vector<ArchiveItem> items = WizardLayout(c.pages);
    if (c.pages.empty()) items.erase(items.begin());
    Open(items);
    EXPECT_EQ(RunSilently(), c.exitCode) << c.name;
    EXPECT_EQ(boxes, c.boxes) << c.name;
  }
}

TEST_F(WizardTest, TheFinishPageClosesTheWindowOrEndsASilentRun) {
  Open(WizardLayout({{"welcome", ""}, {"finish", ""}}));
  form->NextButtonClick();
  EXPECT_TRUE(host.Closed);
  EXPECT_TRUE(boxes.empty()) << "closing on the finish page asks nothing";
  EXPECT_FALSE(SetupThread) << "the thread is stopped when the window closes";

  form.reset();
  Open(WizardLayout({{"finish", ""}}));
  form->NextButtonClick();
  EXPECT_TRUE(host.Closed) << "Next on the last page repeats its action";
}

TEST_F(WizardTest, ClosingAsksBeforeTheFinishPageAndNeverDuringTheWork) {
  struct Case {
    const char* name;
    uint8_t uninstaller;
    int32_t page;
    bool working;
    int answer;
    bool closes;
    size_t boxes;
    int exitCode;  // a run cancelled before its work is no success
  } cases[] = {
      {"welcome, yes", 0, kWelcome, false, platform::kIdYes, true, 1, kExitCancelled},
      {"welcome, no", 0, kWelcome, false, platform::kIdNo, false, 1, kExitDone},
      {"working", 0, kWorkPage, true, platform::kIdYes, false, 0, kExitDone},
      {"finish page", 0, kFinishPage, false, platform::kIdNo, true, 0, kExitDone},
      {"an uninstaller's welcome, yes", 1, kWelcome, false, platform::kIdYes, true, 1, kExitCancelled},
  };
  for (const Case& c : cases) {
    form.reset();
    SetupInfoFile.IsUninstaller = c.uninstaller;
    Open(InstallerLayout());
    boxes.clear();
    WizardPages->ShowPage(c.page);
    form->SetWorkingState(c.working);
    answer = c.answer;
    host.Closed = false;
    host.CloseWindow();
    EXPECT_EQ(host.Closed, c.closes) << c.name;
    ASSERT_EQ(boxes.size(), c.boxes) << c.name;
    if (c.boxes) {
      EXPECT_EQ(boxes[0], (RecordedBox{"Really quit?", "Quit", platform::kMbYesNo})) << c.name;
    }
    EXPECT_EQ(form->ExitCode(), c.exitCode) << c.name;
    form->SetWorkingState(false);
  }
}

TEST_F(WizardTest, TheUninstallPageRemovesTheInstallationAndMovesOn) {
  SetupInfoFile.IsUninstaller = 1;
  SetupInfoFile.UninstallPrefix = "Cool_";
  platform::MakeDir(installDir);
  testing_support::WriteFileText(dir.File("Game/a.txt"), "installed");
  UninstallList.AddFile(installDir + "\\a.txt");
  UninstallList.AddDir(installDir);
  Open(WizardLayout(
      {{"welcome", ""},
       {"uninstall", "[patching_statuslabel]\r\ntype=tlabel\r\n[patching_progressbar]\r\ntype=tprogressbar"},
       {"finish", ""}}));
  form->NextButtonClick();
  EXPECT_EQ(WizardPages->Current, 2);
  EXPECT_FALSE(form->Working);
  EXPECT_FALSE(platform::FileExists(installDir + "\\a.txt"));
  EXPECT_FALSE(platform::DirectoryExists(installDir));
  EXPECT_EQ(FileCount, 2);
  EXPECT_EQ(form->PatchingStatusLabel()->Caption(), u"folders:1/1");
  EXPECT_EQ(form->PatchingProgressBar()->Max(), 2);
  EXPECT_EQ(form->PatchingProgressBar()->Progress(), 2);
}

TEST_F(WizardTest, TheLanguageMenuFollowsTheLoadedLanguages) {
  struct Case {
    int languages;
    bool buttonVisible;
  } cases[] = {{0, false}, {1, false}, {2, true}};
  for (const Case& c : cases) {
    form.reset();
    Languages = TLanguages();
    if (c.languages > 0) AddLanguage(kWizardEnglish);
    if (c.languages > 1)
      AddLanguage(u"Deutsch\r\n407;\r\n12 < Zur\u00FCck\r\n13 Weiter >\r\n14 Abbrechen\r\n20 Willkommen\r\n");
    Open(InstallerLayout());
    EXPECT_EQ(form->LanguageButton.Visible(), c.buttonVisible) << c.languages;
    EXPECT_EQ(form->LanguagePopupMenu.size(), static_cast<size_t>(c.languages));
  }
  EXPECT_EQ(form->LanguageButton.Caption(), u"English");
  host.MenuChoice = 1;
  form->NextButtonClick();
  form->LanguageButtonClick();
  EXPECT_EQ(host.MenuCaptions, (std::vector<std::u16string>{u"English", u"Deutsch"}));
  EXPECT_EQ(host.MenuChecked, (std::vector<bool>{true, false}));
  // Below the button: the window's frame is 6 wide and 29 high here.
  EXPECT_EQ(host.MenuX, 100 + 584 - 578 - 4 + 8);
  EXPECT_EQ(host.MenuY, 50 + 442 - 413 - 4 + 384 + 25);
  EXPECT_EQ(Languages.Current, 1);
  EXPECT_EQ(form->LanguageButton.Caption(), u"Deutsch");
  EXPECT_EQ(form->BackButton.Caption(), u"< Zur\u00FCck");
  EXPECT_EQ(form->NextButton.Caption(), u"Weiter >");
  EXPECT_EQ(form->CancelButton.Caption(), u"Abbrechen");
  EXPECT_EQ(WizardPages->Current, kLanguagePage) << "the page stays";
  EXPECT_EQ(form->LanguagePopupMenu[1].Checked, true);
  EXPECT_EQ(form->LanguagePopupMenu[0].Checked, false);
  auto& title = dynamic_cast<TTntLabel&>(*WizardPages->Pages[0]->Controls[0]);
  EXPECT_EQ(title.Caption(), u"Willkommen") << "every page is translated again";
}

TEST_F(WizardTest, SettingUpTheFolderTreeLeavesItAsItsPageShowsIt) {
  const std::string tree = "[installdir_shelltreeview]\r\ntype=tshelltreeview";
  struct Case {
    const char* name;
    std::vector<WizardPage> pages;
    bool visible;
  } cases[] = {
      {"on the first page", {{"installdir", tree}, {"finish", ""}}, true},
      {"on a later page", {{"welcome", ""}, {"installdir", tree}}, false},
  };
  for (const Case& c : cases) {
    form.reset();
    Open(WizardLayout(c.pages));
    EXPECT_EQ(form->InstallDirTree()->Visible(), c.visible) << c.name;
    EXPECT_EQ(form->InstallDirTree()->Path(), testing_support::DrivePath(dir.Path()) + "\\")
        << c.name << ": the install folder does not exist yet; its parent does";
  }
}

TEST(WizardPaths, ParentDirAndPopFirstDir) {
  struct Case {
    std::string path, parent, first, rest;
  } cases[] = {
      {"C:\\Games\\Quexar", "C:\\Games", "C:\\", "Games\\Quexar"},
      {"C:\\Games\\", "C:\\Games", "C:\\", "Games\\"},
      {"C:", "", "", "C:"},
      {"", "", "", ""},
      {"\\\\server\\share", "\\\\server", "\\", "\\server\\share"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParentDir(c.path), c.parent) << c.path;
    std::string rest = c.path;
    EXPECT_EQ(PopFirstDir(rest), c.first) << c.path;
    EXPECT_EQ(rest, c.rest) << c.path;
  }
}

namespace {

// A folder tree of the test's own: the desktop, its documents and the
// computer, then the folders of a path, each after a sibling of its own
// (so none is a first child) unless asked otherwise. Selecting an item
// reports it to the layout's tree, as the screen's tree does.
class FakeFolderTree : public TFolderTreeItems {
 public:
  FakeFolderTree(TSE_ShellTreeView& model, const std::string& path, size_t firstChildAt) : model_(model) {
    nodes_.reserve(64);
    Add("", -1);
    Add("C:\\Users\\Docs", 0);
    Add("", 0);
    int parent = 2;
    std::string prefix, rest = path + "\\";
    size_t level = 0;
    for (std::string piece = PopFirstDir(rest); !piece.empty(); piece = PopFirstDir(rest), ++level) {
      prefix += piece;
      if (level != firstChildAt) Add(prefix + "~sibling", parent);
      // Spelled in upper case: the search ignores case.
      std::string upper = prefix;
      for (char& ch : upper) ch = static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - ('a' - 'A') : ch);
      parent = Add(upper, parent);
    }
  }
  std::vector<Item> Items() const override {
    std::vector<Item> out;
    for (const Node& n : nodes_) out.push_back(&n);
    return out;
  }
  std::string ItemPath(Item item) const override { return Of(item).Path; }
  Item ParentOf(Item item) const override { return Of(item).Parent < 0 ? nullptr : &nodes_[Of(item).Parent]; }
  Item FirstChildOf(Item item) const override {
    for (const Node& n : nodes_)
      if (n.Parent >= 0 && &nodes_[n.Parent] == item) return &n;
    return nullptr;
  }
  void Expand(Item item) override { Expanded.push_back(Of(item).Path); }
  void Select(Item item) override {
    Selected = Of(item).Path;
    model_.SelectionChanged(Selected);
  }
  void BeginUpdate() override { ++Updates; }
  void EndUpdate() override { --Updates; }

  std::vector<std::string> Expanded;
  std::string Selected;
  int Updates = 0;

 private:
  struct Node {
    std::string Path;
    int Parent;
  };
  int Add(const std::string& path, int parent) {
    nodes_.push_back({path, parent});
    return static_cast<int>(nodes_.size()) - 1;
  }
  const Node& Of(Item item) const { return *static_cast<const Node*>(item); }
  TSE_ShellTreeView& model_;
  std::vector<Node> nodes_;
};

}  // namespace

TEST_F(WizardTest, TheFolderTreeFollowsTheEdit) {
  const std::string base = testing_support::DrivePath(dir.Path());
  platform::MakeDir(base + "\\Mods");
  platform::MakeDir(base + "\\Mods\\Cool");
  SetupInfoFile.InstallDir = base + "\\Mods\\Cool";
  Open(WizardLayout(
      {{"welcome", ""},
       {"installdir", "[installdir_edit]\r\ntype=tedit\r\n[installdir_shelltreeview]\r\ntype=tshelltreeview"}}));
  TSE_ShellTreeView& model = *form->InstallDirTree();
  EXPECT_EQ(model.Path(), base + "\\Mods\\Cool\\") << "set up on the install folder";
  EXPECT_FALSE(model.Visible()) << "its page is not shown yet";

  struct Case {
    const char* name;
    std::string typed;
    size_t firstChildAt;  // the level at which the walk stops
    std::string treePath, selected;
  } cases[] = {
      {"an existing folder is opened up to it and selected", base + "\\Mods\\Cool", 99, base + "\\Mods\\Cool\\",
       base + "\\Mods\\Cool\\"},
      {"a new folder selects nothing; the tree shows the nearest that exists", base + "\\Mods\\Cool\\New", 99,
       base + "\\Mods\\Cool\\", ""},
      {"the walk stops at a first child", base + "\\Mods\\Cool", 1, base + "\\Mods\\Cool\\", base + "\\Mods\\Cool\\"},
  };
  for (Case& c : cases) {
    FakeFolderTree tree(model, c.typed, c.firstChildAt);
    host.Tree = &tree;
    // Away from the folder page no drive is checked: the tree follows any
    // folder.
    WizardPages->ShowPage(0);
    form->InstallDirEdit()->SetText(u"");
    form->InstallDirEdit()->SetText(platform::AnsiToWide(c.typed));
    EXPECT_EQ(form->InstallDirEdit()->Text(), platform::AnsiToWide(c.typed)) << c.name << ": what was typed stays";
    // The fake tree spells its folders in upper case and ends them in "\".
    EXPECT_EQ(platform::AnsiLowerCase(model.Path()), platform::AnsiLowerCase(c.treePath)) << c.name;
    EXPECT_EQ(platform::AnsiLowerCase(tree.Selected), platform::AnsiLowerCase(c.selected)) << c.name;
    EXPECT_EQ(tree.Updates, 0) << c.name;
    ASSERT_FALSE(tree.Expanded.empty()) << c.name;
    EXPECT_EQ(tree.Expanded[0], "") << c.name << ": the computer first";
    // Every folder above the typed one is opened, unless one is a first child.
    size_t above = std::count(c.typed.begin(), c.typed.end(), '\\');
    EXPECT_EQ(tree.Expanded.size() - 1, std::min(above, c.firstChildAt)) << c.name;
    host.Tree = nullptr;
  }
}
