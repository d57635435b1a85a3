// A full disk, played by the process's file-size limit, and a process that
// dies at any page that a write of the archive changes.
#include <gtest/gtest.h>

#include <map>

#include "platform/HostSystem.h"

#include "tests/Global/PakSystemFixture.h"
#include "tests/support/FileSizeLimit.h"

using namespace pak_system_test;
using testing_support::FileSizeLimit;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

// The archive on disk reads as these entries (name, method and blob), or
// an empty map when it does not read.
std::map<std::string, Bytes> Reading(const std::string& path, TQXPTrailerRules rules) {
  ReadBack r = ReadArchive(path, rules);
  std::map<std::string, Bytes> entries;
  if (r.status != TQXPReadStatus::Ok) return entries;
  for (const TQXPEntry& e : r.tail.Entries) {
    Bytes& read = entries[e.Name] = QXPBlob(r.file, e);
    read.push_back(e.Method);
  }
  return entries;
}

TEST_F(PakSystemTest, AFailedWritePutsTheOldTableBack) {
  const Bytes original = HandArchive({{"old.txt", Bytes(300, 'o')}}, BlockTrailer('2', "pw", 1));
  const int64_t tableAt = 300;
  // More than the room that the first move of the tail makes.
  UseSetupArchive({{"noise.bin", 1, Random(1 << 20, 4)}});
  const std::string restored = "Disk full, " + GamePath() + " was left as it was. Free some space and try again. ";
  struct Case {
    const char* what;
    uint64_t limit;
  } cases[] = {
      {"the tail cannot move behind the end", original.size() + 100},
      {"the tail cannot move a second time", tableAt + (600 << 10)},
  };
  for (const Case& c : cases) {
    WriteFileBytes(Game(), original);
    alerts.Fatals.clear();
    {
      FileSizeLimit limit(c.limit);
      EXPECT_THROW(PakSystem.UpdateArchive(1, "game.qxp", "pw"), EPakSystemEnded) << c.what;
    }
    EXPECT_EQ(alerts.Fatals, std::vector<std::string>{restored}) << c.what;
    EXPECT_EQ(ReadFileBytes(Game()), original) << c.what;
  }
}

// Killed at any page of any write, or raising there, an update leaves an
// archive that reads by the rules of both readers as exactly the one before
// it or the one after it.
TEST_F(PakSystemTest, AnUpdateCutShortAtAnyPageReadsAsTheOldOrTheNewArchive) {
  // A table of several pages, as a game's archives have.
  std::vector<GameFile> many;
  for (int i = 0; i < 500; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "data\\%08x.txt", static_cast<unsigned>(std::mt19937(i)()));
    many.push_back({name, Random(4, i)});
  }
  const Bytes large = HandArchive(many, BlockTrailer('2', "pw", 1));
  // Its zlib stream, which the installer archive keeps and the update
  // copies, is larger than the room that the tail's first move makes.
  Bytes halves = Random(500 << 10, 3);
  for (uint8_t& b : halves) b &= 0x0F;
  auto update = [] { PakSystem.UpdateArchive(1, "game.qxp", "pw"); };
  struct Row {
    const char* what;
    Bytes archive;
    std::vector<SetupItem> items;
    std::function<void()> operation;
  } rows[] = {
      {"small files into a small archive",
       HandArchive({{"old.txt", Bytes(300, 'o')}}, BlockTrailer('2', "pw", 1)),
       {{"a.bin", 1, Random(3000, 1)}, {"old.txt", 1, Text("replaced")}, {"c.bin", 1, Random(2000, 2)}},
       update},
      {"a file larger than the tail's first room into a table of pages",
       large,
       {{many[7].name, 1, halves}, {"new.txt", 1, Compressible(5000)}},
       update},
      {"a second name in a table of pages",
       large,
       {},
       [&many] { PakSystem.DuplicateEntry("game.qxp", many[1].name, "copy.txt"); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    UseSetupArchive(row.items);
    WriteFileBytes(Game(), row.archive);
    const auto before = Reading(Game(), TQXPTrailerRules::Setup);
    int changes = 0;
    platform::host::SetFileChangeHook([&] { ++changes; });
    row.operation();
    platform::host::SetFileChangeHook(nullptr);
    const auto after = Reading(Game(), TQXPTrailerRules::Setup);
    ASSERT_NE(after, before);
    for (int step = 0; step < changes; ++step) {
      // Killed: nothing from that change on reaches the file, the updater's
      // own clean-up included. Raised: that one change fails by an
      // exception, and the updater cleans up.
      for (bool killed : {true, false}) {
        WriteFileBytes(Game(), row.archive);
        int seen = 0;
        platform::host::SetFileChangeHook([&] {
          if (killed ? seen++ >= step : seen++ == step) throw std::runtime_error("crash");
        });
        EXPECT_ANY_THROW(row.operation()) << step;
        platform::host::SetFileChangeHook(nullptr);
        const auto now = Reading(Game(), TQXPTrailerRules::Setup);
        if (killed) {
          ASSERT_TRUE(now == before || now == after) << "step " << step << " killed";
          ASSERT_EQ(Reading(Game(), TQXPTrailerRules::Packer), now) << "step " << step << " killed";
          continue;
        }
        // An exception while files are added still lists those added before
        // it: every entry reads as it was or as it is meant to be.
        ASSERT_FALSE(now.empty()) << "step " << step << " raised";
        for (const auto& [name, blob] : before) ASSERT_TRUE(now.count(name)) << name << " step " << step;
        for (const auto& [name, blob] : now)
          ASSERT_TRUE((before.count(name) && before.at(name) == blob) || after.at(name) == blob)
              << name << " step " << step << " raised";
      }
    }
  }
}
