#include "diagnostics/SErrorLog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "Global/QXI_PakFile.h"
#include "diagnostics/SCrashEnding.h"
#include "diagnostics/uExceptionHook.h"
#include "installer-library/QXI_SetupInfo.h"
#include "platform/Directory.h"
#include "platform/File.h"
#include "platform/MessageBox.h"
#include "tests/support/TempDir.h"

using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileText;

TEST(SErrorLogName, FolderAndFirstFreeNumber) {
  struct Case {
    const char* temp;
    std::set<std::string> taken;
    const char* name;
  } cases[] = {
      {"C:\\Temp\\", {}, "C:\\Temp\\ErrorLog0000.TXT"},
      {"C:\\Temp", {}, "C:\\Temp\\ErrorLog0000.TXT"},
      {"C:\\Temp/", {}, "C:\\Temp\\ErrorLog0000.TXT"},
      {"C:", {}, "C:ErrorLog0000.TXT"},  // two characters get no separator
      {"", {}, "ErrorLog0000.TXT"},
      {"T\\",
       {"T\\ErrorLog0000.TXT", "T\\ErrorLog0001.TXT", "T\\ErrorLog0002.TXT", "T\\ErrorLog0004.TXT"},
       "T\\ErrorLog0003.TXT"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.temp);
    EXPECT_EQ(GetErrorLogFileName(c.temp, [&](const std::string& p) { return c.taken.count(p) > 0; }), c.name);
  }
}

TEST(SErrorLogName, NumbersGrowBeyondFourDigits) {
  auto below = [](int limit) {
    return [limit](const std::string& p) { return std::stoi(p.substr(p.find("Log") + 3, p.size() - 7)) < limit; };
  };
  EXPECT_EQ(GetErrorLogFileName("X\\", below(12)), "X\\ErrorLog0012.TXT");
  EXPECT_EQ(GetErrorLogFileName("X\\", below(12345)), "X\\ErrorLog12345.TXT");
}

TEST(SErrorLogName, NamesTakenByAFileOrAFolderArePassedOver) {
  TempDir dir;
  WriteFileText(dir.File("ErrorLog0000.TXT"), "an earlier report");
  platform::MakeDir(dir.File("ErrorLog0001.TXT"));
  platform::File file;
  EXPECT_EQ(CreateErrorLogFile(dir.Path() + "\\", file), dir.Path() + "\\ErrorLog0002.TXT");
  EXPECT_TRUE(file.IsOpen());
}

TEST(SErrorLogLines, HeadersAndValues) {
  EXPECT_EQ(LogHeader("Pak Info"), "Pak Info\r\n--------");
  EXPECT_EQ(LogValue("ID", "QXPF"), "ID                     : QXPF");
  EXPECT_EQ(LogValue("", ""), std::string(22, ' ') + " : ");
  EXPECT_EQ(LogValue("A key of twenty-five chars", "v"), "A key of twenty-five chars : v") << "not cut";
}

TEST(SErrorLogLines, SafeParams) {
  struct Case {
    std::vector<std::string> params;
    const char* text;
  } cases[] = {
      {{}, ""},
      {{"-silent", "-id", "C:\\Games\\Mod dir\\"}, "-SILENT -ID C:\\GAMES\\MOD DIR\\"},
      {{"a", "/j", "b", "c", "d"}, "A /j X X.X.X.X D"},
      {{"/J", "host", "1.2.3.4"}, "/j X X.X.X.X"},
      {{"x", "/J"}, "X /j X X.X.X.X"},
      {{"/j", "b", "/j", "c", "d", "e"}, "/j X X.X.X.X /j X X.X.X.X E"},  // a new "/J" starts over
      {{"/jj", "b"}, "/JJ B"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.params));
    EXPECT_EQ(GetSafeParams(c.params), c.text);
  }
}

TEST(SErrorLogLines, PhysicalMemory) {
  struct Case {
    uint64_t bytes;
    const char* text;
  } cases[] = {
      {0, "1MB"},
      {1048575, "1MB"},
      {1048576, "2MB"},
      {2147483648ull, "2049MB"},
      {0xFFFFFFFFull, "4096MB"},
      {17179869184ull, "4096MB"},  // more than a 32-bit count holds: the largest
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(PhysicalMemoryText(c.bytes), c.text);
  }
}

