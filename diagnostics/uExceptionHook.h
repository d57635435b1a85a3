// The process-wide exception hook: it sees every raise before any handler
// runs, records a stack trace whose lines name the module and, where an
// address map exists, the unit and source line, keeps a short history of
// earlier traces and messages for the error report, and in strict mode ends
// the process with a message box and the error report instead of letting the
// exception go on.
//
// On Windows two kinds of raise reach it: every C++ throw (a rethrow of the
// exception being handled is not a new raise and passes untraced), and the
// processor faults of the program's own code, which it cannot catch as C++
// exceptions (access violations, division by zero, stack overflow, ...).
// Faults of system code are left to the system, which may handle them; one
// that nothing handles reaches the crash backstop.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "diagnostics/PSAPI.h"
#include "diagnostics/SEXEMap.h"
#include "diagnostics/SHookQuiet.h"

// Earlier entries are dropped from a history when more than this lies
// between the last roll into it and the next one.
constexpr uint32_t kHistoryWindowMs = 10000;
// Introduces each earlier trace or message in a history.
inline const std::string kHistorySeparator(35, '-');

// A process that ends through the hook's strict mode or the error report
// ended in failure, and says so to whoever started it.
constexpr unsigned kFailureExitCode = 1;

// The hook's lists and texts: one set per process while the hook is
// installed (see ExceptionHook).
class TExceptionHook {
 public:
  std::vector<std::string> StackTraceList;  // lines of the most recent trace
  std::string TraceText;                    // the same joined by "\r"
  std::vector<std::string> PastStackList;
  uint32_t LastTraceTick = 0;
  std::vector<std::string> PastErrorList;
  uint32_t LastErrorTick = 0;
  std::string LastMessage;  // of the most recent traced exception

  // Takes the trace of a new raise (the exception address, then return
  // addresses): the previous trace rolls into PastStackList, and each
  // address becomes a line of its hexadecimal digits, its module part and
  // the program map's part for the address as it is. `now` is the tick
  // count in milliseconds.
  void BuildStackTrace(const std::vector<uintptr_t>& addresses, const TModuleList& modules, const TEXEMap* programMap,
                       uint32_t now);
  // Rolls the last message into PastErrorList and takes the new one; no
  // message (an exception object that is not an exception, or none) gives
  // "Unknown Error".
  void RollErrorHistory(const std::string* message, uint32_t now);
  // The text of the strict-mode box.
  std::string StrictReport() const;
};

// An address as a trace line shows it: upper-case hexadecimal digits, as
// many as a pointer holds (eight in the 32-bit programs).
std::string FormatTraceAddress(uint64_t address);

// Strict mode is on at start; Setup's program body switches it off. The
// switch "forcestricterrorsystem" keeps it on whatever the program does.
extern std::atomic<bool> StrictErrorSystem;
extern std::atomic<bool> ForceStrictErrorSystem;
// Sets ForceStrictErrorSystem from the parameters (compared lower-cased).
void CheckForceStrict(const std::vector<std::string>& params);

// The hook's state; exists from installation to uninstallation.
extern std::unique_ptr<TExceptionHook> ExceptionHook;
// Held by the hook while it writes the lists and by the error report while
// it reads and clears them: the two may run on different threads.
extern std::mutex HookListLock;
// The address map of the own program file, loaded at installation.
extern std::unique_ptr<TEXEMap> ProgramExeMap;

// The message recorded for a processor fault that the hook traces (from the
// fault's code and its information words); empty for any other code, which
// the hook lets pass untraced.
std::string SystemExceptionMessage(uint32_t code, const uint64_t* info, size_t infoCount);

// True on a thread while the hook traces one of its raises: the thread
// holds the lists' lock, and a report made for a fault inside the hook
// leaves the half-written lists out.
bool HookBusyOnThisThread();
void SetHookBusyOnThisThread(bool busy);

// --- Windows only ---

// Installs the hook: every raise is traced from now on, the lists are
// created, the switch is read from `params` (the program's command-line
// parameters) and the own program's address map is loaded. Called first
// thing at start-up, before any window exists.
void InstallExceptionHook(const std::vector<std::string>& params);
// Puts the runtime back as it was and frees the lists; the program's map
// survives when its KeepMap flag is set.
void UninstallExceptionHook();
// The last line of defence, installed once at start-up after the hook: a
// processor fault of the program's own code (handled or not: no code of the
// programs handles one), a stack overflow anywhere, any other fault that no
// handler takes, or a C++ exception that nothing catches, on any thread,
// ends in the error report with its stack trace and exit code 1, in strict
// mode as well.
void InstallCrashBackstop();
// The parameters the hook was installed with.
const std::vector<std::string>& HookParams();

// Shows the hook's boxes (strict mode, a failure to build the trace). The
// default is a message box without owner; a test program that must not
// wait for a click puts its own here.
using TErrorSystemBox = void (*)(const std::string& text, const std::string& caption);
void SetErrorSystemBox(TErrorSystemBox box);
