#include "installer-library/S_DecimalSeperator.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace {

// |value| = 0.Digits x 10^Point, Digits without leading or trailing zeros
// (empty for zero).
struct TDecimal {
  std::string Digits;
  int Point = 0;
  bool Negative = false;
};

void StripTrailingZeros(TDecimal& d) {
  while (!d.Digits.empty() && d.Digits.back() == '0') d.Digits.pop_back();
  if (d.Digits.empty()) d.Point = 0;
}

// Every digit of a finite double: a binary fraction has a finite decimal
// expansion, at most 767 significant digits, which the library's own
// conversion (not the C runtime's) writes out exactly at this precision.
TDecimal ExactDigits(double value) {
  TDecimal d;
  d.Negative = std::signbit(value);
  if (value == 0) return d;
  char buf[1024];
  auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 800);
  std::string text(buf, res.ptr);
  size_t e = text.find('e');
  d.Digits = text.substr(0, 1) + text.substr(2, e - 2);
  d.Point = std::atoi(text.c_str() + e + 1) + 1;
  StripTrailingZeros(d);
  return d;
}

// Keeps `keep` significant digits, rounding half away from zero.
void RoundTo(TDecimal& d, int keep) {
  if (static_cast<int>(d.Digits.size()) <= keep) return;
  if (keep < 0) {
    d.Digits.clear();
    d.Point = 0;
    return;
  }
  bool up = d.Digits[keep] >= '5';
  d.Digits.resize(keep);
  if (up) {
    int i = keep - 1;
    while (i >= 0 && d.Digits[i] == '9') d.Digits[i--] = '0';
    if (i >= 0) {
      ++d.Digits[i];
    } else {
      d.Digits.insert(d.Digits.begin(), '1');
      ++d.Point;
    }
  }
  StripTrailingZeros(d);
}

// Digit i of the expansion (0 = first significant digit); zeros outside.
char DigitAt(const TDecimal& d, int i) { return i >= 0 && i < static_cast<int>(d.Digits.size()) ? d.Digits[i] : '0'; }

std::string Sign(const TDecimal& d) { return d.Negative && !d.Digits.empty() ? "-" : ""; }

// Positional text: the integer part, then `decimals` digits after "." (or
// as many as there are, when decimals is negative).
std::string Positional(const TDecimal& d, int decimals) {
  std::string out = Sign(d);
  if (d.Point <= 0) out += '0';
  for (int i = 0; i < d.Point; ++i) out += DigitAt(d, i);
  int fraction = decimals >= 0 ? decimals : std::max(0, static_cast<int>(d.Digits.size()) - d.Point);
  if (fraction > 0) out += '.';
  for (int i = 0; i < fraction; ++i) out += DigitAt(d, d.Point + i);
  return out;
}

}  // namespace

std::string FloatToStrDot(double value) {
  std::string text;
  if (std::isnan(value)) {
    text = "NAN";
  } else if (std::isinf(value)) {
    text = value < 0 ? "-INF" : "INF";
  } else {
    constexpr int kPrecision = 15;
    TDecimal d = ExactDigits(value);
    RoundTo(d, kPrecision);
    int exponent = d.Point - 1;
    if (d.Digits.empty() || (exponent >= -5 && exponent < kPrecision)) {
      text = Positional(d, -1);
    } else {
      text = Sign(d);
      text += d.Digits[0];
      if (d.Digits.size() > 1) text.append(".").append(d.Digits, 1);
      text.append("E").append(std::to_string(exponent));
    }
  }
  if (text.find('.') == std::string::npos) text += ".0";
  return text;
}

std::string FloatToStrFixed(double value, int precision, int decimals) {
  if (!std::isfinite(value)) return std::isnan(value) ? "NAN" : value < 0 ? "-INF" : "INF";
  TDecimal d = ExactDigits(value);
  RoundTo(d, std::max(d.Point, std::min(precision, d.Point + decimals)));
  return Positional(d, decimals);
}
