// Sharing rules exist only on Windows: an archive that another program holds
// open cannot be updated until it lets go.
#include <gtest/gtest.h>

#include <memory>

#include "tests/Global/PakSystemFixture.h"

using namespace pak_system_test;
using testing_support::WriteFileBytes;

TEST_F(PakSystemTest, AnArchiveInUseIsAskedAboutUntilItIsFree) {
  WriteFileBytes(Game(), HandArchive({}, {}));
  UseSetupArchive({{"n.txt", 1, Text("new")}});
  auto game = std::make_unique<platform::File>(Game(), platform::OpenMode::Read);
  ASSERT_TRUE(game->IsOpen());
  alerts.Answer = [&](const std::string&) {
    game.reset();
    return true;
  };
  PakSystem.UpdateArchive(1, "game.qxp", "");
  EXPECT_EQ(alerts.Questions, std::vector<std::string>{"Unable to modify file:\"" + GamePath() +
                                                       "\", file may be in use or drive is write protected..."});
  EXPECT_EQ(ReadArchive(Game()).tail.Entries.size(), 1u);

  // While the updater holds it, nobody else opens it.
  platform::File updating(Game(), platform::OpenMode::ReadWriteExclusive);
  ASSERT_TRUE(updating.IsOpen());
  EXPECT_FALSE(platform::File(Game(), platform::OpenMode::Read).IsOpen());
}
