// A full disk, played by the process's file-size limit.
#include <gtest/gtest.h>

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
