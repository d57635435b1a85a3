#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "diagnostics/uExceptionHook.h"
#include "tests/diagnostics/DiagRaiserRun.h"

using diag_test::HasModulePart;
using diag_test::RunRaiser;
using diag_test::TRaiserRun;

namespace {

// The hook installed in this test process for one test, strict mode off so
// that throws go on to their handlers.
class HookInstalled : public ::testing::Test {
 protected:
  void SetUp() override {
    StrictErrorSystem = false;
    InstallExceptionHook({"--gtest"});
  }
  void TearDown() override {
    UninstallExceptionHook();
    StrictErrorSystem = true;
  }
};

__attribute__((noipa)) void ThrowRuntimeError(const char* text) { throw std::runtime_error(text); }

// A trace line: the address digits, then the module part.
bool LooksLikeTraceLine(const std::string& line, const std::string& module) {
  const size_t digits = 2 * sizeof(uintptr_t);
  if (line.size() < digits) return false;
  for (size_t i = 0; i < digits; ++i)
    if (!isxdigit(static_cast<unsigned char>(line[i])) || islower(static_cast<unsigned char>(line[i]))) return false;
  return module.empty() ? line.size() == digits || line[digits] == ' '
                        : line.substr(digits, module.size() + 1) == " " + module;
}

}  // namespace

TEST_F(HookInstalled, ACaughtThrowLeavesItsTraceAndMessage) {
  try {
    ThrowRuntimeError("first");
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "first") << "the exception goes on unchanged";
  }
  ASSERT_TRUE(ExceptionHook);
  EXPECT_EQ(ExceptionHook->LastMessage, "first");
  EXPECT_TRUE(ExceptionHook->PastErrorList.empty());
  const std::vector<std::string>& trace = ExceptionHook->StackTraceList;
  ASSERT_GE(trace.size(), 3u) << "the raise address and at least the test body and gtest above it";
  EXPECT_LE(trace.size(), 17u);
  EXPECT_TRUE(LooksLikeTraceLine(trace[0], "test_diagnostics.exe")) << trace[0];
  EXPECT_TRUE(LooksLikeTraceLine(trace[1], "test_diagnostics.exe")) << trace[1];
}

TEST_F(HookInstalled, ThrowsOfEveryKindAreTracedButRethrowsAreNot) {
  try {
    ThrowRuntimeError("one");
  } catch (...) {
  }
  try {
    throw 42;  // not a std::exception
  } catch (int) {
  }
  EXPECT_EQ(ExceptionHook->LastMessage, "Unknown Error");
  EXPECT_EQ(ExceptionHook->PastErrorList, (std::vector<std::string>{kHistorySeparator, "one"}));
  try {
    std::vector<int>().at(3);  // thrown inside the C++ runtime library
  } catch (const std::out_of_range&) {
  }
  EXPECT_NE(ExceptionHook->LastMessage.find("vector"), std::string::npos) << ExceptionHook->LastMessage;
  const std::vector<std::string> pastBefore = ExceptionHook->PastErrorList;
  try {
    try {
      ThrowRuntimeError("two");
    } catch (...) {
      throw;  // the same exception going on, not a new raise
    }
  } catch (...) {
  }
  EXPECT_EQ(ExceptionHook->LastMessage, "two");
  EXPECT_EQ(ExceptionHook->PastErrorList.size(), pastBefore.size() + 2) << "one roll for one raise";
}

TEST_F(HookInstalled, AfterUninstallingThrowsPassUntraced) {
  UninstallExceptionHook();
  EXPECT_FALSE(ExceptionHook);
  EXPECT_THROW(ThrowRuntimeError("untraced"), std::runtime_error);
  InstallExceptionHook({});  // for TearDown
  EXPECT_TRUE(ExceptionHook->StackTraceList.empty());
}

// --- in a process of its own ---

TEST(ExceptionHookProcess, StrictModeEndsAThrowWithTheBoxAndTheMappedTrace) {
  TRaiserRun run = RunRaiser("DiagRaiser.exe", "throw");
  EXPECT_EQ(run.ExitCode, kFailureExitCode) << "ending in the box is a failure";
  EXPECT_FALSE(run.Has("survived")) << "no handler runs";
  std::string box = run.Box("Error System");
  const std::string head = "Raiser failure\r\rStack Trace:\r";
  ASSERT_EQ(box.substr(0, head.size()), head) << run.Output;
  EXPECT_LT(run.Output.find("[Error System]"), run.Output.find("[Error Report]\nUnknown Error: Raiser failure\r\r"))
      << "the written report follows the box\n"
      << run.Output;
  const int call = run.Noted("call");
  ASSERT_GT(call, 0);
  EXPECT_TRUE(HasModulePart(box, "DiagRaiser.exe", " DiagRaiser (" + std::to_string(call) + " - "))
      << "the call that led to the throw, named from the text map\n"
      << box;
}

TEST(ExceptionHookProcess, TheSwitchKeepsStrictModeOnInAnyCase) {
  TRaiserRun run = RunRaiser("DiagRaiser.exe", "lenient", "FoRcEsTrIcTeRrOrSyStEm");
  EXPECT_EQ(run.ExitCode, kFailureExitCode);
  EXPECT_FALSE(run.Has("survived"));
  EXPECT_EQ(run.Box("Error System").substr(0, 14), "Raiser failure");
}

TEST(ExceptionHookProcess, WithoutStrictModeTheThrowReachesItsHandler) {
  TRaiserRun run = RunRaiser("DiagRaiser.exe", "lenient");
  EXPECT_EQ(run.ExitCode, 0u);
  EXPECT_TRUE(run.Has("survived"));
  EXPECT_EQ(run.Box("Error System"), "");
  EXPECT_TRUE(
      HasModulePart(run.Box("trace"), "DiagRaiser.exe", " DiagRaiser (" + std::to_string(run.Noted("call")) + " - "))
      << run.Output;
}

TEST(ExceptionHookProcess, AnEmbeddedMapNamesLinesForTheModuleAndTheProgram) {
  TRaiserRun run = RunRaiser("DiagRaiserEmbedded.exe", "throw");
  EXPECT_EQ(run.ExitCode, kFailureExitCode);
  const std::string part = " DiagRaiser (" + std::to_string(run.Noted("call")) + " - ";
  std::string box = run.Box("Error System");
  ASSERT_TRUE(HasModulePart(box, "DiagRaiserEmbedded.exe", part)) << box;
  size_t at = box.find(part);
  EXPECT_NE(box.find(part, at + part.size()), std::string::npos) << "once from each map\n" << box;
}

TEST(ExceptionHookProcess, AFaultThatSystemCodeHandlesIsLeftToIt) {
  TRaiserRun run = RunRaiser("DiagRaiser.exe", "badptr");
  EXPECT_EQ(run.ExitCode, 0u) << run.Output;
  EXPECT_TRUE(run.Has("bad\nsurvived"));
  EXPECT_EQ(run.Box("Error System"), "");
}
