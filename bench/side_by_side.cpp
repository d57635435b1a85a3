// The three waits of the kit side by side with what a user would otherwise
// reach for, in one run on the same bytes: the setup builder and Vessok
// against `pigz -9 -p 8` on a tree of text-like, repetitive and random
// files, the installer's start-up verification and group extraction
// against plain zlib (uncompress + crc32 + writing), and each one's peak
// memory against its bound. Every figure is the best of a few rounds (each
// round measures everything in turn), since a shared machine adds noise
// that only ever slows a run down; pigz with one thread shows the speed-up
// that eight threads could get at the time.
#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchSupport.h"
#include "compiler/TCompiler.h"
#include "installer-library/QXI_PakExtract.h"
#include "packer/SQXP.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr size_t kTreeBytes = 128u << 20;
const int kRuns = std::getenv("BENCH_RUNS") ? std::max(1, std::atoi(std::getenv("BENCH_RUNS"))) : 2;

struct Measure {
  double seconds = 1e30;  // best run
  double peakMiB = 0;     // peak memory added, last run
};

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

// One run of `run` (with `prepare` untimed before it) kept in `best`: the
// shortest time, and the peak memory added of the latest run.
void Time(
    Measure& best, const std::function<void()>& run, const std::function<void()>& prepare = [] {}) {
  prepare();
  ResetPeakMemory();
  long before = StatusKiB("VmRSS:");
  double t = Now();
  run();
  best.seconds = std::min(best.seconds, Now() - t);
  best.peakMiB = (StatusKiB("VmHWM:") - before) / 1024.0;
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five;
  in >> one >> five;
  return one + " (1 min), " + five + " (5 min)";
}

// --- the tree ---------------------------------------------------------------

Bytes TextLike(size_t n, std::mt19937& gen) {
  static const char* words[] = {"texture ", "model ", "quexar ", "level ", "sound ", "the ", "of ", "mod ", "data\n"};
  Bytes b;
  b.reserve(n + 16);
  while (b.size() < n) {
    const char* w = words[gen() % 9];
    b.insert(b.end(), w, w + std::char_traits<char>::length(w));
  }
  b.resize(n);
  return b;
}

Bytes Repetitive(size_t n, std::mt19937& gen) {
  Bytes b;
  b.reserve(n);
  while (b.size() < n) {
    if (gen() % 4 == 0 && b.size() > 256) {
      size_t from = b.size() - 256 + gen() % 128;
      for (int i = 0; i < 64 && b.size() < n; ++i) b.push_back(b[from + i]);
    } else {
      b.push_back(static_cast<uint8_t>(gen() % 16));
    }
  }
  return b;
}

size_t largestFile = 0;

