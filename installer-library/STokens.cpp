#include "installer-library/STokens.h"

namespace {

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }

}  // namespace

std::string TrimBlanks(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && IsBlankOrControl(text[begin])) ++begin;
  while (end > begin && IsBlankOrControl(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::string StripQuotes(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (c != '"') out += c;
  return out;
}

void SplitFirstToken(const std::string& text, std::string& token, std::string& rest) {
  std::string trimmed = TrimBlanks(text);
  bool quoted = false;
  for (size_t p = 0; p < trimmed.size(); ++p) {
    char c = trimmed[p];
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      token = StripQuotes(trimmed.substr(0, p));
      rest = trimmed.substr(p);
      return;
    }
  }
  token = StripQuotes(trimmed);
  rest.clear();
}
