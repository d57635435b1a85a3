#include "platform/gui/Picture.h"

#include <gtest/gtest.h>
#include <jpeglib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/ByteOrder.h"
#include "tests/support/RaisedText.h"
#include "tests/support/TempDir.h"

using gui::Bitmap;
using gui::EPictureError;
using testing_support::RaisedText;

namespace {

// The file header and the information header's size of a BMP file whose
// headers and colour table take `head` bytes after the file header and
// whose pixels take `pixels`.
std::vector<uint8_t> BmpStart(uint32_t infoSize, uint32_t head, size_t pixels) {
  std::vector<uint8_t> file = {'B', 'M'};
  PutU32(file, 14 + head + static_cast<uint32_t>(pixels));
  PutU32(file, 0);
  PutU32(file, 14 + head);
  PutU32(file, infoSize);
  return file;
}

// A BMP file: headers, optional colour table, then rows as given (each
// already padded to 4 bytes).
std::vector<uint8_t> MakeBmp(int32_t width, int32_t height, uint16_t bits, const std::vector<uint32_t>& palette,
                             const std::vector<uint8_t>& rows, uint32_t compression = 0) {
  std::vector<uint8_t> file = BmpStart(40, 40 + static_cast<uint32_t>(palette.size()) * 4, rows.size());
  PutU32(file, static_cast<uint32_t>(width));
  PutU32(file, static_cast<uint32_t>(height));
  PutU16(file, 1);
  PutU16(file, bits);
  PutU32(file, compression);
  PutU32(file, static_cast<uint32_t>(rows.size()));
  PutU32(file, 2835);
  PutU32(file, 2835);
  PutU32(file, static_cast<uint32_t>(palette.size()));
  PutU32(file, 0);
  for (uint32_t c : palette) PutU32(file, c);  // stored as blue, green, red, 0
  file.insert(file.end(), rows.begin(), rows.end());
  return file;
}

// The OS/2 form of a BMP file: a 12-byte header of 16-bit sizes and a colour
// table of three-byte entries.
std::vector<uint8_t> MakeOs2Bmp(uint16_t width, uint16_t height, uint16_t bits, const std::vector<uint32_t>& palette,
                                const std::vector<uint8_t>& rows) {
  std::vector<uint8_t> file = BmpStart(12, 12 + static_cast<uint32_t>(palette.size()) * 3, rows.size());
  for (uint16_t v : {width, height, uint16_t{1}, bits}) PutU16(file, v);
  for (uint32_t c : palette) file.insert(file.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
  file.insert(file.end(), rows.begin(), rows.end());
  return file;
}

// Palette indices of a picture, top row first.
using Indices = std::vector<std::vector<uint8_t>>;

// The rows as an uncompressed BMP stores them: bottom row first, `bits` per
// index, each row padded to 4 bytes.
std::vector<uint8_t> PackedRows(const Indices& rows, int bits) {
  std::vector<uint8_t> out;
  for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
    std::vector<uint8_t> line((row->size() * bits + 31) / 32 * 4, 0);
    for (size_t x = 0; x < row->size(); ++x)
      line[x * bits / 8] |= static_cast<uint8_t>((*row)[x] << (8 - bits - x * bits % 8));
    out.insert(out.end(), line.begin(), line.end());
  }
  return out;
}

// The rows run-length coded as picture tools write them: runs of two or
// more equal indices as a count and the index (twice, for 4 bits), other
// stretches of three or more as they are (padded to 16 bits), single
// indices as runs of one, each row ended and the picture ended.
std::vector<uint8_t> RunLengthRows(const Indices& rows, int bits) {
  std::vector<uint8_t> out;
  for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
    const std::vector<uint8_t>& r = *row;
    for (size_t i = 0; i < r.size();) {
      size_t run = 1;
      while (i + run < r.size() && r[i + run] == r[i]) ++run;
      size_t plain = 0;
      while (i + plain < r.size() && !(i + plain + 1 < r.size() && r[i + plain + 1] == r[i + plain])) ++plain;
      if (run >= 2 || plain < 3) {
        out.insert(out.end(), {uint8_t(run), uint8_t(bits == 8 ? r[i] : r[i] << 4 | r[i])});
        i += run;
        continue;
      }
      out.insert(out.end(), {0, uint8_t(plain)});
      size_t start = out.size();
      for (size_t k = 0; k < plain; ++k) {
        if (bits == 8)
          out.push_back(r[i + k]);
        else if (k % 2 == 0)
          out.push_back(static_cast<uint8_t>(r[i + k] << 4));
        else
          out.back() |= r[i + k];
      }
      if ((out.size() - start) % 2) out.push_back(0);
      i += plain;
    }
    out.insert(out.end(), {0, 0});
  }
  out.insert(out.end(), {0, 1});
  return out;
}

