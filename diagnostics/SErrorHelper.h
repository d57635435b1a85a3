// Stack traces: the code addresses of the routines active when an exception
// was raised, gathered by walking the chain of stack frames. Each frame holds
// the caller's saved frame pointer in its first word and the return address
// in the next.
#pragma once

#include <cstdint>
#include <vector>

// Return addresses gathered after the exception address itself.
constexpr int kMaxStackFrames = 16;

// What the walk may learn of the process's memory.
class TStackMemory {
 public:
  virtual ~TStackMemory() = default;
  // The word at `address`, when memory there is committed and readable.
  virtual bool ReadWord(uintptr_t address, uintptr_t& value) const = 0;
  // True when `address` lies in executable memory.
  virtual bool IsCode(uintptr_t address) const = 0;
};

// The exception address, then up to 16 return addresses (each less 1, so
// that it falls inside its call instruction), following the frame chain up
// from `frame`. The walk goes on while the frame lies at or above the first
// one and below `stackTop` (the thread's stack base), both of its words can
// be read, the saved frame pointer differs from the frame itself and the
// return address points into code; it stops at the first frame that fails.
std::vector<uintptr_t> WalkFrameChain(uintptr_t address, uintptr_t frame, uintptr_t stackTop,
                                      const TStackMemory& memory);
