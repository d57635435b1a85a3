// The three waits of the kit side by side with what a user would otherwise
// reach for, in one run on the same bytes: the setup builder and Vessok
// against `pigz -9 -p 8` on three trees (the benchmark's own tree of
// text-like, repetitive and random files, a mod-like tree of thousands of
// small files and two large ones, and one large file alone), the
// installer's start-up verification and group extraction against plain
// zlib (uncompress + crc32 + writing), and each one's peak memory against
// its bound, Vessok's on one 512 MiB file and on a 1.9 GiB one among them.
// Every figure is the best of a few rounds (each round measures everything
// in turn), since a shared machine adds noise that only ever slows a run
// down; pigz with one thread shows the speed-up that eight threads could
// get at the time.
#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Global/ZBlocks.h"
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

// One of the three kinds in turn, by `kind`.
Bytes OfKind(int kind, size_t n, std::mt19937& gen) {
  switch (kind % 3) {
    case 0:
      return TextLike(n, gen);
    case 1:
      return Repetitive(n, gen);
    default: {
      Bytes data(n);
      for (auto& c : data) c = static_cast<uint8_t>(gen());
      return data;
    }
  }
}

const char* const kKindExtension[] = {".txt", ".dat", ".bin"};

void WriteFile(const std::string& name, const Bytes& data) {
  fs::create_directories(fs::path(name).parent_path());
  std::ofstream(name, std::ios::binary)
      .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

// A tree to pack, its tar for pigz, and what was measured on it.
struct Tree {
  explicit Tree(const char* what, std::string root = "") : what(what), root(std::move(root)) {}
  const char* what;
  std::string root, tar;
  size_t bytes = 0, largest = 0;

  void Add(const std::string& relative, const Bytes& data) {
    WriteFile(root + "/" + relative, data);
    bytes += data.size();
    largest = std::max(largest, data.size());
  }
};

// Files of 64 KiB to 3 MiB in five folders, the kinds taking turns.
void MakeBenchTree(Tree& t) {
  std::mt19937 gen(2024);
  for (int i = 0; t.bytes < kTreeBytes; ++i) {
    size_t n = std::min<size_t>((64u << 10) + gen() % ((3u << 20) - (64u << 10)), kTreeBytes - t.bytes);
    std::string name = "part" + std::to_string(i % 5) + "/f" + std::to_string(1000 + i) + kKindExtension[i % 3];
    t.Add(name, OfKind(i, n, gen));
  }
}

// What a mod looks like: 5,000 files of 100 B to 300 KiB (as many of each
// size class, so most are small) in nested folders, and two of 20 MiB.
void MakeModTree(Tree& t) {
  std::mt19937 gen(7);
  std::uniform_real_distribution<double> logSize(std::log(100.0), std::log(300.0 * 1024));
  for (int i = 0; i < 5000; ++i) {
    size_t n = static_cast<size_t>(std::exp(logSize(gen)));
    std::string name = "data" + std::to_string(i % 7) + "/set" + std::to_string(i % 41) + "/m" +
                       std::to_string(10000 + i) + kKindExtension[i % 3];
    t.Add(name, OfKind(i, n, gen));
  }
  for (int i = 0; i < 2; ++i) t.Add("levels/big" + std::to_string(i) + kKindExtension[i], OfKind(i, 20u << 20, gen));
}

// One large file: pieces of the three kinds in turn, as in a game data file.
Bytes LargeFile(size_t size, unsigned seed) {
  std::mt19937 gen(seed);
  Bytes data;
  data.reserve(size);
  for (int i = 0; data.size() < size; ++i) {
    Bytes piece = OfKind(i, std::min<size_t>(3u << 20, size - data.size()), gen);
    data.insert(data.end(), piece.begin(), piece.end());
  }
  return data;
}

void MakeOneFileTree(Tree& t) { t.Add("one/large.dat", LargeFile(64u << 20, 3)); }

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

// --- Vessok -----------------------------------------------------------------------

struct Packer {
  explicit Packer(std::string archive = "") : archive(std::move(archive)) {}
  std::string archive;
  bool ok = true;
  std::vector<TQXP::TWorkerTimes> workerTimes;
  int64_t runMicros = 0;
  std::vector<TQXPEntry> entries;

  void Pack(const std::string& tree, int workers) {
    TQXP q;
    q.WorkerCount = workers;
    try {
      q.Make(archive, tree);
    } catch (const EQXPError& e) {
      std::printf("Vessok failed: %s\n", e.what());
      ok = false;
    }
    workerTimes = q.WorkerTimes;
    runMicros = q.RunMicros;
    entries = q.Entries;
  }
};

// Whether the one blob of an archive of one file of `size` zero bytes
// inflates to it, read through a small window.
bool InflatesToZeros(const std::string& archive, const TQXPEntry& e, uint64_t size) {
  std::ifstream in(archive, std::ios::binary);
  Bytes blob(static_cast<size_t>(e.StoredSize));
  in.seekg(e.Offset);
  in.read(reinterpret_cast<char*>(blob.data()), static_cast<std::streamsize>(blob.size()));
  if (!in || e.Method != kMethodZlib) return false;
  ScrambleBlob(blob.data(), blob.size());
  z_stream z{};
  inflateInit(&z);
  z.next_in = blob.data();
  z.avail_in = static_cast<uInt>(blob.size());
  Bytes window(1 << 20);
  uint64_t total = 0;
  bool zeros = true;
  int rc = Z_OK;
  while (rc == Z_OK) {
    z.next_out = window.data();
    z.avail_out = static_cast<uInt>(window.size());
    rc = inflate(&z, Z_NO_FLUSH);
    size_t n = window.size() - z.avail_out;
    zeros = zeros &&
            std::all_of(window.begin(), window.begin() + static_cast<ptrdiff_t>(n), [](uint8_t c) { return c == 0; });
    total += n;
  }
  inflateEnd(&z);
  return rc == Z_STREAM_END && zeros && total == size;
}

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

double MBps(size_t bytes, double seconds) { return bytes / 1e6 / seconds; }

const char* Verdict(bool met) { return met ? "met" : "NOT MET"; }

void Ratio(const char* what, double ratio, double target, const char* targetText) {
  std::printf("  %-44s %6.2fx   target: %-16s %s\n", what, ratio, targetText, Verdict(ratio >= target));
}

void Overhead(const char* what, double archive, double plain) {
  double extra = 100.0 * (archive / plain - 1);
  std::printf("  %-44s %+6.1f%%   target: at most +10%%   %s\n", what, extra, Verdict(extra <= 10.0));
}

void Memory(const char* what, double peak, double bound, const char* boundText) {
  std::printf("  %-40s %7.1f MiB   bound: %s = %.1f MiB   %s\n", what, peak, boundText, bound, Verdict(peak <= bound));
}

// The blobs Vessok made in blocks for the tree's text-like files, against
// compressing each of those files whole at once (on every core).
double BlockStreamsOverWhole(const std::string& tree, const std::vector<TQXPEntry>& entries) {
  std::vector<const TQXPEntry*> text;
  for (const TQXPEntry& e : entries)
    if (e.Name.size() > 4 && e.Name.compare(e.Name.size() - 4, 4, ".txt") == 0 && UsesZBlocks(e.OriginalSize))
      text.push_back(&e);
  std::vector<size_t> whole(text.size());
  std::atomic<size_t> next{0};
  std::vector<std::thread> threads;
  for (unsigned k = 0; k < std::max(1u, std::thread::hardware_concurrency()); ++k)
    threads.emplace_back([&] {
      for (size_t i; (i = next++) < text.size();) {
        std::string name = text[i]->Name;
        std::replace(name.begin(), name.end(), '\\', '/');
        std::ifstream in(tree + "/" + name, std::ios::binary);
        Bytes data(static_cast<size_t>(text[i]->OriginalSize));
        in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
        whole[i] = ZCompress(data.data(), data.size()).size();
      }
    });
  for (auto& t : threads) t.join();
  double blocked = 0, plain = 0;
  for (size_t i = 0; i < text.size(); ++i) blocked += text[i]->StoredSize, plain += static_cast<double>(whole[i]);
  return plain > 0 ? blocked / plain : 1;
}

}  // namespace