// How a test JPEG holds its colours: as colour, or as print inks (cyan,
// magenta, yellow, black) the way Adobe's programs write them (inverted,
// with their marker, which the library writes for inks by default), without
// that marker, or in Adobe's YCCK form.
enum class JpegColours { Rgb, AdobeCmyk, PlainCmyk, AdobeYcck };

std::vector<uint8_t> EncodeJpeg(int width, int height, uint8_t r, uint8_t g, uint8_t b,
                                JpegColours colours = JpegColours::Rgb) {
  jpeg_compress_struct info;
  jpeg_error_mgr error;
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &out, &size);
  const bool inks = colours != JpegColours::Rgb;
  info.image_width = width;
  info.image_height = height;
  info.input_components = inks ? 4 : 3;
  info.in_color_space = inks ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&info);
  if (colours == JpegColours::AdobeYcck) jpeg_set_colorspace(&info, JCS_YCCK);
  if (colours == JpegColours::PlainCmyk) info.write_Adobe_marker = FALSE;
  jpeg_set_quality(&info, 95, TRUE);
  jpeg_start_compress(&info, TRUE);
  std::vector<uint8_t> pixel = {r, g, b};
  if (inks) {
    const int k = 255 - std::max({r, g, b});
    auto ink = [&](int v) { return k == 255 ? 0 : (255 - v - k) * 255 / (255 - k); };
    pixel = {uint8_t(ink(r)), uint8_t(ink(g)), uint8_t(ink(b)), uint8_t(k)};
    if (colours != JpegColours::PlainCmyk)
      for (uint8_t& v : pixel) v = static_cast<uint8_t>(255 - v);
  }
  std::vector<uint8_t> row;
  for (int x = 0; x < width; ++x) row.insert(row.end(), pixel.begin(), pixel.end());
  while (info.next_scanline < info.image_height) {
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  std::vector<uint8_t> bytes(out, out + size);
  jpeg_destroy_compress(&info);
  std::free(out);
  return bytes;
}

}  // namespace

TEST(BitmapTest, FillAndDrawAreClippedToThePicture) {
  Bitmap target(4, 3);
  target.FillRect(-5, -5, 2, 2, 0x0000FF);  // red, clipped at the top-left
  EXPECT_EQ(target.Pixel(0, 0), 0x0000FFu);
  EXPECT_EQ(target.Pixel(1, 1), 0x0000FFu);
  EXPECT_EQ(target.Pixel(2, 1), 0u);
  Bitmap stamp(3, 3);
  stamp.FillRect(0, 0, 3, 3, 0x00FF00);
  target.Draw(stamp, 2, 1);  // only 2 x 2 of it fit
  EXPECT_EQ(target.Pixel(3, 2), 0x00FF00u);
  EXPECT_EQ(target.Pixel(2, 0), 0u);
  target.Draw(stamp, -3, 0);  // entirely outside
  target.Draw(stamp, 4, 0);
  EXPECT_EQ(target.Pixel(0, 0), 0x0000FFu);
  // Outside reads give black; outside writes are ignored.
  target.SetPixel(9, 9, 0xFFFFFF);
  EXPECT_EQ(target.Pixel(9, 9), 0u);
  // Stored for the screen with red in the high byte.
  EXPECT_EQ(target.Bits()[0], 0xFF0000u);
}

TEST(BitmapTest, RefusesSizesBeyondTheLimitAndTreatsNegativeAsEmpty) {
  Bitmap picture;
  EXPECT_THROW(picture.SetSize(Bitmap::kMaxSide + 1, 1), EPictureError);
  EXPECT_THROW(picture.SetSize(1, 100000000), EPictureError);
  EXPECT_THROW(picture.SetSize(Bitmap::kMaxSide, Bitmap::kMaxSide), EPictureError) << "too many pixels in all";
  EXPECT_NO_THROW(picture.SetSize(Bitmap::kMaxSide, 16));
  picture.SetSize(-3, 5);
  EXPECT_TRUE(picture.Empty());
  EXPECT_EQ(picture.Width(), 0);
}

