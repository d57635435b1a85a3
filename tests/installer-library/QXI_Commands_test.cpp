#include "installer-library/QXI_Commands.h"

#include <gtest/gtest.h>

#include "tests/installer-library/FakeCompiler.h"

namespace {

struct Row {
  int32_t id;
  const char* keyword;
  int32_t min;
  uint8_t headerOnly;
  int32_t kind;
  bool checkOnly;
};

// The command table as published to script authors; ids are stored in
// compiled scripts, so any change here breaks installers already built.
const Row kExpected[] = {
    {1, "goto", 0, 0, 0, false},
    {2, "name", 1, 1, 0, false},
    {3, "outfile", 1, 1, 0, false},
    {4, "installdir", 1, 1, 0, false},
    {5, "installdirregkey", 3, 1, 0, false},
    {6, "iffileexists", 3, 0, 0, false},
    {7, "file", 1, 0, 1, false},
    {8, "delete", 1, 0, 0, true},
    {9, "writeregstr", 4, 0, 0, false},
    {10, "changelog", 1, 1, 0, false},
    {11, "qxpupdate", 3, 0, 2, false},
    {12, "rmdir", 2, 0, 0, true},
    {13, "createdirectory", 1, 0, 0, true},
    {14, "createshortcut", 3, 0, 0, true},
    {15, "message", 1, 0, 0, true},
    {16, "messagebox", 4, 0, 0, false},
    {17, "copyfile", 2, 0, 0, true},
    {18, "language", 1, 0, 0, false},
    {19, "failure", 0, 0, 0, false},
    {20, "pages", 1, 1, 0, false},
    {21, "shortname", 1, 1, 0, false},
    {22, "uninstallpages", 1, 1, 0, false},
    {23, "uninstalllanguage", 1, 0, 0, false},
    {24, "prefix", 1, 1, 0, false},
    {25, "uninstalllogload", 1, 0, 0, true},
    {26, "uninstalllogsave", 1, 0, 0, true},
    {27, "qxpofficial", 3, 0, 0, false},
    {28, "duplicateentry", 3, 0, 0, true},
    {29, "writeregstr_url", 3, 0, 0, true},
    {30, "vfsupdate", 2, 0, 2, false},
    {31, "rename", 2, 0, 0, true},
    {32, "execute", 1, 0, 0, true},
};

TCommandList Registered() {
  TCommandList list;
  RegisterCommands(list);
  return list;
}

TCompLine L(int32_t id, std::vector<std::string> params, int32_t line) {
  return TCompLine{id, std::move(params), line};
}

}  // namespace

TEST(Commands, RegistrationFollowsTheTable) {
  TCommandList list = Registered();
  ASSERT_EQ(list.Count(), 32);
  ASSERT_EQ(list.Count(), kCommandCount);
  for (const Row& r : kExpected) {
    const auto* c = dynamic_cast<const TTableCommand*>(list.Get(r.id));
    ASSERT_NE(c, nullptr) << r.id;
    EXPECT_EQ(c->Keyword, r.keyword) << r.id;
    EXPECT_EQ(c->HeaderOnly, r.headerOnly) << r.keyword;
    EXPECT_EQ(c->FileKind(), r.kind) << r.keyword;
    EXPECT_EQ(c->Traits.MinParams, r.min) << r.keyword;
    EXPECT_EQ(c->Traits.CheckOnly, r.checkOnly) << r.keyword;
    EXPECT_EQ(list.Find(r.keyword), r.id) << r.keyword;
  }
}

TEST(Commands, ClassesSitAtTheirIds) {
  TCommandList list = Registered();
  EXPECT_NE(dynamic_cast<TGotoCommand*>(list.Get(1)), nullptr);
  EXPECT_NE(dynamic_cast<TFileCommand*>(list.Get(7)), nullptr);
  EXPECT_NE(dynamic_cast<TFailureCommand*>(list.Get(19)), nullptr);
  EXPECT_NE(dynamic_cast<TUninstallPrefixCommand*>(list.Get(24)), nullptr);
  EXPECT_NE(dynamic_cast<TWriteRegStr_URLCommand*>(list.Get(29)), nullptr);
  EXPECT_NE(dynamic_cast<TExecuteCommand*>(list.Get(32)), nullptr);
}

TEST(Commands, KeywordLookup) {
  TCommandList list = Registered();
  struct Case {
    const char* word;
    int32_t id;
  };
  const Case cases[] = {
      {"FILE", 7},
      {"File", 7},
      {"file", 7},
      {"GoTo", 1},
      {"writeregstr_url", 29},
      {"WRITEREGSTR", 9},
      {"writeregstr_ur", -1},
      {"files", -1},
      {"", -1},
      {" file", -1},
      {"start:", -1},
  };
  for (const Case& c : cases) EXPECT_EQ(list.Find(c.word), c.id) << c.word;
}