// Files of 64 KiB to 3 MiB in five folders, the kinds taking turns.
void MakeTree(const std::string& root) {
  fs::remove_all(root);
  std::mt19937 gen(2024);
  size_t total = 0;
  for (int i = 0; total < kTreeBytes; ++i) {
    size_t n = std::min<size_t>((64u << 10) + gen() % ((3u << 20) - (64u << 10)), kTreeBytes - total);
    std::string folder = root + "/part" + std::to_string(i % 5);
    fs::create_directories(folder);
    Bytes data;
    std::string name = folder + "/f" + std::to_string(1000 + i);
    switch (i % 3) {
      case 0:
        data = TextLike(n, gen), name += ".txt";
        break;
      case 1:
        data = Repetitive(n, gen), name += ".dat";
        break;
      default:
        data.resize(n);
        for (auto& c : data) c = static_cast<uint8_t>(gen());
        name += ".bin";
    }
    std::ofstream(name, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    total += data.size();
    largestFile = std::max(largestFile, data.size());
  }
}

// --- pigz ---------------------------------------------------------------------

// Runs a program with its output into `out`; false when it did not exit 0.
// The child's peak memory (KiB) goes to maxKiB.
bool Run(std::vector<std::string> args, const std::string& out, long& maxKiB) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  maxKiB = usage.ru_maxrss;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void Pigz(Measure& best, const std::string& tar, const char* threads) {
  long maxKiB = 0;
  bool ok = true;
  Time(best, [&] { ok = Run({"pigz", "-9", "-p", threads, "-c", tar}, tar + ".gz", maxKiB) && ok; });
  if (!ok) std::printf("pigz failed: is it installed (scripts/install-deps)?\n");
  best.peakMiB = maxKiB / 1024.0;
  fs::remove(tar + ".gz");
}

// --- the setup builder ------------------------------------------------------------

struct Builder {
  std::string programDir, tree;

  void Prepare() {
    fs::remove_all(programDir);
    fs::create_directories(programDir + "/base");
    fs::create_directories(programDir + "/compiled");
    fs::create_directories(programDir + "/layout/Install/Plain");
    std::ofstream(programDir + "/base/setup.exe") << "MZ stand-in for the base program";
    std::ofstream(programDir + "/layout/Install/Plain/Pages.txt") << "page1=welcome\r\n";
  }

  // Builds programDir/compiled/bench.exe from the tree (group 1).
  bool Build(int threads) {
    TCompiler compiler;
    compiler.ProgramDir = programDir;
    compiler.SetupInfo.SetupName = "Bench";
    compiler.SetupInfo.SetupExeName = "bench.exe";
    compiler.SetupInfo.Pages = "Install\\Plain";
    compiler.SetupInfo.HasUninstall = 0;
    compiler.Compile({}, "");
    compiler.FileList.AddDir(tree + "\\", 1, "", true, "");
    compiler.BuildThreads = threads;
    std::string last;
    compiler.LogCallback = [&](const std::string& line) { last = line; };
    return compiler.BuildSetup() && last == "Finished";
  }

  std::string Installer() const { return programDir + "/compiled/bench.exe"; }
};

// --- verification and extraction ----------------------------------------------------

struct QuietProgress : TExtractProgress {
  void Status(const std::u16string&) override {}
  void Step() override {}
};

bool ArchiveVerify(const std::string& installer) {
  TPak pak(installer, false, false);
  bool ok = pak.EntryCount > 0;
  for (int i = 0; i < pak.EntryCount; ++i) ok = pak.VerifyEntry(i) && ok;
  return ok;
}

bool ArchiveExtract(const std::string& installer, const std::string& out) {
  TPak pak(installer, false, false);
  std::string error;
  QuietProgress quiet;
  bool ok = true;
  for (uint16_t group = 1; group <= 1; ++group) ok = ExtractGroup(pak, out, group, error, quiet) && ok;
  if (!ok) std::printf("extraction failed: %s\n", error.c_str());
  return ok;
}

// What a program of its own would do with the same stored bytes: read each
// entry, check its CRC-32, inflate it and, when extracting, write it out.
bool PlainZlib(const std::string& installer, const std::vector<TPakFile>& table, const std::string& out) {
  FILE* in = std::fopen(installer.c_str(), "rb");
  if (!in) return false;
  bool ok = true;
  for (const TPakFile& e : table) {
    if (e.OriginalSize == 0) continue;
    size_t stored = e.StoredSize ? e.StoredSize : e.OriginalSize;
    Bytes block(stored);
    std::fseek(in, static_cast<long>(e.Offset), SEEK_SET);
    ok = std::fread(block.data(), 1, stored, in) == stored && ok;
    ok = crc32(0, block.data(), static_cast<uInt>(stored)) == e.Crc && ok;
    Bytes data;
    if (e.StoredSize) {
      data.resize(e.OriginalSize);
      uLongf n = e.OriginalSize;
      ok = uncompress(data.data(), &n, block.data(), stored) == Z_OK && n == e.OriginalSize && ok;
    } else {
      data = std::move(block);
    }
    if (out.empty() || e.Group == 0) continue;
    std::string name = e.Name;
    std::replace(name.begin(), name.end(), '\\', '/');
    fs::path target = fs::path(out) / name;
    fs::create_directories(target.parent_path());
    FILE* f = std::fopen(target.c_str(), "wb");
    ok = f && std::fwrite(data.data(), 1, data.size(), f) == data.size() && ok;
    if (f) ok = std::fclose(f) == 0 && ok;
  }
  std::fclose(in);
  return ok;
}

// --- the summary ------------------------------------------------------------------

double MBps(double seconds) { return kTreeBytes / 1e6 / seconds; }

void Ratio(const char* what, double ratio, double target, const char* targetText) {
  std::printf("  %-44s %6.2fx   target: %-16s %s\n", what, ratio, targetText, ratio >= target ? "met" : "NOT MET");
}

void Overhead(const char* what, double archive, double plain) {
  double extra = 100.0 * (archive / plain - 1);
  std::printf("  %-44s %+6.1f%%   target: at most +10%%   %s\n", what, extra, extra <= 10.0 ? "met" : "NOT MET");
}

void Memory(const char* what, double peak, double bound, const char* boundText) {
  std::printf("  %-30s %7.1f MiB   bound: %s = %.1f MiB   %s\n", what, peak, boundText, bound,
              peak <= bound ? "met" : "NOT MET");
}

}  // namespace