TEST(PictureTest, DecodesTheCommonBitmapDepths) {
  // 2 x 2 pictures, bottom-up: the first stored row is the bottom one.
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    uint32_t topLeft, topRight, bottomLeft;
  };
  std::vector<Case> cases = {
      {"24-bit", MakeBmp(2, 2, 24, {}, {0, 0, 255, 0, 255, 0, 0, 0, /*top*/ 255, 0, 0, 255, 255, 255, 0, 0}), 0xFF0000,
       0xFFFFFF, 0x0000FF},
      {"32-bit", MakeBmp(2, 2, 32, {}, {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 1, 2, 3, 0}), 0xFF0000, 0x010203,
       0x0000FF},
      {"8-bit palette", MakeBmp(2, 2, 8, {0x00FF0000, 0x0000FF00}, {1, 0, 0, 0, 0, 1, 0, 0}), 0x0000FF, 0x00FF00,
       0x00FF00},
      {"1-bit palette", MakeBmp(2, 2, 1, {0x000000, 0xFFFFFF}, {0x80, 0, 0, 0, 0x40, 0, 0, 0}), 0x000000, 0xFFFFFF,
       0xFFFFFF},
      {"4-bit palette", MakeBmp(2, 2, 4, {0x0000FF, 0x00FF00}, {0x00, 0, 0, 0, 0x10, 0, 0, 0}), 0x00FF00, 0xFF0000,
       0xFF0000},
      {"16-bit 5-5-5", MakeBmp(2, 2, 16, {}, {0x00, 0x7C, 0, 0, 0x1F, 0x00, 0xE0, 0x03}), 0xFF0000, 0x00FF00, 0x0000FF},
  };
  for (const Case& c : cases) {
    Bitmap picture = gui::DecodeBmp(c.file.data(), c.file.size());
    ASSERT_EQ(picture.Width(), 2) << c.name;
    ASSERT_EQ(picture.Height(), 2) << c.name;
    EXPECT_EQ(picture.Pixel(0, 0), c.topLeft) << c.name;
    EXPECT_EQ(picture.Pixel(1, 0), c.topRight) << c.name;
    EXPECT_EQ(picture.Pixel(0, 1), c.bottomLeft) << c.name;
  }
}

TEST(PictureTest, RunLengthAndOs2BitmapsGiveTheirUncompressedTwinsPixels) {
  // Runs, stretches of odd and even length, single pixels, an odd width.
  const Indices rows = {
      {0, 0, 0, 0, 1, 2, 3, 4, 5, 5, 1, 2, 3},
      {5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 4, 3},
      {2, 2, 1, 1, 0, 0, 3, 3, 3, 3, 3, 3, 3},
      {1, 3, 1, 3, 1, 3, 4, 4, 2, 0, 5, 0, 5},
  };
  const std::vector<uint32_t> palette = {0x000000, 0xFFFFFF, 0x0000FF, 0x00FF00, 0xFF0000, 0x808080};
  const int w = 13, h = static_cast<int>(rows.size());
  struct Case {
    const char* name;
    std::vector<uint8_t> file, twin;
  };
  const std::vector<uint8_t> twin8 = MakeBmp(w, h, 8, palette, PackedRows(rows, 8));
  const std::vector<uint8_t> twin4 = MakeBmp(w, h, 4, palette, PackedRows(rows, 4));
  const Case cases[] = {
      {"run-length 8 bits", MakeBmp(w, h, 8, palette, RunLengthRows(rows, 8), 1), twin8},
      {"run-length 4 bits", MakeBmp(w, h, 4, palette, RunLengthRows(rows, 4), 2), twin4},
      {"OS/2 8 bits", MakeOs2Bmp(w, h, 8, palette, PackedRows(rows, 8)), twin8},
      {"OS/2 4 bits", MakeOs2Bmp(w, h, 4, palette, PackedRows(rows, 4)), twin4},
      {"OS/2 24 bits", MakeOs2Bmp(2, 1, 24, {}, {0, 0, 255, 255, 0, 0, 0, 0}),
       MakeBmp(2, 1, 24, {}, {0, 0, 255, 255, 0, 0, 0, 0})},
  };
  for (const Case& c : cases) {
    Bitmap picture = gui::DecodeBmp(c.file.data(), c.file.size());
    Bitmap expected = gui::DecodeBmp(c.twin.data(), c.twin.size());
    ASSERT_EQ(picture.Width(), expected.Width()) << c.name;
    ASSERT_EQ(picture.Height(), expected.Height()) << c.name;
    for (int y = 0; y < picture.Height(); ++y)
      for (int x = 0; x < picture.Width(); ++x)
        ASSERT_EQ(picture.Pixel(x, y), expected.Pixel(x, y)) << c.name << " at " << x << "," << y;
  }

  // A move skips pixels, which stay black; a run past the row's end is cut.
  auto moved = MakeBmp(4, 2, 8, {0x000000, 0xFFFFFF}, {2, 1, 0, 2, 1, 1, 9, 1, 0, 1}, 1);
  Bitmap picture = gui::DecodeBmp(moved.data(), moved.size());
  EXPECT_EQ(picture.Pixel(1, 1), 0xFFFFFFu) << "bottom row first";
  EXPECT_EQ(picture.Pixel(2, 1), 0u);
  EXPECT_EQ(picture.Pixel(2, 0), 0u) << "skipped by the move";
  EXPECT_EQ(picture.Pixel(3, 0), 0xFFFFFFu);
}

