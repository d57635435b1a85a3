// How the hook sees raises on Windows. C++ throws reach it through the
// linker: every program that links this library has its calls of
// __cxa_throw bound to __wrap___cxa_throw below (the library's link
// options), which traces the throw and then hands it to the runtime.
// Processor faults reach it through a vectored exception handler, which
// Windows calls before any frame-based handler.
#include <windows.h>

#include <atomic>
#include <cstring>
#include <exception>
#include <string>
#include <typeinfo>

#include "diagnostics/SErrorHelper_win32.h"
#include "diagnostics/uExceptionHook.h"
#include "platform/Program.h"

namespace {

// Set while the hook takes raises. Cleared while a raise is being traced,
// so that a raise inside the hook does not re-enter it (and one in another
// thread in that moment passes untraced).
std::atomic<bool> Armed{false};
PVOID FaultHandler = nullptr;
std::vector<std::string> InstalledParams;

void MessageBoxNoOwner(const std::string& text, const std::string& caption) {
  MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK);
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

// One raise: trace it, roll the message history and, in strict mode, end
// the process with the box. Returns when the raise is to go on.
void ExceptionHookProc(const CONTEXT& context, const std::string* message) {
  if (!Armed.exchange(false)) return;
  if (TExceptionHook* hook = ExceptionHook.get()) {
    try {
      std::vector<uintptr_t> trace = GetStackTrace(context);
      RefreshModuleList();
      hook->BuildStackTrace(trace, ModuleList, ProgramExeMap.get(), GetTickCount());
    } catch (const std::exception& e) {
      Box.load()(std::string("Error Getting StackTrace.\r\r") + e.what(), "Error System");
    } catch (...) {
      Box.load()("Error Getting StackTrace.\r\r", "Error System");
    }
    hook->RollErrorHistory(message, GetTickCount());
    if (StrictErrorSystem || ForceStrictErrorSystem) {
      Box.load()(hook->StrictReport(), "Error System");
      TerminateProcess(GetCurrentProcess(), kFailureExitCode);
    }
  }
  Armed = true;
}

LONG CALLBACK FaultHook(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if (!Armed.load()) return EXCEPTION_CONTINUE_SEARCH;
  uint64_t words[EXCEPTION_MAXIMUM_PARAMETERS];
  size_t count = record->NumberParameters < EXCEPTION_MAXIMUM_PARAMETERS ? record->NumberParameters
                                                                          : EXCEPTION_MAXIMUM_PARAMETERS;
  for (size_t i = 0; i < count; ++i) words[i] = record->ExceptionInformation[i];
  std::string message = SystemExceptionMessage(record->ExceptionCode, words, count);
  if (!message.empty()) ExceptionHookProc(*info->ContextRecord, &message);
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

extern "C" {

// The runtime's own throw; the destructor argument is passed through as it came.
[[noreturn]] void __real___cxa_throw(void* object, std::type_info* type, void* destructor);

[[noreturn]] void __wrap___cxa_throw(void* object, std::type_info* type, void* destructor) {
  if (Armed.load()) {
    // The context of the routine that threw: the address right after its
    // call of the throw and its frame.
    CONTEXT context;
    std::memset(&context, 0, sizeof context);
#if defined(__i386__)
    context.Eip = reinterpret_cast<DWORD>(__builtin_return_address(0));
    context.Ebp = *static_cast<DWORD*>(__builtin_frame_address(0));
#else
    RtlCaptureContext(&context);
    DWORD64 imageBase = 0;
    if (PRUNTIME_FUNCTION self = RtlLookupFunctionEntry(context.Rip, &imageBase, nullptr)) {
      PVOID handlerData = nullptr;
      DWORD64 establisher = 0;
      RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, context.Rip, self, &context, &handlerData, &establisher,
                       nullptr);
    }
#endif
    std::string message;
    bool hasMessage = ThrownMessage(object, type, message);
    ExceptionHookProc(context, hasMessage ? &message : nullptr);
  }
  __real___cxa_throw(object, type, destructor);
}

}  // extern "C"

void InstallExceptionHook(const std::vector<std::string>& params) {
  if (ExceptionHook) return;
  ExceptionHook = std::make_unique<TExceptionHook>();
  FaultHandler = AddVectoredExceptionHandler(1, FaultHook);
  Armed = true;
  CheckForceStrict(params);
  InstalledParams = params;
  ProgramExeMap = std::make_unique<TEXEMap>(platform::ProgramFile(), params);
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
