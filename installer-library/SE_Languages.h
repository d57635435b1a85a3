// The languages of Setup: language files (16-bit text, numbered strings),
// the current language, language tags "<LANGn>", placeholders "<%KEY%>"
// bound to live string variables, and the case-insensitive replacement that
// every text of the installer goes through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// An index outside a string list.
class EListError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The lines of a 16-bit text buffer. A carriage return ends a line; a line
// feed drops what the line held so far, so CR LF files read as expected.
class TUnicodeStringList {
 public:
  // Replaces the list by the lines of the buffer; the first two bytes (the
  // byte-order mark) are skipped unseen, a trailing odd byte is ignored. A
  // null buffer fails with "Cannot open file".
  void LoadFromBuffer(const void* buffer, size_t size);
  int Add(const std::u16string& text);
  // The line at index; EListError "List index out of bounds (n)" outside.
  const std::u16string& Get(int index) const;
  int Count() const { return static_cast<int>(lines_.size()); }
  void Clear() { lines_.clear(); }
  // Why there is no line at index ("List index out of bounds (n)"), or
  // empty when there is.
  std::string IndexFault(int index) const;

 private:
  std::vector<std::u16string> lines_;
};

// How much tags inside language strings may add to a text in all, in
// characters and in replacements: far above what any caption or message
// needs, far below what strings that nest their tags could ask for. Tags
// written in the text itself are not counted.
constexpr size_t kMaxTagExpansion = 16384;

struct TLID {
  uint16_t Number = 0;
  std::u16string Text;
};

class TLanguage {
 public:
  std::u16string Name = u"Untitled";
  std::vector<uint16_t> LangIds;
  std::vector<TLID> Strings;  // file order; the first of equal numbers wins

  // Line 0 is the name, line 1 the identifiers, every further line one
  // numbered string. A file that does not load raises its reason (that of
  // LoadFromLines): Setup's start-up ends in its error report with it.
  void LoadFromBuffer(const void* buffer, size_t size);
  // The same from the file's lines, refused rather than raised: why they
  // make no language (a line missing, as with LF-only line ends, or a number
  // that does not convert, as on an empty line), empty when they do. `line`
  // is then the index of the line that failed; the language may be loaded
  // in part.
  std::string LoadFromLines(const TUnicodeStringList& lines, int& line);
  // "409" alone, or identifiers each followed by ";" ("409;809;"): why the
  // line is neither, or empty.
  std::string ParseLangIds(const std::u16string& line);
  // Why the line is no numbered string, or empty with `id` filled in.
  static std::string ParseStringLine(const std::u16string& line, TLID& id);
};

// Why the installer could not load a language file from these bytes, for
// the author who builds it in: no byte-order mark FF FE (the installer would
// skip the first two bytes unseen and misread the name), or the line
// (counted from 1), the error the loading meets there (a line missing, as
// with LF-only line ends, or a number that does not convert, as on an empty
// line) and what that line must hold. Empty when it loads.
std::string LanguageFileFault(const void* buffer, size_t size);

class TLanguages {
 public:
  int32_t Current = -1;
  std::vector<TLanguage> Items;

  // Loads a language file and appends it; a file that fails to load leaves
  // the list as it was.
  void AddFromBuffer(const void* buffer, size_t size);
  // The current language's string, or "NOT FOUND " and the number.
  std::u16string GetString(uint16_t number) const;
  // Replaces every "<LANGn>" (upper case) by string n, again and again from
  // the start, so strings may hold tags themselves. A tag inside an inserted
  // string stays as it is when it would take what such tags add past
  // kMaxTagExpansion (characters or replacements), or when it is that
  // string's own tag.
  std::u16string ReplaceLangTags(const std::u16string& text) const;
  // Index of the first language serving the identifier, or -1.
  int32_t FindByLangId(uint16_t langId) const;

  // Every occurrence of pattern replaced, letters A-Z compared without case;
  // the search starts again from the beginning after each replacement, so an
  // occurrence that a replacement completes with its surroundings is
  // replaced too.
  static std::u16string ReplaceText(const std::u16string& text, const std::u16string& pattern,
                                    const std::u16string& replacement);

 private:
  bool HasCurrent() const { return Current >= 0 && static_cast<size_t>(Current) < Items.size(); }
};

// Placeholders bound to string variables owned elsewhere; a variable is read
// at each replacement, so later changes show.
class TLanguageStrings {
 public:
  // The key is kept lower-cased; value must outlive the table.
  void Add(const std::string& key, const std::string* value);
  std::u16string Apply(const std::u16string& text) const;
  size_t Count() const { return items_.size(); }

 private:
  struct TLanguageString {
    std::string Key;
    const std::string* Value;
  };
  std::vector<TLanguageString> items_;
};

// The installer's languages and placeholders, created with the other
// installer globals (SE_Global).
extern TLanguages Languages;
extern TLanguageStrings LanguageStrings;

// The registered placeholders of LanguageStrings applied to a text.
std::u16string ApplyLanguageStrings(const std::u16string& text);
