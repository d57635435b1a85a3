#include "platform/gui/Picture.h"

#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <vector>

#include "platform/ByteOrder.h"
#include "platform/File.h"
#include "platform/Text.h"

namespace gui {

namespace {

std::string LowerExtension(const std::string& name) {
  size_t dot = name.find_last_of('.');
  size_t slash = name.find_last_of("\\/");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return platform::LowerAZ(name.substr(dot));
}

std::string BadBmp(const char* why) { return std::string("Bitmap image is not valid: ") + why; }

// The picture of a reason form, or the reason raised.
template <class Decode>
Bitmap Raising(Decode decode) {
  Bitmap picture;
  if (std::string fault = decode(picture); !fault.empty()) throw EPictureError(fault);
  return picture;
}

// Run-length pixels, bottom-up, as pairs of bytes: a count and an index (for
// 4 bits two indices, taken in turn), or 0 and an escape: 0 ends the row, 1
// ends the picture, 2 moves right and up by the next two bytes, and 3 or
// more is that many indices as they are, padded to an even number of bytes.
// Pixels that no pair paints stay black; pixels past a row's end are
// dropped.
std::string DecodeRunLength(const uint8_t* p, const uint8_t* end, int bits, const std::vector<uint32_t>& palette,
                            Bitmap& picture) {
  int64_t x = 0, row = 0;
  auto put = [&](unsigned index) {
    if (index >= palette.size()) return false;
    if (x < picture.Width() && row < picture.Height())
      picture.SetPixel(static_cast<int>(x), static_cast<int>(picture.Height() - 1 - row), palette[index]);
    ++x;
    return true;
  };
  // The i-th index of a run of indices packed into bytes.
  auto indexAt = [bits](const uint8_t* packed, unsigned i) -> unsigned {
    return bits == 8 ? packed[i] : (i % 2 == 0 ? packed[i / 2] >> 4 : packed[i / 2] & 0x0F);
  };
  for (;;) {
    if (end - p < 2) return BadBmp("pixel data truncated");
    const uint8_t count = p[0], code = p[1];
    p += 2;
    if (count > 0) {
      for (unsigned i = 0; i < count; ++i)
        if (!put(indexAt(&code, bits == 8 ? 0 : i % 2))) return BadBmp("colour index");
    } else if (code == 0) {
      x = 0;
      ++row;
    } else if (code == 1) {
      return {};
    } else if (code == 2) {
      if (end - p < 2) return BadBmp("pixel data truncated");
      x += p[0];
      row += p[1];
      p += 2;
    } else {
      const size_t bytes = bits == 8 ? code : (code + 1u) / 2, padded = (bytes + 1) & ~size_t{1};
      if (static_cast<size_t>(end - p) < padded) return BadBmp("pixel data truncated");
      for (unsigned i = 0; i < code; ++i)
        if (!put(indexAt(p, i))) return BadBmp("colour index");
      p += padded;
    }
  }
}

}  // namespace

std::string DecodeBmp(const uint8_t* data, size_t size, Bitmap& out) {
  out = Bitmap();
  // File header (14 bytes), then an information header of 40 bytes or more,
  // or the OS/2 form of 12 with 16-bit sizes and three-byte colours.
  if (size < 18 || data[0] != 'B' || data[1] != 'M') return BadBmp("no bitmap header");
  uint32_t pixelOffset = GetU32(data + 10);
  uint32_t infoSize = GetU32(data + 14);
  const bool os2 = infoSize == 12;
  if ((!os2 && infoSize < 40) || infoSize > size - 14) return BadBmp("information header");
  int32_t width, height;
  uint16_t bits;
  uint32_t compression = 0, used = 0;
  if (os2) {
    width = GetU16(data + 18);
    height = GetU16(data + 20);
    bits = GetU16(data + 24);
  } else {
    width = static_cast<int32_t>(GetU32(data + 18));
    height = static_cast<int32_t>(GetU32(data + 22));
    bits = GetU16(data + 28);
    compression = GetU32(data + 30);
    used = GetU32(data + 46);
  }
  bool topDown = height < 0;
  int64_t rows = topDown ? -static_cast<int64_t>(height) : height;
  if (width <= 0 || rows <= 0) return BadBmp("size");
  if (std::string fault = Bitmap::SizeFault(width, static_cast<int>(std::min<int64_t>(rows, INT32_MAX)));
      !fault.empty())
    return fault;
  const bool runLength = (compression == 1 && bits == 8) || (compression == 2 && bits == 4);
  if (compression != 0 && !runLength && !(compression == 3 && (bits == 32 || bits == 16)))
    return BadBmp("compression not supported");
  if (runLength && topDown) return BadBmp("run-length pixels stored top-down");
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return BadBmp("bit depth");

  // Colour table for palette pictures; bit masks for 16 and 32 bits. The
  // OS/2 form's table has no count: it fills the room up to the pixels.
  std::vector<uint32_t> palette;
  size_t tableAt = 14 + infoSize;
  if (bits <= 8) {
    const size_t entrySize = os2 ? 3 : 4;
    size_t count = used ? used : (1u << bits);
    if (os2 && pixelOffset >= tableAt) count = std::min(count, (pixelOffset - tableAt) / entrySize);
    if (count > 256 || tableAt + count * entrySize > size) return BadBmp("colour table");
    for (size_t i = 0; i < count; ++i) {
      const uint8_t* e = data + tableAt + i * entrySize;
      palette.push_back(e[2] | (e[1] << 8) | (e[0] << 16));
    }
  }
  uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
  if (bits == 32) masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
  if (compression == 3) {
    // Right after the 40-byte header, inside a larger one or as a table.
    const uint8_t* m = data + 54;
    if (size < 66) return BadBmp("bit masks");
    for (int i = 0; i < 3; ++i) masks[i] = GetU32(m + 4 * i);
  }
  auto channel = [](uint32_t value, uint32_t mask) -> uint32_t {
    if (mask == 0) return 0;
    int shift = 0;
    while (!(mask & 1)) mask >>= 1, ++shift;
    uint32_t v = (value >> shift) & mask;
    return mask >= 255 ? (v * 255 / mask) : (v * 255 + mask / 2) / mask;
  };

  if (pixelOffset > size) return BadBmp("pixel data truncated");
  if (runLength) {
    Bitmap picture(width, static_cast<int>(rows));
    if (std::string fault = DecodeRunLength(data + pixelOffset, data + size, bits, palette, picture); !fault.empty())
      return fault;
    out = std::move(picture);
    return {};
  }
  size_t stride = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
  if (stride * static_cast<size_t>(rows) > size - pixelOffset) return BadBmp("pixel data truncated");
  Bitmap picture(width, static_cast<int>(rows));
  for (int64_t r = 0; r < rows; ++r) {
    const uint8_t* line = data + pixelOffset + stride * static_cast<size_t>(r);
    int y = static_cast<int>(topDown ? r : rows - 1 - r);
    for (int x = 0; x < width; ++x) {
      uint32_t rgb;
      if (bits <= 8) {
        size_t bit = static_cast<size_t>(x) * bits;
        unsigned index = (line[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
        if (index >= palette.size()) return BadBmp("colour index");
        rgb = palette[index];
      } else if (bits == 24) {
        const uint8_t* p = line + x * 3;
        rgb = p[2] | (p[1] << 8) | (p[0] << 16);
      } else {
        uint32_t v = bits == 16 ? GetU16(line + x * 2) : GetU32(line + x * 4);
        rgb = channel(v, masks[0]) | (channel(v, masks[1]) << 8) | (channel(v, masks[2]) << 16);
      }
      picture.SetPixel(x, y, rgb);
    }
  }
  out = std::move(picture);
  return {};
}

namespace {

struct JpegFailure {
  jpeg_error_mgr manager;
  std::jmp_buf escape;
  char message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr info) {
  auto* failure = reinterpret_cast<JpegFailure*>(info->err);
  info->err->format_message(info, failure->message);
  std::longjmp(failure->escape, 1);
}

void JpegSilence(j_common_ptr, int) {}

// The screen pixel (as Bitmap::Bits holds it) of print inks: cyan, magenta,
// yellow and black, each 0 for none and 255 for full, or the other way round
// in the form that Adobe's programs write.
uint32_t InksToPixel(const uint8_t* ink, bool inverted) {
  auto clear = [&](int i) { return inverted ? ink[i] : 255 - ink[i]; };
  auto mix = [&](int i) { return static_cast<uint32_t>((clear(i) * clear(3) + 127) / 255); };
  return (mix(0) << 16) | (mix(1) << 8) | mix(2);
}

}  // namespace

std::string DecodeJpeg(const uint8_t* data, size_t size, Bitmap& out) {
  out = Bitmap();
  // libjpeg reports errors by a non-returning callback; it leaves through
  // longjmp, so nothing with a destructor may live in this frame between
  // setjmp and the decoder calls: the row is a plain buffer.
  jpeg_decompress_struct info;
  JpegFailure failure;
  info.err = jpeg_std_error(&failure.manager);
  failure.manager.error_exit = JpegErrorExit;
  failure.manager.emit_message = JpegSilence;
  // Changes after setjmp and is read after longjmp: volatile.
  uint8_t* volatile row = nullptr;
  if (setjmp(failure.escape)) {
    jpeg_destroy_decompress(&info);
    delete[] row;
    out = Bitmap();
    return std::string("JPEG image is not valid: ") + failure.message;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  // Print artwork holds inks (or their YCCK form, which the library turns
  // into inks); the screen's colours are made from them here.
  const bool inks = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = inks ? JCS_CMYK : JCS_RGB;
  const unsigned components = inks ? 4 : 3;
  // Refused before the library allocates for it.
  const int width = static_cast<int>(info.image_width), height = static_cast<int>(info.image_height);
  if (!Bitmap::SizeFault(width, height).empty()) {
    jpeg_destroy_decompress(&info);
    return Bitmap::SizeFault(width, height);
  }
  jpeg_start_decompress(&info);
  if (info.output_components != static_cast<int>(components)) {
    std::snprintf(failure.message, sizeof failure.message, "unsupported colours");
    std::longjmp(failure.escape, 1);
  }
  try {
    out.SetSize(static_cast<int>(info.output_width), static_cast<int>(info.output_height));
    row = new uint8_t[static_cast<size_t>(info.output_width) * components];
  } catch (...) {
    jpeg_destroy_decompress(&info);
    out = Bitmap();
    throw;
  }
  // Adobe's programs write inverted inks and mark the file as theirs.
  const bool inverted = info.saw_Adobe_marker;
  while (info.output_scanline < info.output_height) {
    int y = static_cast<int>(info.output_scanline);
    JSAMPROW rows[1] = {const_cast<uint8_t*>(row)};
    jpeg_read_scanlines(&info, rows, 1);
    uint32_t* pixels = out.Bits() + static_cast<size_t>(y) * out.Width();
    for (unsigned x = 0; x < info.output_width; ++x) {
      const uint8_t* p = row + x * components;
      pixels[x] = inks ? InksToPixel(p, inverted) : (p[0] << 16) | (p[1] << 8) | p[2];
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  delete[] row;
  return {};
}

std::string DecodePicture(const std::string& name, const uint8_t* data, size_t size, Bitmap& picture) {
  // A refusal names the picture: a layout may show many of them.
  std::string ext = LowerExtension(name), fault;
  picture = Bitmap();
  if (ext == ".bmp")
    fault = DecodeBmp(data, size, picture);
  else if (ext == ".jpg" || ext == ".jpeg" || ext == ".jpe")
    fault = DecodeJpeg(data, size, picture);
  else
    fault = "Unknown picture file extension (" + ext + ")";
  return fault.empty() ? fault : "Picture \"" + name + "\": " + fault;
}

Bitmap DecodeBmp(const uint8_t* data, size_t size) {
  return Raising([&](Bitmap& picture) { return DecodeBmp(data, size, picture); });
}

Bitmap DecodeJpeg(const uint8_t* data, size_t size) {
  return Raising([&](Bitmap& picture) { return DecodeJpeg(data, size, picture); });
}

Bitmap DecodePicture(const std::string& name, const uint8_t* data, size_t size) {
  return Raising([&](Bitmap& picture) { return DecodePicture(name, data, size, picture); });
}

Bitmap LoadPictureFile(const std::string& path) {
  platform::File file(path, platform::OpenMode::Read);
  int64_t size = file.IsOpen() ? file.Size() : -1;
  if (size < 0) throw EPictureError("Cannot open picture file " + path);
  if (size > (int64_t{1} << 30)) throw EPictureError("Picture file too large: " + path);
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (file.Read(bytes.data(), bytes.size()) != bytes.size()) throw EPictureError("Cannot read picture file " + path);
  return DecodePicture(path, bytes.data(), bytes.size());
}

std::vector<uint8_t> EncodeBmp(const Bitmap& picture) {
  uint32_t stride = (static_cast<uint32_t>(picture.Width()) * 3 + 3) & ~3u;
  uint32_t imageSize = stride * static_cast<uint32_t>(picture.Height());
  std::vector<uint8_t> file = {'B', 'M'};
  PutU32(file, 54 + imageSize);
  PutU32(file, 0);
  PutU32(file, 54);
  PutU32(file, 40);
  PutU32(file, static_cast<uint32_t>(picture.Width()));
  PutU32(file, static_cast<uint32_t>(picture.Height()));
  PutU16(file, 1);
  PutU16(file, 24);
  for (int i = 0; i < 6; ++i) PutU32(file, 0);
  for (int y = picture.Height() - 1; y >= 0; --y) {
    for (int x = 0; x < picture.Width(); ++x) {
      uint32_t c = picture.Pixel(x, y);
      file.insert(file.end(), {BlueOf(c), GreenOf(c), RedOf(c)});
    }
    file.resize(file.size() + (stride - static_cast<uint32_t>(picture.Width()) * 3));
  }
  return file;
}

}  // namespace gui
