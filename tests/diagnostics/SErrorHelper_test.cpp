#include "diagnostics/SErrorHelper.h"

#include <gtest/gtest.h>

#include <map>
#include <utility>

namespace {

constexpr uintptr_t W = sizeof(uintptr_t);

// A made-up stack: words at addresses, and one range of code.
class TFakeMemory : public TStackMemory {
 public:
  std::map<uintptr_t, uintptr_t> words;
  uintptr_t codeStart = 0x401000, codeEnd = 0x402000;

  bool ReadWord(uintptr_t address, uintptr_t& value) const override {
    auto it = words.find(address);
    if (it == words.end()) return false;
    value = it->second;
    return true;
  }
  bool IsCode(uintptr_t address) const override { return address >= codeStart && address < codeEnd; }

  // A frame at `at` whose caller's frame is `saved` and return address `ret`.
  void Frame(uintptr_t at, uintptr_t saved, uintptr_t ret) {
    words[at] = saved;
    words[at + W] = ret;
  }
};

constexpr uintptr_t kTop = 0x130000;

}  // namespace

TEST(SErrorHelper, FollowsTheChainUntilItLeavesTheStack) {
  TFakeMemory m;
  m.Frame(0x12F000, 0x12F100, 0x401100);
  m.Frame(0x12F100, 0x12F200, 0x401200);
  m.Frame(0x12F200, 0, 0x401300);  // the outermost frame: no caller's frame
  EXPECT_EQ(WalkFrameChain(0x401050, 0x12F000, kTop, m),
            (std::vector<uintptr_t>{0x401050, 0x4010FF, 0x4011FF, 0x4012FF}));
}

TEST(SErrorHelper, WhereTheWalkStops) {
  struct Case {
    const char* what;
    std::vector<std::pair<uintptr_t, std::pair<uintptr_t, uintptr_t>>> frames;  // at: saved, ret
    uintptr_t frame;
    size_t expected;  // addresses gathered
  } cases[] = {
      {"no frame at all", {}, 0, 1},
      {"a frame at the stack base", {{kTop, {kTop + 0x100, 0x401100}}}, kTop, 1},
      {"a frame above the stack", {{kTop + 8, {0, 0x401100}}}, kTop + 8, 1},
      {"a caller's frame below the first one",
       {{0x12F000, {0x12E000, 0x401100}}, {0x12E000, {0x12F100, 0x401200}}},
       0x12F000,
       2},
      {"a frame that names itself", {{0x12F000, {0x12F000, 0x401100}}}, 0x12F000, 1},
      {"a return address outside code", {{0x12F000, {0x12F100, 0x500000}}}, 0x12F000, 1},
      {"an unreadable caller's frame", {{0x12F000, {0x12F800, 0x401100}}}, 0x12F000, 2},
      {"two frames naming each other",
       {{0x12F000, {0x12F100, 0x401100}}, {0x12F100, {0x12F000, 0x401200}}},
       0x12F000,
       1 + kMaxStackFrames},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TFakeMemory m;
    for (const auto& f : c.frames) m.Frame(f.first, f.second.first, f.second.second);
    EXPECT_EQ(WalkFrameChain(0x401050, c.frame, kTop, m).size(), c.expected);
  }
}

TEST(SErrorHelper, AReturnAddressWhoseWordCannotBeReadEndsTheWalk) {
  TFakeMemory m;
  m.words[0x12F000] = 0x12F100;  // saved frame readable, return address not
  EXPECT_EQ(WalkFrameChain(0x401050, 0x12F000, kTop, m).size(), 1u);
}

TEST(SErrorHelper, ALongChainGivesSeventeenAddresses) {
  TFakeMemory m;
  for (uintptr_t i = 0; i < 40; ++i) m.Frame(0x120000 + 0x100 * i, 0x120000 + 0x100 * (i + 1), 0x401001 + i);
  std::vector<uintptr_t> trace = WalkFrameChain(0x401050, 0x120000, kTop, m);
  ASSERT_EQ(trace.size(), 17u);
  EXPECT_EQ(trace[1], 0x401000u) << "each return address less 1";
  EXPECT_EQ(trace[16], 0x40100Fu);
}
