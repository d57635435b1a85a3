#include "diagnostics/SErrorLog.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "Global/QXI_PakFile.h"
#include "diagnostics/SCrashEnding.h"
#include "diagnostics/uExceptionHook.h"
#include "installer-library/QXI_SetupInfo.h"
#include "platform/Directory.h"
#include "platform/File.h"
#include "platform/MessageBox.h"

namespace {

constexpr size_t kKeyWidth = 22;

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return text;
}

// Adds one value line per list line after the first (a separator line
// always opens the history) and empties the list.
void LogHistory(std::vector<std::string>& out, const std::string& key, std::vector<std::string>& list) {
  if (list.empty()) return;
  out.push_back("");
  for (size_t i = 1; i < list.size(); ++i) out.push_back(LogValue(key, list[i]));
  list.clear();
}

}  // namespace

TErrorLogSubject ErrorLogSubjectOf(const TSetupInfoFile* setupInfo, const TPak* archive) {
  TErrorLogSubject s;
  if (setupInfo) {
    s.SetupName = setupInfo->SetupName;
    s.SetupExeName = setupInfo->SetupExeName;
  }
  if (archive) {
    s.PakID.assign(archive->Magic, std::find(archive->Magic, archive->Magic + 4, '\0'));
    s.PakVersion = archive->Version;
    s.PakCount = archive->EntryCount;
  }
  return s;
}

std::string GetErrorLogFileName(const std::string& tempPath, const std::function<bool(const std::string&)>& exists) {
  std::string folder = tempPath;
  if (folder.size() > 2 && folder.back() != '\\') {
    if (folder.back() == '/')
      folder.back() = '\\';
    else
      folder += '\\';
  }
  for (uint64_t n = 0;; ++n) {
    char number[24];
    std::snprintf(number, sizeof number, "%04llu", static_cast<unsigned long long>(n));
    std::string path = folder + "ErrorLog" + number + ".TXT";
    if (!exists(path)) return path;
  }
}

std::string LogHeader(const std::string& title) { return title + "\r\n" + std::string(title.size(), '-'); }

std::string LogValue(const std::string& key, const std::string& value) {
  std::string line = key;
  if (line.size() < kKeyWidth) line.resize(kKeyWidth, ' ');
  return line + " : " + value;
}

std::string GetSafeParams(const std::vector<std::string>& params) {
  // "/J" is followed by an address the user may not want to pass on.
  std::string text;
  int drop = 0;
  for (const std::string& p : params) {
    std::string upper = Upper(p);
    if (upper == "/J") {
      text += " /j X X.X.X.X";
      drop = 2;
    } else if (drop > 0) {
      --drop;
    } else {
      text += " " + upper;
    }
  }
  return text.empty() ? text : text.substr(1);
}

std::string PhysicalMemoryText(uint64_t totalBytes) {
  uint64_t bytes = std::min<uint64_t>(totalBytes, 0xFFFFFFFFu);
  return std::to_string(bytes / 1024 / 1024 + 1) + "MB";
}

uint32_t CPUSpeedFromCycles(uint64_t cycles) {
  const uint32_t kPerMHz = 500000;  // cycles in 500 ms at 1 MHz
  uint32_t low = static_cast<uint32_t>(cycles);
  uint32_t q = low / kPerMHz, r = low % kPerMHz;
  if (2 * r > kPerMHz || (2 * r == kPerMHz && (q & 1))) ++q;
  return q;
}

std::string ErrorLogText(const TErrorLogFacts& facts, const std::string& errorText, const std::string& errorType,
                         TExceptionHook* hook) {
  std::vector<std::string> lines;
  lines.push_back(LogHeader("General Info"));
  lines.push_back(LogValue("Setup Name", facts.Subject.SetupName));
  lines.push_back(LogValue("Setup EXE Name", facts.Subject.SetupExeName));
  lines.push_back("");
  lines.push_back(LogHeader("Pak Info"));
  lines.push_back(LogValue("ID", facts.Subject.PakID));
  lines.push_back(LogValue("Version", std::to_string(facts.Subject.PakVersion)));
  lines.push_back(LogValue("Count", std::to_string(facts.Subject.PakCount)));
  lines.push_back("");
  lines.push_back(LogValue("ErrorType", errorType.empty() ? "Unknown" : errorType));
  lines.push_back(LogValue("ErrorText", errorText));
  lines.push_back("");
  if (hook) {
    for (const std::string& s : hook->StackTraceList) lines.push_back(LogValue("Stack", s));
    hook->StackTraceList.clear();
    LogHistory(lines, "Past Errors", hook->PastErrorList);
    LogHistory(lines, "Past Stack", hook->PastStackList);
  }
  lines.push_back("");
  lines.push_back(LogValue("Params", GetSafeParams(facts.Params)));
  lines.push_back(LogValue("ParamCount", std::to_string(facts.Params.size())));
  lines.push_back("");
  lines.push_back(LogHeader("Windows Info"));
  lines.push_back(LogValue("Product", GetProductName(facts.RealMajor, facts.RealMinor, facts.OS)));
  lines.push_back(LogValue("Win32MajorVersion", std::to_string(facts.RealMajor)));
  lines.push_back(LogValue("Win32MinorVersion", std::to_string(facts.RealMinor)));
  lines.push_back(LogValue("BuildNumber", std::to_string(facts.OS.BuildNumber())));
  lines.push_back(LogValue("ServicePack", facts.OS.GetServicePack()));
  lines.push_back(LogValue("ServicePackMajor", std::to_string(facts.OS.ServicePackMajor())));
  lines.push_back(LogValue("ServicePackMinor", std::to_string(facts.OS.ServicePackMinor())));
  lines.push_back("");
  lines.push_back(LogValue("Physical Memory", PhysicalMemoryText(facts.PhysicalMemory)));
  lines.push_back(LogValue("CPU Speed", std::to_string(facts.CPUSpeed) + "Mhz"));
  std::string text;
  for (const std::string& l : lines) text += l + "\r\n";
  return text;
}

