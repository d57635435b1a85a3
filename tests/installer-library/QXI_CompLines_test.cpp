#include "installer-library/QXI_CompLines.h"

#include <gtest/gtest.h>

#include "installer-library/QXI_CommandList.h"
#include "tests/installer-library/StoredBytes.h"

using namespace stored_bytes;

namespace {

// Ids 1 (run-time) and 2 (header-only).
TCommandList TwoCommands() {
  TCommandList list;
  list.Add(std::make_unique<TCommandClass>("run", 0));
  list.Add(std::make_unique<TCommandClass>("head", 1));
  return list;
}

const Bytes kPlaceholder = Cat({I32(-1), I32(-1), I32(0)});

TCompLine L(int32_t id, std::vector<std::string> params, int32_t line) {
  return TCompLine{id, std::move(params), line};
}

// Stored bytes of a list, as the builder packs them.
Bytes Saved(TCompLines& lines, const TCommandList& commands) {
  Bytes raw;
  EXPECT_TRUE(lines.Store(commands, raw));
  return raw;
}

}  // namespace

TEST(CompLines, EmptyListIsTwoZeroBytes) {
  TCommandList commands = TwoCommands();
  TCompLines lines;
  Bytes raw = Saved(lines, commands);
  EXPECT_EQ(raw, (Bytes{0, 0}));
  TCompLines back;
  back.Lines.push_back(L(1, {"x"}, 0));
  ASSERT_TRUE(back.LoadFromBuffer(raw.data(), raw.size()));
  EXPECT_TRUE(back.Lines.empty());
}

TEST(CompLines, LabelsAndHeaderLinesBecomePlaceholders) {
  TCommandList commands = TwoCommands();
  TCompLines lines;
  lines.Lines = {L(0, {"start"}, 4), L(2, {"My Setup"}, 5), L(1, {"a", "b c"}, 9), L(1, {""}, 12)};
  Bytes raw = Saved(lines, commands);
  Bytes expected = Cat({{4, 0},
                        kPlaceholder,
                        kPlaceholder,
                        I32(1),
                        I32(2),
                        I32(2),
                        Str("a"),
                        Str("b c"),
                        I32(1),
                        I32(3),
                        I32(1),
                        {0, 0}});  // the empty parameter is kept
  EXPECT_EQ(raw, expected);
  // Lines written whole take their own position; placeholders keep theirs.
  EXPECT_EQ(lines.Lines[0].Line, 4);
  EXPECT_EQ(lines.Lines[1].Line, 5);
  EXPECT_EQ(lines.Lines[2].Line, 2);
  EXPECT_EQ(lines.Lines[3].Line, 3);

  TCompLines back;
  ASSERT_TRUE(back.LoadFromBuffer(raw.data(), raw.size()));
  std::vector<TCompLine> loaded = {L(-1, {}, -1), L(-1, {}, -1), L(1, {"a", "b c"}, 2), L(1, {""}, 3)};
  EXPECT_EQ(back.Lines, loaded);
  // A loaded script stores again byte for byte.
  EXPECT_EQ(Saved(back, commands), raw);
}

TEST(CompLines, UnstorableListsAreRefusedUntouched) {
  TCommandList commands = TwoCommands();
  struct Case {
    const char* what;
    std::vector<TCompLine> lines;
  };
  std::vector<TCompLine> tooMany(kMaxCompiledLines + 1, L(0, {"l"}, 0));
  const Case cases[] = {
      {"unregistered id", {L(1, {"a"}, 7), L(3, {"x"}, 8)}},
      {"negative id", {L(1, {"a"}, 7), L(-2, {}, 8)}},
      {"parameter over 65535 bytes", {L(1, {"a"}, 7), L(1, {std::string(65536, 'p')}, 8)}},
      {"more than 65535 lines", tooMany},
  };
  for (const Case& c : cases) {
    TCompLines lines;
    lines.Lines = c.lines;
    Bytes raw;
    EXPECT_FALSE(lines.Store(commands, raw)) << c.what;
    EXPECT_EQ(lines.Lines, c.lines) << c.what;  // no Line rewritten
  }
  // Exactly 65535 lines and a 65535-byte parameter still fit.
  TCompLines most;
  most.Lines.assign(kMaxCompiledLines, L(0, {"l"}, 0));
  most.Lines.back() = L(1, {std::string(65535, 'p')}, 3);
  Bytes raw = Saved(most, commands);
  TCompLines back;
  ASSERT_TRUE(back.LoadFromBuffer(raw.data(), raw.size()));
  ASSERT_EQ(back.Lines.size(), kMaxCompiledLines);
  EXPECT_EQ(back.Lines.back().Params[0].size(), 65535u);
  EXPECT_EQ(back.Lines.back().Line, 65534);
}

