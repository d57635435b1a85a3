#include "diagnostics/SEXEExtra.h"

#include <gtest/gtest.h>

#include "tests/diagnostics/MapBlocks.h"
#include "tests/support/TempDir.h"

using namespace diag_test;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

TEXEExtraIndex ReadIndexOf(const TempDir& dir, const Bytes& content, bool& valid) {
  std::string path = dir.File("prog.exe");
  WriteFileBytes(path, content);
  platform::File file(path, platform::OpenMode::Read);
  TEXEExtraIndex index;
  valid = index.Read(file);
  return index;
}

}  // namespace

TEST(SEXEExtra, ReadsTheEntriesInFrontOfTheTrailer) {
  TempDir dir;
  std::vector<TEXEExtraEntry> entries = {{7, 0x11223344, 0}, {1, 1234, 0xDEADBEEF}, {1, 999, 0}};
  bool valid = false;
  TEXEExtraIndex index = ReadIndexOf(dir, Concat({ProgramBytes(100), IndexBlock(entries)}), valid);
  ASSERT_TRUE(valid);
  EXPECT_EQ(index.Entries(), entries);
  EXPECT_EQ(index.Find(1), (TEXEExtraEntry{1, 1234, 0xDEADBEEF})) << "the first entry with the id";
  EXPECT_EQ(index.Find(7).Offset, 0x11223344u);
  EXPECT_EQ(index.Find(2), TEXEExtraEntry{}) << "a missing id gives id 255 and zeros";
  EXPECT_EQ(TEXEExtraEntry{}.Id, kNoEXEExtra);
}

TEST(SEXEExtra, AnIndexWithoutEntriesIsValid) {
  TempDir dir;
  bool valid = false;
  TEXEExtraIndex index = ReadIndexOf(dir, IndexBlock({}), valid);
  EXPECT_TRUE(valid) << "a file that is nothing but the trailer";
  EXPECT_TRUE(index.Entries().empty());
}

TEST(SEXEExtra, DamagedOrMissingIndexHasNoEntries) {
  const Bytes good = Concat({ProgramBytes(40), IndexBlock({{1, 5, 0}})});
  const size_t t = good.size() - kEXEExtraTrailerSize;  // trailer start
  struct Case {
    const char* what;
    size_t offset;  // byte to change, counted from the trailer start
    uint8_t value;
  } cases[] = {
      {"word 0 must be 0 (low byte)", 0, 1},
      {"word 0 must be 0 (high byte)", 1, 1},
      {"byte 2 must be 1", 2, 0},
      {"the name's length byte", 3, 5},
      {"a letter of the name", 6, 'x'},
      {"the last letter of the name", 9, 'd'},
      {"byte 10 must be 0", 10, 1},
      {"255 entries are more than an index holds", 11, 255},
      {"more entries than the file holds in front of the trailer", 11, 200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes damaged = good;
    damaged[t + c.offset] = c.value;
    TempDir dir;
    bool valid = true;
    TEXEExtraIndex index = ReadIndexOf(dir, damaged, valid);
    EXPECT_FALSE(valid);
    EXPECT_FALSE(index.IsValid());
    EXPECT_TRUE(index.Entries().empty());
    EXPECT_EQ(index.Find(1).Id, kNoEXEExtra);
  }
}

TEST(SEXEExtra, FilesTooShortForATrailer) {
  for (size_t n : {0u, 1u, 11u}) {
    SCOPED_TRACE(n);
    TempDir dir;
    Bytes content = IndexBlock({});
    content.erase(content.begin(), content.end() - static_cast<std::ptrdiff_t>(n));
    bool valid = true;
    ReadIndexOf(dir, content, valid);
    EXPECT_FALSE(valid);
  }
}

TEST(SEXEExtra, EachFileIsLookedUpThroughItsOwnIndex) {
  // Two programs read one after the other: the second must not be read
  // through what was found in the first.
  TempDir dir;
  WriteFileBytes(dir.File("a.exe"), Concat({ProgramBytes(10), IndexBlock({{1, 111, 0}})}));
  WriteFileBytes(dir.File("b.exe"), Concat({ProgramBytes(20), IndexBlock({{1, 222, 0}})}));
  WriteFileBytes(dir.File("c.exe"), ProgramBytes(30));
  platform::File a(dir.File("a.exe"), platform::OpenMode::Read);
  platform::File b(dir.File("b.exe"), platform::OpenMode::Read);
  platform::File c(dir.File("c.exe"), platform::OpenMode::Read);
  EXPECT_EQ(FindEXEExtra(1, a).Offset, 111u);
  EXPECT_EQ(FindEXEExtra(1, b).Offset, 222u);
  EXPECT_EQ(FindEXEExtra(1, c).Id, kNoEXEExtra);
  EXPECT_EQ(FindEXEExtra(1, a).Offset, 111u);
}
