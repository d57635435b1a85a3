// Integers written as text (jump targets, layout values, language numbers):
// an optional sign, then decimal digits or "$" and hexadecimal digits. No
// blanks are allowed anywhere. Every integer read from text goes through here
// so that all readers accept exactly the same forms.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// Raised by StrToInt32 for text that is not an integer.
class EIntegerConversion : public std::runtime_error {
 public:
  explicit EIntegerConversion(const std::string& text);
};

// Why the text is not an integer, as the conversion says it:
// "'<text>' is not a valid integer value".
std::string IntegerConversionFault(const std::string& text);

// True with the value when the whole text is an integer. A decimal must lie
// within the signed 32-bit range; a hexadecimal may use all 32 bits and is
// taken as their signed value, so "$FFFFFFFF" is -1 (colour codes rely on it).
bool TryStrToInt32(const std::string& text, int32_t& value);

// The value, or EIntegerConversion with the text
// "'<text>' is not a valid integer value".
int32_t StrToInt32(const std::string& text);
