// Packing throughput of Vessok's archive writer (the host build of the same
// code) on a 200 MiB tree of mixed compressible files and 16-bit sounds:
// eight workers against one, and the peak memory of the eight-worker run
// against twice the largest file per worker.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "bench/BenchSupport.h"
#include "platform/ByteOrder.h"
#include "packer/SQXP.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kTreeBytes = 200u << 20;
const char* kTree = "pack-tree";
const char* kArchive = "pack-bench.qxp";
size_t largestFile = 0;

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

Bytes BinaryLike(size_t n, std::mt19937& gen) {
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

Bytes Sound(size_t n, std::mt19937& gen) {
  size_t frames = n / 4;
  Bytes pcm;
  double f1 = 200 + gen() % 800, f2 = 50 + gen() % 300;
  for (size_t i = 0; i < frames; ++i) {
    double t = i / 44100.0;
    auto s = static_cast<int16_t>(9000 * std::sin(6.2832 * f1 * t) + 4000 * std::sin(6.2832 * f2 * t));
    PutU16(pcm, static_cast<uint16_t>(s));
    PutU16(pcm, static_cast<uint16_t>(-s));
  }
  Bytes b = {'R', 'I', 'F', 'F'};
  PutU32(b, static_cast<uint32_t>(36 + pcm.size()));
  for (char c : std::string("WAVEfmt ")) b.push_back(static_cast<uint8_t>(c));
  PutU32(b, 16);
  PutU16(b, 1);
  PutU16(b, 2);
  PutU32(b, 44100);
  PutU32(b, 44100 * 4);
  PutU16(b, 4);
  PutU16(b, 16);
  for (char c : std::string("data")) b.push_back(static_cast<uint8_t>(c));
  PutU32(b, static_cast<uint32_t>(pcm.size()));
  b.insert(b.end(), pcm.begin(), pcm.end());
  return b;
}

// Files of 64 KiB to 4 MiB, the kinds taking turns so that each worker's
// range holds a similar mix.
void MakeTree() {
  fs::remove_all(kTree);
  std::mt19937 gen(2024);
  size_t total = 0;
  for (int i = 0; total < kTreeBytes; ++i) {
    size_t n = std::min<size_t>((64u << 10) + gen() % (4u << 20), kTreeBytes - total);
    std::string folder = std::string(kTree) + "/part" + std::to_string(i % 5);
    fs::create_directories(folder);
    Bytes data;
    std::string name = folder + "/f" + std::to_string(1000 + i);
    switch (i % 4) {
      case 0: data = TextLike(n, gen), name += ".txt"; break;
      case 1: data = BinaryLike(n, gen), name += ".dat"; break;
      case 2: data = Sound(n, gen), name += ".wav"; break;
      default: {
        data.resize(n);
        for (auto& c : data) c = static_cast<uint8_t>(gen());
        name += ".bin";
      }
    }
    std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(data.data()),
                                                static_cast<std::streamsize>(data.size()));
    total += data.size();
    largestFile = std::max(largestFile, data.size());
  }
}


double peakMiB = 0;

void Pack(benchmark::State& state) {
  for (auto _ : state) {
    ResetPeakMemory();
    long before = StatusKiB("VmRSS:");
    TQXP qxp;
    qxp.WorkerCount = static_cast<int>(state.range(0));
    try {
      qxp.Make(kArchive, kTree);
    } catch (const EQXPError& e) {
      state.SkipWithError(e.what());
    }
    if (state.range(0) == 8) peakMiB = (StatusKiB("VmHWM:") - before) / 1024.0;
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kTreeBytes));
}


}  // namespace

BENCHMARK(Pack)->ArgName("workers")->Arg(8)->Arg(1)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

int main(int argc, char** argv) {
  MakeTree();
  benchmark::Initialize(&argc, argv);
  SideBySide reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  double eight = reporter.seconds["workers:8"], one = reporter.seconds["workers:1"];
  double mb = kTreeBytes / 1e6;
  std::printf("\nPacking 200 MiB: %.1f MB/s with 8 workers, %.1f MB/s with 1; speed-up %.2fx (target: at least 5x)\n",
              mb / eight, mb / one, one / eight);
  double limit = 2.0 * largestFile * 8 / (1 << 20);
  std::printf("Peak memory added with 8 workers: %.1f MiB (target: under 2 x %.1f MiB x 8 = %.1f MiB)\n", peakMiB,
              largestFile / double(1 << 20), limit);
  fs::remove_all(kTree);
  fs::remove(kArchive);
  benchmark::Shutdown();
}
