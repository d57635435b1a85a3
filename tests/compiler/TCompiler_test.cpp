#include "compiler/TCompiler.h"

#include <gtest/gtest.h>

#include "Global/QXI_PakFile.h"
#include "installer-library/QXI_Commands.h"

namespace {

TCompLine L(int32_t id, std::vector<std::string> params, int32_t line) {
  return TCompLine{id, std::move(params), line};
}

// Ids used below (from the command table).
constexpr int32_t kGoto = 1, kName = 2, kFile = 7, kDelete = 8, kRmdir = 12, kMessage = 15, kRename = 31;

class CompilerTest : public ::testing::Test {
 protected:
  CompilerTest() : compiler(&commands) { RegisterCommands(commands); }

  void Compile(const std::vector<std::string>& script) { compiler.Compile(script, ""); }

  TCommandList commands;
  TCompiler compiler;
};

}  // namespace

TEST(CompilerComments, CutOutsideQuotesOnly) {
  struct Case {
    std::string text, kept;
  };
  const Case cases[] = {
      {"a ; b", "a "},  // not trimmed after the cut
      {"a # b", "a "},
      {"a;b#c", "a"},
      {"a#b;c", "a"},
      {"#x;y", ""},
      {";", ""},
      {"file \"C:\\Mods\\C#\\\"", "file \"C:\\Mods\\C#\\\""},
      {"x \"a;b\" ; c", "x \"a;b\" "},
      {"a \"b\" # c \"d;\"", "a \"b\" "},
      {"message \"a b ;c", "message \"a b ;c"},  // an open quote runs to the end
      {"no comment", "no comment"},
  };
  for (const Case& c : cases) EXPECT_EQ(TCompiler::StripComment(c.text), c.kept) << c.text;
}

TEST_F(CompilerTest, ParsesLinesLabelsAndParameters) {
  struct Case {
    const char* what;
    std::vector<std::string> script;
    std::vector<TCompLine> lines;
  };
  const Case cases[] = {
      {"blank and comment lines produce nothing",
       {"", "   ; only a comment", "\t# another", "message hi"},
       {L(kMessage, {"hi"}, 3)}},
      {"labels keep their name as written",
       {"start:", "Start Here:", ":", "  padded :  "},
       {L(0, {"start"}, 0), L(0, {"Start Here"}, 1), L(0, {""}, 2), L(0, {"padded "}, 3)}},
      {"keywords in any case, parameters as written",
       {"NAME \"My Setup\"", "GoTo 12"},
       {L(kName, {"My Setup"}, 0), L(kGoto, {"12"}, 1)}},
      {"a keyword alone gets one empty parameter", {"message"}, {L(kMessage, {""}, 0)}},
      {"tabs and runs of blanks separate once", {"rmdir a\t \tb   \"c d\""}, {L(kRmdir, {"a", "b", "c d"}, 0)}},
      {"empty quoted parameters stay", {"rmdir \"\" x \"\""}, {L(kRmdir, {"", "x", ""}, 0)}},
      {"quotes group inside a token", {"rename ab\"c d\"e f"}, {L(kRename, {"abc de", "f"}, 0)}},
      {"an unterminated quote runs to the end", {"message \"a b"}, {L(kMessage, {"a b"}, 0)}},
      {"a quoted # or ; is no comment",
       {"file \"C:\\Mods\\C#\\\" ; real comment", "delete \"a;b\""},
       {L(kFile, {"C:\\Mods\\C#\\", "1"}, 0), L(kDelete, {"a;b"}, 1)}},  // the file line owns group 1
      {"an empty script", {}, {}},
      {"only blank lines", {"", "  ", "\t"}, {}},
  };
  for (const Case& c : cases) {
    Compile(c.script);
    EXPECT_EQ(compiler.Error.Text, "") << c.what;
    EXPECT_EQ(compiler.CompLines.Lines, c.lines) << c.what;
    EXPECT_EQ(compiler.CurrentLine, static_cast<int32_t>(c.script.size())) << c.what;
  }
}

TEST_F(CompilerTest, ErrorsAndTheirPrecedence) {
  struct Case {
    const char* what;
    std::vector<std::string> script;
    std::string text;
    int32_t line;
    size_t compiledLines;  // what the parse pass left
  };
  const std::string longParam(65536, 'p');
  const Case cases[] = {
      {"unknown keyword", {"message a", "", "bogus x y"}, "Unknown Command \"bogus\"", 2, 1},
      {"quotes are removed from the keyword", {"\"Bo gus\" x"}, "Unknown Command \"Bo gus\"", 0, 0},
      {"a label with a comment after it is a command", {"start: ; the start"}, "Unknown Command \"start:\"", 0, 0},
      {"parsing stops at the first unknown keyword", {"bad1", "bad2"}, "Unknown Command \"bad1\"", 0, 0},
      {"no compile step runs after a parse error",
       {"", "", "", "", "rename one", "", "", "", "", "oops"},
       "Unknown Command \"oops\"",
       9,
       1},
      {"compile-step error at the source line", {"", "; c", "rename one"}, "Not enough parameters", 2, 1},
      {"the last compile-step error wins",
       {"", "", "", "rename a", "", "", "", "rmdir b", "message"},
       "Not enough parameters",
       7,
       3},
      {"a parameter too long to store",
       {"message a", "message " + longParam, "bogus"},
       "Parameter too long - at most 65535 bytes",
       1,
       2},
      {"a label too long to store", {longParam + ":"}, "Parameter too long - at most 65535 bytes", 0, 1},
      // Names of the uninstall key, log and uninstaller: a separator would nest them.
      {"a short name with a backslash",
       {"name Mod", "", "shortname \"My\\Mod\""},
       "The short name may not hold \\ or /",
       2,
       2},
      {"a name that stays the short name", {"name A/B", "prefix ab"}, "The short name may not hold \\ or /", 0, 2},
      {"a later short name replaces it", {"name A/B", "shortname AB"}, "", 0, 2},
      {"a prefix with a slash", {"prefix a", "prefix \"x/y\""}, "The prefix may not hold \\ or /", 1, 2},
      // Nor may they hold what no file name can: the log could not be saved.
      {"a prefix with a question mark", {"prefix \"A2?x\""}, "The prefix may not hold ?", 0, 1},
      {"a short name with a colon", {"shortname \"Mod: Two\""}, "The short name may not hold :", 0, 1},
      {"a prefix with a control character", {"prefix \"a\tb\""}, "The prefix may not hold a control character", 0, 1},
      {"a prefix ending in a dot", {"prefix mod."}, "The prefix may not end in a dot or blank", 0, 1},
      {"a short name ending in a blank", {"shortname \"Mod \""}, "The short name may not end in a dot or blank", 0, 1},
      {"a device name", {"name x", "prefix Com1"}, "The prefix may not be a device name", 1, 2},
      {"a device name with an extension", {"shortname \"nul.txt\""}, "The short name may not be a device name", 0, 1},
      {"an empty prefix", {"prefix \"\""}, "", 0, 1},
  };
  for (const Case& c : cases) {
    Compile(c.script);
    EXPECT_EQ(compiler.Error.Text, c.text) << c.what;
    EXPECT_EQ(compiler.Error.Line, c.line) << c.what;
    EXPECT_EQ(compiler.CompLines.Lines.size(), c.compiledLines) << c.what;
  }
}

