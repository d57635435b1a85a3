#include "installer-library/SE_Languages.h"

#include <algorithm>
#include <cstdio>

#include "installer-library/SIntegerText.h"
#include "installer-library/STokens.h"
#include "platform/Text.h"

using platform::AnsiToWide;
using platform::WideToAnsi;

namespace {

constexpr char16_t kCR = u'\r', kLF = u'\n';
const std::u16string kTagStart = u"<LANG";

// Integer conversion with the installer's rules; only the low 16 bits count.
// Why the text is no integer, or empty with `value` set.
std::string Low16(const std::u16string& text, uint16_t& value) {
  const std::string ansi = WideToAnsi(text);
  int32_t number = 0;
  if (!TryStrToInt32(ansi, number)) return IntegerConversionFault(ansi);
  value = static_cast<uint16_t>(number);
  return "";
}

// A tag's number: decimal digits, or "$" and hexadecimal digits, that
// convert as an integer.
bool TagNumber(const std::u16string& text, int32_t& number) {
  size_t digits = !text.empty() && text[0] == u'$' ? 1 : 0;
  if (digits == text.size()) return false;
  for (size_t i = digits; i < text.size(); ++i) {
    char16_t c = text[i];
    bool hex = digits == 1 && ((c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'));
    if (!(c >= u'0' && c <= u'9') && !hex) return false;
  }
  return TryStrToInt32(WideToAnsi(text), number);
}

char16_t FoldAZ(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

bool IsBlankOrControl(char16_t c) { return c <= u' '; }

// One match of a repeated replacement: the range [Begin, End) of the text
// and a key naming what was matched (the tag's number).
struct TMatch {
  size_t Begin = 0, End = 0;
  int Key = 0;
};

// Replaces matches again and again until none is left, with the result of
// restarting the search from the beginning after every replacement. After a
// replacement at a position, resume(text, position) names the earliest place
// where a match can begin now, and the search goes on from there.
//
// A text that holds its own pattern, or strings that hold each other's tags,
// would be expanded forever. A match that lies wholly inside text inserted
// for the same key, while that insertion is still being worked through, is
// therefore left as it is; all other input gets exactly the restart result.
//
// Strings that each hold two tags of the next one double the text at every
// level: thirty lines of a language file would ask for gigabytes, and a long
// chain of strings that each name the next costs a replacement per link. So
// matches inside inserted text (nested ones) may add at most `limit`
// characters and make at most `limit` replacements in all; a nested match
// past that is left as it is, like a cycle. Matches in the text itself are
// always replaced, however long their replacement.
template <class FindFn, class ValueFn, class ResumeFn>
std::u16string ReplaceRepeatedly(std::u16string text, FindFn find, ValueFn value, ResumeFn resume,
                                 size_t limit = SIZE_MAX) {
  size_t nestedMade = 0, nestedGrowth = 0;
  struct TInserted {
    size_t Begin, End;
    int Key;
  };
  std::vector<TInserted> open;  // nested, outermost first
  size_t from = 0, floor = 0;
  TMatch m;
  while (find(text, from, m)) {
    while (!open.empty() && !(open.back().Begin <= m.Begin && m.End <= open.back().End)) open.pop_back();
    bool cycle = std::any_of(open.begin(), open.end(), [&](const TInserted& r) { return r.Key == m.Key; });
    std::u16string inserted = cycle ? std::u16string() : value(m);
    const size_t replaced = m.End - m.Begin;
    const size_t growth = inserted.size() > replaced ? inserted.size() - replaced : 0;
    const bool nested = !open.empty();
    if (cycle || (nested && (nestedMade >= limit || growth > limit - nestedGrowth))) {
      from = floor = m.Begin + 1;
      continue;
    }
    if (nested) {
      ++nestedMade;
      nestedGrowth += growth;
    }
    text.replace(m.Begin, replaced, inserted);
    for (TInserted& r : open) r.End = r.End + inserted.size() - replaced;
    open.push_back({m.Begin, m.Begin + inserted.size(), m.Key});
    from = std::max(floor, resume(text, m.Begin));
  }
  return text;
}

// First occurrence of a pattern (already folded) at or after from.
size_t FindFolded(const std::u16string& text, const std::u16string& folded, size_t from) {
  if (folded.empty() || text.size() < folded.size()) return std::u16string::npos;
  for (size_t i = from; i + folded.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < folded.size() && FoldAZ(text[i + k]) == folded[k]) ++k;
    if (k == folded.size()) return i;
  }
  return std::u16string::npos;
}

}  // namespace

// --- string list -------------------------------------------------------------

void TUnicodeStringList::LoadFromBuffer(const void* buffer, size_t size) {
  if (!buffer) throw std::runtime_error("Cannot open file");
  Clear();
  auto* bytes = static_cast<const uint8_t*>(buffer);
  size_t n = size < 2 ? 0 : (size - 2) / 2;
  std::u16string line;
  bool pending = false;
  for (size_t i = 0; i < n; ++i) {
    char16_t c = static_cast<char16_t>(bytes[2 + 2 * i] | bytes[3 + 2 * i] << 8);
    if (c == kCR) {
      Add(line);
      line.clear();
      pending = false;
    } else if (c == kLF) {
      line.clear();
      pending = false;
    } else {
      line.push_back(c);
      pending = true;
    }
  }
  if (pending) Add(line);
}

int TUnicodeStringList::Add(const std::u16string& text) {
  lines_.push_back(text);
  return Count() - 1;
}

const std::u16string& TUnicodeStringList::Get(int index) const {
  if (std::string fault = IndexFault(index); !fault.empty()) throw EListError(fault);
  return lines_[index];
}

std::string TUnicodeStringList::IndexFault(int index) const {
  if (index >= 0 && index < Count()) return "";
  return "List index out of bounds (" + std::to_string(index) + ")";
}

// --- one language ------------------------------------------------------------

void TLanguage::LoadFromBuffer(const void* buffer, size_t size) {
  TUnicodeStringList lines;
  lines.LoadFromBuffer(buffer, size);
  int line = 0;
  if (std::string fault = LoadFromLines(lines, line); !fault.empty()) throw std::runtime_error(fault);
}

std::string TLanguage::LoadFromLines(const TUnicodeStringList& lines, int& line) {
  for (line = 0; line < 2; ++line)
    if (std::string fault = lines.IndexFault(line); !fault.empty()) return fault;
  Name = lines.Get(0);
  line = 1;
  if (std::string fault = ParseLangIds(lines.Get(line)); !fault.empty()) return fault;
  Strings.clear();
  for (line = 2; line < lines.Count(); ++line) {
    TLID id;
    if (std::string fault = ParseStringLine(lines.Get(line), id); !fault.empty()) return fault;
    Strings.push_back(std::move(id));
  }
  return "";
}

std::string LanguageFileFault(const void* buffer, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  if (size < 2) return std::to_string(size) + " bytes are too short for the byte-order mark FF FE";
  if (bytes[0] != 0xFF || bytes[1] != 0xFE) {
    char first[8];
    std::snprintf(first, sizeof first, "%02X %02X", bytes[0], bytes[1]);
    return std::string("The file begins with ") + first + ", not with the byte-order mark FF FE of 16-bit Unicode text";
  }
  TUnicodeStringList lines;
  lines.LoadFromBuffer(buffer, size);
  int line = 0;
  TLanguage language;
  const std::string fault = language.LoadFromLines(lines, line);
  if (fault.empty()) return "";
  // Lines are counted from 1 here, as an editor counts them.
  const std::string where = "line " + std::to_string(line + 1);
  if (line >= lines.Count())
    return where + " is missing (" + fault + "): the installer reads " + std::to_string(lines.Count()) +
           " lines, each must end in CR LF";
  if (line == 1)
    return where + ": " + fault + " (the language identifiers in hexadecimal: one alone, as 409, or each " +
           "followed by ;, as 409;809;)";
  return where + ": " + fault + " (every line from line 3 on is a number, a blank and the text; no empty lines)";
}

std::string TLanguage::ParseLangIds(const std::u16string& line) {
  // Identifiers are hexadecimal without the "$" that the conversion expects;
  // each must be followed by ";", so text after the last ";" converts as an
  // empty identifier and fails.
  LangIds.clear();
  auto add = [this](const std::u16string& id) {
    uint16_t value = 0;
    std::string fault = Low16(u"$" + id, value);
    if (fault.empty()) LangIds.push_back(value);
    return fault;
  };
  if (line.find(u';') == std::u16string::npos) return add(line);
  for (size_t at = 0; at < line.size();) {
    const size_t semi = line.find(u';', at);
    if (semi == std::u16string::npos) return add(u"");
    if (std::string fault = add(line.substr(at, semi - at)); !fault.empty()) return fault;
    at = semi + 1;
  }
  return "";
}

std::string TLanguage::ParseStringLine(const std::u16string& line, TLID& id) {
  std::u16string first, rest;
  WideSplitFirstToken(line, first, rest);
  if (std::string fault = Low16(first, id.Number); !fault.empty()) return fault;
  size_t start = 0;
  while (start < rest.size() && IsBlankOrControl(rest[start])) ++start;
  id.Text = rest.substr(start);
  return "";
}

// --- the language list ---------------------------------------------------------

void TLanguages::AddFromBuffer(const void* buffer, size_t size) {
  TLanguage language;
  language.LoadFromBuffer(buffer, size);
  Items.push_back(std::move(language));
}

std::u16string TLanguages::GetString(uint16_t number) const {
  if (HasCurrent()) {
    for (const TLID& s : Items[Current].Strings)
      if (s.Number == number) return s.Text;
  }
  return u"NOT FOUND " + AnsiToWide(std::to_string(number));
}

std::u16string TLanguages::ReplaceLangTags(const std::u16string& text) const {
  if (!HasCurrent()) return text;
  // A "<LANG" without a later ">" is no tag, and neither is any "<LANG"
  // after it, so the search ends there. A "<LANG" whose text up to the ">"
  // is no number stays as written: captions are the author's text, and a
  // typo in one must not end the program.
  auto find = [](const std::u16string& t, size_t from, TMatch& m) {
    for (;;) {
      size_t begin = t.find(kTagStart, from);
      if (begin == std::u16string::npos) return false;
      size_t close = t.find(u'>', begin + kTagStart.size());
      if (close == std::u16string::npos) return false;
      int32_t number = 0;
      if (TagNumber(t.substr(begin + kTagStart.size(), close - begin - kTagStart.size()), number)) {
        m.Begin = begin;
        m.End = close + 1;
        m.Key = static_cast<uint16_t>(number);
        return true;
      }
      from = begin + 1;
    }
  };
  auto value = [this](const TMatch& m) { return GetString(static_cast<uint16_t>(m.Key)); };
  // Every "<LANG" before the replacement was no tag, for want of a number up
  // to its ">". One whose ">" lies before the replacement stays so; only the
  // last "<LANG" that no ">" closes before it can become a tag now (an
  // earlier one would hold it in its number). A "<LAN" just before the
  // replacement may also be completed by it.
  auto resume = [](const std::u16string& t, size_t at) {
    const size_t partial = at > kTagStart.size() - 1 ? at - (kTagStart.size() - 1) : 0;
    for (size_t p = at; p-- > 0;) {
      if (t[p] == u'>') break;
      if (p + kTagStart.size() <= at && t.compare(p, kTagStart.size(), kTagStart) == 0) return p;
    }
    return partial;
  };
  return ReplaceRepeatedly(text, find, value, resume, kMaxTagExpansion);
}

std::u16string TLanguages::ReplaceText(const std::u16string& text, const std::u16string& pattern,
                                       const std::u16string& replacement) {
  if (pattern.empty()) return text;
  std::u16string folded(pattern);
  std::transform(folded.begin(), folded.end(), folded.begin(), FoldAZ);
  auto find = [&](const std::u16string& t, size_t from, TMatch& m) {
    size_t at = FindFolded(t, folded, from);
    if (at == std::u16string::npos) return false;
    m.Begin = at;
    m.End = at + folded.size();
    return true;
  };
  auto value = [&](const TMatch&) { return replacement; };
  // An occurrence that a replacement completes overlaps its start.
  auto resume = [&](const std::u16string&, size_t at) { return at >= folded.size() ? at - (folded.size() - 1) : 0; };
  return ReplaceRepeatedly(text, find, value, resume);
}

int32_t TLanguages::FindByLangId(uint16_t langId) const {
  for (size_t i = 0; i < Items.size(); ++i)
    if (std::find(Items[i].LangIds.begin(), Items[i].LangIds.end(), langId) != Items[i].LangIds.end())
      return static_cast<int32_t>(i);
  return -1;
}

// --- placeholders --------------------------------------------------------------

void TLanguageStrings::Add(const std::string& key, const std::string* value) {
  items_.push_back({platform::AnsiLowerCase(key), value});
}

std::u16string TLanguageStrings::Apply(const std::u16string& text) const {
  std::u16string result = text;
  for (const TLanguageString& item : items_)
    result = TLanguages::ReplaceText(result, AnsiToWide(item.Key), AnsiToWide(*item.Value));
  return result;
}

std::u16string ApplyLanguageStrings(const std::u16string& text) { return LanguageStrings.Apply(text); }
