// A program that raises on request, so that the tests can see what the
// exception hook and the error report do in a process of their own (strict
// mode and the report end the process). The hook's boxes and the report's
// box and viewer write to the output file instead of waiting for a click.
//
//   DiagRaiser MODE OUTPUT [more parameters]
//     throw    a C++ throw in strict mode, whose box the report follows
//     fault    a write through a null pointer in strict mode
//     lenient  strict mode off: a throw is caught, the trace is written out
//     report   strict mode off: a caught throw ends in the error report
//     crash    strict mode off: a fault that nothing handles, on a thread
//              whose crash ending writes "[ending]" and then throws
//     thread   strict mode off: a throw on a second thread that nothing
//              catches
//     overflow strict mode off: a stack overflow on a second thread whose
//              crash ending writes "[ending]", as the setup thread's does
//     mainoverflow  the same on the main thread, which has no ending
//     paint, timer, create
//              strict mode off: a fault in a window procedure's WM_PAINT,
//              in a timer procedure, in a window procedure's WM_CREATE
//     badptr   strict mode: a fault that system code raises and handles
//     twice    two threads report at the same moment
// Before raising it writes "call N", the source line of the call that leads
// to the raise, and for a fault "fault N", the line of the faulting write.
// A mode whose fault the system swallows ends after 5 s with "survived".
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "diagnostics/SCrashEnding.h"
#include "diagnostics/SErrorLog.h"
#include "diagnostics/uExceptionHook.h"

namespace {

std::string Output;
int* volatile NullTarget = nullptr;

void Append(const std::string& text) {
  if (FILE* f = std::fopen(Output.c_str(), "ab")) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
}

void Note(const char* what, int line) { Append(std::string(what) + " " + std::to_string(line) + "\n"); }

void RecordBox(const std::string& text, const std::string& caption) {
  Append("[" + caption + "]\n" + text + "\n[end]\n");
}

__attribute__((noipa)) void Raise() { throw std::runtime_error("Raiser failure"); }

// The traces are checked against the lines noted here: a call stays on the
// line that notes it, and the fault on the line kFaultLine names.
// clang-format off
constexpr int kFaultLine = __LINE__ + 2;
__attribute__((noipa)) void Fault(int* p) {
  *p = 1;
}

// A stack that overflows: each call keeps a frame of its own, and the
// recursive call stays on the line kRecurseLine names. The pointer is
// never set; the compiler cannot know that.
constexpr int kRecurseLine = __LINE__ + 3;
__attribute__((noipa)) int Recurse(int depth) {
  volatile char frame[512]; frame[0] = static_cast<char>(depth); if (NullTarget) return 0;
  return Recurse(depth + 1) + frame[0];
}

void DispatchMessagesFor(DWORD ms) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    Sleep(10);
  }
}

// The report's box and viewer write to the output file; the box handles
// its thread's messages for a moment first, as a box does while it waits.
void RouteReport(bool strict = false) {
  StrictErrorSystem = strict;
  InstallCrashBackstop();
  TErrorLogSystem& report = ErrorLogSystem();
  report.ShowBox = [](const std::string& text, const std::string& caption) {
    DispatchMessagesFor(300);
    RecordBox(text, caption);
  };
  report.OpenReport = [](const std::string& path) { Append("[open]\n" + path + "\n[end]\n"); };
  report.Subject = [] {
    TErrorLogSubject s;
    s.SetupName = "Raiser Setup";
    s.SetupExeName = "DiagRaiser.exe";
    return s;
  };
}

__attribute__((noipa)) void RaiseOnThread() {
  Note("call", __LINE__); Raise();
  Append("returned\n");  // keeps the call from becoming a jump
}

UINT FaultingMessage = 0;

LRESULT CALLBACK FaultingWindow(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == FaultingMessage) Fault(NullTarget);
  return DefWindowProcA(window, message, w, l);
}

void CALLBACK FaultingTimer(HWND, UINT, UINT_PTR, DWORD) { Fault(NullTarget); }

// A shown window whose procedure faults on `message`.
void ShowFaultingWindow(UINT message) {
  FaultingMessage = message;
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = FaultingWindow;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "DiagRaiserWindow";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(0, "DiagRaiserWindow", "DiagRaiser", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                nullptr, windowClass.hInstance, nullptr);
  ShowWindow(window, SW_SHOW);
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string mode = argv[1];
  Output = argv[2];
  SetErrorSystemBox(RecordBox);
  InstallExceptionHook(std::vector<std::string>(argv + 1, argv + argc));

  if (mode == "throw") {
    RouteReport(true);
    Note("call", __LINE__); Raise();
  } else if (mode == "fault") {
    RouteReport(true);
    Note("fault", kFaultLine);
    Note("call", __LINE__); Fault(NullTarget);
  } else if (mode == "lenient") {
    RouteReport();
    try {
      Note("call", __LINE__); Raise();
    } catch (const std::exception&) {
      Append("[trace]\n" + Joined(ExceptionHook->StackTraceList) + "[end]\n");
    }
  } else if (mode == "report") {
    RouteReport();
    try {
      Raise();
    } catch (const std::exception& e) {
      CreateErrorLog(e.what(), "Setup Thread");
    }
  } else if (mode == "crash") {
    RouteReport();
    TCrashEnding ending("Raiser Thread", [] {
      Append("[ending]\n");
      Raise();
    });
    Note("fault", kFaultLine);
    Note("call", __LINE__); Fault(NullTarget);
  } else if (mode == "thread") {
    RouteReport();
    std::thread(RaiseOnThread).join();
  } else if (mode == "overflow") {
    RouteReport();
    std::thread([] {
      TCrashEnding ending("Raiser Thread", [] { Append("[ending]\n"); });
      Note("call", kRecurseLine); Recurse(0);
    }).join();
  } else if (mode == "mainoverflow") {
    RouteReport();
    Note("call", kRecurseLine); Recurse(0);
  } else if (mode == "paint" || mode == "timer" || mode == "create") {
    RouteReport();
    Note("fault", kFaultLine);
    if (mode == "timer")
      SetTimer(nullptr, 0, 10, FaultingTimer);
    else
      ShowFaultingWindow(mode == "paint" ? WM_PAINT : WM_CREATE);
    DispatchMessagesFor(5000);
  } else if (mode == "badptr") {
    InstallCrashBackstop();
    Append(IsBadReadPtr(reinterpret_cast<const void*>(16), 4) ? "bad\n" : "readable\n");
  } else if (mode == "twice") {
    RouteReport();
    // The process ends once both reports are written (or after 20 s).
    static std::atomic<int> ended{0};
    ErrorLogSystem().EndProcess = [] {
      ++ended;
      for (int i = 0; i < 2000 && ended < 2; ++i) Sleep(10);
      ExitProcess(kFailureExitCode);
    };
    std::atomic<bool> go{false};
    auto report = [&go](const char* text) {
      while (!go) std::this_thread::yield();
      CreateErrorLog(text, "");
    };
    std::thread first(report, "first"), second(report, "second");
    go = true;
    first.join();
    second.join();
  }
  Append("survived\n");
  UninstallExceptionHook();
  return 0;
}
// clang-format on
