#include "installer-library/SE_Languages.h"

#include <gtest/gtest.h>

#include <random>

#include "Global/ZCodec.h"
#include "installer-library/SIntegerText.h"
#include "tests/support/RaisedText.h"

using testing_support::RaisedText;

namespace {

// A language file as the compiler packs it: byte-order mark, then 16-bit
// little-endian text.
Bytes Wri(const std::u16string& text) {
  Bytes b = {0xFF, 0xFE};
  for (char16_t c : text) {
    b.push_back(static_cast<uint8_t>(c));
    b.push_back(static_cast<uint8_t>(c >> 8));
  }
  return b;
}

std::vector<std::u16string> Lines(const Bytes& buffer) {
  static const uint8_t kNone = 0;
  TUnicodeStringList list;
  list.LoadFromBuffer(buffer.empty() ? &kNone : buffer.data(), buffer.size());
  std::vector<std::u16string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list.Get(i));
  return out;
}

TLanguages LoadedLanguages(const std::vector<std::u16string>& files) {
  TLanguages langs;
  for (const auto& f : files) {
    Bytes b = Wri(f);
    langs.AddFromBuffer(b.data(), b.size());
  }
  langs.Current = 0;
  return langs;
}

}  // namespace

TEST(LanguageFile, TheSampleFileLoads) {
  TLanguages langs = LoadedLanguages({u"English\r\n409;809;\r\n12 Back\r\n13 Next\r\n"});
  const TLanguage& l = langs.Items.at(0);
  EXPECT_EQ(l.Name, u"English");
  EXPECT_EQ(l.LangIds, (std::vector<uint16_t>{0x0409, 0x0809}));
  EXPECT_EQ(langs.GetString(12), u"Back");
  EXPECT_EQ(langs.GetString(13), u"Next");
  EXPECT_EQ(langs.GetString(14), u"NOT FOUND 14");
}