int main() {
  // Large blocks come straight from the system and go back to it when
  // freed, so each run's peak memory is its own.
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);
  const std::string root = fs::absolute("side-by-side").string();
  fs::remove_all(root);
  fs::create_directories(root);
  struct Side {
    Side(const char* what, void (*make)(Tree&)) : tree(what), make(make) {}
    Tree tree;
    void (*make)(Tree&);
    Builder builder;
    Packer packer;
    Measure pigz, build8, pack8;
  };
  Side sides[] = {
      {"the benchmark's tree", MakeBenchTree},
      {"a mod-like tree", MakeModTree},
      {"one 64 MiB file", MakeOneFileTree},
  };
  std::printf("Making the trees: the benchmark's own, a mod-like one and one large file...\n");
  std::fflush(stdout);
  for (size_t k = 0; k < std::size(sides); ++k) {
    Side& side = sides[k];
    std::string name = "tree" + std::to_string(k);
    side.tree.root = root + "/" + name;
    side.tree.tar = root + "/" + name + ".tar";
    side.make(side.tree);
    long ignored;
    if (!Run({"tar", "-cf", side.tree.tar, "-C", root, name}, "/dev/null", ignored)) std::printf("tar failed\n");
    side.builder = Builder{root + "/torvane" + std::to_string(k), side.tree.root};
    side.packer = Packer(root + "/bench" + std::to_string(k) + ".qxp");
  }
  std::string loadBefore = LoadAverage();
  const Tree& benchTree = sides[0].tree;
  double largestMiB = benchTree.largest / double(1 << 20);
  bool ok = true;

  const std::string out = root + "/out", plainOut = root + "/plain-out";
  // The installer's own form of the folder (a drive path, as Setup sees it).
  std::string outAsSetup = "Z:" + out;
  std::replace(outAsSetup.begin(), outAsSetup.end(), '/', '\\');
  auto clean = [&] { fs::remove_all(out), fs::remove_all(plainOut), fs::create_directories(out); };

  // Round after round of every measure, so that a change of the machine's
  // load falls on all of them alike.
  Measure pigz1, build1, pack1, verify, plainVerify, extract, plainExtract;
  for (int round = 1; round <= kRuns; ++round) {
    std::printf(
        "Round %d of %d: on each tree pigz -9 -p 8 over its tar, the setup builder with 8 threads and Vessok with "
        "8 workers; on the benchmark's tree also pigz -p 1, 1 thread and 1 worker, verification and extraction...\n",
        round, kRuns);
    std::fflush(stdout);
    for (Side& side : sides) {
      Builder& builder = side.builder;
      Packer& packer = side.packer;
      Pigz(side.pigz, side.tree.tar, "8");
      Time(
          side.build8, [&] { ok = builder.Build(8) && ok; }, [&] { builder.Prepare(); });
      Time(side.pack8, [&] { packer.Pack(side.tree.root, 8); });
    }
    Builder& builder = sides[0].builder;
    Packer one(sides[0].packer.archive);
    Pigz(pigz1, benchTree.tar, "1");
    Time(
        build1, [&] { ok = builder.Build(1) && ok; }, [&] { builder.Prepare(); });
    Time(pack1, [&] { one.Pack(benchTree.root, 1); });
    ok = ok && one.ok;
    const std::string installer = builder.Installer();
    std::vector<TPakFile> table = TPak(installer, false, false).Entries;
    Time(verify, [&] { ok = ArchiveVerify(installer) && ok; });
    Time(plainVerify, [&] { ok = PlainZlib(installer, table, "") && ok; });
    Time(
        extract, [&] { ok = ArchiveExtract(installer, outAsSetup) && ok; }, clean);
    Time(
        plainExtract, [&] { ok = PlainZlib(installer, table, plainOut) && ok; }, clean);
  }
  for (Side& side : sides) ok = ok && side.packer.ok;
  // The blobs of the last 8-worker run on the benchmark's tree.
  double overWhole = BlockStreamsOverWhole(benchTree.root, sides[0].packer.entries);
  const Packer& last = sides[0].packer;
  std::string loadAfter = LoadAverage();

  // Peak memory on large files: one of 512 MiB, and one of 1.9 GiB (sparse:
  // zeros on no disk) that only fits the archive's 2 GiB when it is never
  // held whole.
  std::printf("Vessok on one 512 MiB file, then on one of 1.9 GiB...\n");
  std::fflush(stdout);
  Tree large("one 512 MiB file", root + "/large");
  large.Add("large.dat", LargeFile(512u << 20, 5));
  Packer largePacker(root + "/large.qxp");
  Measure packLarge;
  Time(packLarge, [&] { largePacker.Pack(large.root, 8); });
  fs::remove_all(large.root);
  fs::remove(largePacker.archive);
  const uint64_t hugeSize = 1900ull << 20;
  fs::create_directories(root + "/huge");
  std::ofstream(root + "/huge/huge.dat").close();
  fs::resize_file(root + "/huge/huge.dat", hugeSize);
  Packer hugePacker(root + "/huge.qxp");
  Measure packHuge;
  Time(packHuge, [&] { hugePacker.Pack(root + "/huge", 8); });
  bool hugeOk = hugePacker.ok && hugePacker.entries.size() == 1 &&
                InflatesToZeros(hugePacker.archive, hugePacker.entries[0], hugeSize);
  ok = ok && largePacker.ok && hugeOk;

  std::printf(
      "\nVessok's workers, 8 of them, last run on the benchmark's tree, %.2f s (coding / waiting for the main "
      "thread / idle):\n",
      last.runMicros / 1e6);
  for (size_t k = 0; k < last.workerTimes.size(); ++k) {
    const TQXP::TWorkerTimes& w = last.workerTimes[k];
    double idle = (last.runMicros - w.CodingMicros - w.WaitingMicros) / 1e6;
    std::printf("  worker %zu: %6.2f s / %6.2f s / %6.2f s\n", k, w.CodingMicros / 1e6, w.WaitingMicros / 1e6,
                std::max(0.0, idle));
  }

  std::printf("\n===== Side by side: %u cores, best of %d runs =====\n", std::thread::hardware_concurrency(), kRuns);
  std::printf("Load average before: %s; after: %s\n", loadBefore.c_str(), loadAfter.c_str());
  std::printf(
      "Against pigz -9 -p 8 on a tar of the same tree (target: Vessok at least 1x, setup builder at least "
      "0.9x):\n");
  std::printf("  %-36s %9s %12s %16s %24s\n", "tree", "size", "pigz", "Vessok (8)", "setup builder (8)");
  for (const Side& side : sides) {
    double vessok = side.pigz.seconds / side.pack8.seconds, builder = side.pigz.seconds / side.build8.seconds;
    std::printf("  %-36s %6.0f MB %7.1f MB/s %6.2fx %-8s %6.2fx %-8s\n", side.tree.what, side.tree.bytes / 1e6,
                MBps(side.tree.bytes, side.pigz.seconds), vessok, Verdict(vessok >= 1.0), builder,
                Verdict(builder >= 0.9));
  }
  std::printf("On the benchmark's tree:\n");
  std::printf("pigz -9 -p 8 (tar of the tree)   %7.1f MB/s (-p 1: %.1f MB/s, so %.2fx from 8 threads now)\n",
              MBps(benchTree.bytes, sides[0].pigz.seconds), MBps(benchTree.bytes, pigz1.seconds),
              pigz1.seconds / sides[0].pigz.seconds);
  std::printf("Setup builder 1 thread / 8       %7.1f MB/s / %.1f MB/s\n", MBps(benchTree.bytes, build1.seconds),
              MBps(benchTree.bytes, sides[0].build8.seconds));
  std::printf("Vessok 1 worker / 8              %7.1f MB/s / %.1f MB/s\n", MBps(benchTree.bytes, pack1.seconds),
              MBps(benchTree.bytes, sides[0].pack8.seconds));
  std::printf("Verification archive / plain     %7.1f MB/s / %.1f MB/s\n", MBps(benchTree.bytes, verify.seconds),
              MBps(benchTree.bytes, plainVerify.seconds));
  std::printf("Extraction archive / plain       %7.1f MB/s / %.1f MB/s\n", MBps(benchTree.bytes, extract.seconds),
              MBps(benchTree.bytes, plainExtract.seconds));
  Ratio("Setup builder, 8 threads over 1", build1.seconds / sides[0].build8.seconds, 5.0, "at least 5x");
  Ratio("Vessok, 8 workers over 1", pack1.seconds / sides[0].pack8.seconds, 6.5, "at least 6.5x");
  Overhead("Verification over plain crc32 + uncompress", verify.seconds, plainVerify.seconds);
  Overhead("Extraction over plain zlib + writing", extract.seconds, plainExtract.seconds);
  double extra = 100.0 * (overWhole - 1);
  std::printf("  %-44s %+6.2f%%   target: at most +0.5%%   %s\n", "Text-like files in blocks over whole-file", extra,
              Verdict(extra <= 0.5));
  std::printf("Peak memory added (largest file of the benchmark's tree %.1f MiB):\n", largestMiB);
  Memory("setup builder, 8 threads", sides[0].build8.peakMiB, (8 + 2) * largestMiB, "(8 + 2) x largest");
  Memory("Vessok, 8 workers", sides[0].pack8.peakMiB, 2 * 8 * largestMiB, "2 x largest x 8");
  Memory("verification", verify.peakMiB, 2 * largestMiB, "2 x largest");
  Memory("extraction", extract.peakMiB, 2 * largestMiB, "2 x largest");
  Memory("Vessok, 8 workers, one 512 MiB file", packLarge.peakMiB, 256, "fixed");
  Memory("Vessok, 8 workers, one 1.9 GiB file", packHuge.peakMiB, 256, "fixed");
  std::printf("  %-40s %7.1f MiB   (its own process, for reference)\n", "pigz -9 -p 8", sides[0].pigz.peakMiB);
  std::printf("The 1.9 GiB file packs in %.1f s and its blob inflates to it: %s\n", packHuge.seconds,
              hugeOk ? "yes" : "NO");
  std::printf("All runs %s\n", ok ? "completed" : "FAILED");
  fs::remove_all(root);
  return ok ? 0 : 1;
}
