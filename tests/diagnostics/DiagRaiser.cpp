// A program that raises on request, so that the tests can see what the
// exception hook and the error report do in a process of their own (strict
// mode and the report end the process). The hook's boxes and the report's
// box and viewer write to the output file instead of waiting for a click.
//
//   DiagRaiser MODE OUTPUT [more parameters]
//     throw    a C++ throw in strict mode
//     fault    a write through a null pointer in strict mode
//     lenient  strict mode off: a throw is caught, the trace is written out
//     report   strict mode off: a caught throw ends in the error report
//     crash    strict mode off: a fault that nothing handles, on a thread
//              whose crash ending writes "[ending]" and then throws
//     thread   strict mode off: a throw on a second thread that nothing
//              catches
//     badptr   strict mode: a fault that system code raises and handles
//     twice    two threads report at the same moment
// Before raising it writes "call N", the source line of the call that leads
// to the raise, and for a fault "fault N", the line of the faulting write.
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

// The report's box and viewer write to the output file.
void RouteReport() {
  StrictErrorSystem = false;
  InstallCrashBackstop();
  TErrorLogSystem& report = ErrorLogSystem();
  report.ShowBox = RecordBox;
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
    Note("call", __LINE__); Raise();
  } else if (mode == "fault") {
    Note("fault", kFaultLine);
    Note("call", __LINE__); Fault(NullTarget);
  } else if (mode == "lenient") {
    StrictErrorSystem = false;
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
