#include "Global/KVLD_Encryption.h"

namespace {

// The digits come from a table computed at high precision, not from the C
// runtime's sin and cos: those differ in the 15th digit for a few seeds,
// and an archive enciphered with one set of digits cannot be read with
// another.
#include "Global/KVLD_DigitTable.inc"

// The key's digit at position j; an empty key (seed A = 0, from archives
// made elsewhere) adds nothing, so the text passes unchanged instead of the
// pass reading a digit that does not exist.
int DigitAt(const std::string& key, size_t j) { return key.empty() ? 0 : key[j % key.size()] - '0'; }

}  // namespace

std::string TTarvoEncryptionType::KeyDigits(bool which) const {
  return which ? kSineDigits[SeedA] : kCosineDigits[SeedB];
}

std::string TTarvoEncryptionType::AddPass(const std::string& key, const std::string& text, bool fromEnd) {
  std::string out(text.size(), '\0');
  for (size_t k = 0; k < text.size(); ++k) {
    uint8_t b = static_cast<uint8_t>(fromEnd ? text[text.size() - 1 - k] : text[k]);
    out[k] = static_cast<char>(static_cast<uint8_t>(b + DigitAt(key, k)));
  }
  return out;
}

std::string TTarvoEncryptionType::SubPass(const std::string& key, const std::string& text, bool prepend) {
  std::string out(text.size(), '\0');
  for (size_t k = 0; k < text.size(); ++k) {
    char c = static_cast<char>(static_cast<uint8_t>(static_cast<uint8_t>(text[k]) - DigitAt(key, k)));
    out[prepend ? text.size() - 1 - k : k] = c;
  }
  return out;
}

std::string TTarvoEncryptionType::Encrypt(const std::string& text) {
  return AddPass(KeyDigits(false), AddPass(KeyDigits(true), text, false), true);
}

std::string TTarvoEncryptionType::Decrypt(const std::string& text) {
  return SubPass(KeyDigits(true), SubPass(KeyDigits(false), text, true), false);
}