TEST(SErrorLogLines, CPUSpeedRoundsHalvesToEven) {
  struct Case {
    uint64_t cycles;
    uint32_t mhz;
  } cases[] = {
      {0, 0},
      {249999, 0},
      {250000, 0},  // 0.5 -> 0
      {250001, 1},
      {750000, 2},   // 1.5 -> 2
      {1250000, 2},  // 2.5 -> 2
      {1250001, 3},
      {1500000000, 3000},
      {0x100000000ull + 500000, 1},  // only the low 32 bits count
      {0xFFFFFFFFull, 8590},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cycles);
    EXPECT_EQ(CPUSpeedFromCycles(c.cycles), c.mhz);
  }
}

TEST(SErrorLogSubject, FromWhatTheInstallerHasLoaded) {
  TErrorLogSubject none = ErrorLogSubjectOf(nullptr, nullptr);
  EXPECT_EQ(none.SetupName, "");
  EXPECT_EQ(none.PakID, "");
  EXPECT_EQ(none.PakCount, 0u);

  TempDir dir;
  TSetupInfoFile info;
  info.SetupName = "My Mod";
  info.SetupExeName = "MyMod.exe";
  TPak pak(dir.File("a.pak"), false, true);
  std::memcpy(pak.Magic, "QXPF", 4);
  pak.Version = 1;
  pak.EntryCount = 7;
  TErrorLogSubject s = ErrorLogSubjectOf(&info, &pak);
  EXPECT_EQ(s.SetupName, "My Mod");
  EXPECT_EQ(s.SetupExeName, "MyMod.exe");
  EXPECT_EQ(s.PakID, "QXPF");
  EXPECT_EQ(s.PakVersion, 1u);
  EXPECT_EQ(s.PakCount, 7u);
  std::memcpy(pak.Magic, "QX\0F", 4);
  EXPECT_EQ(ErrorLogSubjectOf(nullptr, &pak).PakID, "QX") << "a zero ends the characters";
}

namespace {

TErrorLogFacts SampleFacts() {
  TErrorLogFacts f;
  f.Subject = {"My Mod", "MyMod.exe", "QXPF", 1, 12};
  f.Params = {"-silent", "/j", "a", "b"};
  TOSVersionData v;
  v.PlatformId = kPlatformWinNT;
  v.MajorVersion = 6;
  v.MinorVersion = 2;
  v.BuildNumber = 9200;
  v.CSDVersion = "";
  v.ProductType = kProductWorkstation;
  f.OS = TOSInfo(v);
  f.RealMajor = 10;
  f.RealMinor = 0;
  f.PhysicalMemory = 2147483648ull;
  f.CPUSpeed = 2400;
  return f;
}

const char kSampleReport[] =
    "General Info\r\n"
    "------------\r\n"
    "Setup Name             : My Mod\r\n"
    "Setup EXE Name         : MyMod.exe\r\n"
    "\r\n"
    "Pak Info\r\n"
    "--------\r\n"
    "ID                     : QXPF\r\n"
    "Version                : 1\r\n"
    "Count                  : 12\r\n"
    "\r\n"
    "ErrorType              : Setup Thread\r\n"
    "ErrorText              : Disk full\r\n"
    "\r\n"
    "Stack                  : 1\r\n"
    "Stack                  : 2\r\n"
    "\r\n"
    "Past Errors            : earlier\r\n"
    "\r\n"
    "Past Stack             : 9\r\n"
    "\r\n"
    "Params                 : -SILENT /j X X.X.X.X\r\n"
    "ParamCount             : 4\r\n"
    "\r\n"
    "Windows Info\r\n"
    "------------\r\n"
    "Product                : Windows 10\r\n"
    "Win32MajorVersion      : 10\r\n"
    "Win32MinorVersion      : 0\r\n"
    "BuildNumber            : 9200\r\n"
    "ServicePack            : \r\n"
    "ServicePackMajor       : 0\r\n"
    "ServicePackMinor       : 0\r\n"
    "\r\n"
    "Physical Memory        : 2049MB\r\n"
    "CPU Speed              : 2400Mhz\r\n";

TExceptionHook SampleHook() {
  TExceptionHook hook;
  hook.StackTraceList = {"1", "2"};
  hook.PastErrorList = {kHistorySeparator, "earlier"};
  hook.PastStackList = {kHistorySeparator, "9"};
  return hook;
}

}  // namespace

