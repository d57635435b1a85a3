// How the hook sees raises on Windows. C++ throws reach it through the
// linker: every program that links this library has its calls of
// __cxa_throw bound to __wrap___cxa_throw below (the library's link
// options), which traces the throw and then hands it to the runtime.
// Processor faults of the program's own code reach it through a vectored
// exception handler, which Windows calls before any frame-based handler.
// Once the backstop is installed, such a fault goes from there to the error
// report at once; what else no handler takes ends in the backstop too: the
// process's unhandled exception filter for faults of other code, the
// terminate handler for C++ exceptions.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <exception>
#include <mutex>
#include <string>
#include <typeinfo>

#include "diagnostics/SCrashEnding.h"
#include "diagnostics/SErrorHelper_win32.h"
#include "diagnostics/SErrorLog.h"
#include "diagnostics/uExceptionHook.h"
#include "platform/MessageBox.h"
#include "platform/Program.h"

namespace {

// Set while the hook takes raises. Cleared while a raise is being traced,
// so that a raise inside the hook does not re-enter it (and one in another
// thread in that moment passes untraced).
std::atomic<bool> Armed{false};
PVOID FaultHandler = nullptr;
std::vector<std::string> InstalledParams;

void MessageBoxNoOwner(const std::string& text, const std::string& caption) {
  platform::ShowMessageBox(text, caption, platform::kMbOk);
}

std::atomic<TErrorSystemBox> Box{MessageBoxNoOwner};

// The message of a thrown object that is a std::exception (found the way a
// handler for std::exception would match it); false for anything else.
bool ThrownMessage(void* object, std::type_info* type, std::string& message) {
  if (!object || !type) return false;
  void* adjusted = object;
  if (!typeid(std::exception).__do_catch(type, &adjusted, 1)) return false;
  message = static_cast<const std::exception*>(adjusted)->what();
  return true;
}

// The program's own image: the faults the hook takes lie in it.
uintptr_t ProgramBase = 0;
uintptr_t ProgramSize = 0;

bool InProgram(const void* address) { return reinterpret_cast<uintptr_t>(address) - ProgramBase < ProgramSize; }

// Whether the hook traced the last throw on this thread, so that the
// backstop does not trace the same raise twice.
thread_local bool LastThrowTraced = false;

// One raise: trace it (on the stack below `stackTop`), roll the message
// history and, in strict mode when `strictEnds`, end the process with the
// box. Returns whether it was traced; false when the hook is not taking
// raises (not installed, busy on another thread, or quiet on this one).
bool ExceptionHookProc(const CONTEXT& context, const std::string* message, bool strictEnds = true,
                       uintptr_t stackTop = ThreadStackTop()) {
  if (HookQuietOnThisThread() || !Armed.exchange(false)) return false;
  // Armed again on every way out, so that no failure in here leaves the
  // hook off for the rest of the run.
  struct TReArm {
    ~TReArm() { Armed = true; }
  } rearm;
  TExceptionHook* hook = ExceptionHook.get();
  if (!hook) return false;
  std::string traceError, strictText, strictMessage;
  bool traceFailed = false;
  {
    struct TBusy {
      TBusy() { SetHookBusyOnThisThread(true); }
      ~TBusy() { SetHookBusyOnThisThread(false); }
    } busy;
    std::lock_guard<std::mutex> lock(HookListLock);
    try {
      std::vector<uintptr_t> trace = GetStackTrace(context, stackTop);
      RefreshModuleList();
      hook->BuildStackTrace(trace, ModuleList, ProgramExeMap.get(), GetTickCount());
    } catch (const std::exception& e) {
      traceFailed = true;
      traceError = e.what();
    } catch (...) {
      traceFailed = true;
    }
    try {
      hook->RollErrorHistory(message, GetTickCount());
    } catch (...) {
      // Out of memory for the history: the raise itself matters more.
    }
    if (strictEnds && (StrictErrorSystem || ForceStrictErrorSystem)) {
      strictText = hook->StrictReport();
      strictMessage = hook->LastMessage;
    }
  }
  // The boxes wait for a click: shown without the lock, so that a report
  // on another thread is not held up by them.
  if (traceFailed) Box.load()("Error Getting StackTrace.\r\r" + traceError, "Error System");
  if (!strictText.empty()) {
    Box.load()(strictText, "Error System");
    // The box is strict mode's own; the written report, which every fault
    // of the programs leaves, follows it. No handler runs, but the thread's
    // crash ending does, so that the work under way leaves nothing half done.
    CreateErrorLog(strictMessage, "");
  }
  return true;
}

std::string FaultMessage(const EXCEPTION_RECORD& record) {
  uint64_t words[EXCEPTION_MAXIMUM_PARAMETERS];
  size_t count =
      record.NumberParameters < EXCEPTION_MAXIMUM_PARAMETERS ? record.NumberParameters : EXCEPTION_MAXIMUM_PARAMETERS;
  for (size_t i = 0; i < count; ++i) words[i] = record.ExceptionInformation[i];
  return SystemExceptionMessage(record.ExceptionCode, words, count);
}

// --- the backstop ---

// The code with which the 64-bit runtime raises a C++ throw ('GCC' with a
// flag bit; the bits 0x03000000 tell its kinds apart).
constexpr DWORD kGccThrowMask = 0x20FFFFFF;
constexpr DWORD kGccThrow = 0x20474343;

std::once_flag BackstopOnce;
std::atomic<bool> BackstopInstalled{false};

// Ends the process in the report of a raise nothing took, tracing it first
// when the hook has not.
[[noreturn]] void ReportUnhandled(const CONTEXT& context, const std::string& message, bool traced) {
  if (!traced) ExceptionHookProc(context, &message, false);
  CreateErrorLog(message, "");
}

LONG WINAPI UnhandledBackstop(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  // A C++ throw that no handler takes goes back to the runtime, which then
  // calls std::terminate: its report carries the exception's message.
  if ((record->ExceptionCode & kGccThrowMask) == kGccThrow && !(record->ExceptionFlags & EXCEPTION_NONCONTINUABLE))
    return EXCEPTION_CONTINUE_EXECUTION;
  std::string message = FaultMessage(*record);
  if (message.empty()) {
    char text[32];
    std::snprintf(text, sizeof text, "Exception %08lX", static_cast<unsigned long>(record->ExceptionCode));
    message = text;
  }
  ReportUnhandled(*info->ContextRecord, message, false);
}

[[noreturn]] void TerminateBackstop() {
  std::string message = "Unknown Error";
  bool thrown = false;
  if (std::exception_ptr error = std::current_exception()) {
    thrown = true;
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      message = e.what();
    } catch (...) {
    }
  }
  // An exception nothing caught was traced where it was thrown; a call of
  // std::terminate without one is traced here.
  CONTEXT context;
  CallersContext(context);
  ReportUnhandled(context, message, thrown && LastThrowTraced);
}

