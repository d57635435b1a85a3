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

// The first image as read from the file, which the bytes in memory must
// give as well.
Bytes ImageOf(const Bytes& file) {
  TempDir dir;
  WriteFileBytes(dir.File("icon.ico"), file);
  Bytes image{1, 2, 3}, fromMemory{4, 5};
  const bool taken = ReadFirstIconImage(dir.File("icon.ico"), image);
  EXPECT_EQ(FirstIconImage(file, fromMemory), taken);
  EXPECT_EQ(fromMemory, image);
  if (!taken) {
    EXPECT_TRUE(image.empty()) << "a refused icon gives no image";
    return {};
  }
  return image;
}

TEST(IconFile, TheFirstImageIsTakenAsStored) {
  Bytes first = MakeIconImage(16, 1), second = MakeIconImage(32, 2), third = MakeIconImage(48, 3);
  EXPECT_EQ(ImageOf(MakeIconFile({first})), first);
  EXPECT_EQ(ImageOf(MakeIconFile({first, second, third})), first);
  EXPECT_EQ(ImageOf(MakeIconFile({third, first})), third);

  // A PNG image stored in the icon is taken as well.
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  EXPECT_EQ(ImageOf(MakeIconFile({png})), png);

  // The image is found by its offset, wherever it lies after the directory.
  Bytes moved = MakeIconFile({first});
  moved.insert(moved.begin() + 22, 5, 0xEE);
  moved[18] += 5;
  EXPECT_EQ(ImageOf(moved), first);
}

TEST(IconFile, DamagedIconFilesAreRefused) {
  const Bytes good = MakeIconFile({MakeIconImage(16, 7), MakeIconImage(32, 8)});
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
  };
  const Case cases[] = {
      {"empty file", {}},
      {"header only", Bytes(good.begin(), good.begin() + 6)},
      {"first entry cut short", Bytes(good.begin(), good.begin() + 21)},
      {"second directory entry missing", changed([](Bytes& b) { b.resize(30); })},
      {"no images", changed([](Bytes& b) { b[4] = b[5] = 0; })},
      {"a cursor file", changed([](Bytes& b) { b[2] = 2; })},
      {"reserved field set", changed([](Bytes& b) { b[0] = 1; })},
      {"image of 0 bytes", changed([&](Bytes& b) { putU32(b, 14, 0); })},
      {"image past the end", changed([&](Bytes& b) { putU32(b, 14, static_cast<uint32_t>(b.size())); })},
      {"image length near 4 GiB", changed([&](Bytes& b) { putU32(b, 14, 0xFFFFFFF0u); })},
      {"image offset near 4 GiB", changed([&](Bytes& b) { putU32(b, 18, 0xFFFFFFF0u); })},
      {"image inside the directory", changed([&](Bytes& b) { putU32(b, 18, 6); })},
      {"file cut inside the first image", changed([](Bytes& b) { b.resize(6 + 32 + 100); })},
      {"image is no bitmap", changed([](Bytes& b) { b[38] = 'X'; })},
      {"bitmap with two planes", changed([](Bytes& b) { b[38 + 12] = 2; })},
  };
  for (const Case& c : cases) EXPECT_TRUE(ImageOf(c.file).empty()) << c.what;
}

TEST(IconFile, AMissingIconFileIsRefused) {
  TempDir dir;
  Bytes image;
  EXPECT_FALSE(ReadFirstIconImage(dir.File("missing.ico"), image));
  EXPECT_FALSE(ReadFirstIconImage(dir.Path(), image)) << "a folder is no icon file";
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
