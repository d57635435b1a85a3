// What it costs that a killed installer leaves nothing broken or unlogged:
// extracting a mod of 5,000 small files with the uninstall log kept saved
// while the line runs (every file named on disk before it is written),
// against saving it once the line is done; and the game archive updater,
// which never writes over the tail the archive reads: its time and the
// largest the archive grows on the way, for 2,000 small files into an
// archive of 20,000 entries and for one file of 100 MiB, and its peak
// memory on a file of 1 MiB against one of 1 GiB. Every time is the best of
// a few rounds, the two ways of extracting taken in turn.
#include <malloc.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>

#include "bench/BenchInstallation.h"
#include "bench/BenchSupport.h"
#include "installer-library/QXI_PakExtract.h"
#include "installer-library/SE_Global.h"
#include "installer-library/SE_Uninstall_List.h"
#include "platform/HostSystem.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRounds = 5;
constexpr int kSmallFiles = 5000;
// The share of the extraction time the kept log may add.
constexpr double kLogTarget = 5.0;

double Seconds(const std::function<void()>& run) {
  auto start = std::chrono::steady_clock::now();
  run();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The system's name of a host path, as the installer's code takes it.
std::string SystemPath(const std::string& path) {
  std::string name = "Z:" + fs::absolute(path).string();
  std::replace(name.begin(), name.end(), '/', '\\');
  return name;
}

void WriteBytes(const std::string& path, const Bytes& data) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

Bytes Random(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  Bytes b(n);
  for (auto& c : b) c = static_cast<uint8_t>(gen());
  return b;
}

// An installer archive of the files, each in group 1 under its name.
void WriteInstaller(const std::string& path, const std::vector<std::pair<std::string, std::string>>& sources) {
  TPak pak(path, false, true);
  for (const auto& [name, source] : sources) pak.WriteEntryFile(pak.AddEntry(name, source, 1));
  pak.WriteTable();
}

// A game archive of small files stored as they are, as the game ships it.
void WriteGameArchive(const std::string& path, int files) {
  Bytes out, table;
  for (int i = 0; i < files; ++i) {
    TQXPEntry e;
    e.Name = "textures\\t" + std::to_string(i) + ".dds";
    e.StoredSize = e.OriginalSize = 16;
    e.Offset = static_cast<int32_t>(out.size());
    e.WriteTo(table);
    out.insert(out.end(), 16, static_cast<uint8_t>(i));
  }
  Bytes z = ZCompress(table.data(), table.size());
  out.insert(out.end(), z.begin(), z.end());
  TQXPHeader{static_cast<int32_t>(z.size()), static_cast<int32_t>(table.size()), kQXPVersion, files, 0}.WriteTo(out);
  WriteBytes(path, out);
}

struct QuietProgress : TExtractProgress {
  void Status(const std::u16string&) override {}
  void Step() override {}
};

// --- extraction ---------------------------------------------------------------------

struct Extraction {
  double once = 1e9, kept = 1e9;  // best seconds
  bool ok = true;
};

Extraction MeasureExtraction(const std::string& root) {
  const std::string installer = root + "/small.pak";
  std::vector<std::pair<std::string, std::string>> sources;
  for (int i = 0; i < kSmallFiles; ++i) {
    std::string name = "data\\d" + std::to_string(i / 250) + "\\f" + std::to_string(i) + ".txt";
    std::string source = root + "/src/f" + std::to_string(i) + ".txt";
    WriteBytes(source, Random(1000 + i % 3000, static_cast<unsigned>(i)));
    sources.push_back({name, source});
  }
  WriteInstaller(installer, sources);
  TPak pak(installer, false, false);
  QuietProgress quiet;
  Extraction result;
  for (int round = 0; round < kRounds; ++round) {
    for (bool keptSaved : {false, true}) {
      const std::string out = root + "/out";
      fs::remove_all(out);
      fs::create_directories(out);
      SetupInfoFile.InstallDir = SystemPath(out);
      UninstallList.Clear();
      // Either way the line ends with the log saved, as the setup thread
      // saves it after each line.
      UninstallList.KeepSaved(keptSaved ? SetupInfoFile.InstallDir : "", "Bench_");
      std::string error;
      double took = Seconds([&] {
        result.ok = ExtractGroup(pak, SetupInfoFile.InstallDir, 1, error, quiet) && result.ok;
        result.ok = UninstallList.SaveToFile(SetupInfoFile.InstallDir, "Bench_") && result.ok;
      });
      if (!error.empty()) std::printf("  extraction failed: %s\n", error.c_str());
      double& best = keptSaved ? result.kept : result.once;
      best = std::min(best, took);
    }
  }
  UninstallList.KeepSaved("", "");
  UninstallList.Clear();
  return result;
}

// --- the archive updater ----------------------------------------------------------------

struct Update {
  double seconds = 1e9;
  int64_t before = 0, after = 0, largest = 0;  // the archive's size
  bool ok = true;
};

// Adds group 1 of the installer to a copy of the game archive, best of a
// few rounds; the sizes are those of a last round that looks at every change.
Update MeasureUpdate(const std::string& root, const std::string& installer, const std::string& shipped, int rounds) {
  TPak pak(installer, false, false);
  Installation installation(pak, root);
  TPakSystem updater(installation, installation);
  const std::string game = root + "/game.qxp";
  Update result;
  result.before = static_cast<int64_t>(fs::file_size(shipped));
  for (int round = 0; round <= rounds; ++round) {
    fs::copy_file(shipped, game, fs::copy_options::overwrite_existing);
    const bool watched = round == rounds;
    if (watched)
      platform::host::SetFileChangeHook([&] {
        struct stat st;
        if (::stat(game.c_str(), &st) == 0) result.largest = std::max<int64_t>(result.largest, st.st_size);
      });
    double took = Seconds([&] { installation.Update(updater, "game.qxp"); });
    platform::host::SetFileChangeHook(nullptr);
    if (!watched) result.seconds = std::min(result.seconds, took);
  }
  result.after = static_cast<int64_t>(fs::file_size(game));
  result.ok = installation.ok;
  return result;
}

double MiB(int64_t bytes) { return static_cast<double>(bytes) / (1 << 20); }

// The peak memory that adding one raw file of `size` bytes takes.
double UpdateMemory(const std::string& root, uint64_t size, bool& ok) {
  const std::string source = root + "/one.bin", installer = root + "/one.pak", game = root + "/game.qxp";
  {
    // Random bytes every 4 KiB in zeros: raw in the installer archive, and
    // quick to compress, so that the figure is the updater's memory.
    std::ofstream out(source, std::ios::binary);
    Bytes piece(1 << 20);
    std::mt19937 gen(3);
    for (uint64_t done = 0; done < size; done += piece.size()) {
      for (size_t i = 0; i < piece.size(); i += 4096) piece[i] = static_cast<uint8_t>(gen());
      out.write(reinterpret_cast<const char*>(piece.data()),
                static_cast<std::streamsize>(std::min<uint64_t>(piece.size(), size - done)));
    }
  }
  {
    // Stored raw, as every file of 70 MiB or more is: the updater codes it.
    TPak pak(installer, false, true);
    int e = pak.AddEntry("one.bin", source, 1);
    ok = pak.WriteEntryRaw(e) && pak.WriteTable() && ok;
  }
  fs::remove(source);
  WriteGameArchive(game, 100);
  TPak pak(installer, false, false);
  Installation installation(pak, root);
  TPakSystem updater(installation, installation);
  double peak = PeakMiB([&] { installation.Update(updater, "game.qxp"); });
  ok = ok && installation.ok;
  fs::remove(installer);
  fs::remove(game);
  return peak;
}

}  // namespace

