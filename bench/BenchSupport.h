// Helpers shared by the benchmark programs (Linux only: /proc).
#pragma once

#include <benchmark/benchmark.h>

#include <fstream>
#include <map>
#include <string>

// A field of /proc/self/status in KiB (VmRSS:, VmHWM:), or -1.
inline long StatusKiB(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::char_traits<char>::length(field)));
  return -1;
}

// Starts a new peak-memory count (VmHWM) from the present use.
inline void ResetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

// The peak memory that `run` adds, in MiB.
template <class Fn>
double PeakMiB(Fn run) {
  ResetPeakMemory();
  long before = StatusKiB("VmRSS:");
  run();
  return (StatusKiB("VmHWM:") - before) / 1024.0;
}

// The console report, keeping each run's real time by function name and by
// its arguments, for the comparisons printed after the table.
class SideBySide : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      seconds[r.run_name.function_name] = r.GetAdjustedRealTime();
      seconds[r.run_name.args] = r.GetAdjustedRealTime();
    }
  }
  std::map<std::string, double> seconds;
};
