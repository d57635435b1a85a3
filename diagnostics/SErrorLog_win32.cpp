#include <windows.h>
#include <intrin.h>
#include <shellapi.h>

#include "diagnostics/SErrorLog.h"
#include "diagnostics/uExceptionHook.h"
#include "installer-library/SE_Global.h"
#include "platform/MessageBox.h"
#include "platform/TempPath.h"

namespace {

uint64_t PhysicalMemory() {
  MEMORYSTATUS status;
  status.dwLength = sizeof status;
  GlobalMemoryStatus(&status);
  return status.dwTotalPhys;
}

// The time-stamp counter's advance over 500 ms at the highest priority.
uint32_t MeasureCPUSpeed() {
  HANDLE process = GetCurrentProcess(), thread = GetCurrentThread();
  DWORD priorityClass = GetPriorityClass(process);
  int priority = GetThreadPriority(thread);
  SetPriorityClass(process, REALTIME_PRIORITY_CLASS);
  SetThreadPriority(thread, THREAD_PRIORITY_TIME_CRITICAL);
  Sleep(10);
  uint64_t start = __rdtsc();
  Sleep(500);
  uint64_t end = __rdtsc();
  SetThreadPriority(thread, priority);
  SetPriorityClass(process, priorityClass);
  return CPUSpeedFromCycles(end - start);
}

TErrorLogSystem WindowsServices() {
  TErrorLogSystem s;
  s.Subject = [] { return ErrorLogSubjectOf(&SetupInfoFile, SetupArchive); };
  s.Params = HookParams;
  s.TempPath = platform::TempPath;
  s.OSInfo = [] { return TOSInfo::Current(); };
  s.RealVersion = GetRealWindowsVersion;
  s.PhysicalMemory = PhysicalMemory;
  s.MeasureCPUSpeed = MeasureCPUSpeed;
  s.ShowBox = [](const std::string& text, const std::string& caption) {
    platform::ShowMessageBox(text, caption, platform::kMbOk);
  };
  s.OpenReport = [](const std::string& path) {
    ShellExecuteA(static_cast<HWND>(ErrorLogSystem().OwnerWindow), nullptr, path.c_str(), nullptr, nullptr,
                  SW_SHOWMAXIMIZED);
  };
  s.EndProcess = [] { FatalExit(kFailureExitCode); };
  return s;
}

}  // namespace

TErrorLogSystem& ErrorLogSystem() {
  static TErrorLogSystem system = WindowsServices();
  return system;
}

void CreateErrorLog(const std::string& ErrorText, const std::string& ErrorType) {
  CreateErrorLogFor(TCrashEnding::Current(), ErrorText, ErrorType);
}

void CreateErrorLogFor(TCrashEnding* crash, const std::string& ErrorText, const std::string& ErrorType) {
  // A fault inside the hook leaves its lists half written.
  CreateErrorLogWith(ErrorLogSystem(), HookBusyOnThisThread() ? nullptr : ExceptionHook.get(), ErrorText, ErrorType,
                     crash);
}