TEST(PictureTest, RefusalsNameThePictureAndTheReason) {
  auto rle4 = MakeBmp(2, -1, 4, {0, 0}, {2, 1, 0, 1}, 2);
  auto wide = EncodeJpeg(Bitmap::kMaxSide + 8, 1, 0, 0, 0);
  struct Case {
    std::string name;
    std::vector<uint8_t> bytes;
    std::string reason;
  } cases[] = {
      {"art\\side.bmp", rle4, "Bitmap image is not valid: run-length pixels stored top-down"},
      {"face.png", rle4, "Unknown picture file extension (.png)"},
      {"wide.jpg", wide, "Picture too large: 8200 x 1"},
  };
  for (const Case& c : cases) {
    // The reason form raises nothing and leaves no picture; the other
    // raises the same reason.
    Bitmap picture(2, 2);
    const std::string expected = "Picture \"" + c.name + "\": " + c.reason;
    EXPECT_EQ(gui::DecodePicture(c.name, c.bytes.data(), c.bytes.size(), picture), expected);
    EXPECT_TRUE(picture.Empty()) << c.name;
    EXPECT_EQ(RaisedText([&] { gui::DecodePicture(c.name, c.bytes.data(), c.bytes.size()); }), expected);
  }
}

TEST(PictureTest, TopDownBitmapKeepsItsRowOrder) {
  auto file = MakeBmp(1, -2, 24, {}, {0, 0, 255, 0, 255, 0, 0, 0});
  Bitmap picture = gui::DecodeBmp(file.data(), file.size());
  EXPECT_EQ(picture.Pixel(0, 0), 0x0000FFu);
  EXPECT_EQ(picture.Pixel(0, 1), 0xFF0000u);
}

TEST(PictureTest, DamagedBitmapsAreRefusedWithoutReadingPastTheirEnd) {
  auto good = MakeBmp(2, 2, 24, {}, std::vector<uint8_t>(16, 0x80));
  auto truncated = good;
  truncated.resize(truncated.size() - 1);
  auto hugeWidth = MakeBmp(1000000, 1, 24, {}, std::vector<uint8_t>(16, 0));
  auto hugeOffset = good;
  for (int i = 0; i < 4; ++i) hugeOffset[10 + i] = i ? 0xFF : 0xF0;
  auto badIndex = MakeBmp(1, 1, 8, {0x000000}, {5, 0, 0, 0});
  auto badDepth = MakeBmp(2, 2, 7, {}, std::vector<uint8_t>(8, 0));
  auto os2 = MakeOs2Bmp(2, 1, 24, {}, std::vector<uint8_t>(8, 0));
  auto zeroWidth = MakeBmp(0, 2, 24, {}, {});
  std::vector<std::pair<const char*, std::vector<uint8_t>>> cases = {
      {"truncated pixels", truncated},
      {"huge width", hugeWidth},
      {"offset past end", hugeOffset},
      {"colour index", badIndex},
      {"bit depth", badDepth},
      {"zero width", zeroWidth},
      {"not a bitmap", {'X', 'Y'}},
      {"header only", {good.begin(), good.begin() + 20}},
      {"run-length without its end", MakeBmp(2, 2, 8, {0, 0}, std::vector<uint8_t>(8, 0), 1)},
      {"run-length cut in a stretch", MakeBmp(4, 1, 8, {0, 0}, {0, 4, 0, 0}, 1)},
      {"run-length cut in a move", MakeBmp(4, 1, 8, {0, 0}, {0, 2, 1}, 1)},
      {"run-length colour index", MakeBmp(2, 1, 8, {0, 0}, {2, 7, 0, 1}, 1)},
      {"run-length stored top-down", MakeBmp(2, -1, 8, {0, 0}, {2, 1, 0, 1}, 1)},
      {"run-length 8 of a 4-bit picture", MakeBmp(2, 1, 4, {0, 0}, {2, 1, 0, 1}, 1)},
      {"OS/2 pixels missing", MakeOs2Bmp(2, 1, 24, {}, {})},
      {"OS/2 header cut", {os2.begin(), os2.begin() + 20}},
  };
  for (auto& [name, bytes] : cases) EXPECT_THROW(gui::DecodeBmp(bytes.data(), bytes.size()), EPictureError) << name;
}