int main() {
  // Large blocks come straight from the system and go back to it when
  // freed, so each run's peak memory is its own.
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);
  const std::string root = fs::absolute("install-bench").string();
  fs::remove_all(root);
  fs::create_directories(root);
  bool ok = true;

  std::printf("Extraction of %d small files, the log saved once the line is done and kept saved...\n", kSmallFiles);
  std::fflush(stdout);
  const Extraction extraction = MeasureExtraction(root + "/extract");
  ok = ok && extraction.ok;

  std::printf("qxpupdate of 2,000 small files into 20,000 entries, and of one 100 MiB file...\n");
  std::fflush(stdout);
  WriteGameArchive(root + "/shipped.qxp", 20000);
  std::vector<std::pair<std::string, std::string>> small, large;
  for (int i = 0; i < 2000; ++i) {
    std::string source = root + "/many/f" + std::to_string(i) + ".bin";
    WriteBytes(source, Random(1024, 10000u + static_cast<unsigned>(i)));
    small.push_back({"mod\\f" + std::to_string(i) + ".bin", source});
  }
  WriteBytes(root + "/large.bin", Random(100u << 20, 5));
  large.push_back({"mod\\large.bin", root + "/large.bin"});
  WriteInstaller(root + "/small.pak", small);
  WriteInstaller(root + "/large.pak", large);
  const Update many = MeasureUpdate(root, root + "/small.pak", root + "/shipped.qxp", kRounds);
  const Update one = MeasureUpdate(root, root + "/large.pak", root + "/shipped.qxp", 1);
  ok = ok && many.ok && one.ok;

  std::printf("qxpupdate of one raw file of 1 MiB, then of 1 GiB...\n");
  std::fflush(stdout);
  const double smallPeak = UpdateMemory(root, 1u << 20, ok);
  const double largePeak = UpdateMemory(root, 1u << 30, ok);
  fs::remove_all(root);

  std::printf("\n===== A kill leaves nothing broken or unlogged: what it costs =====\n");
  const double extra = 100 * (extraction.kept / extraction.once - 1);
  std::printf("Extraction of %d small files:\n", kSmallFiles);
  std::printf("  %-44s %8.3f s\n", "log saved once the line is done", extraction.once);
  std::printf("  %-44s %8.3f s   %+.1f%%   target: at most +%.0f%%   %s\n", "log kept saved, each file named first",
              extraction.kept, extra, kLogTarget, extra <= kLogTarget ? "met" : "NOT MET");
  std::printf("qxpupdate (the archive's size before, after, and the largest on the way):\n");
  for (const auto& [what, u] : {std::pair<const char*, const Update&>{"2,000 small files into 20,000", many},
                                {"one file of 100 MiB into 20,000", one}})
    std::printf("  %-36s %7.3f s   %8.2f -> %8.2f MiB, at most %8.2f MiB (+%.2f MiB)\n", what, u.seconds, MiB(u.before),
                MiB(u.after), MiB(u.largest), MiB(u.largest - u.after));
  std::printf("Peak memory added by qxpupdate of one raw file:\n");
  std::printf("  %-36s %7.1f MiB\n  %-36s %7.1f MiB   target: no more than the small one (+2 MiB)   %s\n", "1 MiB",
              smallPeak, "1 GiB", largePeak, largePeak <= smallPeak + 2 ? "met" : "NOT MET");
  std::printf("All runs %s\n", ok ? "completed" : "FAILED");
  return ok ? 0 : 1;
}
