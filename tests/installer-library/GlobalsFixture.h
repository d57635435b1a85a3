// A clean set of installer globals for each test, and the machine's own
// values restored afterwards.
#pragma once

#include <gtest/gtest.h>

#include "installer-library/QXI_Commands.h"
#include "installer-library/SE_Global.h"
#include "installer-library/SE_Uninstall_List.h"

class InstallerGlobals : public ::testing::Test {
 protected:
  void SetUp() override {
    savedEnvironment_ = EnvironmentTable;
    EnvironmentTable.clear();
    SetupInfoFile = TSetupInfoFile();
    ProgramFilesDir = StartMenuProgramsDir = DesktopDir = CDDriveRoot = "";
    LanguageSelection = "English";
    Languages = TLanguages();
    UninstallList.Clear();
    UninstallList.KeepSaved("", "");
    PatchingStatusLabel = PatchingProgressBar = FinishTextLabel = nullptr;
    ProgressCount = 0;
    TakeStatusUpdate();
    CompLines.Lines.clear();
    CurrentLine = -1;
    AbortFlag = false;
    SetupArchive = nullptr;
    AppliedUpdateGroups.clear();
  }

  void TearDown() override {
    EnvironmentTable = savedEnvironment_;
    CompLines.Lines.clear();
    SetupArchive = nullptr;
    Languages = TLanguages();
    UninstallList.Clear();
    PatchingStatusLabel = PatchingProgressBar = FinishTextLabel = nullptr;
    TakeStatusUpdate();
  }

  // Makes the hand-off's target controls exist.
  void ShowTargets() { PatchingStatusLabel = PatchingProgressBar = FinishTextLabel = &targetStandIn_; }

 private:
  std::vector<TSysVar> savedEnvironment_;
  int targetStandIn_ = 0;
};
