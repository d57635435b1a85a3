// The packer program: command line, the make and information modes and
// their screens.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "packer/SConsoleUtils.h"

class TQXP;

enum TPackerMode { kModeNothing = 0, kModeMake = 1, kModeInfo = 2 };

// Exit codes: a completed run, a failure, and the usage text shown because
// there was no archive to show.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct TPackerOptions {
  std::string ArchivePath;
  std::string SourceDir;
  int Mode = kModeInfo;
  bool WaitForKey = true;
};

// Switches are compared lower-cased; the value after "-filename" or "-make"
// is taken as it is and then examined as a switch in its turn; the last mode
// switch wins.
TPackerOptions ParseCommandLine(const std::vector<std::string>& params);

// A failure's text as the lines printed: "Error: " before the first line,
// an indent before each further one (a reason, or a refused file).
std::vector<std::u16string> ErrorLines(const std::u16string& text);

// A byte count in MiB, rounded to the nearest (halves to even).
int64_t RoundToMiB(int64_t bytes);

class TPacker {
 public:
  explicit TPacker(TConsole& console) : console_(console) {}

  // Runs one mode; the exit code. `version` is appended to the title.
  int RunPacker(const std::vector<std::string>& params, const std::string& version);
  // The failure of the run, empty after a completed one.
  const std::u16string& Error() const { return error_; }
  const std::string& Title() const { return title_; }

 private:
  int MakeArchive();
  int DisplayArchiveInfo();
  void ShowProgress(const TQXP& qxp, int done, int total);
  void ShowUsage();
  void ReportError(const std::u16string& text);
  void PromptAndWait();
  void WaitForKey();

  TConsole& console_;
  TPackerOptions options_;
  std::string title_ = "Vessok v";
  std::u16string error_;
};
