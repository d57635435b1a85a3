#include "platform/TextFile.h"

#include "platform/Text.h"

namespace platform {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// UTF-8 to UTF-16. A sequence that is not UTF-8 (a stray or missing
// continuation byte, an overlong form, a surrogate, a value above
// U+10FFFF) fails the whole text when `strict`, else becomes U+FFFD.
bool Utf8ToWide(std::string_view in, bool strict, std::u16string& out) {
  out.clear();
  out.reserve(in.size());
  for (size_t i = 0; i < in.size();) {
    const unsigned char lead = static_cast<unsigned char>(in[i]);
    size_t extra = 0;
    char32_t value = lead, least = 0;
    if (lead >= 0xC0 && lead < 0xE0) {
      extra = 1, value = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead < 0xF0) {
      extra = 2, value = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead < 0xF8) {
      extra = 3, value = lead & 0x07, least = 0x10000;
    }
    bool valid = lead < 0x80 || (extra > 0 && i + extra < in.size());
    for (size_t k = 1; valid && k <= extra; ++k) {
      const unsigned char next = static_cast<unsigned char>(in[i + k]);
      valid = (next & 0xC0) == 0x80;
      value = value << 6 | (next & 0x3F);
    }
    valid = valid && value >= least && value <= 0x10FFFF && !(value >= 0xD800 && value <= 0xDFFF);
    if (!valid) {
      if (strict) return false;
      out.push_back(kReplacement);
      ++i;
      continue;
    }
    if (value >= 0x10000) {
      value -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (value >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (value & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(value));
    }
    i += extra + 1;
  }
  return true;
}

std::u16string Utf16ToWide(std::string_view in, bool bigEndian) {
  std::u16string out;
  out.reserve(in.size() / 2);
  for (size_t i = 0; i + 1 < in.size(); i += 2) {
    const unsigned char a = static_cast<unsigned char>(in[i]), b = static_cast<unsigned char>(in[i + 1]);
    out.push_back(static_cast<char16_t>(bigEndian ? a << 8 | b : b << 8 | a));
  }
  return out;
}

}  // namespace

std::u16string DecodeTextFile(std::string_view bytes) {
  std::u16string text;
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    Utf8ToWide(bytes.substr(3), false, text);
  } else if (bytes.starts_with("\xFF\xFE")) {
    text = Utf16ToWide(bytes.substr(2), false);
  } else if (bytes.starts_with("\xFE\xFF")) {
    text = Utf16ToWide(bytes.substr(2), true);
  } else if (!Utf8ToWide(bytes, true, text)) {
    text = AnsiToWide(std::string(bytes));
  }
  return text;
}

}  // namespace platform
