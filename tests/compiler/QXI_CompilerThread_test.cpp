#include "compiler/QXI_CompilerThread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>

#include "compiler/TCompiler.h"
#include "installer-library/QXI_Commands.h"

namespace {

// Waits up to five seconds for a condition the worker makes true.
template <typename Condition>
bool Eventually(Condition condition) {
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class ThrowingCommand : public TCommandClass {
 public:
  ThrowingCommand() : TCommandClass("boom", 0) {}
  void CompilerProcess(TCompileContext&, int32_t) override { throw std::runtime_error("compile step failed"); }
};

}  // namespace

TEST(CompilerThread, IdlesUntilAskedThenCompilesAndStops) {
  TCommandList commands;
  RegisterCommands(commands);
  TCompiler compiler(&commands);
  {
    TCompilerThread worker(compiler, nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(compiler.CompLines.Lines.empty()) << "an idle worker touches nothing";
    worker.Lines = {"message one", "start:", "message two"};
    worker.CompileRequested = true;
    ASSERT_TRUE(Eventually([&] { return !worker.CompileRequested; }));
    EXPECT_EQ(compiler.CompLines.Lines.size(), 3u);
    EXPECT_EQ(compiler.Error.Text, "");
  }  // freeing it stops it and waits for it
}

TEST(CompilerThread, AnExceptionEndsTheThreadWithABox) {
  TCommandList commands;
  commands.Add(std::make_unique<ThrowingCommand>());
  TCompiler compiler(&commands);
  std::string box;
  std::atomic<bool> shown{false};
  TCompilerThread worker(compiler, [&](const std::string& text, const std::string& caption) {
    box = caption + ": " + text;
    shown = true;
  });
  worker.Lines = {"boom"};
  worker.CompileRequested = true;
  ASSERT_TRUE(Eventually([&] { return shown.load(); }));
  EXPECT_EQ(box, "Compiler Thread Error: compile step failed");
  EXPECT_TRUE(worker.CompileRequested) << "the request was not carried out";
}
