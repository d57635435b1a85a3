// Writes that stop short: the process's file size limit makes the system
// refuse bytes past it, as a full disk would.
#include "installer-library/QXI_Global.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "installer-library/QXI_PakExtract.h"
#include "tests/installer-library/GlobalsFixture.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/TempDir.h"

using testing_support::DrivePath;
using testing_support::FileSizeLimit;
using testing_support::TempDir;
namespace fs = std::filesystem;

namespace {

class ShortWrites : public InstallerGlobals {
 protected:
  TempDir tmp;
  std::string base = DrivePath(tmp.Path());
};

}  // namespace

TEST_F(ShortWrites, AFileThatCannotBeWrittenWholeIsReportedAndRemoved) {
  Bytes data(5000, 'x');
  {
    FileSizeLimit limit(1000);
    EXPECT_FALSE(WriteBufferToFile(base + "\\out\\f.bin", data.data(), data.size()));
  }
  EXPECT_FALSE(fs::exists(tmp.File("out/f.bin")));
  EXPECT_TRUE(WriteBufferToFile(base + "\\out\\f.bin", data.data(), data.size()));
  EXPECT_EQ(fs::file_size(tmp.File("out/f.bin")), data.size());
}

TEST_F(ShortWrites, ALargeEntryThatCannotBeWrittenWholeLeavesNoFile) {
  std::mt19937 gen(9);
  Bytes data(5000);
  for (auto& b : data) b = static_cast<uint8_t>(gen());
  std::string archive = tmp.File("setup.pak");
  {
    TPak pak(archive, false, true);
    int i = pak.AddEntry("big.bin", "", 1);
    ASSERT_TRUE(pak.WriteEntryData(i, data.data(), data.size()));
    ASSERT_TRUE(pak.WriteTable());
  }
  TPak pak(archive, false, false);
  ASSERT_EQ(pak.Entries[0].StoredSize, 0u);
  std::string error;
  {
    FileSizeLimit limit(2500);
    EXPECT_FALSE(ExtractLargeEntry(pak, base + "\\big.bin", "big.bin", 5000, 0, error, HandOffProgress(), 1024));
  }
  EXPECT_NE(error.find("Cannot write"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(tmp.File("big.bin")));
}
