// Peak memory of the two writers of sound blobs on one small and one large
// WAV file: Vessok packing it (coded as IMA-ADPCM, and kept as PCM in an
// effects folder), and the installer's archive updater adding it from an
// installer archive, which stores a large file as it is. The large sound is
// 512 MiB of silence in a sparse file: it costs no disk and is read at the
// speed of memory, so the figures are the writers' own.
#include <malloc.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "Global/QX_PakSystem.h"
#include "bench/BenchInstallation.h"
#include "bench/BenchSupport.h"
#include "packer/SQXP.h"

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kSmall = 1u << 20, kLarge = 512u << 20;
// What either writer may add, whatever the size of the sound.
constexpr double kBoundMiB = 64;

// A canonical 16-bit stereo WAV of `dataBytes` bytes of silence.
void WriteWav(const std::string& path, uint64_t dataBytes) {
  fs::create_directories(fs::path(path).parent_path());
  Bytes head;
  for (char c : std::string("RIFF")) head.push_back(static_cast<uint8_t>(c));
  PutU32(head, static_cast<uint32_t>(36 + dataBytes));
  for (char c : std::string("WAVEfmt ")) head.push_back(static_cast<uint8_t>(c));
  PutU32(head, 16);
  PutU16(head, 1);
  PutU16(head, 2);
  PutU32(head, 44100);
  PutU32(head, 44100 * 4);
  PutU16(head, 4);
  PutU16(head, 16);
  for (char c : std::string("data")) head.push_back(static_cast<uint8_t>(c));
  PutU32(head, static_cast<uint32_t>(dataBytes));
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));
  fs::resize_file(path, head.size() + dataBytes);
}

// An archive of no entries, as the game ships an empty one.
void WriteEmptyArchive(const std::string& path) {
  Bytes table = ZCompress(nullptr, 0, 9), file = table;
  TQXPHeader{static_cast<int32_t>(table.size()), 0, kQXPVersion, 0, 0}.WriteTo(file);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
}

struct Row {
  const char* what;
  double small = 0, large = 0;
};

}  // namespace

int main() {
  // Large blocks come straight from the system and go back to it when
  // freed, so each run's peak memory is its own.
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);
  const std::string root = fs::absolute("wav-bench").string();
  fs::remove_all(root);
  bool ok = true;
  Row rows[] = {{"Vessok, coded as IMA-ADPCM"},
                {"Vessok, PCM in an effects folder"},
                {"qxpupdate, coded as IMA-ADPCM"},
                {"qxpupdate, PCM in an Effects folder"}};
  std::printf("Vessok and qxpupdate on a WAV of 1 MiB and one of 512 MiB...\n");
  std::fflush(stdout);
  for (uint64_t size : {kSmall, kLarge}) {
    for (int effects = 0; effects < 2; ++effects) {
      std::string name = effects ? "Sounds/Effects/s.wav" : "Sounds/s.wav";
      std::string tree = root + "/tree", wav = tree + "/" + name;
      WriteWav(wav, size);

      TQXP packer;
      double& packed = size == kSmall ? rows[effects].small : rows[effects].large;
      packed = PeakMiB([&] {
        try {
          packer.Make(root + "/vessok.qxp", tree);
        } catch (const EQXPError& e) {
          std::printf("  Vessok failed: %s\n", e.what());
          ok = false;
        }
      });

      std::string setup = root + "/setup.pak", game = root + "/game.qxp";
      {
        TPak pak(setup, false, true);
        std::string stored = effects ? "Sounds\\Effects\\s.wav" : "Sounds\\s.wav";
        ok = pak.WriteEntryFile(pak.AddEntry(stored, wav, 1)) && pak.WriteTable() && ok;
      }
      WriteEmptyArchive(game);
      TPak pak(setup, false, false);
      Installation installation(pak, root);
      TPakSystem updater(installation, installation);
      double& updated = size == kSmall ? rows[2 + effects].small : rows[2 + effects].large;
      updated = PeakMiB([&] { installation.Update(updater, "game.qxp"); });
      ok = ok && installation.ok;
      fs::remove_all(root);
    }
  }
  std::printf("\n===== Peak memory added on one WAV: a large one against a small one =====\n");
  std::printf("  %-38s %12s %12s   bound\n", "", "1 MiB", "512 MiB");
  for (const Row& r : rows)
    std::printf("  %-38s %8.1f MiB %8.1f MiB   %.0f MiB fixed   %s\n", r.what, r.small, r.large, kBoundMiB,
                r.large <= kBoundMiB ? "met" : "NOT MET");
  std::printf("All runs %s\n", ok ? "completed" : "FAILED");
  return ok ? 0 : 1;
}
