// A worker that runs compile and build requests of the compiler off the
// window's thread. The window keeps one idling and replaces it around every
// compile run; it hands it no work, so compiles stay on the window's thread.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

class TCompiler;

class TCompilerThread {
 public:
  // Receives the message of an exception that ended the thread, for a box
  // captioned "Compiler Thread Error".
  using TErrorBox = std::function<void(const std::string& text, const std::string& caption)>;

  // Clears the requests and starts the thread at once.
  TCompilerThread(TCompiler& compiler, TErrorBox errorBox);
  // Stops the thread and waits until it has ended.
  ~TCompilerThread();
  TCompilerThread(const TCompilerThread&) = delete;
  TCompilerThread& operator=(const TCompilerThread&) = delete;

  void RequestStop() { StopRequested = true; }

  // Set Lines before raising CompileRequested; the thread clears a request
  // when it has carried it out.
  std::atomic<bool> StopRequested{false};
  std::atomic<bool> CompileRequested{false};
  std::atomic<bool> BuildRequested{false};
  std::vector<std::string> Lines;

 private:
  void Execute();
  void DoCompile();
  void DoBuild();

  TCompiler& compiler_;
  TErrorBox errorBox_;
  std::thread thread_;
};
