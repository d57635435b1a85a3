#include "diagnostics/uExceptionHook.h"

#include <cstdlib>

#include "platform/Text.h"

std::atomic<bool> StrictErrorSystem{true};
std::atomic<bool> ForceStrictErrorSystem{false};
std::unique_ptr<TExceptionHook> ExceptionHook;
std::unique_ptr<TEXEMap> ProgramExeMap;
std::mutex HookListLock;

namespace {

// True when more than the history window lies between the two tick counts,
// read as signed 32-bit values so that the counter's wrap-around after 49
// days is a small step, not a huge one.
bool HistoryExpired(uint32_t now, uint32_t last) {
  int64_t d = static_cast<int32_t>(now - last);
  return std::llabs(d) > kHistoryWindowMs;
}

// Adds the text as further lines, each carriage return, line feed or pair
// of both ending one; the text counts as ended by a carriage return.
void AppendLines(std::vector<std::string>& list, const std::string& text) {
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      list.push_back(line);
      line.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line.push_back(c);
    }
  }
  list.push_back(line);
}

}  // namespace

std::string FormatTraceAddress(uint64_t address) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text(2 * sizeof(uintptr_t), '0');
  for (size_t i = text.size(); i-- > 0; address >>= 4) text[i] = kDigits[address & 15];
  return text;
}

void TExceptionHook::BuildStackTrace(const std::vector<uintptr_t>& addresses, const TModuleList& modules,
                                     const TEXEMap* programMap, uint32_t now) {
  if (!PastStackList.empty() && HistoryExpired(now, LastTraceTick)) PastStackList.clear();
  if (!StackTraceList.empty()) {
    LastTraceTick = now;
    PastStackList.push_back(kHistorySeparator);
    PastStackList.insert(PastStackList.end(), StackTraceList.begin(), StackTraceList.end());
  }
  StackTraceList.clear();
  TraceText.clear();
  for (uintptr_t a : addresses) {
    std::string line = FormatTraceAddress(a) + modules.GetModuleInfoForAddress(a);
    if (programMap) line += programMap->GetAddressInfo(a);
    TraceText += StackTraceList.empty() ? line : "\r" + line;
    StackTraceList.push_back(std::move(line));
  }
}

void TExceptionHook::RollErrorHistory(const std::string* message, uint32_t now) {
  if (!PastErrorList.empty() && HistoryExpired(now, LastErrorTick)) PastErrorList.clear();
  if (!LastMessage.empty()) {
    LastErrorTick = now;
    PastErrorList.push_back(kHistorySeparator);
    AppendLines(PastErrorList, LastMessage);
  }
  LastMessage = message ? *message : "Unknown Error";
}

std::string TExceptionHook::StrictReport() const { return LastMessage + "\r\rStack Trace:\r" + TraceText; }

namespace {

thread_local bool HookBusy = false;

}  // namespace

bool HookBusyOnThisThread() { return HookBusy; }
void SetHookBusyOnThisThread(bool busy) { HookBusy = busy; }

void CheckForceStrict(const std::vector<std::string>& params) {
  bool force = false;
  for (const std::string& p : params)
    if (platform::AnsiLowerCase(p) == "forcestricterrorsystem") {
      force = true;
      break;
    }
  ForceStrictErrorSystem = force;
}

// --- processor faults ---

namespace {

struct TSystemException {
  uint32_t Code;
  const char* Message;
};

constexpr uint32_t kAccessViolation = 0xC0000005;

constexpr TSystemException kSystemExceptions[] = {
    {kAccessViolation, "Access violation"},
    {0xC0000006, "In-page error"},
    {0xC000001D, "Illegal instruction"},
    {0xC000008C, "Array bounds exceeded"},
    {0xC000008D, "Floating point denormal operand"},
    {0xC000008E, "Floating point division by zero"},
    {0xC000008F, "Floating point inexact result"},
    {0xC0000090, "Invalid floating point operation"},
    {0xC0000091, "Floating point overflow"},
    {0xC0000092, "Floating point stack check"},
    {0xC0000093, "Floating point underflow"},
    {0xC0000094, "Division by zero"},
    {0xC0000095, "Integer overflow"},
    {0xC0000096, "Privileged instruction"},
    {0xC00000FD, "Stack overflow"},
};

const TSystemException* FindSystemException(uint32_t code) {
  for (const TSystemException& e : kSystemExceptions)
    if (e.Code == code) return &e;
  return nullptr;
}

}  // namespace

std::string SystemExceptionMessage(uint32_t code, const uint64_t* info, size_t infoCount) {
  const TSystemException* e = FindSystemException(code);
  if (!e) return "";
  std::string text = e->Message;
  // An access violation says what was done to which address.
  if (code == kAccessViolation && infoCount >= 2) {
    const char* access = info[0] == 1 ? "Write" : info[0] == 8 ? "Execution" : "Read";
    text += std::string(". ") + access + " of address " + FormatTraceAddress(info[1]);
  }
  return text;
}
