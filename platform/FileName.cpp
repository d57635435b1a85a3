#include "platform/FileName.h"

#include <array>

namespace platform {

namespace {

char UpperAZ(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c; }

bool SameUpper(std::string_view text, std::string_view upper) {
  if (text.size() != upper.size()) return false;
  for (size_t i = 0; i < text.size(); ++i)
    if (UpperAZ(text[i]) != upper[i]) return false;
  return true;
}

}  // namespace

bool IsDeviceName(std::string_view segment) {
  // Windows ignores what follows the first dot, and blanks before it.
  std::string_view base = segment.substr(0, segment.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  static constexpr std::array<std::string_view, 6> kFixed = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (std::string_view name : kFixed)
    if (SameUpper(base, name)) return true;
  if (base.size() == 4 && (SameUpper(base.substr(0, 3), "COM") || SameUpper(base.substr(0, 3), "LPT")))
    // Windows also takes the superscript digits (Windows-1252 0xB9, 0xB2,
    // 0xB3) as port numbers.
    return (base[3] >= '1' && base[3] <= '9') || base[3] == '\xB9' || base[3] == '\xB2' || base[3] == '\xB3';
  return false;
}

bool IsPlainFileName(std::string_view segment) {
  if (segment.empty() || segment.back() == '.' || segment.back() == ' ') return false;
  for (char c : segment)
    if (static_cast<unsigned char>(c) < 32 || std::string_view("\"*:<>?|/\\").find(c) != std::string_view::npos)
      return false;
  return !IsDeviceName(segment);
}

bool IsPlainAbsolutePath(std::string_view path) {
  const char drive = UpperAZ(path.empty() ? '\0' : path[0]);
  if (path.size() < 4 || drive < 'A' || drive > 'Z' || path.substr(1, 2) != ":\\") return false;
  std::string_view names = path.substr(3);
  if (names.back() == '\\') names.remove_suffix(1);
  for (size_t start = 0;;) {
    size_t end = names.find('\\', start);
    if (!IsPlainFileName(names.substr(start, end == std::string_view::npos ? end : end - start))) return false;
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

}  // namespace platform