TEST(CompLines, DamagedBlocksAreRejectedWithoutOverread) {
  const Bytes good = Cat({{3, 0}, kPlaceholder, I32(7), I32(1), I32(2), Str("ab"), Str(""), I32(32), I32(2), I32(0)});
  {
    TCompLines ok;
    ASSERT_TRUE(ok.LoadFromBuffer(good.data(), good.size()));
  }
  struct Case {
    const char* what;
    Bytes block;
    std::string reason;  // empty for the cuts: each names where it ends
  };
  std::vector<Case> cases = {
      {"one byte", {3}, "The line count at byte 0 runs past the end of the 1-byte block"},
      {"count beyond the records", Cat({{0xFF, 0xFF}, kPlaceholder}),
       "65535 lines need at least 786420 bytes, but only 12 follow the count"},
      {"trailing byte", Cat({good, {0}}), "1 bytes follow the last line at byte 44"},
      {"huge parameter count", Cat({{1, 0}, I32(1), I32(0), I32(0x7FFFFFFF), Str("a")}),
       "Line 0 has 2147483647 parameters, more than the 3 bytes left can hold"},
      {"negative parameter count", Cat({{1, 0}, I32(1), I32(0), I32(-1)}), "Line 0 has -1 parameters"},
      {"parameter count above the strings", Cat({{1, 0}, I32(1), I32(0), I32(3), Str("a"), Str("b")}),
       "Parameter 2 of Line 0 at byte 20 runs past the end of the 20-byte block"},
      {"string longer than the block", Cat({{1, 0}, I32(1), I32(0), I32(1), {0xFF, 0xFF, 'a'}}),
       "Parameter 0 of Line 0 at byte 14 (a string of 65535 bytes) runs past the end of the 17-byte block"},
      {"line not its own index", Cat({{2, 0}, kPlaceholder, I32(1), I32(0), I32(0)}), "Line 1 is stored as line 0"},
      {"negative line", Cat({{1, 0}, I32(1), I32(-1), I32(0)}), "Line 0 is stored as line -1"},
      {"label id stored", Cat({{1, 0}, I32(0), I32(0), I32(1), Str("x")}), "Line 0 has the id 0, outside 1 to 32"},
      {"id above the commands", Cat({{1, 0}, I32(33), I32(0), I32(0)}), "Line 0 has the id 33, outside 1 to 32"},
      {"id below -1", Cat({{1, 0}, I32(-2), I32(0), I32(0)}), "Line 0 has the id -2, outside 1 to 32"},
      {"placeholder with a line", Cat({{1, 0}, I32(-1), I32(0), I32(0)}),
       "Line 0 is a placeholder with line 0 and 0 parameters, not -1 and 0"},
      {"placeholder with parameters", Cat({{1, 0}, I32(-1), I32(-1), I32(1), Str("x")}),
       "Line 0 is a placeholder with line -1 and 1 parameters, not -1 and 0"},
  };
  for (size_t n = 0; n < good.size(); ++n) cases.push_back({"cut", Bytes(good.begin(), good.begin() + n), ""});

  for (const Case& c : cases) {
    Bytes exact(c.block);  // exactly sized, so ASan sees any over-read
    TCompLines lines;
    lines.Lines = {L(5, {"kept"}, 0)};
    std::string reason;
    EXPECT_FALSE(lines.LoadFromBuffer(exact.data(), exact.size(), reason))
        << c.what << " (" << exact.size() << " bytes)";
    EXPECT_EQ(lines.Lines, (std::vector<TCompLine>{L(5, {"kept"}, 0)})) << c.what;
    if (!c.reason.empty())
      EXPECT_EQ(reason, c.reason) << c.what;
    else
      EXPECT_TRUE(reason.find("runs past the end of the " + std::to_string(exact.size()) + "-byte block") !=
                      std::string::npos ||
                  reason.find("lines need at least") != std::string::npos)
          << reason;
  }
}
