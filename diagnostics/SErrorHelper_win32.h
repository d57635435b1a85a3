// The Windows side of the stack walk: the process's memory as the walk sees
// it, and the trace of a raise from its processor context.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "diagnostics/SErrorHelper.h"

class TProcessMemory : public TStackMemory {
 public:
  bool ReadWord(uintptr_t address, uintptr_t& value) const override;
  bool IsCode(uintptr_t address) const override;
};

// The exception address (the context's instruction pointer) and up to 16
// return addresses, each less 1. The 32-bit programs follow their frame
// chain; the 64-bit build, whose compiler does not keep one, unwinds by
// the program's unwind tables instead. A walk that reaches memory it
// cannot read, or leaves the thread's stack, stops there.
std::vector<uintptr_t> GetStackTrace(const CONTEXT& context);

// The context of the routine that called the caller of this one: the
// address right after its call and its frame (and on 64-bit its stack
// pointer), from which GetStackTrace walks on.
void CallersContext(CONTEXT& context);
