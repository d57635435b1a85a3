#include "installer-library/QXI_DigitKey.h"

namespace {

// sign is +1 to encode, -1 to decode.
std::string Scramble(std::string_view key, std::string_view text, int sign) {
  if (!digit_key_detail::AllDigits(key)) throw EDigitKey("A digit key must be a non-empty string of digits");
  std::string out(text);
  size_t p = 0;
  for (char& ch : out) {
    int d = key[p] - '0';
    ch = static_cast<char>(static_cast<unsigned char>(static_cast<unsigned char>(ch) + sign * d));
    if (++p == key.size()) p = 0;
  }
  return out;
}

}  // namespace

std::string DigitKeyEncode(std::string_view key, std::string_view text) { return Scramble(key, text, +1); }

std::string DigitKeyDecode(std::string_view key, std::string_view text) { return Scramble(key, text, -1); }
