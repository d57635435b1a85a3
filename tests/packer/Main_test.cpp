#include "packer/Main.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "packer/SQXP.h"
#include "platform/Console.h"
#include "tests/support/TempDir.h"

using testing_support::TempDir;
using testing_support::WriteFileText;

TEST(PackerCommandLine, Switches) {
  struct Case {
    std::vector<std::string> params;
    std::string archive, source;
    int mode;
    bool wait;
  } cases[] = {
      {{}, "", "", kModeInfo, true},
      {{"-filename", "a.qxp"}, "a.qxp", "", kModeInfo, true},
      {{"-FileName", "C:\\x\\A.QXP", "-MAKE", "C:\\src\\", "-NoWait"}, "C:\\x\\A.QXP", "C:\\src\\", kModeMake, false},
      {{"-make"}, "", "", kModeMake, true},      // last parameter: empty folder
      {{"-filename"}, "", "", kModeInfo, true},  // last parameter: empty path
      {{"-make", "dir", "-extract"}, "", "dir", kModeNothing, true},
      {{"-extract", "-make", "dir"}, "", "dir", kModeMake, true},
      {{"-make", "-nowait"}, "", "-nowait", kModeMake, false},  // the value acts as a switch too
      {{"-filename", "-make", "d"}, "-make", "d", kModeMake, true},
      {{"-io", "-unknown", "x"}, "", "", kModeInfo, true},
  };
  for (const Case& c : cases) {
    TPackerOptions o = ParseCommandLine(c.params);
    std::string label = c.params.empty() ? "(none)" : c.params[0] + "...";
    EXPECT_EQ(o.ArchivePath, c.archive) << label;
    EXPECT_EQ(o.SourceDir, c.source) << label;
    EXPECT_EQ(o.Mode, c.mode) << label;
    EXPECT_EQ(o.WaitForKey, c.wait) << label;
  }
}

TEST(PackerSizes, MegabytesRoundHalfToEven) {
  const int64_t M = 1 << 20;
  struct Case {
    int64_t bytes, mb;
  } cases[] = {
      {0, 0},
      {M / 2 - 1, 0},
      {M / 2, 0},
      {M / 2 + 1, 1},
      {M, 1},
      {M + M / 2, 2},
      {2 * M + M / 2, 2},
      {3 * M + M / 2, 4},
      {-M / 2, 0},
      {-M - M / 2, -2},
      {int64_t{5000} * M + 1, 5000},
  };
  for (const Case& c : cases) EXPECT_EQ(RoundToMiB(c.bytes), c.mb) << c.bytes;
}

// Without a console the program prints plain lines and never waits.
class PlainRun : public ::testing::Test {
 protected:
  int Run(const std::vector<std::string>& params) {
    TConsole console(screen);
    EXPECT_TRUE(console.Plain());
    TPacker packer(console);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int code = packer.RunPacker(params, "9.8");
    out = testing::internal::GetCapturedStdout();
    err = testing::internal::GetCapturedStderr();
    return code;
  }

  platform::ConsoleScreen screen;
  TempDir dir;
  std::string out, err;
};

TEST_F(PlainRun, MakeThenInformation) {
  std::filesystem::create_directories(dir.File("src/sub"));
  WriteFileText(dir.File("src/a.txt"), std::string(3 << 20, 'a'));
  WriteFileText(dir.File("src/sub/b.txt"), "b");
  std::string archive = dir.File("out.qxp");

  EXPECT_EQ(Run({"-filename", archive, "-make", dir.File("src"), "-nowait"}), kExitOk);
  EXPECT_EQ(out, "Vessok v9.8\nProgress: 2/2\n");
  EXPECT_EQ(err, "");

  EXPECT_EQ(Run({"-filename", archive}), kExitOk);
  // 3 MiB + 1 byte packed into a few KiB.
  EXPECT_EQ(out, "Vessok v9.8\nVer: 5\nCount: 2\nSize: 0MB/3MB\n");
}

TEST_F(PlainRun, FailuresExitNonZero) {
  std::string archive = dir.File("bad.qxp");
  struct Case {
    const char* what;
    std::string file;  // archive contents, when one is written
    std::vector<std::string> params;
    int code;
    const char* error;
  } cases[] = {
      {"missing source folder",
       "",
       {"-filename", archive, "-make", dir.File("none")},
       kExitFailure,
       "Error: Source folder not found"},
      {"no archive name", "", {"-make", dir.File(".")}, kExitFailure, "Error: Cannot create"},
      {"wrong version",
       std::string("\0\0\0\0\0\0\0\0\4\0\0\0\0\0\0\0\0\0\0\0", 20),
       {"-filename", archive},
       kExitFailure,
       "Error: Invalid QXP Version\n  version 4\n"},
      {"reserved set",
       std::string("\0\0\0\0\0\0\0\0\5\0\0\0\0\0\0\0\1\0\0\0", 20),
       {"-filename", archive},
       kExitFailure,
       "Error: Invalid QXP Header\n  reserved field 1\n"},
      {"damaged table",
       std::string("\1\0\0\0\0\0\0\0\5\0\0\0\0\0\0\0\0\0\0\0", 20) + "",
       {"-filename", archive},
       kExitFailure,
       "Error: Invalid QXP Header"},
      {"usage", "", {"-filename", dir.File("absent.qxp")}, kExitUsage, ""},
      {"nothing to do", "", {"-extract"}, kExitOk, ""},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(archive);
    if (!c.file.empty()) WriteFileText(archive, c.file);
    EXPECT_EQ(Run(c.params), c.code) << c.what;
    EXPECT_EQ(err.rfind(c.error, 0), 0u) << c.what << ": " << err;
  }
  Run({});
  EXPECT_NE(out.find("Usage: -filename \"C:\\somefile.qxp\" -make \"C:\\somedirectory\\\" -nowait\n"),
            std::string::npos);
  EXPECT_NE(out.find("when set Vessok will close when finished without waiting \n"), std::string::npos);
}

// On the console the lines of a failure stand right above the prompt, one a
// row: each refused file is seen.
TEST(PackerScreen, RefusedFilesStandAboveThePrompt) {
  TempDir dir;
  std::filesystem::create_directories(dir.File("src/sounds"));
  WriteFileText(dir.File("src/a.wav"), "RIFF");
  WriteFileText(dir.File("src/sounds/b.wav"), "not a sound at all, longer than a RIFF header");
  TConsole grid(80, 25);
  TPacker packer(grid);
  EXPECT_EQ(packer.RunPacker({"-filename", dir.File("out.qxp"), "-make", dir.File("src"), "-nowait"}, "1"),
            kExitFailure);
  // The text from column 1, as far as it goes.
  auto row = [&](int y) {
    std::string s;
    for (int x = 1; x < grid.Width() && grid.CellAt(x, y).Char; ++x)
      s.push_back(static_cast<char>(grid.CellAt(x, y).Char));
    return s;
  };
  EXPECT_EQ(row(grid.PromptRow() - 3), "Error: Cannot pack 2 files:");
  EXPECT_EQ(row(grid.PromptRow() - 2),
            std::string("  \"a.wav\": not a valid WAV file: the file holds 4 bytes, a RIFF header and a format chunk "
                        "need 36")
                .substr(0, 79));
  EXPECT_EQ(row(grid.PromptRow() - 1),
            "  \"sounds\\b.wav\": not a valid WAV file: the file does not begin with \"RIFF\"");
}
