// A full disk, played by the process's file-size limit, and a process that
// dies between two changes of the archive.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>

#include "platform/HostSystem.h"

#include "tests/Global/PakSystemFixture.h"
#include "tests/support/FileSizeLimit.h"

using namespace pak_system_test;
using testing_support::FileSizeLimit;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

TEST_F(PakSystemTest, AFailedWritePutsTheOldTableBack) {
  const Bytes original = HandArchive({{"old.txt", Bytes(300, 'o')}}, BlockTrailer('2', "pw", 1));
  const uint64_t tableAt = 300;
  UseSetupArchive({{"noise.bin", 1, Random(5000, 4)}});
  const uint64_t blob = ZCompress(Random(5000, 4).data(), 5000).size();
  const std::string restored = "Disk full, " + GamePath() + " was left as it was. Free some space and try again. ";
  struct Case {
    const char* what;
    uint64_t limit;
    std::string message;
  } cases[] = {
      {"the blob does not fit", original.size() + 100, restored},
      {"the new table does not fit", tableAt + blob + 10, restored},
      {"not even the old table fits again", original.size() - 5,
       "Disk full, " + GamePath() + " is lost. Restore it from backup and try again. "},
  };
  for (const Case& c : cases) {
    WriteFileBytes(Game(), original);
    alerts.Fatals.clear();
    {
      FileSizeLimit limit(c.limit);
      EXPECT_THROW(PakSystem.UpdateArchive(1, "game.qxp", "pw"), EPakSystemEnded) << c.what;
    }
    EXPECT_EQ(alerts.Fatals, std::vector<std::string>{c.message}) << c.what;
    if (c.message == restored) {
      EXPECT_EQ(ReadFileBytes(Game()), original) << c.what;
    }
  }
}

TEST_F(PakSystemTest, AnUpdateCutShortAtAnyStepLeavesAReadableArchive) {
  const Bytes original = HandArchive({{"old.txt", Bytes(300, 'o')}}, BlockTrailer('2', "pw", 1));
  UseSetupArchive({{"a.bin", 1, Random(3000, 1)}, {"old.txt", 1, Text("replaced")}, {"c.bin", 1, Random(2000, 2)}});
  // Every entry that can be read back holds its old bytes or its new ones.
  const std::map<std::string, std::vector<Bytes>> contents = {
      {"a.bin", {Random(3000, 1)}}, {"old.txt", {Bytes(300, 'o'), Text("replaced")}}, {"c.bin", {Random(2000, 2)}}};
  int changes = 0;
  WriteFileBytes(Game(), original);
  platform::host::SetFileChangeHook([&] { ++changes; });
  PakSystem.UpdateArchive(1, "game.qxp", "pw");
  platform::host::SetFileChangeHook(nullptr);
  ASSERT_GE(changes, 4) << "three blobs and the tail";
  for (int step = 0; step < changes; ++step) {
    for (bool killed : {true, false}) {
      WriteFileBytes(Game(), original);
      int seen = 0;
      if (killed) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
          platform::host::SetFileChangeHook([&] {
            if (seen++ == step) _exit(0);
          });
          PakSystem.UpdateArchive(1, "game.qxp", "pw");
          _exit(1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << step;
      } else {
        platform::host::SetFileChangeHook([&] {
          if (seen++ == step) throw std::runtime_error("crash");
        });
        EXPECT_ANY_THROW(PakSystem.UpdateArchive(1, "game.qxp", "pw")) << step;
        platform::host::SetFileChangeHook(nullptr);
      }
      ReadBack r = ReadArchive(Game());
      ASSERT_EQ(r.status, TQXPReadStatus::Ok) << step << (killed ? " killed" : " raised");
      ASSERT_NE(FindEntry(r, "old.txt"), nullptr) << step;
      for (const TQXPEntry& e : r.tail.Entries) {
        const std::vector<Bytes>& possible = contents.at(e.Name);
        EXPECT_NE(std::find(possible.begin(), possible.end(), QXPContents(r.file, e)), possible.end())
            << e.Name << " " << step << (killed ? " killed" : " raised");
      }
    }
  }
}