// --- stack overflow ---

// A thread whose stack has overflowed has a few kilobytes left for its
// handler: too few to trace, write a report and run the thread's crash
// ending (Wine faults again inside such a handler and ends the thread, and
// the wizard then waits for it for ever). So the handler only hands the
// fault to a thread of the backstop's own, which has a whole stack, and
// waits there until that thread has ended the process.
struct TOverflow {
  EXCEPTION_RECORD Record;
  CONTEXT Context;
  uintptr_t StackTop;    // of the thread that overflowed
  TCrashEnding* Ending;  // that thread's, or none
  bool HookBusy;         // it overflowed inside the hook, which holds the lists
};
TOverflow Overflow;
std::atomic<HANDLE> OverflowSignal{nullptr};
std::atomic<bool> OverflowTaken{false};

DWORD WINAPI ReportOverflow(void* signal) {
  // The signal comes as the argument: the thread may start before the
  // creator has published it.
  if (WaitForSingleObject(signal, INFINITE) != WAIT_OBJECT_0) return 0;
  std::string message = FaultMessage(Overflow.Record);
  if (!Overflow.HookBusy) ExceptionHookProc(Overflow.Context, &message, false, Overflow.StackTop);
  CreateErrorLogWith(ErrorLogSystem(), Overflow.HookBusy ? nullptr : ExceptionHook.get(), message, "", Overflow.Ending);
}

// Kept out of line and small: it runs on what is left of the stack.
[[noreturn]] __attribute__((noinline)) void HandOverOverflow(const EXCEPTION_POINTERS* info) {
  // The first overflow is the one reported; a thread that overflows
  // meanwhile waits here too for the end.
  if (!OverflowTaken.exchange(true)) {
    Overflow.Record = *info->ExceptionRecord;
    Overflow.Context = *info->ContextRecord;
    Overflow.StackTop = ThreadStackTop();
    Overflow.Ending = TCrashEnding::Current();
    Overflow.HookBusy = HookBusyOnThisThread();
    SetEvent(OverflowSignal.load());
  }
  for (;;) Sleep(INFINITE);
}

// --- the vectored handler ---

// Reports of faults under way on this thread.
thread_local int FaultReports = 0;