TEST(LanguageFile, LinesEndAtCarriageReturnsAndLineFeedsDropTheLineSoFar) {
  struct Case {
    std::u16string text;
    std::vector<std::u16string> lines;
  } cases[] = {
      {u"a\r\nb\r\n", {u"a", u"b"}},
      {u"a\r\nb", {u"a", u"b"}},                // the rest after the last CR is a line
      {u"a\rb\r", {u"a", u"b"}},                // bare CR
      {u"a\nb\nc", {u"c"}},                     // bare LF: only the text after the last one
      {u"a\nb\n", {}},                          // ... of which there is none
      {u"x\r\r\r\ny", {u"x", u"", u"", u"y"}},  // empty lines count
      {u"ab\ncd\r", {u"cd"}},
      {u"", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(Lines(Wri(c.text)), c.lines) << std::string(c.text.begin(), c.text.end());
}

TEST(LanguageFile, TheBufferEdges) {
  EXPECT_TRUE(Lines(Bytes{}).empty());
  EXPECT_TRUE(Lines(Bytes{0xFF}).empty());
  EXPECT_TRUE(Lines(Bytes{0xFF, 0xFE}).empty());
  // the first two bytes are skipped unseen, whatever they hold
  EXPECT_EQ(Lines(Bytes{'a', 0, 'b', 0}), std::vector<std::u16string>{u"b"});
  // a trailing odd byte is ignored
  EXPECT_EQ(Lines(Bytes{0xFF, 0xFE, 'a', 0, 'b'}), std::vector<std::u16string>{u"a"});
  // characters above U+00FF keep both bytes
  EXPECT_EQ(Lines(Bytes{0xFF, 0xFE, 0x3A, 0x04}), std::vector<std::u16string>{u"\u043A"});

  TUnicodeStringList list;
  EXPECT_EQ(RaisedText([&] { list.LoadFromBuffer(nullptr, 10); }), "Cannot open file");
  EXPECT_EQ(RaisedText([&] { list.Get(0); }), "List index out of bounds (0)");
  EXPECT_EQ(RaisedText([&] { list.Get(-1); }), "List index out of bounds (-1)");
}

TEST(LanguageFile, IdentifierLines) {
  struct Case {
    std::u16string line;
    std::vector<uint16_t> ids;
    std::string error;
  } cases[] = {
      {u"409", {0x0409}, ""},
      {u"409;", {0x0409}, ""},
      {u"409;809;", {0x0409, 0x0809}, ""},
      {u"c0A;", {0x0C0A}, ""},
      {u"10409", {0x0409}, ""},                              // only the low 16 bits are kept
      {u"409;809", {}, "'$' is not a valid integer value"},  // no ";" after the last
      {u"", {}, "'$' is not a valid integer value"},
      {u";", {}, "'$' is not a valid integer value"},
      {u"409;;", {}, "'$' is not a valid integer value"},
      {u"$409", {}, "'$$409' is not a valid integer value"},
      {u"-409", {}, "'$-409' is not a valid integer value"},
      {u" 409", {}, "'$ 409' is not a valid integer value"},
      {u"409 ;", {}, "'$409 ' is not a valid integer value"},
      {u"xyz;", {}, "'$xyz' is not a valid integer value"},
  };
  for (const Case& c : cases) {
    TLanguage l;
    std::string error = l.ParseLangIds(c.line);
    EXPECT_EQ(error, c.error) << std::string(c.line.begin(), c.line.end());
    if (c.error.empty()) {
      EXPECT_EQ(l.LangIds, c.ids);
    }
  }
}

TEST(LanguageFile, StringLines) {
  struct Case {
    std::u16string line;
    uint16_t number;
    std::u16string text;
    std::string error;
  } cases[] = {
      {u"12 Back", 12, u"Back", ""},
      {u"13\tNext", 13, u"Next", ""},
      {u"  15   \"Install\"", 15, u"\"Install\"", ""},  // quotes in the text stay
      {u"\"15\" Install", 15, u"Install", ""},          // quotes around the number go
      {u"20  two  words  ", 20, u"two  words", ""},
      {u"21 \t\x01 text", 21, u"text", ""},  // leading blanks and controls removed
      {u"12", 12, u"", ""},
      {u"65548 wraps", 12, u"wraps", ""},
      {u"$10 hex", 16, u"hex", ""},
      {u"-1 minus", 0xFFFF, u"minus", ""},
      {u"", 0, u"", "'' is not a valid integer value"},
      {u"   ", 0, u"", "'' is not a valid integer value"},
      {u"Back 12", 0, u"", "'Back' is not a valid integer value"},
      {u"12x y", 0, u"", "'12x' is not a valid integer value"},
  };
  for (const Case& c : cases) {
    TLID id;
    std::string error = TLanguage::ParseStringLine(c.line, id);
    EXPECT_EQ(error, c.error) << std::string(c.line.begin(), c.line.end());
    if (!c.error.empty()) continue;
    EXPECT_EQ(id.Number, c.number);
    EXPECT_EQ(id.Text, c.text);
  }
}

TEST(LanguageFile, LoadErrorsAndTheirTexts) {
  struct Case {
    std::u16string text;
    std::string error;
  } cases[] = {
      {u"", "List index out of bounds (0)"},
      {u"English\r\n", "List index out of bounds (1)"},
      {u"English\r\n409;809\r\n", "'$' is not a valid integer value"},
      {u"English\r\n409;\r\n12 Back\r\n\r\n13 Next\r\n", "'' is not a valid integer value"},
      {u"English\r\n409;\r\nBack\r\n", "'Back' is not a valid integer value"},
  };
  for (const Case& c : cases) {
    TLanguages langs;
    Bytes b = Wri(c.text);
    EXPECT_EQ(RaisedText([&] { langs.AddFromBuffer(b.data(), b.size()); }), c.error);
    EXPECT_TRUE(langs.Items.empty());  // a failed file leaves nothing behind
  }
}

// What the builder tells the author about a file the installer could not
// load: the reader's own error, with the line, and the missing mark the
// reader itself never looks at.
TEST(LanguageFile, FaultsNameTheLineAndTheReadersError) {
  const std::string kIdLine =
      " (the language identifiers in hexadecimal: one alone, as 409, or each followed by ;, as 409;809;)";
  const std::string kStringLine = " (every line from line 3 on is a number, a blank and the text; no empty lines)";
  Bytes noMark = Wri(u"English\r\n409;\r\n");
  noMark.erase(noMark.begin(), noMark.begin() + 2);
  struct Case {
    Bytes file;
    std::string fault;
  } cases[] = {
      {Wri(u"English\r\n409;809;\r\n12 Back\r\n"), ""},
      {noMark, "The file begins with 45 00, not with the byte-order mark FF FE of 16-bit Unicode text"},
      {Bytes{0xFF}, "1 bytes are too short for the byte-order mark FF FE"},
      {Wri(u"English\n409;\n12 Back\n"),
       "line 1 is missing (List index out of bounds (0)): the installer reads 0 lines, each must end in CR LF"},
      {Wri(u""),  // the mark alone
       "line 1 is missing (List index out of bounds (0)): the installer reads 0 lines, each must end in CR LF"},
      {Wri(u"English\r\n"),
       "line 2 is missing (List index out of bounds (1)): the installer reads 1 lines, each must end in CR LF"},
      {Wri(u"English\r\n409;\r\n12 Back\r\n\r\n"), "line 4: '' is not a valid integer value" + kStringLine},
      {Wri(u"English\r\n409;\r\n12 Back\r\n   \r\n13 Next\r\n"),
       "line 4: '' is not a valid integer value" + kStringLine},
      {Wri(u"English\r\n409;\r\n99999999999 Back\r\n"),
       "line 3: '99999999999' is not a valid integer value" + kStringLine},
      {Wri(u"English\r\n409;809\r\n"), "line 2: '$' is not a valid integer value" + kIdLine},
  };
  for (const Case& c : cases) EXPECT_EQ(LanguageFileFault(c.file.data(), c.file.size()), c.fault) << c.fault;
}

TEST(LanguageFile, LookupRules) {
  // exactly two lines: no strings at all, number 0 included
  TLanguages bare = LoadedLanguages({u"Bare\r\n409"});
  EXPECT_EQ(bare.GetString(0), u"NOT FOUND 0");
  EXPECT_EQ(bare.GetString(65535), u"NOT FOUND 65535");

  // the first of two equal numbers wins
  TLanguages dup = LoadedLanguages({u"Dup\r\n409\r\n5 first\r\n5 second\r\n"});
  EXPECT_EQ(dup.GetString(5), u"first");

  // no language loaded, or a current index outside the list
  TLanguages none;
  EXPECT_EQ(none.GetString(13), u"NOT FOUND 13");
  none.Current = 0;
  EXPECT_EQ(none.GetString(13), u"NOT FOUND 13");
  dup.Current = 1;
  EXPECT_EQ(dup.GetString(5), u"NOT FOUND 5");
  dup.Current = -1;
  EXPECT_EQ(dup.GetString(5), u"NOT FOUND 5");
}

TEST(LanguageFile, FindByLangIdTakesTheFirstServingLanguage) {
  TLanguages langs = LoadedLanguages({u"A\r\n407;", u"B\r\n409;809;", u"C\r\n809;c09;"});
  EXPECT_EQ(langs.FindByLangId(0x0407), 0);
  EXPECT_EQ(langs.FindByLangId(0x0809), 1);
  EXPECT_EQ(langs.FindByLangId(0x0C09), 2);
  EXPECT_EQ(langs.FindByLangId(0x0411), -1);
  EXPECT_EQ(TLanguages().FindByLangId(0x0409), -1);
  EXPECT_EQ(TLanguages().Current, -1);
  EXPECT_EQ(TLanguage().Name, u"Untitled");
}

// --- text replacement ---------------------------------------------------------

namespace {

std::u16string FoldAZ(std::u16string s) {
  for (auto& c : s)
    if (c >= u'A' && c <= u'Z') c += 32;
  return s;
}

// The rule as written: find the first occurrence from the very beginning,
// replace it, start again. Gives up after `limit` rounds (the rule does not
// end for some inputs).
bool NaiveReplace(std::u16string& text, const std::u16string& pattern, const std::u16string& replacement, int limit) {
  for (int round = 0; round < limit; ++round) {
    size_t at = FoldAZ(text).find(FoldAZ(pattern));
    if (pattern.empty() || at == std::u16string::npos) return true;
    text.replace(at, pattern.size(), replacement);
  }
  return false;
}

}  // namespace

TEST(ReplaceText, CasesOfTheRule) {
  struct Case {
    std::u16string text, pattern, replacement, result;
  } cases[] = {
      {u"Welcome to <%setuptitle%>!", u"<%SETUPTITLE%>", u"My Mod", u"Welcome to My Mod!"},
      {u"$INSTDIR\\a;$instdir\\b;$InstDir", u"$instdir", u"C:\\X", u"C:\\X\\a;C:\\X\\b;C:\\X"},
      {u"abc", u"", u"x", u"abc"},   // an empty pattern is never found
      {u"ab", u"abc", u"x", u"ab"},  // longer than the text
      {u"", u"a", u"x", u""},
      {u"aaaa", u"a", u"", u""},
      // only A-Z fold: the same letters above 127 differ in case
      {u"\u00C4\u00E4", u"\u00E4", u"x", u"\u00C4x"},
      {u"[@`{", u"[@`{", u"ok", u"ok"},  // the neighbours of A-Z and a-z fold to nothing
      {u"[@`{", u"{`@[", u"no", u"[@`{"},
      // every run of backslashes becomes one: the search starts again
      // from the beginning after each replacement
      {u"\\\\\\\\server\\\\share", u"\\\\", u"\\", u"\\server\\share"},
      {u"aabb", u"ab", u"a", u"aa"},  // a replacement completes a new occurrence with its neighbours
      {u"<%X<%X%>%>", u"<%X%>", u"", u""},
      {u"%%A%%", u"%A%", u"A", u"A"},
      // a replacement that holds its pattern ends, each original occurrence replaced once
      {u"$INSTDIR\\data", u"$INSTDIR", u"C:\\Games\\$instdir", u"C:\\Games\\$instdir\\data"},
      {u"x$INSTDIR$INSTDIRy", u"$instdir", u"[$INSTDIR]", u"x[$INSTDIR][$INSTDIR]y"},
      {u"aa", u"a", u"aa", u"aaaa"},
      {u"%PATH%", u"%PATH%", u"C:\\bin;%PATH%", u"C:\\bin;%PATH%"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TLanguages::ReplaceText(c.text, c.pattern, c.replacement), c.result)
        << std::string(c.text.begin(), c.text.end()) << " / " << std::string(c.pattern.begin(), c.pattern.end());
}

TEST(ReplaceText, MatchesTheRestartRuleWheneverThatEnds) {
  std::mt19937 gen(7);
  const std::u16string alphabet = u"aAb\\";
  auto word = [&](int maxLen) {
    std::u16string w;
    for (int n = gen() % (maxLen + 1); n > 0; --n) w.push_back(alphabet[gen() % alphabet.size()]);
    return w;
  };
  int compared = 0;
  for (int i = 0; i < 20000; ++i) {
    std::u16string text = word(10), pattern = word(3), replacement = word(4);
    std::u16string expected = text;
    if (!NaiveReplace(expected, pattern, replacement, 200)) continue;
    ++compared;
    ASSERT_EQ(TLanguages::ReplaceText(text, pattern, replacement), expected)
        << std::string(text.begin(), text.end()) << " | " << std::string(pattern.begin(), pattern.end()) << " | "
        << std::string(replacement.begin(), replacement.end());
  }
  EXPECT_GT(compared, 15000);
}

TEST(ReplaceLangTags, CasesOfTheRule) {
  TLanguages langs =
      LoadedLanguages({u"English\r\n409\r\n"
                       u"1 one\r\n"
                       u"2 <LANG1> and <LANG1>\r\n"
                       u"3 <LANG3> again\r\n"  // holds its own tag
                       u"4 four<LANG5>\r\n"    // 4 and 5 hold each other's tags
                       u"5 five<LANG4>\r\n"
                       u"6 NG1>\r\n"  // completes a tag with the text before it
                       u"7 <LANG\r\n"
                       u"8 2\r\n"
                       u"12 twelve\r\n"});
  struct Case {
    std::u16string text, result;
  } cases[] = {
      {u"<LANG1>", u"one"},
      {u"[<LANG1>|<LANG12>]", u"[one|twelve]"},
      {u"<LANG$C>", u"twelve"},     // "$" makes the number hexadecimal
      {u"<LANG65548>", u"twelve"},  // low 16 bits
      {u"<LANG99>", u"NOT FOUND 99"},
      {u"<lang1> <Lang1>", u"<lang1> <Lang1>"},  // only the upper-case spelling is a tag
      {u"<LANG2>", u"one and one"},              // strings may hold tags
      {u"<LA<LANG6>", u"one"},
      {u"<LANG1", u"<LANG1"},  // no ">": no tag, and the search ends
      {u"<LANG1> <LANG1", u"one <LANG1"},
      {u"<LANG7>1>", u"one"},
      {u"<LANG1<LANG8>>", u"twelve"},  // a replacement completes a tag begun before it
      {u"<LANG<LANG1<LANG8>>", u"<LANGtwelve"},
      {u"<LANGx> <LANG1<LANG8>>", u"<LANGx> twelve"},
      // no number up to the ">": plain text, and the search goes on after it
      {u"<LANGx> <LANG> <LANG1x> <LANG-1>", u"<LANGx> <LANG> <LANG1x> <LANG-1>"},
      {u"<LANGx<LANG1> <LANG$> <LANG1>", u"<LANGxone <LANG$> one"},
      {u"<LANG99999999999>", u"<LANG99999999999>"},
      // tags that would be expanded forever are left in place once
      {u"<LANG3>", u"<LANG3> again"},
      {u"<LANG4>", u"fourfive<LANG4>"},
      {u"<LANG5>|<LANG1>", u"fivefour<LANG5>|one"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(langs.ReplaceLangTags(c.text), c.result) << std::string(c.text.begin(), c.text.end());

  // no language loaded: tags stay, while GetString still answers
  TLanguages none;
  none.Current = 0;
  EXPECT_EQ(none.ReplaceLangTags(u"<LANG13>"), u"<LANG13>");
  EXPECT_EQ(none.GetString(13), u"NOT FOUND 13");
}

TEST(ReplaceLangTags, StringsThatDoubleAtEveryLevelStopAtTheSizeLimit) {
  // Each string holds its successor's tag twice: 2^30 characters in full.
  std::u16string file = u"English\r\n409\r\n";
  auto number = [](int n) {
    std::string digits = std::to_string(n);
    return std::u16string(digits.begin(), digits.end());
  };
  for (int i = 1; i <= 30; ++i) file += number(i) + u" <LANG" + number(i + 1) + u"><LANG" + number(i + 1) + u">\r\n";
  file += u"31 x\r\n";
  TLanguages langs = LoadedLanguages({file});

  std::u16string text = langs.ReplaceLangTags(u"<LANG1>");
  EXPECT_LE(text.size(), std::u16string(u"<LANG2><LANG2>").size() + kMaxTagExpansion) << "string 1, then the limit";
  EXPECT_EQ(text.substr(0, 1000), std::u16string(1000, u'x'));  // expanded in order up to a limit
  EXPECT_NE(text.find(u"<LANG"), std::u16string::npos);

  // A text given longer than the limit keeps every replacement that does not lengthen it.
  std::u16string longer(kMaxTagExpansion + 10, u'-');
  EXPECT_EQ(langs.ReplaceLangTags(longer + u"<LANG31>"), longer + u"x");

  // The limit is on what nesting adds: one string longer than it, such as a
  // licence, is shown whole.
  TLanguages licence = LoadedLanguages({u"English\r\n409\r\n40 " + longer + u"\r\n"});
  EXPECT_EQ(licence.ReplaceLangTags(u"<LANG40>"), longer);
}

TEST(LanguageStrings, PlaceholdersShowTheVariablesCurrentValues) {
  std::string title = "First", space;
  TLanguageStrings table;
  EXPECT_EQ(table.Apply(u"<%SETUPTITLE%>"), u"<%SETUPTITLE%>");  // empty table
  table.Add("<%SETUPTITLE%>", &title);
  table.Add("<%SPACEREQ%>", &space);
  EXPECT_EQ(table.Apply(u"<%setuptitle%> needs <%SPACEREQ%>."), u"First needs .");
  title = "Second";
  space = "1.50 KB";
  EXPECT_EQ(table.Apply(u"<%SetupTitle%> needs <%SPACEREQ%>."), u"Second needs 1.50 KB.");
  // registration order: an earlier value may bring a later placeholder
  title = "<%SPACEREQ%>";
  EXPECT_EQ(table.Apply(u"<%SETUPTITLE%>"), u"1.50 KB");
  // a value holding its own placeholder ends
  title = "x<%SETUPTITLE%>";
  EXPECT_EQ(table.Apply(u"<%SETUPTITLE%>"), u"x<%SETUPTITLE%>");
}
