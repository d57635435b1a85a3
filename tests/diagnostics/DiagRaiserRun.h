// Runs DiagRaiser (beside the tests) in a process of its own and gathers what
// it wrote. Included by the Windows-only tests.
#pragma once

#include <windows.h>

#include <string>

#include "tests/support/TempDir.h"

namespace diag_test {

struct TRaiserRun {
  DWORD ExitCode = 0xFFFFFFFF;
  std::string Output;  // what the raiser and its boxes wrote

  bool Has(const std::string& text) const { return Output.find(text) != std::string::npos; }
  // The number the raiser wrote after "what ".
  int Noted(const std::string& what) const {
    size_t at = Output.find(what + " ");
    return at == std::string::npos ? -1 : std::stoi(Output.substr(at + what.size() + 1));
  }
  // The text between "[caption]\n" and "\n[end]".
  std::string Box(const std::string& caption) const {
    size_t start = Output.find("[" + caption + "]\n");
    if (start == std::string::npos) return "";
    start += caption.size() + 3;
    return Output.substr(start, Output.find("\n[end]", start) - start);
  }
};

// Whether `text` holds a trace line's module part, " MODULE+" and the
// offset's eight hexadecimal digits, directly followed by `rest`.
inline bool HasModulePart(const std::string& text, const std::string& module, const std::string& rest) {
  const std::string head = " " + module + "+";
  for (size_t at = text.find(head); at != std::string::npos; at = text.find(head, at + 1)) {
    const size_t digits = at + head.size();
    if (text.size() < digits + 8) break;
    bool hex = true;
    for (size_t i = digits; i < digits + 8; ++i) hex = hex && isxdigit(static_cast<unsigned char>(text[i]));
    if (hex && text.compare(digits + 8, rest.size(), rest) == 0) return true;
  }
  return false;
}

inline std::string FullPath(const std::string& path) {
  char full[MAX_PATH];
  DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
  return std::string(full, n < MAX_PATH ? n : 0);
}

inline TRaiserRun RunRaiser(const std::string& program, const std::string& mode, const std::string& more = "") {
  testing_support::TempDir dir;
  std::string output = FullPath(dir.File("output.txt"));
  std::string command = "\"" + program + "\" " + mode + " \"" + output + "\" " + more;
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  TRaiserRun run;
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return run;
  if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
    GetExitCodeProcess(process.hProcess, &run.ExitCode);
  else
    TerminateProcess(process.hProcess, 99);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  try {
    std::vector<uint8_t> bytes = testing_support::ReadFileBytes(dir.File("output.txt"));
    run.Output.assign(bytes.begin(), bytes.end());
  } catch (const std::exception&) {
  }
  return run;
}

}  // namespace diag_test
