// The string cipher that protects the password in a game archive's trailer:
// two streams of decimal digits, picked by two seed bytes stored beside the
// enciphered text, are added to the bytes on the way in and subtracted on
// the way out.
#pragma once

#include <cstdint>
#include <string>

class TEncryptionType {
 public:
  virtual ~TEncryptionType() = default;
  virtual std::string Encrypt(const std::string& text) = 0;
  virtual std::string Decrypt(const std::string& text) = 0;
};

class TTarvoEncryptionType : public TEncryptionType {
 public:
  TTarvoEncryptionType() = default;
  TTarvoEncryptionType(uint8_t seedA, uint8_t seedB) : SeedA(seedA), SeedB(seedB) {}

  // Stream A added in reading order, then stream B added while reading the
  // result from its end: the enciphered text comes out reversed.
  std::string Encrypt(const std::string& text) override;
  std::string Decrypt(const std::string& text) override;

  // Stream A (which = true, from sin(SeedA)) or B (cos(SeedB)) as the
  // characters '1' to '9'. Empty only for a sine of exactly zero (seed 0).
  std::string KeyDigits(bool which) const;

  // Adds the key's digits byte by byte (mod 256), the key restarting at its
  // first digit when it runs out; reads the text from its end when fromEnd.
  static std::string AddPass(const std::string& key, const std::string& text, bool fromEnd);
  // Subtracts the key's digits; each result byte goes in front of the
  // result when prepend, which undoes the reversal of AddPass.
  static std::string SubPass(const std::string& key, const std::string& text, bool prepend);

  uint8_t SeedA = 3;
  uint8_t SeedB = 4;
};