__attribute__((noinline)) LONG TakeFault(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  // A fault in another module is that module's own business: system code
  // probes memory and handles its faults itself (IsBadReadPtr). Should no
  // one handle it, the backstop reports it.
  if (!InProgram(record->ExceptionAddress)) return EXCEPTION_CONTINUE_SEARCH;
  std::string message = FaultMessage(*record);
  if (message.empty()) return EXCEPTION_CONTINUE_SEARCH;
  if (!BackstopInstalled) {
    ExceptionHookProc(*info->ContextRecord, &message);
    return EXCEPTION_CONTINUE_SEARCH;
  }
  // No code of the programs handles a processor fault, and the system's own
  // handlers around window and timer procedures would swallow it and run the
  // faulting code again (a window that repaints for ever): the fault goes to
  // the report from here, in strict mode as well. A fault in the crash
  // ending that report runs is reported as the first error; one more means
  // the report itself faults, and trying again would only fault again.
  if (++FaultReports > 2) TerminateProcess(GetCurrentProcess(), kFailureExitCode);
  ReportUnhandled(*info->ContextRecord, message, false);
}

LONG CALLBACK FaultHook(EXCEPTION_POINTERS* info) {
  const DWORD code = info->ExceptionRecord->ExceptionCode;
  // Before anything else, while the frame is still small.
  if (code == EXCEPTION_STACK_OVERFLOW && OverflowSignal.load()) HandOverOverflow(info);
  // A trace of a damaged stack may lead the system's unwinder to read
  // anywhere; unhandled, that fault would start a trace of its own, inside
  // this one, and so on until the stack is gone.
  if (code == EXCEPTION_ACCESS_VIOLATION || code == EXCEPTION_IN_PAGE_ERROR) EndStackWalkAfterFault();
  return TakeFault(info);
}

}  // namespace

extern "C" {

// The runtime's own throw; the destructor argument is passed through as it came.
[[noreturn]] void __real___cxa_throw(void* object, std::type_info* type, void* destructor);

[[noreturn]] void __wrap___cxa_throw(void* object, std::type_info* type, void* destructor) {
  LastThrowTraced = false;
  if (Armed.load()) {
    // The context of the routine that threw.
    CONTEXT context;
    CallersContext(context);
    std::string message;
    bool hasMessage = ThrownMessage(object, type, message);
    LastThrowTraced = ExceptionHookProc(context, hasMessage ? &message : nullptr);
  }
  __real___cxa_throw(object, type, destructor);
}

}  // extern "C"

void InstallExceptionHook(const std::vector<std::string>& params) {
  if (ExceptionHook) return;
  const auto* image = reinterpret_cast<const uint8_t*>(GetModuleHandleA(nullptr));
  const auto* headers =
      reinterpret_cast<const IMAGE_NT_HEADERS*>(image + reinterpret_cast<const IMAGE_DOS_HEADER*>(image)->e_lfanew);
  ProgramBase = reinterpret_cast<uintptr_t>(image);
  ProgramSize = headers->OptionalHeader.SizeOfImage;
  ExceptionHook = std::make_unique<TExceptionHook>();
  FaultHandler = AddVectoredExceptionHandler(1, FaultHook);
  Armed = true;
  CheckForceStrict(params);
  InstalledParams = params;
  ProgramExeMap = std::make_unique<TEXEMap>(platform::ProgramFile(), params);
  ProgramExeMap->LoadBase = ProgramBase;
}

void InstallCrashBackstop() {
  std::call_once(BackstopOnce, [] {
    SetUnhandledExceptionFilter(UnhandledBackstop);
    std::set_terminate(TerminateBackstop);
    // The reporter of a stack overflow waits from the start: a thread with
    // no stack left could not start it.
    if (HANDLE signal = CreateEventA(nullptr, FALSE, FALSE, nullptr)) {
      if (HANDLE reporter = CreateThread(nullptr, 0, ReportOverflow, signal, 0, nullptr)) {
        CloseHandle(reporter);
        OverflowSignal = signal;
      } else {
        CloseHandle(signal);
      }
    }
    BackstopInstalled = true;
  });
}

void UninstallExceptionHook() {
  Armed = false;
  if (FaultHandler) RemoveVectoredExceptionHandler(FaultHandler);
  FaultHandler = nullptr;
  ExceptionHook.reset();
  if (ProgramExeMap && !ProgramExeMap->KeepMap) ProgramExeMap.reset();
}

const std::vector<std::string>& HookParams() { return InstalledParams; }

void SetErrorSystemBox(TErrorSystemBox box) { Box = box ? box : MessageBoxNoOwner; }
