// The picture loader of image controls: a file's kind follows its name's
// extension (".bmp"; ".jpg", ".jpeg", ".jpe" through libjpeg), and its
// pixels are decoded into a Bitmap. Nothing is read outside the given bytes.
// Each decoder has a reason form, which gives the picture or why it cannot
// (the picture then empty) and raises nothing for any bytes, and a raising
// form, which throws EPictureError with that reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/gui/Bitmap.h"
#include "platform/gui/Color.h"

namespace gui {

// The Windows bitmap forms: 1, 4, 8, 16, 24 and 32 bits, run-length coded
// 4 and 8 bits, bit fields of 16 and 32 bits; the information header of 40
// bytes or more, or the 12-byte OS/2 one.
std::string DecodeBmp(const uint8_t* data, size_t size, Bitmap& picture);
Bitmap DecodeBmp(const uint8_t* data, size_t size);
// Baseline and progressive JPEG in grey, colour, or print inks (CMYK and
// YCCK, in either of the forms print programs write).
std::string DecodeJpeg(const uint8_t* data, size_t size, Bitmap& picture);
Bitmap DecodeJpeg(const uint8_t* data, size_t size);

// Decodes by the extension of `name`; an extension that no picture kind
// claims is refused. Every reason names the picture and says why.
std::string DecodePicture(const std::string& name, const uint8_t* data, size_t size, Bitmap& picture);
Bitmap DecodePicture(const std::string& name, const uint8_t* data, size_t size);

// Reads the file at `path` and decodes it by its extension.
Bitmap LoadPictureFile(const std::string& path);

// A 24-bit BMP file of the picture (screenshots).
std::vector<uint8_t> EncodeBmp(const Bitmap& picture);

}  // namespace gui
