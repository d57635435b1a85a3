// Failures of the temporary files, made on the host by pointing the
// temporary folder somewhere that cannot be written.
#include <gtest/gtest.h>

#include "Setup/SE_Parser.h"
#include "tests/Setup/LayoutFixture.h"
#include "tests/support/TempFolderOverride.h"

TEST_F(LayoutTest, TemporaryFilesThatCannotBeWrittenAreReported) {
  Archive({{"log.rtf", "{\\rtf1 news}"},
           {"pic.bmp", "BM"},
           {"r.txt", "[log]\r\ntype=trichedit\r\nfile=log.rtf"},
           {"i.txt", "[pic]\r\ntype=timage\r\nfile=pic.bmp"}});
  // Below a file: nothing can be made there.
  testing_support::TempFolderOverride temp("/dev/null/temp");
  TControlParser parser(page.get());
  try {
    parser.LoadFromFile("r.txt");
    ADD_FAILURE() << "a rich edit loaded from a file that was never written";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("Cannot write the temporary file"), std::string::npos) << e.what();
  }
  EXPECT_THROW(parser.LoadFromFile("i.txt"), std::runtime_error);
  EXPECT_TRUE(boxes.empty());
}