TEST(SErrorLogText, TheWholeReport) {
  TExceptionHook hook = SampleHook();
  EXPECT_EQ(ErrorLogText(SampleFacts(), "Disk full", "Setup Thread", &hook), kSampleReport);
  EXPECT_TRUE(hook.StackTraceList.empty());
  EXPECT_TRUE(hook.PastErrorList.empty());
  EXPECT_TRUE(hook.PastStackList.empty());
}

TEST(SErrorLogText, SectionsThatAreLeftOut) {
  std::string full = kSampleReport;
  auto without = [&](const std::string& part) {
    std::string text = full;
    text.erase(text.find(part), part.size());
    return text;
  };
  const std::string stack = "Stack                  : 1\r\nStack                  : 2\r\n";
  const std::string pastErrors = "\r\nPast Errors            : earlier\r\n";
  const std::string pastStack = "\r\nPast Stack             : 9\r\n";

  TExceptionHook first;  // the first exception: a trace, no history
  first.StackTraceList = {"1", "2"};
  EXPECT_EQ(ErrorLogText(SampleFacts(), "Disk full", "Setup Thread", &first), without(pastErrors + pastStack));

  // After the hook's uninstallation its lists no longer exist.
  EXPECT_EQ(ErrorLogText(SampleFacts(), "Disk full", "Setup Thread", nullptr), without(stack + pastErrors + pastStack));
}

// --- the whole routine with stand-in services ---

namespace {

struct TEnded {};

struct TFakeSystem {
  std::vector<std::pair<std::string, std::string>> boxes;
  std::vector<std::string> opened;
  int measurements = 0;
  TErrorLogSystem system;

  explicit TFakeSystem(const std::string& temp) {
    system.Subject = [] { return TErrorLogSubject{"My Mod", "MyMod.exe", "QXPF", 1, 12}; };
    system.Params = [] { return std::vector<std::string>{"-silent", "/j", "a", "b"}; };
    system.TempPath = [temp] { return temp; };
    system.OSInfo = [] { return SampleFacts().OS; };
    system.RealVersion = [](uint32_t& major, uint32_t& minor) {
      major = 10;
      minor = 0;
    };
    system.PhysicalMemory = [] { return 2147483648ull; };
    system.MeasureCPUSpeed = [this] { return ++measurements == 1 ? 2400u : 2399u; };
    system.ShowBox = [this](const std::string& text, const std::string& caption) { boxes.push_back({text, caption}); };
    system.OpenReport = [this](const std::string& path) { opened.push_back(path); };
    system.EndProcess = [] { throw TEnded{}; };
  }
};

std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

}  // namespace

TEST(SErrorLogReport, WritesTellsOpensAndEnds) {
  TempDir dir;
  WriteFileText(dir.File("ErrorLog0000.TXT"), "an earlier report");
  TFakeSystem fake(dir.Path() + "/");
  TExceptionHook hook = SampleHook();
  EXPECT_THROW(CreateErrorLogWith(fake.system, &hook, "Disk full", "Setup Thread"), TEnded);

  const std::string path = dir.Path() + "\\ErrorLog0001.TXT";
  EXPECT_EQ(Text(ReadFileBytes(dir.File("ErrorLog0001.TXT"))), kSampleReport);
  EXPECT_EQ(Text(ReadFileBytes(dir.File("ErrorLog0000.TXT"))), "an earlier report");
  EXPECT_EQ(fake.measurements, 2) << "the larger of two measurements";
  ASSERT_EQ(fake.boxes.size(), 1u);
  EXPECT_EQ(fake.boxes[0].second, "Error Report");
  EXPECT_EQ(fake.boxes[0].first,
            "Setup Thread Error: Disk full\r\rError Log Created. Please Include \"" + path + "\" with your bug report");
  EXPECT_EQ(fake.opened, std::vector<std::string>{path});
}

