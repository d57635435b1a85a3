#include "installer-library/iconchanger.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/support/IconFile.h"
#include "tests/support/TempDir.h"

using testing_support::MakeIconFile;
using testing_support::MakeIconImage;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

Bytes ImageOf(const Bytes& file) {
  TempDir dir;
  WriteFileBytes(dir.File("icon.ico"), file);
  Bytes image{1, 2, 3};
  if (!ReadFirstIconImage(dir.File("icon.ico"), image)) {
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
