#include "diagnostics/uExceptionHook.h"

#include <gtest/gtest.h>

namespace {

const std::string S = kHistorySeparator;

// The digits of an address as a trace line starts with them.
std::string Hex(const std::string& low8) { return std::string(2 * sizeof(uintptr_t) - 8, '0') + low8; }

}  // namespace

TEST(ExceptionHookHistory, MessagesRollWithinTenSeconds) {
  // Each step: a traced exception at a tick with its message (or none).
  struct Step {
    uint32_t tick;
    const char* message;  // nullptr: no exception object
    std::vector<std::string> past;
    const char* last;
  } steps[] = {
      {1000, "first", {}, "first"},                                  // nothing earlier
      {5000, "second", {S, "first"}, "second"},                      // within 10 s
      {16000, "third", {S, "second"}, "third"},                      // 11 s after the last roll: history cleared first
      {26000, nullptr, {S, "second", S, "third"}, "Unknown Error"},  // exactly 10 s: kept
      {26001, "", {S, "second", S, "third", S, "Unknown Error"}, ""},
      {26002, "after empty", {S, "second", S, "third", S, "Unknown Error"}, "after empty"},  // "" not rolled
  };
  TExceptionHook hook;
  for (const Step& s : steps) {
    SCOPED_TRACE(s.tick);
    std::string message = s.message ? s.message : "";
    hook.RollErrorHistory(s.message ? &message : nullptr, s.tick);
    EXPECT_EQ(hook.PastErrorList, s.past);
    EXPECT_EQ(hook.LastMessage, s.last);
  }
}

TEST(ExceptionHookHistory, AMessageOfSeveralLinesBecomesSeveralLines) {
  struct Case {
    const char* message;
    std::vector<std::string> lines;
  } cases[] = {
      {"one", {"one"}},   {"a\r\nb", {"a", "b"}}, {"a\nb\rc", {"a", "b", "c"}},
      {"a\n", {"a", ""}}, {"a\r\n", {"a", ""}},   {"\r\n", {"", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.message)));
    TExceptionHook hook;
    std::string first = c.message, second = "next";
    hook.RollErrorHistory(&first, 0);
    hook.RollErrorHistory(&second, 1);
    std::vector<std::string> expected{S};
    expected.insert(expected.end(), c.lines.begin(), c.lines.end());
    EXPECT_EQ(hook.PastErrorList, expected);
  }
}

TEST(ExceptionHookHistory, TheTickCounterWrappingAroundIsAShortStep) {
  TExceptionHook hook;
  std::string a = "a", b = "b", c = "c";
  hook.RollErrorHistory(&a, 0xFFFFF000u);
  hook.RollErrorHistory(&b, 0xFFFFF100u);
  hook.RollErrorHistory(&c, 0x00000100u);  // 0x1000 ms later
  EXPECT_EQ(hook.PastErrorList, (std::vector<std::string>{S, "a", S, "b"}));
}

TEST(ExceptionHookTrace, LinesNameTheModuleAndBothMaps) {
  TModuleList modules;
  modules.Add("C:\\Prog\\Setup.dll", 0x400000, 0x10000);
  TEXEMap program;
  program.ParseMapText(
      "Detailed map of segments\n0001:00000000 00000100 C=CODE S=.text M=Main ACBP=A9\n"
      "Line numbers for Main(main.pas) segment .text\n 7 0001:00000010\n");
  TExceptionHook hook;
  hook.BuildStackTrace({0x401014, 0x7B001234, 0x401300}, modules, &program, 100);
  std::vector<std::string> lines = {
      Hex("00401014") + " Setup.dll+00001014 Main (7 - 4)",
      Hex("7B001234"),  // in no module and no map line near
      Hex("00401300") + " Setup.dll+00001300",
  };
  EXPECT_EQ(hook.StackTraceList, lines);
  EXPECT_EQ(hook.TraceText, lines[0] + "\r" + lines[1] + "\r" + lines[2]);
  EXPECT_TRUE(hook.PastStackList.empty()) << "no earlier trace";

  TExceptionHook noMap;
  noMap.BuildStackTrace({0x401014}, modules, nullptr, 100);
  EXPECT_EQ(noMap.StackTraceList, (std::vector<std::string>{Hex("00401014") + " Setup.dll+00001014"}));
}

