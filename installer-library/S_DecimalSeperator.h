// Number texts that do not depend on the user's locale or on the C runtime:
// "." is the decimal separator, and rounding is done here, half away from
// zero on the exact value, so every build prints the same digits.
#pragma once

#include <string>

// General format with 15 significant digits and no trailing zeros; an
// exponent is used below 0.00001 and from 1E15 on ("1.5E-7", "1E20"). When
// the text has no ".", ".0" is appended (also after an exponent).
std::string FloatToStrDot(double value);

// Fixed notation with exactly `decimals` decimals, rounded to at most
// `precision` significant digits (never into the integer part).
std::string FloatToStrFixed(double value, int precision, int decimals);
