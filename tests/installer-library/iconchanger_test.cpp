#include "installer-library/iconchanger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "tests/support/IconFile.h"
#include "tests/support/TempDir.h"

using testing_support::MakeIconFile;
using testing_support::MakeIconImage;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

// The images of an icon file, or the reason it was refused; the same bytes
// in memory must read alike.
struct Read {
  std::vector<Bytes> images;
  std::string reason;
};

Read ReadIcon(const Bytes& file) {
  TempDir dir;
  WriteFileBytes(dir.File("icon.ico"), file);
  std::vector<TIconImage> images(1), fromMemory(1);
  Read read;
  std::string memoryReason;
  const bool taken = ReadIconFile(dir.File("icon.ico"), images, read.reason);
  EXPECT_EQ(ReadIconData(file, fromMemory, memoryReason), taken);
  EXPECT_EQ(memoryReason, read.reason);
  EXPECT_EQ(fromMemory.size(), images.size());
  if (!taken) {
    EXPECT_TRUE(images.empty()) << "a refused icon gives no image";
    EXPECT_FALSE(read.reason.empty());
    return read;
  }
  for (const TIconImage& image : images) read.images.push_back(image.Data);
  return read;
}

TEST(IconFile, EveryImageIsTakenAsStoredWithItsEntry) {
  Bytes first = MakeIconImage(16, 1), second = MakeIconImage(32, 2), third = MakeIconImage(48, 3);
  EXPECT_EQ(ReadIcon(MakeIconFile({first})).images, std::vector<Bytes>{first});
  EXPECT_EQ(ReadIcon(MakeIconFile({first, second, third})).images, (std::vector<Bytes>{first, second, third}));
  EXPECT_EQ(ReadIcon(MakeIconFile({third, first})).images, (std::vector<Bytes>{third, first}));

  // A PNG image stored in the icon is taken as well.
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  EXPECT_EQ(ReadIcon(MakeIconFile({png})).images, std::vector<Bytes>{png});

  // An image is found by its offset, wherever it lies after the directory.
  Bytes moved = MakeIconFile({first});
  moved.insert(moved.begin() + 22, 5, 0xEE);
  moved[18] += 5;
  EXPECT_EQ(ReadIcon(moved).images, std::vector<Bytes>{first});

  // The directory entry describes the image in the group made of it.
  TempDir dir;
  WriteFileBytes(dir.File("icon.ico"), MakeIconFile({second, first}));
  std::vector<TIconImage> images;
  std::string reason;
  ASSERT_TRUE(ReadIconFile(dir.File("icon.ico"), images, reason));
  const Bytes group = GroupIconResource(images, {7, 9});
  Bytes expected = {0, 0, 1, 0, 2, 0};
  const Bytes file = MakeIconFile({second, first});
  for (size_t i = 0; i < 2; ++i) {
    expected.insert(expected.end(), file.begin() + 6 + 16 * i, file.begin() + 6 + 16 * i + 12);
    expected.insert(expected.end(), {static_cast<uint8_t>(i ? 9 : 7), 0});
  }
  EXPECT_EQ(group, expected);
  EXPECT_EQ(GroupIconIds(group), (std::vector<uint16_t>{7, 9}));
  EXPECT_EQ(GroupIconIds(Bytes(group.begin(), group.end() - 1)), std::vector<uint16_t>{7});
}

