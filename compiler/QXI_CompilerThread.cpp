#include "compiler/QXI_CompilerThread.h"

#include <chrono>
#include <exception>

#include "compiler/TCompiler.h"

TCompilerThread::TCompilerThread(TCompiler& compiler, TErrorBox errorBox)
    : compiler_(compiler), errorBox_(std::move(errorBox)), thread_([this] { Execute(); }) {}

TCompilerThread::~TCompilerThread() {
  RequestStop();
  if (thread_.joinable()) thread_.join();
}

void TCompilerThread::Execute() {
  try {
    while (!StopRequested) {
      if (CompileRequested) DoCompile();
      if (BuildRequested) DoBuild();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  } catch (const std::exception& e) {
    if (errorBox_) errorBox_(e.what(), "Compiler Thread Error");
  }
}

void TCompilerThread::DoCompile() {
  compiler_.ParseLines(Lines);
  CompileRequested = false;
}

void TCompilerThread::DoBuild() {
  compiler_.BuildSetup();
  BuildRequested = false;
}