TEST(ExceptionHookTrace, EarlierTracesRollIntoThePastWithinTenSeconds) {
  TModuleList none;
  TExceptionHook hook;
  hook.BuildStackTrace({1, 2}, none, nullptr, 1000);
  hook.BuildStackTrace({3}, none, nullptr, 2000);
  EXPECT_EQ(hook.PastStackList, (std::vector<std::string>{S, Hex("00000001"), Hex("00000002")}));
  EXPECT_EQ(hook.LastTraceTick, 2000u);
  hook.BuildStackTrace({4}, none, nullptr, 2500);
  EXPECT_EQ(hook.PastStackList.size(), 5u);
  hook.BuildStackTrace({5}, none, nullptr, 12501);  // 10.001 s after the last roll
  EXPECT_EQ(hook.PastStackList, (std::vector<std::string>{S, Hex("00000004")}));
  EXPECT_EQ(hook.StackTraceList, (std::vector<std::string>{Hex("00000005")}));
}

TEST(ExceptionHookTrace, StrictBoxText) {
  TModuleList none;
  TExceptionHook hook;
  std::string message = "Bad thing";
  hook.BuildStackTrace({0xAB, 0xCD}, none, nullptr, 0);
  hook.RollErrorHistory(&message, 0);
  EXPECT_EQ(hook.StrictReport(), "Bad thing\r\rStack Trace:\r" + Hex("000000AB") + "\r" + Hex("000000CD"));
}

TEST(ExceptionHook, TraceAddressDigits) {
  EXPECT_EQ(FormatTraceAddress(0), Hex("00000000"));
  EXPECT_EQ(FormatTraceAddress(0x4A3F0C), Hex("004A3F0C"));
  EXPECT_EQ(FormatTraceAddress(0xDEADBEEF), Hex("DEADBEEF"));
}

TEST(ExceptionHook, TheForceStrictSwitch) {
  struct Case {
    std::vector<std::string> params;
    bool force;
  } cases[] = {
      {{}, false},
      {{"forcestricterrorsystem"}, true},
      {{"-id", "C:\\x", "ForceStrictErrorSystem"}, true},
      {{"FORCESTRICTERRORSYSTEM", "-silent"}, true},
      {{"-forcestricterrorsystem"}, false},
      {{"forcestricterrorsystem2"}, false},
      {{"force strict error system"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.params));
    ForceStrictErrorSystem = !c.force;
    CheckForceStrict(c.params);
    EXPECT_EQ(ForceStrictErrorSystem.load(), c.force);
  }
  ForceStrictErrorSystem = false;
}

TEST(ExceptionHook, ProcessorFaultMessages) {
  struct Case {
    uint32_t code;
    std::vector<uint64_t> info;
    std::string message;
  } cases[] = {
      {0xC0000005, {0, 0x10}, "Access violation. Read of address " + Hex("00000010")},
      {0xC0000005, {1, 0}, "Access violation. Write of address " + Hex("00000000")},
      {0xC0000005, {8, 0x401000}, "Access violation. Execution of address " + Hex("00401000")},
      {0xC0000005, {}, "Access violation"},
      {0xC0000094, {}, "Division by zero"},
      {0xC00000FD, {1, 2}, "Stack overflow"},
      {0xC000008E, {}, "Floating point division by zero"},
      // not traced: C++ throws as the 64-bit runtime raises them, debug
      // output, breakpoints, exceptions of other runtimes
      {0x20474343, {}, ""},
      {0x40010006, {}, ""},
      {0x80000003, {}, ""},
      {0xE06D7363, {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(SystemExceptionMessage(c.code, c.info.data(), c.info.size()), c.message);
  }
}