namespace {

// The error a report is about while the crash ending it runs: a report that
// the ending's own failure brings about on the same thread is of this error.
struct TPendingReport {
  std::string Text, Type;
};
thread_local const TPendingReport* Pending = nullptr;

// One report file at a time in the process; recursive, as a fault while
// one is written reports on the same thread.
std::recursive_mutex ReportFileLock;

}  // namespace

std::string CreateErrorLogFile(const std::string& tempPath, platform::File& file) {
  // Created exclusively, so that a report of another thread or process
  // that took the name between the look and the creation is never
  // overwritten: a name taken, by a file or a folder, counts as existing,
  // and the next is tried. A name that can be neither created nor found
  // stops the search there.
  return GetErrorLogFileName(tempPath, [&file](const std::string& path) {
    return !file.Open(path, platform::OpenMode::CreateNew) &&
           (platform::FileExists(path) || platform::DirectoryExists(path));
  });
}

void CreateErrorLogWith(const TErrorLogSystem& system, TExceptionHook* hook, const std::string& errorText,
                        std::string ErrorType, TCrashEnding* crash) {
  std::string ErrorText = errorText;
  if (Pending) {
    ErrorText = Pending->Text;
    ErrorType = Pending->Type;
  } else if (crash) {
    if (ErrorType.empty()) ErrorType = crash->Stage;
    if (std::function<void()> ending = std::move(crash->Ending)) {
      crash->Ending = nullptr;
      const TPendingReport pending{ErrorText, ErrorType};
      Pending = &pending;
      {
        THookQuietScope quiet;
        try {
          ending();
        } catch (...) {
          // The report is of the error that brought us here.
        }
      }
      Pending = nullptr;
    }
  }
  if (ErrorType.empty()) ErrorType = "Unknown";
  TErrorLogFacts facts;
  if (system.Subject) facts.Subject = system.Subject();
  facts.Params = system.Params();
  facts.OS = system.OSInfo();
  system.RealVersion(facts.RealMajor, facts.RealMinor);
  facts.PhysicalMemory = system.PhysicalMemory();
  facts.CPUSpeed = std::max(system.MeasureCPUSpeed(), system.MeasureCPUSpeed());
  std::string text;
  {
    std::unique_lock<std::mutex> lists(HookListLock, std::defer_lock);
    if (hook) lists.lock();
    text = ErrorLogText(facts, ErrorText, ErrorType, hook);
  }

  std::string path;
  bool written = false;
  {
    std::lock_guard<std::recursive_mutex> one(ReportFileLock);
    platform::File file;
    path = CreateErrorLogFile(system.TempPath(), file);
    written = file.IsOpen() && file.Write(text.data(), text.size());
  }
  std::string head = ErrorType + " Error: " + ErrorText + "\r\r";
  // Telling the user to send a file that is not there would leave the
  // error unreported; say so instead, and there is nothing to open.
  const std::string told = written ? head + "Error Log Created. Please Include \"" + path + "\" with your bug report"
                                   : head + "The error log could not be written to \"" + path + "\".";
  // A box handles the messages of its thread's windows while it waits: on
  // this thread, a window whose painting or timer faulted would fault and
  // report again, and end the process, before the box is read. The box has
  // a thread of its own; this one waits for its answer.
  std::thread([&] { system.ShowBox(told, "Error Report"); }).join();
  // A viewer that nobody looks at would stay open after the run; the box
  // has named the file.
  if (written && platform::PersonWatching()) system.OpenReport(path);
  system.EndProcess();
  std::abort();
}