int main() {
  // Large blocks come straight from the system and go back to it when
  // freed, so each run's peak memory is its own.
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);
  const std::string root = fs::absolute("side-by-side").string();
  const std::string tree = root + "/tree", tar = root + "/tree.tar";
  fs::create_directories(root);
  std::printf("Making a %zu MiB tree of text-like, repetitive and random files...\n", kTreeBytes >> 20);
  MakeTree(tree);
  long ignored;
  if (!Run({"tar", "-cf", tar, "-C", root, "tree"}, "/dev/null", ignored)) std::printf("tar failed\n");
  std::string loadBefore = LoadAverage();
  double largestMiB = largestFile / double(1 << 20);
  bool ok = true;

  Builder builder{root + "/torvane", tree};
  const std::string qxp = root + "/bench.qxp";
  std::vector<TQXP::TWorkerTimes> workerTimes;
  int64_t runMicros = 0;
  auto pack = [&](int workers) {
    TQXP q;
    q.WorkerCount = workers;
    try {
      q.Make(qxp, tree);
    } catch (const EQXPError& e) {
      std::printf("Vessok failed: %s\n", e.what());
      ok = false;
    }
    workerTimes = q.WorkerTimes;
    runMicros = q.RunMicros;
  };
  const std::string out = root + "/out", plainOut = root + "/plain-out";
  // The installer's own form of the folder (a drive path, as Setup sees it).
  std::string outAsSetup = "Z:" + out;
  std::replace(outAsSetup.begin(), outAsSetup.end(), '/', '\\');
  auto clean = [&] { fs::remove_all(out), fs::remove_all(plainOut), fs::create_directories(out); };

  // Round after round of every measure, so that a change of the machine's
  // load falls on all of them alike.
  Measure pigz, pigz1, build1, build8, pack1, pack8, verify, plainVerify, extract, plainExtract;
  for (int round = 1; round <= kRuns; ++round) {
    std::printf(
        "Round %d of %d: pigz -9 -p 8 and -p 1 over the tree's tar, the setup builder with 1 thread and 8, "
        "Vessok with 1 worker and 8, verification and extraction...\n",
        round, kRuns);
    std::fflush(stdout);
    Pigz(pigz, tar, "8");
    Pigz(pigz1, tar, "1");
    Time(
        build1, [&] { ok = builder.Build(1) && ok; }, [&] { builder.Prepare(); });
    Time(
        build8, [&] { ok = builder.Build(8) && ok; }, [&] { builder.Prepare(); });
    Time(pack1, [&] { pack(1); });
    Time(pack8, [&] { pack(8); });
    const std::string installer = builder.Installer();
    std::vector<TPakFile> table = TPak(installer, false, false).Entries;
    Time(verify, [&] { ok = ArchiveVerify(installer) && ok; });
    Time(plainVerify, [&] { ok = PlainZlib(installer, table, "") && ok; });
    Time(
        extract, [&] { ok = ArchiveExtract(installer, outAsSetup) && ok; }, clean);
    Time(
        plainExtract, [&] { ok = PlainZlib(installer, table, plainOut) && ok; }, clean);
  }

  std::printf("\nVessok's workers, 8 of them, last run of %.2f s (coding / waiting for the main thread / idle):\n",
              runMicros / 1e6);
  for (size_t k = 0; k < workerTimes.size(); ++k) {
    const TQXP::TWorkerTimes& w = workerTimes[k];
    double idle = (runMicros - w.CodingMicros - w.WaitingMicros) / 1e6;
    std::printf("  worker %zu: %6.2f s / %6.2f s / %6.2f s\n", k, w.CodingMicros / 1e6, w.WaitingMicros / 1e6,
                std::max(0.0, idle));
  }

  std::printf("\n===== Side by side: %zu MiB, %u cores, best of %d runs =====\n", kTreeBytes >> 20,
              std::thread::hardware_concurrency(), kRuns);
  std::printf("Load average before: %s; after: %s\n", loadBefore.c_str(), LoadAverage().c_str());
  std::printf("pigz -9 -p 8 (tar of the tree)   %7.1f MB/s (-p 1: %.1f MB/s, so %.2fx from 8 threads now)\n",
              MBps(pigz.seconds), MBps(pigz1.seconds), pigz1.seconds / pigz.seconds);
  std::printf("Setup builder 1 thread / 8       %7.1f MB/s / %.1f MB/s\n", MBps(build1.seconds), MBps(build8.seconds));
  std::printf("Vessok 1 worker / 8              %7.1f MB/s / %.1f MB/s\n", MBps(pack1.seconds), MBps(pack8.seconds));
  std::printf("Verification archive / plain     %7.1f MB/s / %.1f MB/s\n", MBps(verify.seconds),
              MBps(plainVerify.seconds));
  std::printf("Extraction archive / plain       %7.1f MB/s / %.1f MB/s\n", MBps(extract.seconds),
              MBps(plainExtract.seconds));
  Ratio("Setup builder, 8 threads over 1", build1.seconds / build8.seconds, 5.0, "at least 5x");
  Ratio("Setup builder, 8 threads over pigz -9 -p 8", pigz.seconds / build8.seconds, 0.9, "at least 0.9x");
  Ratio("Vessok, 8 workers over 1", pack1.seconds / pack8.seconds, 6.5, "at least 6.5x");
  Ratio("Vessok, 8 workers over pigz -9 -p 8", pigz.seconds / pack8.seconds, 1.0, "at least 1x");
  Overhead("Verification over plain crc32 + uncompress", verify.seconds, plainVerify.seconds);
  Overhead("Extraction over plain zlib + writing", extract.seconds, plainExtract.seconds);
  std::printf("Peak memory added (largest file %.1f MiB):\n", largestMiB);
  Memory("setup builder, 8 threads", build8.peakMiB, (8 + 2) * largestMiB, "(8 + 2) x largest");
  Memory("Vessok, 8 workers", pack8.peakMiB, 2 * 8 * largestMiB, "2 x largest x 8");
  Memory("verification", verify.peakMiB, 2 * largestMiB, "2 x largest");
  Memory("extraction", extract.peakMiB, 2 * largestMiB, "2 x largest");
  std::printf("  %-30s %7.1f MiB   (its own process, for reference)\n", "pigz -9 -p 8", pigz.peakMiB);
  std::printf("All runs %s\n", ok ? "completed" : "FAILED");
  fs::remove_all(root);
  return ok ? 0 : 1;
}
