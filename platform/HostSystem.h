// The host stand-ins' view of the machine, which a native test sets up: the
// shell folders and drives a Windows machine would report and what shell
// starts do. Included by *_host.cpp files and host-only tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace platform::host {

// The path the shell reports for a folder id; an empty path removes it.
void SetShellFolder(int folderId, const std::string& path);
// The drives, in the order the system lists them: root and drive type.
void SetDrives(const std::vector<std::pair<std::string, unsigned>>& drives);

// Free bytes of a drive root; a drive without a value cannot be read.
void SetDriveFreeBytes(const std::string& root, int64_t bytes);

// Called before every length change of an open file and before every page
// (4 KiB of the file) a write changes, as a kill may stop a write between
// two pages: a test may end the process there, or raise, to stand for a
// crash. An empty function removes it.
void SetFileChangeHook(std::function<void()> hook);

// Empties the stand-in registry.
void ClearRegistry();

// Starts of ShellProcess.h: each one is recorded and behaves as the outcome
// set last.
struct ShellProcessOutcome {
  bool Starts = true;        // false: the shell fails
  bool KeepsProcess = true;  // false: handed to a running program (no process)
  int ActiveReads = 0;       // exit-code reads that find the process running
};
struct ShellProcessStart {
  std::string File;
  bool HasParameters = false;
  std::string Parameters;
  void* Owner = nullptr;
  int ShowCommand = 0;
};
void SetShellProcessOutcome(const ShellProcessOutcome& outcome);
std::vector<ShellProcessStart> TakeShellProcessStarts();
// Started processes whose handle has not been closed.
size_t OpenShellProcesses();

}  // namespace platform::host
