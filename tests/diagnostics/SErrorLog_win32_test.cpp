#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "diagnostics/SErrorLog.h"
#include "diagnostics/uExceptionHook.h"
#include "installer-library/SE_Global.h"
#include "tests/diagnostics/DiagRaiserRun.h"
#include "tests/support/TempDir.h"

using diag_test::FullPath;
using diag_test::RunRaiser;
using diag_test::TRaiserRun;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileText;

namespace {

// The temporary folder the processes started meanwhile see.
class TempFolderOverride {
 public:
  explicit TempFolderOverride(const std::string& folder) {
    char old[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("TMP", old, MAX_PATH);
    had_ = n > 0 && n < MAX_PATH;
    if (had_) old_.assign(old, n);
    SetEnvironmentVariableA("TMP", folder.c_str());
  }
  ~TempFolderOverride() { SetEnvironmentVariableA("TMP", had_ ? old_.c_str() : nullptr); }

 private:
  bool had_ = false;
  std::string old_;
};

}  // namespace

TEST(ErrorReportProcess, TheReportIsWrittenShownOpenedAndTheProcessEnds) {
  TempDir temp;
  const std::string folder = FullPath(temp.Path());
  WriteFileText(temp.File("ErrorLog0000.TXT"), "earlier");
  TRaiserRun run;
  {
    TempFolderOverride override(folder);
    run = RunRaiser("DiagRaiser.exe", "report", "/j 10.0.0.1 secret -silent");
  }
  EXPECT_EQ(run.ExitCode, kFailureExitCode) << "ending in the report is a failure";
  EXPECT_FALSE(run.Has("survived"));
  const std::string path = folder + "\\ErrorLog0001.TXT";
  EXPECT_EQ(run.Box("Error Report"), "Setup Thread Error: Raiser failure\r\rError Log Created. Please Include \"" +
                                         path + "\" with your bug report");
  EXPECT_EQ(run.Box("open"), path);

  std::vector<uint8_t> bytes = ReadFileBytes(temp.File("ErrorLog0001.TXT"));
  std::string report(bytes.begin(), bytes.end());
  for (const char* part : {
           "General Info\r\n------------\r\nSetup Name             : Raiser Setup\r\n",
           "Setup EXE Name         : DiagRaiser.exe\r\n\r\nPak Info\r\n",
           "ErrorType              : Setup Thread\r\nErrorText              : Raiser failure\r\n\r\nStack",
           " DiagRaiser.exe DiagRaiser (",
           "Params                 : REPORT ",
           " /j X X.X.X.X -SILENT\r\nParamCount             : 6\r\n",
           "\r\nWindows Info\r\n------------\r\nProduct                : ",
           "\r\nPhysical Memory        : ",
           "MB\r\nCPU Speed              : ",
       }) {
    EXPECT_NE(report.find(part), std::string::npos) << part << "\n" << report;
  }
  EXPECT_EQ(report.find("10.0.0.1"), std::string::npos) << "the masked address";
  EXPECT_EQ(report.substr(report.size() - 5), "Mhz\r\n");
}

TEST(ErrorReportServices, WhatWindowsTells) {
  TErrorLogSystem& system = ErrorLogSystem();
  std::string temp = system.TempPath();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), '\\');
  EXPECT_GT(system.PhysicalMemory(), 16u * 1024 * 1024);
  const TOSInfo& os = TOSInfo::Current();
  EXPECT_TRUE(os.IsWinNT());
  EXPECT_FALSE(os.IsWin9x());
  uint32_t major = 0, minor = 0;
  GetRealWindowsVersion(major, minor);
  EXPECT_GE(major * 100 + minor, os.MajorVersion() * 100 + os.MinorVersion())
      << "never older than what programs are told";
  EXPECT_NE(GetProductName(major, minor, os), "Unknown OS");
}

TEST(ErrorReportServices, TheSubjectIsTheInstallersOwnState) {
  TErrorLogSystem& system = ErrorLogSystem();
  EXPECT_EQ(system.Subject().PakID, "") << "no archive open yet";
  TempDir dir;
  TPak archive(dir.File("setup.pak"), false, true);
  std::memcpy(archive.Magic, "QXPF", 4);
  archive.EntryCount = 3;
  SetupInfoFile.SetupName = "Sample Mod";
  SetupArchive = &archive;
  TErrorLogSubject subject = system.Subject();
  SetupArchive = nullptr;
  SetupInfoFile = TSetupInfoFile();
  EXPECT_EQ(subject.SetupName, "Sample Mod");
  EXPECT_EQ(subject.PakID, "QXPF");
  EXPECT_EQ(subject.PakCount, 3u);
}
