// The wizard window as a model with a host that records what the screen and
// the process would do, over an installer archive with layouts made for
// one test.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Setup/FormMain.h"
#include "Setup/SE_Startup.h"
#include "installer-library/SE_Global.h"
#include "tests/Setup/RuntimeFixture.h"

// What ends the process in a test: the exit code, thrown out of the wizard.
struct ProcessEnded {
  int Code;
};

class RecordingWizardHost : public TWizardHost {
 public:
  void SetTitle(const std::u16string& title, const std::u16string& caption) override {
    Title = title;
    Caption = caption;
  }
  void ProcessMessages() override {
    ++Pumps;
    if (OnPump) OnPump();
  }
  void CloseWindow() override {
    ++CloseRequests;
    if (Form->FormCloseQuery()) {
      Form->FormClose();
      Closed = true;
    }
  }
  void EndProcess(int exitCode) override { throw ProcessEnded{exitCode}; }
  int PopupMenu(const std::vector<std::u16string>& captions, const std::vector<bool>& checked, int x, int y) override {
    MenuCaptions = captions;
    MenuChecked = checked;
    MenuX = x;
    MenuY = y;
    return MenuChoice;
  }
  gui::Rect WindowBounds() const override { return {100, 50, 100 + 584, 50 + 442}; }
  int ClientWidth() const override { return 578; }
  int ClientHeight() const override { return 413; }
  TFolderTreeItems* FolderTreeItems(TSE_ShellTreeView&) override { return Tree; }

  TFrmMain* Form = nullptr;
  std::u16string Title, Caption;
  int Pumps = 0, CloseRequests = 0;
  std::function<void()> OnPump;  // what handling a message does, e.g. fail
  bool Closed = false;
  std::vector<std::u16string> MenuCaptions;
  std::vector<bool> MenuChecked;
  int MenuX = 0, MenuY = 0, MenuChoice = -1;
  TFolderTreeItems* Tree = nullptr;
};

// The English strings the window uses.
inline constexpr const char16_t* kWizardEnglish =
    u"English\r\n409;\r\n7 Needed <%SPACEREQ%><BR>free <%SPACEAVA%>\r\n12 < Back\r\n13 Next >\r\n14 Cancel\r\n"
    u"15 Install\r\n16 Finish\r\n19 <%QXPNAME%>:<%FNUM%>/<%FTOTAL%>\r\n20 Welcome\r\n23 It failed\r\n"
    u"24 registry\r\n25 folders\r\n26 Uninstall\r\n27 Really quit?\r\n28 Quit\r\n";

// A page of a layout: its type word and its layout file.
struct WizardPage {
  std::string Type;
  std::string Layout;
};

// Pages.txt listing the layout files with their types, and the files.
inline std::vector<ArchiveItem> WizardLayout(const std::vector<WizardPage>& pages, const std::string& settings = "") {
  std::string index = "[pages]\r\n", types = "[pagetypes]\r\n";
  std::vector<ArchiveItem> items;
  for (size_t i = 0; i < pages.size(); ++i) {
    std::string name = "page" + std::to_string(i) + ".txt";
    index += name + "\r\n";
    types += pages[i].Type + "\r\n";
    items.push_back({name, 0, pages[i].Layout});
  }
  items.insert(items.begin(), {"Pages.txt", 0, index + settings + types});
  return items;
}

class WizardTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    AddLanguage(kWizardEnglish);
    Silent = false;
    IdDir.clear();
    SpaceRequired = 0;
    SpaceAvailable = 0;
    SetupInfoFile.SetupName = "Cool Mod";
    SetupInfoFile.InstallDir = installDir;
  }
  void TearDown() override {
    form.reset();
    Silent = false;
    IdDir.clear();
    RuntimeTest::TearDown();
  }

  // The usual installer: welcome, language choice, folder, space, work,
  // finish.
  static std::vector<ArchiveItem> InstallerLayout() {
    return WizardLayout(
        {{"welcome", "[title]\r\ntype=tlabel\r\ncaption=<LANG20>"},
         {"languageselection",
          "[english_radio]\r\ntype=tradio\r\ncaption=English\r\n"
          "[german_radio]\r\ntype=tradio\r\ncaption=Deutsch\r\nchecked=true"},
         {"installdir", "[InstallDir_Edit]\r\ntype=tedit"},
         {"patch", "[spaceavalible]\r\ntype=tlabel"},
         {"patching", "[patching_statuslabel]\r\ntype=tlabel\r\n[patching_progressbar]\r\ntype=tprogressbar"},
         {"finish", "[finishtext]\r\ntype=tlabel\r\ncaption=All done"}});
  }

  // Makes the archive, the window and its pages.
  void Open(std::vector<ArchiveItem> items) {
    items.push_back({"data.dat", 1, "mod file"});
    OpenArchive(WriteArchiveFile("setup.exe", items, "MZ"));
    form = std::make_unique<TFrmMain>(host);
    host.Form = form.get();
    form->SetPagesUp();
  }

  // Next until the page of that index is current.
  void NextTo(int32_t page) {
    while (WizardPages->Current < page) form->NextButtonClick();
  }

  // Drives the wizard as a silent run does until the process ends; its exit
  // code, or -1 when it did not end within a few steps.
  int RunSilently() {
    try {
      for (int i = 0; i < 10; ++i) form->SilentNext();
    } catch (const ProcessEnded& end) {
      return end.Code;
    }
    return -1;
  }

  RecordingWizardHost host;
  std::unique_ptr<TFrmMain> form;
};