TEST(IconFile, DamagedIconFilesAreRefusedWithTheirNumbers) {
  const Bytes good = MakeIconFile({MakeIconImage(16, 7), MakeIconImage(32, 8)});
  const std::string size = std::to_string(good.size());
  auto changed = [&](std::function<void(Bytes&)> change) {
    Bytes b = good;
    change(b);
    return b;
  };
  auto putU32 = [](Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  struct Case {
    const char* what;
    Bytes file;
    std::string reason;
  };
  const Case cases[] = {
      {"empty file", {}, "The file of 0 bytes is shorter than an icon file's header of 6 bytes"},
      {"header only", Bytes(good.begin(), good.begin() + 6),
       "The directory of 2 images ends at 38, past the end of the file at 6"},
      {"first entry cut short", Bytes(good.begin(), good.begin() + 21),
       "The directory of 2 images ends at 38, past the end of the file at 21"},
      {"second directory entry missing", changed([](Bytes& b) { b.resize(30); }),
       "The directory of 2 images ends at 38, past the end of the file at 30"},
      {"no images", changed([](Bytes& b) { b[4] = b[5] = 0; }), "The icon file holds no images"},
      {"a cursor file", changed([](Bytes& b) { b[2] = 2; }),
       "The header's reserved and type fields read 0 and 2, not 0 and 1 as in an icon file"},
      {"reserved field set", changed([](Bytes& b) { b[0] = 1; }),
       "The header's reserved and type fields read 1 and 1, not 0 and 1 as in an icon file"},
      {"image of 0 bytes", changed([&](Bytes& b) { putU32(b, 14, 0); }), "Image 1 of 2 (0 bytes at 38) is empty"},
      {"image past the end", changed([&](Bytes& b) { putU32(b, 14, static_cast<uint32_t>(b.size())); }),
       "Image 1 of 2 (" + size + " bytes at 38) runs past the end of the file at " + size},
      {"image length near 4 GiB", changed([&](Bytes& b) { putU32(b, 14, 0xFFFFFFF0u); }),
       "Image 1 of 2 (4294967280 bytes at 38) runs past the end of the file at " + size},
      {"image offset near 4 GiB", changed([&](Bytes& b) { putU32(b, 18, 0xFFFFFFF0u); }),
       "Image 1 of 2 (1128 bytes at 4294967280) runs past the end of the file at " + size},
      {"image inside the directory", changed([&](Bytes& b) { putU32(b, 18, 6); }),
       "Image 1 of 2 (1128 bytes at 6) begins inside the directory, which ends at 38"},
      {"file cut inside the last image", changed([](Bytes& b) { b.resize(b.size() - 1); }),
       "Image 2 of 2 (4264 bytes at 1166) runs past the end of the file at " + std::to_string(good.size() - 1)},
      {"two images sharing bytes", changed([&](Bytes& b) { putU32(b, 34, 38 + 1000); }),
       "Two images share the bytes from 1038 to 1166"},
      {"image is no bitmap", changed([](Bytes& b) { b[38] = 'X'; }),
       "Image 1 of 2 is neither a bitmap nor a PNG image"},
      {"bitmap with two planes", changed([](Bytes& b) { b[38 + 12] = 2; }),
       "Image 1 of 2 is neither a bitmap nor a PNG image"},
  };
  for (const Case& c : cases) {
    Read read = ReadIcon(c.file);
    EXPECT_TRUE(read.images.empty()) << c.what;
    EXPECT_EQ(read.reason, c.reason) << c.what;
  }
}

TEST(IconFile, AMissingIconFileIsRefused) {
  TempDir dir;
  std::vector<TIconImage> images;
  std::string reason;
  EXPECT_FALSE(ReadIconFile(dir.File("missing.ico"), images, reason));
  EXPECT_EQ(reason, "The file cannot be opened");
  EXPECT_FALSE(ReadIconFile(dir.Path(), images, reason)) << "a folder is no icon file";
}

}  // namespace

namespace {

// A program file of two sections, the second's raw data ending at 0x600,
// followed by `appended`.
Bytes ProgramWith(const Bytes& appended) {
  Bytes file(0x600 + appended.size(), 0);
  std::copy(appended.begin(), appended.end(), file.begin() + 0x600);
  file[0] = 'M';
  file[1] = 'Z';
  file[0x3C] = 0x80;  // the PE header
  std::memcpy(&file[0x80], "PE\0\0", 4);
  file[0x86] = 2;     // sections
  file[0x94] = 0xF0;  // optional header size: the table at 0x80 + 24 + 0xF0
  auto section = [&](size_t at, uint32_t raw, uint32_t size) {
    for (int i = 0; i < 4; ++i) {
      file[at + 16 + i] = static_cast<uint8_t>(size >> (8 * i));
      file[at + 20 + i] = static_cast<uint8_t>(raw >> (8 * i));
    }
  };
  section(0x188, 0x400, 0x200);  // the last in the file
  section(0x1B0, 0x200, 0x200);
  return file;
}

}  // namespace

TEST(AppendedData, IsWhatFollowsTheLastSectionAndIsKeptAtTheEnd) {
  TempDir dir;
  const std::string exe = dir.File("setup.exe");
  const Bytes map(300, 0x4D);
  const Bytes bare = ProgramWith({});
  struct Case {
    const char* what;
    Bytes file;
    Bytes appended;
  } cases[] = {
      {"a program with a block appended", ProgramWith(map), map},
      {"a program with nothing appended", bare, {}},
      {"no program", Bytes(0x700, 'x'), {}},
      {"a program cut short", Bytes(bare.begin(), bare.begin() + 0x100), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFileBytes(exe, c.file);
    EXPECT_EQ(DataAppendedToProgram(exe), c.appended);
  }

  // Put back only where an update of the program left it out.
  WriteFileBytes(exe, ProgramWith(map));
  EXPECT_TRUE(KeepDataAppendedToProgram(exe, map));
  EXPECT_EQ(testing_support::ReadFileBytes(exe), ProgramWith(map));
  WriteFileBytes(exe, ProgramWith({}));
  EXPECT_TRUE(KeepDataAppendedToProgram(exe, map));
  EXPECT_EQ(testing_support::ReadFileBytes(exe), ProgramWith(map));
  EXPECT_FALSE(KeepDataAppendedToProgram(dir.File("missing.exe"), map));
}
