#include "installer-library/SE_Global.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <filesystem>
#include <thread>

#include "installer-library/S_DecimalSeperator.h"
#include "platform/Directory.h"
#include "platform/File.h"
#include "tests/installer-library/GlobalsFixture.h"
#include "tests/support/TempDir.h"

using testing_support::TempDir;
using testing_support::WriteFileText;

namespace {

std::string Narrow(const std::u16string& s) { return std::string(s.begin(), s.end()); }
std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

}  // namespace

// --- numbers ---------------------------------------------------------------------

TEST(FormatByteSize, Table) {
  struct Case {
    int64_t bytes;
    const char* text;
  } cases[] = {
      {0, "0.00 Bytes"},
      {1, "1.00 Bytes"},
      {1023, "1023.00 Bytes"},
      {1024, "1.00 KB"},
      {1536, "1.50 KB"},
      {1152, "1.13 KB"},  // 1.125: a tie, rounded away from zero
      {1408, "1.38 KB"},  // 1.375
      {1048570, "1023.99 KB"},
      {1048571, "1024.00 KB"},  // 1023.995...: rounds up without changing the unit
      {1048575, "1024.00 KB"},
      {1048576, "1.00 MB"},
      {5368709120, "5.00 GB"},
      {2199023255552, "2048.00 GB"},
      {3298534883328, "3072.00 GB"},      // GB is the largest unit
      {132560139059200, "123456.30 GB"},  // 7 significant digits; 123456.25 is a tie
      {132560675930112, "123456.80 GB"},
      {INT64_MAX, "8589934592.00 GB"},
      {-1, "-1.00 Bytes"},
      {-5000, "-5000.00 Bytes"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatByteSize(c.bytes), c.text) << c.bytes;
}

TEST(DecimalText, FloatToStrDot) {
  struct Case {
    double value;
    const char* text;
  } cases[] = {
      {0.0, "0.0"},
      {-0.0, "0.0"},
      {1.0, "1.0"},
      {-1.0, "-1.0"},
      {0.5, "0.5"},
      {0.1, "0.1"},
      {1.0 / 3, "0.333333333333333"},
      {2.0 / 3, "0.666666666666667"},
      {-2.0 / 3, "-0.666666666666667"},
      {0.1411200080598672, "0.141120008059867"},  // sine of 3
      {123456789012345.0, "123456789012345.0"},
      {1e15, "1E15.0"},  // ".0" also after an exponent
      {1.5e20, "1.5E20"},
      {1000000000000005.0, "1.00000000000001E15"},  // a tie at the 15th digit
      {0.00001, "0.00001"},
      {0.0000015, "1.5E-6"},
      {0.000123, "0.000123"},
      {9999999999999.99, "9999999999999.99"},
      {99999999999999.99, "100000000000000.0"},  // 16 digits: rounded to 15
      {999999999999999.9, "1E15.0"},             // rounding carries into a new digit
  };
  for (const Case& c : cases) EXPECT_EQ(FloatToStrDot(c.value), c.text) << c.value;
}

TEST(DecimalText, FloatToStrFixedRoundsTheExactValue) {
  struct Case {
    double value;
    int precision, decimals;
    const char* text;
  } cases[] = {
      {1.125, 7, 2, "1.13"},
      {-1.125, 7, 2, "-1.13"},
      {0.125, 7, 2, "0.13"},
      {2.675, 7, 2, "2.67"},  // stored as 2.67499999...
      {1.005, 7, 2, "1.00"},
      {999.995, 7, 2, "1000.00"},  // stored as 999.99500000...45
      {0.004, 7, 2, "0.00"},
      {-0.004, 7, 2, "0.00"},
      {1234567.891, 7, 2, "1234568.00"},
      {12345678.9, 7, 2, "12345679.00"},  // never rounded into the integer part
      {3.0, 7, 0, "3"},
  };
  for (const Case& c : cases) EXPECT_EQ(FloatToStrFixed(c.value, c.precision, c.decimals), c.text) << c.value;
}

TEST(LineFromStr, IntegersOrMinusOne) {
  struct Case {
    const char* text;
    int32_t line;
  } cases[] = {{"12", 12}, {"0", 0}, {"-1", -1}, {"$10", 16}, {"abc", -1}, {"", -1}, {" 5", -1}, {"2147483648", -1}};
  for (const Case& c : cases) EXPECT_EQ(LineFromStr(c.text), c.line) << c.text;
}

// --- small text services --------------------------------------------------------------

TEST(TextSplits, NameValueAndBackslash) {
  struct Case {
    const char* text;
    const char* envName;
    const char* envValue;
    const char* name;
    const char* value;
  } cases[] = {
      {"PATH=C:\\bin", "PATH", "C:\\bin", "PATH", "C:\\bin"},
      {"A=b=c", "A", "b=c", "A", "b=c"},
      {"=C:=C:\\x", "", "C:=C:\\x", "", "C:=C:\\x"},
      {"NOEQ", "", "", "", "NOEQ"},
      {"EMPTY=", "EMPTY", "", "EMPTY", ""},
      {"", "", "", "", ""},
  };
  for (const Case& c : cases) {
    std::string name, value;
    SplitEnvEntry(c.text, name, value);
    EXPECT_EQ(name, c.envName);
    EXPECT_EQ(value, c.envValue);
    SplitNameValue(c.text, name, value);
    EXPECT_EQ(name, c.name);
    EXPECT_EQ(value, c.value);
  }
  EXPECT_EQ(AddBackslash(""), "");
  EXPECT_EQ(AddBackslash("C:"), "C:\\");
  EXPECT_EQ(AddBackslash("C:\\x\\"), "C:\\x\\");
  EXPECT_EQ(AddBackslash("C:\\x/"), "C:\\x/\\");
}

TEST(Environment, BlockParsing) {
  using Table = std::vector<std::pair<std::string, std::string>>;
  struct Case {
    std::string block;
    Table vars;
  } cases[] = {
      // the hidden drive entries have no name and are left out; the first
      // string of the block is an ordinary variable when it has one
      {std::string("=C:=C:\\x\0PATH=C:\\bin\0A=b=c\0NOEQ\0\0", 33), {{"PATH", "C:\\bin"}, {"A", "b=c"}}},
      {std::string("FIRST=1\0SECOND=2\0\0", 18), {{"FIRST", "1"}, {"SECOND", "2"}}},
      {std::string("=::=::\\\0EMPTY=\0\0", 16), {{"EMPTY", ""}}},
      {std::string("\0", 1), {}},
      {"", {}},
      {"X=1", {{"X", "1"}}},                              // a block without its final zeros is read to its end
      {std::string("A=1\0\0B=2\0\0", 10), {{"A", "1"}}},  // the empty string ends the block
  };
  for (const Case& c : cases) {
    Table got;
    for (const TSysVar& v : ParseEnvironmentBlock(c.block)) got.push_back({v.Name, v.Value});
    EXPECT_EQ(got, c.vars);
  }
}

// --- path variables -----------------------------------------------------------------

class PathVars : public InstallerGlobals {
 protected:
  void SetUp() override {
    InstallerGlobals::SetUp();
    SetupInfoFile.InstallDir = "C:\\Games\\Mod";
    StartMenuProgramsDir = "C:\\Start\\Programs\\";
    ProgramFilesDir = "C:\\Program Files\\";
    DesktopDir = "C:\\Desktop\\";
    CDDriveRoot = "D:\\";
    LanguageSelection = "Deutsch";
    EnvironmentTable = {{"PATH", "C:\\bin"}, {"HOME", "C:\\Users\\me"}};
  }
};

TEST_F(PathVars, Expansion) {
  struct Case {
    const char* text;
    const char* result;
  } cases[] = {
      {"$instdir\\data", "C:\\Games\\Mod\\data"},
      {"$INSTALLDIR\\x", "C:\\Games\\Mod\\x"},
      {"$SMPROGRAMS\\My Mod\\Play.lnk", "C:\\Start\\Programs\\My Mod\\Play.lnk"},
      {"$ProgramFiles\\Quexar", "C:\\Program Files\\Quexar"},
      {"$DESKTOP\\Play.lnk", "C:\\Desktop\\Play.lnk"},
      {"$CDDRIVE\\setup.exe", "D:\\setup.exe"},
      {"$LANGUAGESELECTION.txt", "Deutsch.txt"},
      {"%PATH%\\tool.exe", "C:\\bin\\tool.exe"},
      {"%path%;%Home%", "C:\\bin;C:\\Users\\me"},
      {"100% sure", "100% sure"},
      {"%NOPE%\\x", "%NOPE%\\x"},
      {"\\\\server\\share", "\\server\\share"},
      {"a\\\\\\\\\\b", "a\\b"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Narrow(ExpandPathVars(Wide(c.text))), c.result) << c.text;
}

TEST_F(PathVars, ExpansionOrder) {
  // the install directory is replaced first, so a variable it holds is
  // expanded by a later step, but not the other way round
  SetupInfoFile.InstallDir = "$DESKTOP\\Mod";
  EXPECT_EQ(Narrow(ExpandPathVars(u"$INSTDIR\\x")), "C:\\Desktop\\Mod\\x");
  SetupInfoFile.InstallDir = "C:\\Games\\Mod";
  DesktopDir = "$INSTDIR\\";
  EXPECT_EQ(Narrow(ExpandPathVars(u"$DESKTOP\\x")), "$INSTDIR\\x");
  // environment references last of the names, backslashes after them
  EnvironmentTable = {{"DIR", "$INSTDIR\\\\"}};
  EXPECT_EQ(Narrow(ExpandPathVars(u"%DIR%\\x")), "$INSTDIR\\x");
}

TEST_F(PathVars, ValuesHoldingTheirOwnNameEnd) {
  SetupInfoFile.InstallDir = "C:\\Games\\$instdir";
  EXPECT_EQ(Narrow(ExpandPathVars(u"$INSTDIR\\data")), "C:\\Games\\$instdir\\data");
  EnvironmentTable = {{"LOOP", "a%LOOP%b"}, {"OTHER", "%loop%"}};
  // one pass of the table, in its order
  EXPECT_EQ(Narrow(ExpandPathVars(u"%LOOP%|%OTHER%")), "a%LOOP%b|%loop%");
  // mutual references end after one pass of the table
  EnvironmentTable = {{"A", "%B%"}, {"B", "%A%"}};
  std::u16string text = u"%A%";
  ExpandEnvVars(text);
  EXPECT_EQ(text, u"%A%");
}

TEST_F(PathVars, Collapse) {
  struct Case {
    const char* path;
    const char* collapsed;
  } cases[] = {
      {"C:\\Games\\Mod\\data\\x.txt", "$INSTDIR\\data\\x.txt"},
      {"c:\\games\\mod\\x", "$INSTDIR\\x"},
      {"C:\\Start\\Programs\\Mod\\Play.lnk", "$SMPROGRAMS\\Mod\\Play.lnk"},
      {"C:\\Program Files\\Other\\a", "$PROGRAMFILES\\Other\\a"},
      {"C:\\Desktop\\Play.lnk", "$DESKTOP\\Play.lnk"},
      {"E:\\elsewhere\\%HOME%", "E:\\elsewhere\\C:\\Users\\me"},  // environment references expand
      {"D:\\setup.exe", "D:\\setup.exe"},                         // the CD-ROM drive has no variable here
  };
  for (const Case& c : cases) EXPECT_EQ(Narrow(CollapsePathVars(Wide(c.path))), c.collapsed) << c.path;

  // the install directory first: it usually lies in another folder
  SetupInfoFile.InstallDir = "C:\\Program Files\\Quexar";
  EXPECT_EQ(Narrow(CollapsePathVars(u"C:\\Program Files\\Quexar\\a")), "$INSTDIR\\a");
  // an empty folder value replaces nothing
  SetupInfoFile.InstallDir = "";
  ProgramFilesDir = "";
  EXPECT_EQ(Narrow(CollapsePathVars(u"C:\\Program Files\\Quexar\\a")), "C:\\Program Files\\Quexar\\a");
}

TEST_F(PathVars, CollapseThenExpandGivesThePathBack) {
  const char* paths[] = {
      "C:\\Games\\Mod\\data\\x.txt",
      "C:\\Start\\Programs\\Mod\\Play.lnk",
      "C:\\Program Files\\Other\\a",
      "C:\\Desktop\\Play.lnk",
      "E:\\elsewhere\\x",
  };
  for (const char* p : paths) EXPECT_EQ(Narrow(ExpandPathVars(CollapsePathVars(Wide(p)))), p);

  // Logged while the install folder ended in a backslash (as the folder page
  // leaves it), expanded later with one that does not, and the other way
  // round: the same file, never a sibling of the folder.
  struct Case {
    const char *loggedWith, *expandedWith;
  } cases[] = {{"C:\\Games\\Mod\\", "C:\\Games\\Mod"}, {"C:\\Games\\Mod", "C:\\Games\\Mod\\"}};
  for (const Case& c : cases) {
    SetupInfoFile.InstallDir = c.loggedWith;
    std::u16string logged = CollapsePathVars(u"C:\\Games\\Mod\\b.txt");
    EXPECT_EQ(Narrow(logged), "$INSTDIR\\b.txt") << c.loggedWith;
    if (std::string(c.loggedWith).back() == '\\') {  // a path joined with one separator too many
      EXPECT_EQ(Narrow(CollapsePathVars(u"C:\\Games\\Mod\\\\b.txt")), "$INSTDIR\\b.txt");
    }
    SetupInfoFile.InstallDir = c.expandedWith;
    EXPECT_EQ(Narrow(ExpandPathVars(logged)), "C:\\Games\\Mod\\b.txt") << c.loggedWith;
  }
}

// --- status hand-off ----------------------------------------------------------------

class HandOff : public InstallerGlobals {};

TEST_F(HandOff, NothingIsPublishedWithoutTargets) {
  SetStatusText(u"status");
  StepProgress(true);
  SetFailureText(u"failed", true);
  TStatusUpdate u = TakeStatusUpdate();
  EXPECT_FALSE(u.StatusText || u.Progress || u.FailureText);
  EXPECT_EQ(ProgressCount, 0);
}

TEST_F(HandOff, OnlyTheLatestValuesAreTaken) {
  ShowTargets();
  for (int i = 0; i < 10; ++i) StepProgress(false);
  StepProgress(true);
  SetStatusText(u"first");
  SetStatusText(u"second");
  SetFailureText(u"failed", true);
  SetFailureText(u"failed again", false);
  TStatusUpdate u = TakeStatusUpdate();
  EXPECT_EQ(u.Progress, 11);
  EXPECT_EQ(u.StatusText, "second");
  EXPECT_EQ(u.FailureText, u"failed again");
  EXPECT_TRUE(u.RepaintFailure);  // one of the calls asked for it
  // taken values are gone; the failure text has its own slot
  SetStatusText(u"third");
  u = TakeStatusUpdate();
  EXPECT_EQ(u.StatusText, "third");
  EXPECT_FALSE(u.Progress || u.FailureText);
  StepProgress(false);
  EXPECT_FALSE(TakeStatusUpdate().Progress);
  StepProgress(true);
  EXPECT_EQ(TakeStatusUpdate().Progress, 13);
}

TEST_F(HandOff, ConcurrentPublishingLosesNothingAtTheEnd) {
  ShowTargets();
  constexpr int kSteps = 20000;
  std::atomic<bool> running{true};
  std::thread worker([&] {
    for (int i = 1; i <= kSteps; ++i) {
      SetStatusText(Wide("status " + std::to_string(i)));
      StepProgress(i % 3 == 0 || i == kSteps);
    }
    SetFailureText(u"failed", true);
    running = false;
  });
  int lastProgress = 0, lastStatus = 0;
  auto apply = [&](const TStatusUpdate& u) {
    if (u.Progress) {
      EXPECT_GT(*u.Progress, lastProgress);
      lastProgress = *u.Progress;
    }
    if (u.StatusText) {
      int n = std::stoi(u.StatusText->substr(7));
      EXPECT_GT(n, lastStatus);
      lastStatus = n;
    }
  };
  std::optional<std::u16string> failure;
  while (running) {
    TStatusUpdate u = TakeStatusUpdate();
    apply(u);
    if (u.FailureText) failure = u.FailureText;
  }
  worker.join();
  TStatusUpdate last = TakeStatusUpdate();  // the window's last look
  apply(last);
  if (last.FailureText) failure = last.FailureText;
  EXPECT_EQ(lastProgress, kSteps);
  EXPECT_EQ(lastStatus, kSteps);
  EXPECT_EQ(failure, u"failed");
}

// --- removing a tree --------------------------------------------------------------

namespace fs = std::filesystem;

TEST(RemoveDirTree, RemovesFilesAndTwoLevelsOfFolders) {
  TempDir tmp;
  std::string dir = tmp.Path() + "\\tree";
  fs::create_directories(tmp.File("tree/sub1/sub2"));
  fs::create_directories(tmp.File("tree/sub1/empty"));
  fs::create_directories(tmp.File("tree/other"));
  WriteFileText(tmp.File("tree/a.txt"), "a");
  WriteFileText(tmp.File("tree/sub1/b.txt"), "b");
  WriteFileText(tmp.File("tree/sub1/sub2/c.txt"), "c");
  WriteFileText(tmp.File("tree/other/d.txt"), "d");
  WriteFileText(tmp.File("kept.txt"), "beside the tree");
  EXPECT_TRUE(RemoveDirTree(dir));
  EXPECT_FALSE(fs::exists(tmp.File("tree")));
  EXPECT_TRUE(fs::exists(tmp.File("kept.txt")));

  fs::create_directories(tmp.File("second/x"));
  EXPECT_TRUE(RemoveDirTree(tmp.Path() + "\\second\\"));  // a trailing backslash
  EXPECT_FALSE(fs::exists(tmp.File("second")));
}

TEST(RemoveDirTree, WhatIsNoFolderIsLeftAlone) {
  TempDir tmp;
  WriteFileText(tmp.File("file.txt"), "x");
  EXPECT_FALSE(RemoveDirTree(tmp.Path() + "\\file.txt"));
  EXPECT_TRUE(fs::exists(tmp.File("file.txt")));
  EXPECT_FALSE(RemoveDirTree(tmp.Path() + "\\missing"));
}

TEST(RemoveDirTree, DriveRootsAreRefused) {
  struct Case {
    const char* path;
    bool root;
  } cases[] = {{"", true},       {"\\", true},   {"/", true},
               {"C:", true},     {"C:\\", true}, {"c:\\\\", true},
               {"C:\\x", false}, {"x", false},   {"\\\\srv\\share", false},
               {"..\\x", false}};
  for (const Case& c : cases) EXPECT_EQ(IsDriveRoot(c.path), c.root) << c.path;
}

TEST(RemoveDirTree, LinksAreRemovedNotFollowed) {
  TempDir tmp;
  fs::create_directories(tmp.File("outside"));
  WriteFileText(tmp.File("outside/keep.txt"), "keep");
  fs::create_directories(tmp.File("tree"));
  std::error_code ec;
  fs::create_directory_symlink(fs::absolute(tmp.File("outside")), tmp.File("tree/link"), ec);
  if (ec) GTEST_SKIP() << "symbolic links cannot be made here: " << ec.message();
  fs::create_directory_symlink(fs::absolute(tmp.File("outside")), tmp.File("toplink"), ec);
  EXPECT_TRUE(RemoveDirTree(tmp.Path() + "\\tree"));
  EXPECT_FALSE(fs::exists(tmp.File("tree")));
  EXPECT_TRUE(RemoveDirTree(tmp.Path() + "\\toplink"));  // the link itself, not its target's contents
  EXPECT_FALSE(fs::is_symlink(tmp.File("toplink")));
  EXPECT_TRUE(fs::exists(tmp.File("outside/keep.txt")));
}
