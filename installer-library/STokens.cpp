#include "installer-library/STokens.h"

#include <type_traits>

namespace {

// One set of rules for both text widths.
template <class C>
bool IsBlankOrControl(C c) {
  return static_cast<std::make_unsigned_t<C>>(c) <= 32;
}

template <class S>
S Trim(const S& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && IsBlankOrControl(text[begin])) ++begin;
  while (end > begin && IsBlankOrControl(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

template <class S>
S WithoutQuotes(const S& text) {
  S out;
  out.reserve(text.size());
  for (auto c : text)
    if (c != '"') out += c;
  return out;
}

template <class S>
void SplitFirst(const S& text, S& token, S& rest) {
  S trimmed = Trim(text);
  bool quoted = false;
  for (size_t p = 0; p < trimmed.size(); ++p) {
    auto c = trimmed[p];
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      token = WithoutQuotes(trimmed.substr(0, p));
      rest = trimmed.substr(p);
      return;
    }
  }
  token = WithoutQuotes(trimmed);
  rest.clear();
}

}  // namespace

std::string TrimBlanks(const std::string& text) { return Trim(text); }

std::string StripQuotes(const std::string& text) { return WithoutQuotes(text); }

void SplitFirstToken(const std::string& text, std::string& token, std::string& rest) { SplitFirst(text, token, rest); }

std::u16string WideStripQuotes(const std::u16string& text) { return WithoutQuotes(text); }

void WideSplitFirstToken(const std::u16string& text, std::u16string& token, std::u16string& rest) {
  SplitFirst(text, token, rest);
}
