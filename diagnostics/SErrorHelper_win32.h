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

// The highest address of the calling thread's stack.
uintptr_t ThreadStackTop();

// The exception address (the context's instruction pointer) and up to 16
// return addresses, each less 1. The 32-bit programs follow their frame
// chain; the 64-bit build, whose compiler does not keep one, unwinds by
// the program's unwind tables instead. A walk that reaches memory it
// cannot read, or leaves the stack below `stackTop` (the top of the stack
// of the thread the context is from), stops there; so does one that
// faults, with what it gathered (see EndStackWalkAfterFault).
std::vector<uintptr_t> GetStackTrace(const CONTEXT& context, uintptr_t stackTop = ThreadStackTop());

// For the process's fault handler, first thing on a fault that reads
// memory: when the calling thread is in a walk, the walk ends there and
// GetStackTrace returns what it has; otherwise this returns.
void EndStackWalkAfterFault();

// The context of the routine that called the caller of this one: the
// address right after its call and its frame (and on 64-bit its stack
// pointer), from which GetStackTrace walks on.
void CallersContext(CONTEXT& context);
