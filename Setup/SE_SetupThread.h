// The installer's one worker thread. It idles until the patching page
// raises its running flag, then runs the compiled script line by line
// through the commands' run steps and finishes the installation: the
// install folder, and with an uninstaller the uninstall log and the
// uninstaller itself (SE_Ending.h). It talks to the window only through
// the status hand-off and its running flag.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

class TSetupThread {
 public:
  // Starts the thread at once; it idles, looking at Running every 1 ms.
  TSetupThread();
  // Stops the thread and waits for it.
  ~TSetupThread();
  TSetupThread(const TSetupThread&) = delete;
  TSetupThread& operator=(const TSetupThread&) = delete;

  // Asks the thread to end; a run under way is finished first.
  void Stop();
  // Waits until the thread has ended (after Stop).
  void WaitFor();

  std::atomic<bool> StopRequested{false};
  // Raised by the window to start one run (after setting CurrentLine to
  // -1); lowered by the thread as the run's very last action.
  std::atomic<bool> Running{false};

  // Why the last run's finishing steps failed; empty when they did not.
  // Written before Running falls, so the window may read it once it has.
  const std::string& FinishError() const { return finishError_; }

  // For the window's wait on Running: a thread that has ended with a run
  // under way (the system ended it after a fault, so nothing lowered the
  // flag) has that run ended here as failed. The finishing steps run on the
  // calling thread, FinishError says what happened, and Running falls.
  void EndRunOfEndedThread();

  // Ends a run under way early, for an error on another thread: the script
  // stops after its current line (AbortFlag), the thread takes the
  // finishing steps, and this returns once the run has ended.
  void StopRun();

 private:
  void Execute();
  void Run();

  std::string finishError_;
  std::thread thread_;
};

// The one instance: created with the wizard window, stopped and freed when
// it closes.
extern std::unique_ptr<TSetupThread> SetupThread;

// The script run: the compiled lines from index CurrentLine + 1 on, each
// line with a registered command id going to that command's run step,
// until the last line is passed or a step sets AbortFlag. After a line
// whose command carries packed data the log is saved where it is kept.
void RunCompiledLines();
