#include "diagnostics/SErrorHelper.h"

std::vector<uintptr_t> WalkFrameChain(uintptr_t address, uintptr_t frame, uintptr_t stackTop,
                                      const TStackMemory& memory) {
  std::vector<uintptr_t> trace{address};
  const uintptr_t lower = frame - 1;  // a frame of 0 wraps and ends the walk at once
  uintptr_t f = frame;
  for (int i = 0; i < kMaxStackFrames; ++i) {
    uintptr_t saved = 0, ret = 0;
    if (!(f > lower && f < stackTop)) break;
    if (!memory.ReadWord(f, saved) || saved == f) break;
    if (!memory.ReadWord(f + sizeof(uintptr_t), ret) || !memory.IsCode(ret)) break;
    trace.push_back(ret - 1);
    f = saved;
  }
  return trace;
}
