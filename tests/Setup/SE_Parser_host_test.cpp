// Pictures and rich text from the archive need no temporary files: neither
// a name that climbs out of the temporary folder nor a user's file of the
// name a fixed temporary copy once had is touched, and a temporary folder
// that cannot be written does not matter. The host's temporary folder is
// pointed into the test's own folder to look.
#include <gtest/gtest.h>

#include "Setup/SE_Parser.h"
#include "platform/Directory.h"
#include "platform/gui/Picture.h"
#include "tests/Setup/LayoutFixture.h"
#include "tests/support/TempDir.h"
#include "tests/support/TempFolderOverride.h"

TEST_F(LayoutTest, PicturesAndRichTextLoadWithoutTemporaryFiles) {
  gui::Bitmap dot(1, 1);
  dot.FillRect(0, 0, 1, 1, 0x00FF00);
  std::vector<uint8_t> bmp = gui::EncodeBmp(dot);
  Archive({{"log.rtf", "{\\rtf1 news}"},
           {"..\\x.bmp", std::string(bmp.begin(), bmp.end())},
           {"r.txt", "[log]\r\ntype=trichedit\r\nfile=log.rtf"},
           {"i.txt", "[pic]\r\ntype=timage\r\nfile=..\\x.bmp"}});
  platform::MakeDir(dir.File("temp"));
  testing_support::WriteFileBytes(dir.File("x.bmp"), {'m', 'i', 'n', 'e'});
  testing_support::WriteFileBytes(dir.File("temp/RETL.temp"), {'m', 'i', 'n', 'e'});
  for (const std::string& temp : {dir.File("temp"), std::string("/dev/null/temp")}) {
    {
      testing_support::TempFolderOverride override(temp);
      TControlParser parser(page.get());
      parser.LoadFromFile("r.txt");
      parser.LoadFromFile("i.txt");
      EXPECT_EQ(dynamic_cast<TRichEdit&>(*parser.Controls[0]).Content(), "{\\rtf1 news}") << temp;
      EXPECT_EQ(dynamic_cast<TImage&>(*parser.Controls[1]).Picture().Pixel(0, 0), 0x00FF00u) << temp;
    }
    page = std::make_unique<TPanel>(nullptr);  // the next round's controls take the same names
  }
  EXPECT_EQ(testing_support::ReadFileBytes(dir.File("x.bmp")), (Bytes{'m', 'i', 'n', 'e'}));
  EXPECT_EQ(testing_support::ReadFileBytes(dir.File("temp/RETL.temp")), (Bytes{'m', 'i', 'n', 'e'}));
  EXPECT_TRUE(boxes.empty());
}