TEST(PictureTest, JpegDecodesColourAndPrintInks) {
  struct Case {
    const char* name;
    JpegColours colours;
  } cases[] = {
      {"colour", JpegColours::Rgb},
      {"inks as Adobe writes them", JpegColours::AdobeCmyk},
      {"inks without Adobe's marker", JpegColours::PlainCmyk},
      {"YCCK", JpegColours::AdobeYcck},
  };
  for (const Case& c : cases) {
    auto file = EncodeJpeg(16, 8, 200, 40, 10, c.colours);
    Bitmap picture;
    ASSERT_EQ(gui::DecodeJpeg(file.data(), file.size(), picture), "") << c.name;
    ASSERT_EQ(picture.Width(), 16) << c.name;
    ASSERT_EQ(picture.Height(), 8) << c.name;
    uint32_t colour = picture.Pixel(7, 4);
    EXPECT_NEAR(gui::RedOf(colour), 200, 8) << c.name;
    EXPECT_NEAR(gui::GreenOf(colour), 40, 8) << c.name;
    EXPECT_NEAR(gui::BlueOf(colour), 10, 8) << c.name;
  }
}

TEST(PictureTest, DamagedJpegRaisesInsteadOfEndingTheProcess) {
  auto file = EncodeJpeg(16, 16, 1, 2, 3);
  std::vector<std::pair<const char*, std::vector<uint8_t>>> cases = {
      {"empty", {}},
      {"start marker only", {0xFF, 0xD8}},
      {"cut in the middle", {file.begin(), file.begin() + static_cast<long>(file.size() / 3)}},
      {"not a JPEG", std::vector<uint8_t>(64, 0x41)},
  };
  for (auto& [name, bytes] : cases) {
    // A cut stream may decode with grey filling; it must never crash.
    try {
      gui::DecodeJpeg(bytes.data(), bytes.size());
      EXPECT_STREQ(name, "cut in the middle");
    } catch (const EPictureError&) {
    }
  }
}

TEST(PictureTest, KindFollowsTheExtensionInAnyCase) {
  auto bmp = MakeBmp(1, 1, 24, {}, {0, 0, 255, 0});
  auto jpeg = EncodeJpeg(2, 2, 0, 0, 0);
  EXPECT_EQ(gui::DecodePicture("a\\b\\Pic.BMP", bmp.data(), bmp.size()).Width(), 1);
  EXPECT_EQ(gui::DecodePicture("photo.JpG", jpeg.data(), jpeg.size()).Width(), 2);
  EXPECT_EQ(gui::DecodePicture("photo.jpeg", jpeg.data(), jpeg.size()).Width(), 2);
  for (const char* name : {"picture.png", "noextension", "folder.bmp\\file", "x.gif"})
    EXPECT_THROW(gui::DecodePicture(name, bmp.data(), bmp.size()), EPictureError) << name;
  // Contents that do not match the extension are refused too.
  EXPECT_THROW(gui::DecodePicture("fake.jpg", bmp.data(), bmp.size()), EPictureError);
}

TEST(PictureTest, LoadsAFileAndReportsAMissingOne) {
  testing_support::TempDir dir;
  auto bmp = MakeBmp(3, 1, 24, {}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  testing_support::WriteFileBytes(dir.File("p.bmp"), bmp);
  EXPECT_EQ(gui::LoadPictureFile(dir.File("p.bmp")).Width(), 3);
  EXPECT_THROW(gui::LoadPictureFile(dir.File("missing.bmp")), EPictureError);
}

TEST(PictureTest, EncodedBitmapDecodesToTheSamePixels) {
  Bitmap picture(3, 2);  // odd width: rows are padded
  picture.SetPixel(0, 0, 0x0000FF);
  picture.SetPixel(2, 1, 0x123456);
  auto file = gui::EncodeBmp(picture);
  Bitmap back = gui::DecodeBmp(file.data(), file.size());
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(back.Pixel(x, y), picture.Pixel(x, y)) << x << "," << y;
}
