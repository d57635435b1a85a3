#include "Setup/SE_SetupThread.h"

#include <atomic>
#include <chrono>
#include <exception>

#include "Setup/SE_Ending.h"
#include "Setup/SE_ErrorReport.h"
#include "installer-library/QXI_CommandList.h"
#include "installer-library/SE_Global.h"
#include "installer-library/SE_Uninstall_List.h"
#include "platform/Process.h"

std::unique_ptr<TSetupThread> SetupThread;

TSetupThread::TSetupThread() : thread_([this] { Execute(); }) {}

TSetupThread::~TSetupThread() {
  Stop();
  WaitFor();
}

void TSetupThread::Stop() { StopRequested = true; }

void TSetupThread::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

void TSetupThread::Execute() {
  try {
    do {
      if (Running) Run();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    } while (!StopRequested);
  } catch (...) {
    ReportUnexpectedError(ExceptionText(std::current_exception()), "Setup Thread");
  }
}

void TSetupThread::Run() {
  {
    platform::ComScope com;  // shell links need COM on this thread
    finishError_ = RunAndFinishInstallation(RunCompiledLines);
  }
  Running = false;
}

void TSetupThread::EndRunOfEndedThread() {
  if (!Running || !platform::ThreadEnded(thread_)) return;
  finishError_ = FinishEndedRun();
  Running = false;
}

void TSetupThread::StopRun() {
  AbortFlag = true;
  while (Running) {
    EndRunOfEndedThread();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void RunCompiledLines() {
  const int64_t last = static_cast<int64_t>(CompLines.Lines.size()) - 1;
  if (last < 0) return;
  do {
    // A jump may have put any value here; below the first line the next
    // line to run is the first, and nothing wraps past the largest index.
    int64_t line = static_cast<int64_t>(CurrentLine) + 1;
    if (line < 0) line = 0;
    if (line > last) {
      CurrentLine = static_cast<int32_t>(last + 1);
      break;
    }
    CurrentLine = static_cast<int32_t>(line);
    const TCompLine& compiled = CompLines.Lines[static_cast<size_t>(line)];
    // Labels (0), placeholders (-1) and ids nobody registered are stepped
    // over.
    if (TCommandClass* command = compiled.Id > 0 ? CommandList.Get(compiled.Id) : nullptr) {
      command->SFXProcess(compiled.Line);
      // What a line of packed files put there is in the saved log before
      // the next line starts.
      if (command->FileKind() != 0) UninstallList.Checkpoint();
    }
  } while (CurrentLine <= last && !AbortFlag);
}