TEST(Commands, CheckOnlyStepsReportTooFewParameters) {
  TCommandList list = Registered();
  for (const Row& r : kExpected) {
    if (!r.checkOnly) continue;
    for (int32_t count = 0; count <= r.min + 1; ++count) {
      FakeCompiler fc;
      fc.lines.Lines = {L(0, {"before"}, 0), L(r.id, std::vector<std::string>(static_cast<size_t>(count)), 17)};
      list.Get(r.id)->CompilerProcess(fc, 1);
      bool enough = count >= r.min;
      EXPECT_EQ(fc.errorText, enough ? "" : "Not enough parameters") << r.keyword << " with " << count;
      EXPECT_EQ(fc.errorLine, enough ? -99 : 17) << r.keyword << " with " << count;
      EXPECT_EQ(fc.lines.Lines[1].ParamCount(), count) << "a check changes nothing";
    }
  }
}

TEST(Commands, FailureAcceptsAnyParameters) {
  TCommandList list = Registered();
  for (size_t count : {0u, 1u, 9u}) {
    FakeCompiler fc;
    fc.lines.Lines = {L(19, std::vector<std::string>(count, "x"), 3)};
    list.Get(19)->CompilerProcess(fc, 0);
    EXPECT_EQ(fc.errorText, "");
  }
}

TEST(Commands, CheckParamsKeepsEarlierErrorsAndUsesTheSourceLine) {
  FakeCompiler fc;
  fc.lines.Lines = {L(31, {"only one"}, 4), L(8, {""}, 6), L(8, {}, 11)};
  EXPECT_FALSE(CheckParams(fc, 0, 2));  // rename with one parameter
  EXPECT_EQ(fc.errorText, "Not enough parameters");
  EXPECT_EQ(fc.errorLine, 4);
  EXPECT_TRUE(CheckParams(fc, 1, 1));  // delete written bare: one empty parameter
  EXPECT_EQ(fc.errorLine, 4);          // a passing check clears nothing
  EXPECT_TRUE(CheckParams(fc, 2, 0));
  EXPECT_FALSE(CheckParams(fc, 3, 0));  // no such line
  EXPECT_FALSE(CheckParams(fc, -1, 0));
  EXPECT_EQ(fc.errorLine, 4);
}

TEST(Commands, HasParamsOnLoadedLines) {
  TCompLines lines;
  lines.Lines = {L(7, {"src", "1"}, 0), L(-1, {}, -1)};
  struct Case {
    int32_t line, needed;
    bool has;
  };
  const Case cases[] = {{0, 0, true},  {0, 2, true},  {0, 3, false},  {1, 0, true},
                        {1, 1, false}, {2, 0, false}, {-1, 0, false}, {INT32_MAX, 0, false}};
  for (const Case& c : cases) EXPECT_EQ(HasParams(lines, c.line, c.needed), c.has) << c.line << "/" << c.needed;
}

TEST(Commands, LabelResolution) {
  // Compiled lines: labels End (3), Start Here (6), "5" (8), end (9); a
  // label line without a name parameter (7) is skipped.
  FakeCompiler fc;
  fc.lines.Lines = {L(15, {"x"}, 0), L(15, {"x"}, 1),  L(15, {"x"}, 2),         L(0, {"End"}, 3),
                    L(15, {"x"}, 4), L(15, {"x"}, 5),  L(0, {"Start Here"}, 6), L(0, {}, 7),
                    L(0, {"5"}, 8),  L(0, {"end"}, 9), L(0, {"\xc9t\xe9"}, 10)};
  struct Case {
    const char* target;
    const char* result;
    bool found;
  };
  const Case cases[] = {
      {"END", "9", true},                                                // the last label of the name wins
      {"end", "9", true},        {"5", "8", true},                       // a label named 5 is found as a label first
      {"start here", "6", true}, {"Start  Here", "Start  Here", false},  // blanks are part of the name
      {"Start", "Start", false}, {"12", "12", true},                     // no such label, but a line index itself
      {"-1", "-1", true},        {"$10", "$10", true},                   // integers follow the one integer reader
      {"12x", "12x", false},     {"", "", false},
      {"\xe9T\xc9", "10", true},  // accented letters fold as in keywords
  };
  for (const Case& c : cases) {
    fc.errorText.clear();
    fc.errorLine = -99;
    EXPECT_EQ(ResolveLabel(fc, c.target, 42), c.result) << c.target;
    EXPECT_EQ(fc.errorText, c.found ? "" : std::string("Label not found - ") + c.target) << c.target;
    EXPECT_EQ(fc.errorLine, c.found ? -99 : 42) << c.target;
  }
}
