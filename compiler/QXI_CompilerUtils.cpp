#include "compiler/QXI_CompilerUtils.h"

#include <bit>

std::string IncludeSlash(const std::string& path) {
  if (path.empty() || path.back() == '\\' || path.back() == '/') return path;
  return path + '\\';
}

std::string ExtractFileName(const std::string& path) {
  size_t cut = path.find_last_of("\\/:");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string ExtractFileDir(const std::string& path) {
  size_t cut = path.find_last_of("\\/:");
  if (cut == std::string::npos) return {};
  return path.substr(0, path[cut] == ':' ? cut + 1 : cut);
}

namespace {

// The value a single-precision float holds for n (24 significant bits,
// ties to even), computed in integers so that no floating-point unit or
// excess precision can change a digit of the text.
uint64_t AsSingle(uint32_t n) {
  int drop = std::bit_width(n) - 24;
  if (drop <= 0) return n;
  uint64_t kept = n >> drop, rest = n & ((1u << drop) - 1), half = 1u << (drop - 1);
  if (rest > half || (rest == half && (kept & 1))) ++kept;
  return kept << drop;
}

}  // namespace

std::string FormatSize(uint32_t size) {
  static const char* const kUnits[] = {"Bytes", "KB", "MB", "GB"};
  uint64_t v = AsSingle(size);
  int unit = 0;
  while (unit < 3 && (v >> (10 * (unit + 1))) > 0) ++unit;
  // Hundredths, halves rounded up: v / 1024^unit is exact, so is this.
  int shift = 10 * unit;
  uint64_t cents = shift == 0 ? v * 100 : (v * 100 + (uint64_t(1) << (shift - 1))) >> shift;
  std::string decimals = std::to_string(cents % 100);
  if (decimals.size() < 2) decimals.insert(decimals.begin(), '0');
  return std::to_string(cents / 100) + "." + decimals + " " + kUnits[unit];
}