TEST_F(CompilerTest, LineCountIsLimitedToWhatTheStoredScriptHolds) {
  std::vector<std::string> script(kMaxCompiledLines, "message x");
  Compile(script);
  EXPECT_EQ(compiler.Error.Text, "");
  EXPECT_EQ(compiler.CompLines.Lines.size(), kMaxCompiledLines);

  script.insert(script.begin(), "; a comment line does not count");
  script.push_back("");
  script.push_back("end:");
  Compile(script);
  EXPECT_EQ(compiler.Error.Text, "Too many lines - a script compiles to at most 65535 lines");
  EXPECT_EQ(compiler.Error.Line, static_cast<int32_t>(kMaxCompiledLines) + 2);
  EXPECT_EQ(compiler.CompLines.Lines.size(), kMaxCompiledLines);

  // The longest parameter that can be stored is accepted.
  Compile({"message " + std::string(65535, 'p')});
  EXPECT_EQ(compiler.Error.Text, "");
}

TEST_F(CompilerTest, EachRunStartsClean) {
  compiler.SetupInfo.InstallDir = "C:\\Keep";
  Compile({"rename one"});
  ASSERT_EQ(compiler.Error.Text, "Not enough parameters");
  Compile({"message a"});
  EXPECT_EQ(compiler.Error.Text, "");
  EXPECT_EQ(compiler.Error.Line, 0);
  EXPECT_EQ(compiler.CompLines.Lines, (std::vector<TCompLine>{L(kMessage, {"a"}, 0)}));
  EXPECT_EQ(compiler.SetupInfo.SetupName, "setup.exe");
  EXPECT_EQ(compiler.SetupInfo.SetupShortName, "setup.exe");
  EXPECT_EQ(compiler.SetupInfo.InstallDir, "C:\\Keep");  // the caller resets the rest

  compiler.Compile({"message a"}, "D:\\src");
  EXPECT_EQ(compiler.SourceBaseDir, "D:\\src");
}

TEST(Compiler, WithoutARegistryEveryKeywordIsUnknown) {
  TCompiler bare;
  bare.Compile({"message hi"}, "");
  EXPECT_EQ(bare.Error.Text, "Unknown Command \"message\"");
}

TEST_F(CompilerTest, Listing) {
  compiler.CompLines.Lines = {L(0, {"end"}, 0),          L(kMessage, {"a b", "c"}, 1), L(-1, {}, -1),
                              L(kMessage, {"", "x"}, 2), L(kMessage, {"x", ""}, 3),    L(kRmdir, {""}, 4),
                              L(99, {"x"}, 5),           L(kMessage, {"tab\there"}, 6)};
  std::vector<std::string> expected = {"end:",   "message \"a b\" c", "message x", "message x ",
                                       "rmdir ", "message tab\there"};
  EXPECT_EQ(compiler.CompiledListing(), expected);
  EXPECT_EQ(compiler.FormatCompiledArgs(99), "");
}

TEST_F(CompilerTest, CompiledScriptStoresAndLoadsBack) {
  Compile({"start:", "name \"My Setup\"", "rmdir \"C:\\a b\" x", "delete \"\"", "goto start"});
  ASSERT_EQ(compiler.Error.Text, "");
  Bytes cln, sif;
  ASSERT_TRUE(compiler.CompLines.Store(commands, cln));
  ASSERT_TRUE(compiler.SetupInfo.Store(sif));

  TCompLines loaded;
  ASSERT_TRUE(loaded.LoadFromBuffer(cln.data(), cln.size()));
  std::vector<TCompLine> expected = {L(-1, {}, -1), L(-1, {}, -1), L(kRmdir, {"C:\\a b", "x"}, 2), L(kDelete, {""}, 3),
                                     L(kGoto, {"0"}, 4)};
  EXPECT_EQ(loaded.Lines, expected);

  TSetupInfoFile info;
  ASSERT_TRUE(info.LoadFromBuffer(sif.data(), sif.size()));
  EXPECT_EQ(info, compiler.SetupInfo);
}
