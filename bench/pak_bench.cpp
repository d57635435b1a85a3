// Installer archive against plain zlib on the same bytes: packing (level-9
// compression + CRC-32 + writing) and verifying (reading + CRC-32 +
// inflating every entry), plus the memory that verifying one raw 200 MiB
// entry takes.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "Global/CRC.h"
#include "Global/QXI_PakFile.h"
#include "bench/BenchSupport.h"

namespace {

constexpr size_t kFileSize = 4u << 20;
constexpr size_t kFiles = 64;  // 256 MiB in all
const char* kArchive = "bench.pak";

// Text-like, binary-with-repeats and random files in turn.
const std::vector<Bytes>& Payload() {
  static std::vector<Bytes> files = [] {
    std::vector<Bytes> out;
    std::mt19937 gen(42);
    const char* words[] = {"texture ", "model ", "quexar ", "level ", "sound ", "the ", "of ", "mod ", "data "};
    for (size_t f = 0; f < kFiles; ++f) {
      Bytes b;
      b.reserve(kFileSize);
      while (b.size() < kFileSize) {
        switch (f % 3) {
          case 0: {
            const char* w = words[gen() % 9];
            b.insert(b.end(), w, w + std::char_traits<char>::length(w));
            break;
          }
          case 1:
            if (gen() % 4 == 0 && b.size() > 256) {
              size_t from = b.size() - 256 + gen() % 128;
              for (int i = 0; i < 64; ++i) b.push_back(b[from + i]);
            } else {
              b.push_back(static_cast<uint8_t>(gen() % 16));
            }
            break;
          default:
            b.push_back(static_cast<uint8_t>(gen()));
        }
      }
      b.resize(kFileSize);
      out.push_back(std::move(b));
    }
    return out;
  }();
  return files;
}

void PlainZlibPack(benchmark::State& state) {
  for (auto _ : state) {
    for (const Bytes& f : Payload()) {
      uLongf n = compressBound(f.size());
      Bytes out(n);
      compress2(out.data(), &n, f.data(), f.size(), 9);
      benchmark::DoNotOptimize(crc32(0, out.data(), n));
    }
  }
  state.SetBytesProcessed(state.iterations() * kFiles * kFileSize);
}

void ArchivePack(benchmark::State& state) {
  for (auto _ : state) {
    TPak pak(kArchive, false, true);
    for (size_t i = 0; i < kFiles; ++i) {
      int e = pak.AddEntry("file" + std::to_string(i), "", 1);
      if (!pak.WriteEntryData(e, Payload()[i].data(), kFileSize)) state.SkipWithError("write failed");
    }
    pak.WriteTable();
  }
  state.SetBytesProcessed(state.iterations() * kFiles * kFileSize);
}

void PlainZlibVerify(benchmark::State& state) {
  std::vector<Bytes> streams;
  for (const Bytes& f : Payload()) streams.push_back(ZCompress(f.data(), f.size()));
  for (auto _ : state) {
    for (const Bytes& s : streams) {
      benchmark::DoNotOptimize(crc32(0, s.data(), s.size()));
      uLongf n = kFileSize;
      Bytes out(n);
      uncompress(out.data(), &n, s.data(), s.size());
    }
  }
  state.SetBytesProcessed(state.iterations() * kFiles * kFileSize);
}

void ArchiveVerify(benchmark::State& state) {
  for (auto _ : state) {
    TPak pak(kArchive, false, false);
    for (int i = 0; i < pak.EntryCount; ++i)
      if (!pak.VerifyEntry(i)) state.SkipWithError("verification failed");
  }
  state.SetBytesProcessed(state.iterations() * kFiles * kFileSize);
}

// Peak memory added by verifying a raw 200 MiB entry (run before the payload
// exists, with the peak counter reset).
void LargeEntryVerifyMemory() {
  const char* src = "bench-large.bin";
  {
    std::ofstream out(src, std::ios::binary);
    Bytes piece(1 << 20);
    std::mt19937 gen(1);
    for (int i = 0; i < 200; ++i) {
      for (auto& c : piece) c = static_cast<uint8_t>(gen());
      out.write(reinterpret_cast<const char*>(piece.data()), piece.size());
    }
  }
  {
    TPak pak("bench-large.pak", false, true);
    pak.WriteEntryFile(pak.AddEntry("large", src, 1));
    pak.WriteTable();
  }
  ResetPeakMemory();
  long before = StatusKiB("VmRSS:");
  TPak pak("bench-large.pak", false, false);
  bool ok = pak.VerifyEntry(0);
  long peak = StatusKiB("VmHWM:");
  std::printf("Verify raw 200 MiB entry: %s, peak memory added %.1f MiB (target: under 64 MiB)\n", ok ? "ok" : "FAILED",
              (peak - before) / 1024.0);
  std::fflush(stdout);
  std::remove(src);
  std::remove("bench-large.pak");
}

}  // namespace

BENCHMARK(PlainZlibPack)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(ArchivePack)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(PlainZlibVerify)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(ArchiveVerify)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

int main(int argc, char** argv) {
  LargeEntryVerifyMemory();
  benchmark::Initialize(&argc, argv);
  Payload();
  SideBySide reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto extra = [&](const char* archive, const char* plain) {
    return 100.0 * (reporter.seconds[archive] / reporter.seconds[plain] - 1);
  };
  std::printf("\nArchive over plain zlib: packing %+.1f%%, verifying %+.1f%% (target: under +10%%)\n",
              extra("ArchivePack", "PlainZlibPack"), extra("ArchiveVerify", "PlainZlibVerify"));
  std::remove(kArchive);
  benchmark::Shutdown();
}
