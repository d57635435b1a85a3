#include "installer-library/SIntegerText.h"

EIntegerConversion::EIntegerConversion(const std::string& text) : std::runtime_error(IntegerConversionFault(text)) {}

std::string IntegerConversionFault(const std::string& text) { return "'" + text + "' is not a valid integer value"; }

namespace {

int DigitValue(char c, unsigned base) {
  int v = -1;
  if (c >= '0' && c <= '9')
    v = c - '0';
  else if (c >= 'a' && c <= 'f')
    v = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F')
    v = c - 'A' + 10;
  return v >= 0 && static_cast<unsigned>(v) < base ? v : -1;
}

}  // namespace

bool TryStrToInt32(const std::string& text, int32_t& value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  unsigned base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  }
  if (i == text.size()) return false;
  // Decimals may reach 2^31 (for the negative limit), hexadecimals 2^32 - 1.
  const uint64_t limit = base == 16 ? 0xFFFFFFFFull : 0x80000000ull;
  uint64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    int d = DigitValue(text[i], base);
    if (d < 0) return false;
    magnitude = magnitude * base + static_cast<unsigned>(d);
    if (magnitude > limit) return false;
  }
  if (base == 10 && !negative && magnitude == limit) return false;
  uint32_t bits = static_cast<uint32_t>(magnitude);
  if (negative) bits = 0u - bits;
  value = static_cast<int32_t>(bits);
  return true;
}

int32_t StrToInt32(const std::string& text) {
  int32_t value;
  if (!TryStrToInt32(text, value)) throw EIntegerConversion(text);
  return value;
}
