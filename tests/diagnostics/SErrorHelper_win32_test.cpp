#include "diagnostics/SErrorHelper_win32.h"

#include <gtest/gtest.h>

namespace {

__attribute__((noipa)) void CodeMarker() {}

constexpr uintptr_t W = sizeof(uintptr_t);

// A page of each kind of protection, released afterwards.
class Page {
 public:
  explicit Page(DWORD protect) {
    base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, 2 * kSize, MEM_RESERVE, PAGE_NOACCESS));
    VirtualAlloc(base_, kSize, MEM_COMMIT, protect);
  }
  ~Page() { VirtualFree(base_, 0, MEM_RELEASE); }
  uintptr_t At(size_t offset) const { return reinterpret_cast<uintptr_t>(base_) + offset; }
  static constexpr size_t kSize = 4096;

 private:
  uint8_t* base_;
};

std::vector<uintptr_t> InnerTrace;
uintptr_t InnerStart, MiddleStart, OuterStart;

__attribute__((noipa)) void Inner() {
  CONTEXT context;
  RtlCaptureContext(&context);
  InnerTrace = GetStackTrace(context);
}
__attribute__((noipa)) void Middle() {
  Inner();
  CodeMarker();
}
__attribute__((noipa)) void Outer() {
  Middle();
  CodeMarker();
}

// The routine whose code holds the address: the nearest start below it.
int RoutineOf(uintptr_t a) {
  uintptr_t starts[] = {InnerStart, MiddleStart, OuterStart};
  int best = -1;
  for (int i = 0; i < 3; ++i)
    if (starts[i] <= a && (best < 0 || starts[i] > starts[best])) best = i;
  return best;
}

}  // namespace

TEST(ProcessMemory, ReadsOnlyCommittedReadableWords) {
  TProcessMemory memory;
  uintptr_t local = 0x1234, value = 0;
  ASSERT_TRUE(memory.ReadWord(reinterpret_cast<uintptr_t>(&local), value));
  EXPECT_EQ(value, 0x1234u);
  EXPECT_FALSE(memory.ReadWord(0, value));
  Page readable(PAGE_READWRITE), none(PAGE_NOACCESS), guard(PAGE_READWRITE | PAGE_GUARD);
  EXPECT_TRUE(memory.ReadWord(readable.At(Page::kSize - W), value));
  EXPECT_FALSE(memory.ReadWord(readable.At(Page::kSize - W + 1), value)) << "a word reaching into reserved memory";
  EXPECT_FALSE(memory.ReadWord(readable.At(Page::kSize), value));
  EXPECT_FALSE(memory.ReadWord(none.At(0), value));
  EXPECT_FALSE(memory.ReadWord(guard.At(0), value));
  EXPECT_FALSE(memory.ReadWord(UINTPTR_MAX - 2, value));
}

TEST(ProcessMemory, CodeIsWhereExecutableMemoryIs) {
  TProcessMemory memory;
  uintptr_t local = 0;
  EXPECT_TRUE(memory.IsCode(reinterpret_cast<uintptr_t>(&CodeMarker)));
  EXPECT_FALSE(memory.IsCode(reinterpret_cast<uintptr_t>(&local)));
  EXPECT_FALSE(memory.IsCode(0));
  Page executable(PAGE_EXECUTE_READ);
  EXPECT_TRUE(memory.IsCode(executable.At(16)));
}

TEST(ProcessMemory, AFrameChainOnTheRealStack) {
  // Frames laid out by hand in this routine's stack, returning into real
  // code: the walk with the real memory checks follows them.
  uintptr_t frames[8] = {};
  const uintptr_t code = reinterpret_cast<uintptr_t>(&CodeMarker) + 1;
  auto at = [&](int i) { return reinterpret_cast<uintptr_t>(&frames[i]); };
  frames[0] = at(2), frames[1] = code;
  frames[2] = at(4), frames[3] = code + 1;
  frames[4] = at(6), frames[5] = 0x10;  // returns into no code: the walk stops here
  TProcessMemory memory;
  uintptr_t top = at(8) + 4096;  // anything above the frames
  EXPECT_EQ(WalkFrameChain(0x401000, at(0), top, memory), (std::vector<uintptr_t>{0x401000, code - 1, code}));
}

TEST(StackTrace, NamesEachActiveRoutine) {
  InnerStart = reinterpret_cast<uintptr_t>(&Inner);
  MiddleStart = reinterpret_cast<uintptr_t>(&Middle);
  OuterStart = reinterpret_cast<uintptr_t>(&Outer);
  Outer();
  ASSERT_GE(InnerTrace.size(), 4u);
  EXPECT_LE(InnerTrace.size(), 17u);
  EXPECT_EQ(RoutineOf(InnerTrace[0]), 0) << "the capture point";
  EXPECT_EQ(RoutineOf(InnerTrace[1]), 1) << "the call in Middle";
  EXPECT_EQ(RoutineOf(InnerTrace[2]), 2) << "the call in Outer";
}
