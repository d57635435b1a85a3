#include "diagnostics/SErrorHelper_win32.h"

#include <cstring>

namespace {

constexpr DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                            PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
// Any of the execute protections.
constexpr DWORD kExecutable = 0xF0;

bool ReadableByte(uintptr_t address) {
  MEMORY_BASIC_INFORMATION info;
  return VirtualQuery(reinterpret_cast<LPCVOID>(address), &info, sizeof info) != 0 && info.State == MEM_COMMIT &&
         (info.Protect & kReadable) != 0 && (info.Protect & PAGE_GUARD) == 0;
}

}  // namespace

// StackBase of the thread information block, which fs (32-bit) or gs
// (64-bit) points at.
uintptr_t ThreadStackTop() {
  uintptr_t base;
#if defined(__i386__)
  asm("movl %%fs:0x04, %0" : "=r"(base));
#else
  asm("movq %%gs:0x08, %0" : "=r"(base));
#endif
  return base;
}

bool TProcessMemory::ReadWord(uintptr_t address, uintptr_t& value) const {
  // Both ends, as a word may straddle two regions.
  if (address > UINTPTR_MAX - sizeof value || !ReadableByte(address) || !ReadableByte(address + sizeof value - 1))
    return false;
  std::memcpy(&value, reinterpret_cast<const void*>(address), sizeof value);
  return true;
}

bool TProcessMemory::IsCode(uintptr_t address) const {
  MEMORY_BASIC_INFORMATION info;
  return VirtualQuery(reinterpret_cast<LPCVOID>(address), &info, sizeof info) != 0 && (info.Protect & kExecutable) != 0;
}

namespace {

// Where a walk that faulted goes on: the walk follows whatever the stack
// holds, and the unwinder of the system reads where that points without
// asking. EndStackWalkAfterFault jumps back here.
thread_local void* WalkResume[5];
thread_local bool Walking = false;

// Fills `trace` from the context, which it starts with, for this build.
__attribute__((noinline)) void Walk(const CONTEXT& start, uintptr_t top, std::vector<uintptr_t>& trace);

}  // namespace

std::vector<uintptr_t> GetStackTrace(const CONTEXT& context, uintptr_t stackTop) {
  std::vector<uintptr_t> trace;
  if (__builtin_setjmp(WalkResume) == 0) {
    Walking = true;
    Walk(context, stackTop, trace);
  }
  Walking = false;
  return trace;
}

void EndStackWalkAfterFault() {
  if (!Walking) return;
  Walking = false;
  __builtin_longjmp(WalkResume, 1);
}

#if defined(__i386__)

namespace {

void Walk(const CONTEXT& context, uintptr_t top, std::vector<uintptr_t>& trace) {
  TProcessMemory memory;
  trace = {context.Eip};  // what stands should the walk fault
  trace = WalkFrameChain(context.Eip, context.Ebp, top, memory);
}

}  // namespace

__attribute__((noinline)) void CallersContext(CONTEXT& context) {
  std::memset(&context, 0, sizeof context);
  // Our frame's first word is the caller's frame, whose words are the frame
  // of the routine wanted and the address its call returns to.
  const DWORD* caller = *static_cast<DWORD* const*>(__builtin_frame_address(0));
  context.Ebp = caller[0];
  context.Eip = caller[1];
}

#else

namespace {

// Moves the context to the caller of the routine it is in: by the routine's
// unwind data, or, for a routine without any (a leaf, or a jump to no
// routine at all), by taking the return address at the stack pointer.
bool UnwindOneFrame(CONTEXT& context, const TProcessMemory& memory) {
  DWORD64 imageBase = 0;
  PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(context.Rip, &imageBase, nullptr);
  if (function) {
    PVOID handlerData = nullptr;
    DWORD64 establisher = 0;
    RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, context.Rip, function, &context, &handlerData, &establisher,
                     nullptr);
    return true;
  }
  uintptr_t ret = 0;
  if (!memory.ReadWord(context.Rsp, ret)) return false;
  context.Rip = ret;
  context.Rsp += sizeof ret;
  return true;
}

}  // namespace

__attribute__((noinline)) void CallersContext(CONTEXT& context) {
  std::memset(&context, 0, sizeof context);
  RtlCaptureContext(&context);
  // Out of this routine, then out of its caller.
  TProcessMemory memory;
  UnwindOneFrame(context, memory);
  UnwindOneFrame(context, memory);
}

namespace {

void Walk(const CONTEXT& start, uintptr_t top, std::vector<uintptr_t>& trace) {
  TProcessMemory memory;
  trace.push_back(start.Rip);
  CONTEXT context = start;
  for (int i = 0; i < kMaxStackFrames; ++i) {
    uintptr_t before = context.Rsp;
    if (!(before < top) || !UnwindOneFrame(context, memory)) break;
    // Each step must climb the stack, stay on it and land in code.
    if (!(context.Rsp > before && context.Rsp < top) || !memory.IsCode(context.Rip)) break;
    trace.push_back(context.Rip - 1);
  }
}

}  // namespace

#endif
