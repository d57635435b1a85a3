#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "diagnostics/SErrorLog.h"
#include "diagnostics/uExceptionHook.h"
#include "installer-library/SE_Global.h"
#include "platform/File.h"
#include "tests/diagnostics/DiagRaiserRun.h"
#include "tests/support/TempDir.h"

using diag_test::FullPath;
using diag_test::HasModulePart;
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
           " DiagRaiser.exe+",
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

TEST(ErrorReportProcess, WhatNothingHandlesEndsInTheReport) {
  const std::string violation = "Access violation. Write of address " + FormatTraceAddress(0);
  struct Case {
    const char* mode;
    const char* errorType;
    std::string errorText;
    const char* traceLine;  // the line the trace names: "call" or "fault"
    bool ending;            // the thread's crash ending runs before the report
  } cases[] = {
      // the crash ending names the stage and runs first; its own throw does
      // not replace the error
      {"crash", "Raiser Thread", violation, "fault", true},
      {"thread", "Unknown", "Raiser failure", "call", false},  // uncaught on a second thread
      {"fault", "Unknown", violation, "fault", false},         // in strict mode as well
      // an overflowed stack has no room for the report: it is made elsewhere
      {"overflow", "Raiser Thread", "Stack overflow", "call", true},
      {"mainoverflow", "Unknown", "Stack overflow", "call", false},
      // the system's dispatch would swallow these and call the code again
      {"paint", "Unknown", violation, "fault", false},
      {"timer", "Unknown", violation, "fault", false},
      {"create", "Unknown", violation, "fault", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    TempDir temp;
    WriteFileText(temp.File("ErrorLog0000.TXT"), "earlier");
    TRaiserRun run;
    {
      TempFolderOverride override(FullPath(temp.Path()));
      run = RunRaiser("DiagRaiser.exe", c.mode);
    }
    EXPECT_EQ(run.ExitCode, kFailureExitCode);
    EXPECT_FALSE(run.Has("survived"));
    const std::string head = std::string(c.errorType) + " Error: " + c.errorText + "\r\r";
    EXPECT_EQ(run.Box("Error Report").substr(0, head.size()), head) << run.Output;
    if (c.ending) {
      EXPECT_LT(run.Output.find("[ending]"), run.Output.find("[Error Report]")) << run.Output;
    }
    EXPECT_FALSE(platform::FileExists(temp.File("ErrorLog0002.TXT"))) << "one report, however often it faults";
    std::vector<uint8_t> bytes = ReadFileBytes(temp.File("ErrorLog0001.TXT"));
    std::string report(bytes.begin(), bytes.end());
    EXPECT_NE(report.find(std::string("ErrorType              : ") + c.errorType +
                          "\r\nErrorText              : " + c.errorText + "\r\n"),
              std::string::npos)
        << report;
    const std::string named = " DiagRaiser (" + std::to_string(run.Noted(c.traceLine)) + " - ";
    EXPECT_NE(report.find("Stack                  : "), std::string::npos) << report;
    EXPECT_TRUE(HasModulePart(report, "DiagRaiser.exe", named)) << named << "\n" << report;
  }
}

TEST(ErrorReportProcess, TwoReportsAtOnceGetTwoFiles) {
  TempDir temp;
  WriteFileText(temp.File("ErrorLog0000.TXT"), "earlier");
  TRaiserRun run;
  {
    TempFolderOverride override(FullPath(temp.Path()));
    run = RunRaiser("DiagRaiser.exe", "twice");
  }
  EXPECT_EQ(run.ExitCode, kFailureExitCode);
  std::string texts;
  for (const char* name : {"ErrorLog0001.TXT", "ErrorLog0002.TXT"}) {
    std::vector<uint8_t> bytes = ReadFileBytes(temp.File(name));
    std::string report(bytes.begin(), bytes.end());
    texts += report.substr(report.find("ErrorText"), 40);
  }
  EXPECT_NE(texts.find(": first\r\n"), std::string::npos) << texts;
  EXPECT_NE(texts.find(": second\r\n"), std::string::npos) << texts;
  EXPECT_EQ(ReadFileBytes(temp.File("ErrorLog0000.TXT")).size(), 7u) << "the earlier report left alone";
}