TEST(SErrorLogReport, NobodyWatchingTheReportIsWrittenAndNamedButNotOpened) {
  TempDir dir;
  TFakeSystem fake(dir.Path() + "\\");
  platform::SetPersonWatching(false);
  EXPECT_THROW(CreateErrorLogWith(fake.system, nullptr, "Disk full", "Setup Thread"), TEnded);
  platform::SetPersonWatching(true);
  EXPECT_TRUE(platform::FileExists(dir.File("ErrorLog0000.TXT")));
  ASSERT_EQ(fake.boxes.size(), 1u) << "the box names the file, on the error stream then";
  EXPECT_TRUE(fake.opened.empty()) << "no viewer stays open after the run";
}

TEST(SErrorLogReport, AnEmptyStageIsShownAsUnknown) {
  TempDir dir;
  TFakeSystem fake(dir.Path() + "\\");
  EXPECT_THROW(CreateErrorLogWith(fake.system, nullptr, "Oops", ""), TEnded);
  ASSERT_EQ(fake.boxes.size(), 1u);
  EXPECT_EQ(fake.boxes[0].first.substr(0, 21), "Unknown Error: Oops\r\r");
  EXPECT_NE(Text(ReadFileBytes(dir.File("ErrorLog0000.TXT"))).find("ErrorType              : Unknown\r\n"),
            std::string::npos);
}

TEST(SErrorLogReport, AReportThatCannotBeWrittenIsNotClaimed) {
  TempDir dir;
  TFakeSystem fake(dir.File("no such folder") + "\\");
  EXPECT_THROW(CreateErrorLogWith(fake.system, nullptr, "Disk full", "Setup Thread"), TEnded);
  ASSERT_EQ(fake.boxes.size(), 1u);
  EXPECT_EQ(fake.boxes[0].first, "Setup Thread Error: Disk full\r\rThe error log could not be written to \"" +
                                     dir.File("no such folder") + "\\ErrorLog0000.TXT\".");
  EXPECT_TRUE(fake.opened.empty()) << "nothing to open";
}

TEST(SErrorLogReport, WithoutASubjectTheInstallerValuesAreEmpty) {
  TempDir dir;
  TFakeSystem fake(dir.Path() + "\\");
  fake.system.Subject = nullptr;
  EXPECT_THROW(CreateErrorLogWith(fake.system, nullptr, "Early", "Verification Stage"), TEnded);
  std::string text = Text(ReadFileBytes(dir.File("ErrorLog0000.TXT")));
  EXPECT_NE(text.find("Setup Name             : \r\n"), std::string::npos);
  EXPECT_NE(text.find("ID                     : \r\nVersion                : 0\r\nCount                  : 0\r\n"),
            std::string::npos);
}

TEST(SErrorLogReport, TheThreadsCrashEndingRunsOnceFirstAndCannotHideTheError) {
  enum TEnding { Fine, Throws, FailsIntoAReport };  // the last as a fault inside it would
  for (TEnding kind : {Fine, Throws, FailsIntoAReport}) {
    SCOPED_TRACE(kind);
    TempDir dir;
    TFakeSystem fake(dir.Path() + "\\");
    int runs = 0;
    bool ranFirst = false;
    {
      TCrashEnding crash("Setup Thread", [&] {
        ++runs;
        ranFirst = fake.measurements == 0 && fake.boxes.empty();
        if (kind == Throws) throw std::runtime_error("ending failed");
        if (kind == FailsIntoAReport) CreateErrorLogWith(fake.system, nullptr, "Access violation", "");
      });
      EXPECT_THROW(CreateErrorLogWith(fake.system, nullptr, "Disk full", ""), TEnded);
      EXPECT_THROW(CreateErrorLogWith(fake.system, nullptr, "Later", ""), TEnded);
    }
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(ranFirst);
    ASSERT_GE(fake.boxes.size(), 2u);
    for (size_t i = 0; i + 1 < fake.boxes.size(); ++i)
      EXPECT_EQ(fake.boxes[i].first.substr(0, 31), "Setup Thread Error: Disk full\r\r");
    EXPECT_EQ(fake.boxes.back().first.substr(0, 27), "Setup Thread Error: Later\r\r");
    EXPECT_EQ(TCrashEnding::Current(), nullptr);
  }
}
