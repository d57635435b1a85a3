// The error report in which every unexpected exception of the installer
// ends: a plain-text file in the temporary folder with the installer's
// identity, the error and its stage, the hook's stack trace and history, the
// command line (one kind of argument masked) and facts about the machine.
// The user is told where it is (in a box, or on standard error when nobody
// watches: platform/MessageBox.h), it is opened in the text viewer when
// someone is there to read it, and the process ends with exit code 1.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "diagnostics/SCrashEnding.h"
#include "diagnostics/UOSInfo.h"
#include "platform/File.h"

class TExceptionHook;
class TPak;
class TSetupInfoFile;

// The installer the report is about.
struct TErrorLogSubject {
  std::string SetupName;
  std::string SetupExeName;
  std::string PakID;  // the archive trailer's four magic characters
  uint32_t PakVersion = 0;
  uint32_t PakCount = 0;
};

// The subject from the loaded setup information and installer archive;
// either may be missing (not loaded yet), and its values are then empty or 0.
TErrorLogSubject ErrorLogSubjectOf(const TSetupInfoFile* setupInfo, const TPak* archive);

// What the report needs of the program and the machine: by default the
// installer's globals and the Windows services, which a test replaces. The
// program sets OwnerWindow once its window exists.
struct TErrorLogSystem {
  std::function<TErrorLogSubject()> Subject;         // none: empty values
  void* OwnerWindow = nullptr;                       // owner of the opened report
  std::function<std::vector<std::string>()> Params;  // the program's parameters
  std::function<std::string()> TempPath;
  std::function<TOSInfo()> OSInfo;
  std::function<void(uint32_t& major, uint32_t& minor)> RealVersion;
  std::function<uint64_t()> PhysicalMemory;   // total physical bytes
  std::function<uint32_t()> MeasureCPUSpeed;  // MHz, one measurement
  std::function<void(const std::string& text, const std::string& caption)> ShowBox;
  std::function<void(const std::string& path)> OpenReport;
  std::function<void()> EndProcess;  // must not return
};

// The process's report services: the installer's setup information and
// archive (SetupInfoFile, SetupArchive), the parameters the exception hook
// was installed with and the Windows services. Windows only.
TErrorLogSystem& ErrorLogSystem();

// Writes the report, tells the user, opens it (unless nobody watches) and
// ends the process, through ErrorLogSystem() and the hook's lists.
// `ErrorType` names the stage ("Setup Thread", "Verification Stage"; empty:
// the stage of the thread's crash ending, else "Unknown"). Windows only.
[[noreturn]] void CreateErrorLog(const std::string& ErrorText, const std::string& ErrorType);
// The same for the error of another thread, one that cannot make the report
// itself (its stack overflowed): `crash` is that thread's crash ending, or
// none; it runs on the calling thread. Windows only.
[[noreturn]] void CreateErrorLogFor(TCrashEnding* crash, const std::string& ErrorText, const std::string& ErrorType);
// The same with the given services and hook state (none after the hook's
// uninstallation: no trace sections). The hook's lists are cleared. The
// crash ending (SCrashEnding.h; by default the calling thread's) runs first.
[[noreturn]] void CreateErrorLogWith(const TErrorLogSystem& system, TExceptionHook* hook, const std::string& ErrorText,
                                     std::string ErrorType, TCrashEnding* crash = TCrashEnding::Current());

// --- the parts of the report ---

// "ErrorLog" + a number of at least four digits + ".TXT" in the temporary
// folder: the first number, from 0, whose name `exists` denies.
std::string GetErrorLogFileName(const std::string& tempPath, const std::function<bool(const std::string&)>& exists);
// Creates the first free report file of the temporary folder as a new file,
// open in `file`, and returns its path: a name that is taken by anything (a
// file, a folder) is passed over. `file` stays closed when the folder takes
// no file (the path is then the one that failed).
std::string CreateErrorLogFile(const std::string& tempPath, platform::File& file);
// A section title followed by a line of '-' as long as it.
std::string LogHeader(const std::string& title);
// The key padded with blanks to 22 characters, " : " and the value.
std::string LogValue(const std::string& key, const std::string& value);
// The parameters upper-cased and joined by blanks, with "/J" and the two
// parameters after it shown as "/j X X.X.X.X".
std::string GetSafeParams(const std::vector<std::string>& params);
// "<MB>MB": total physical memory as a 32-bit count (larger amounts count
// as the largest), in whole MiB, plus 1.
std::string PhysicalMemoryText(uint64_t totalBytes);
// MHz from the time-stamp counter's advance over 500 ms: the low 32 bits of
// the advance / 500,000, rounded to the nearest, halves to even.
uint32_t CPUSpeedFromCycles(uint64_t cycles);

// Everything the report states besides the error and the hook's lists.
struct TErrorLogFacts {
  TErrorLogSubject Subject;
  std::vector<std::string> Params;
  TOSInfo OS;
  uint32_t RealMajor = 0;
  uint32_t RealMinor = 0;
  uint64_t PhysicalMemory = 0;
  uint32_t CPUSpeed = 0;
};

// The report's text, lines ended by CR LF; takes and clears the hook's
// trace and history lists.
std::string ErrorLogText(const TErrorLogFacts& facts, const std::string& errorText, const std::string& errorType,
                         TExceptionHook* hook);
