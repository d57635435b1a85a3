// Token rules of the install script, shared by the script compiler and the
// wizard's layout reading: tokens are separated by blanks or tabs outside
// double quotes, and double quotes only group (there is no escape).
#pragma once

#include <string>

// The text without the characters of code 32 and below at both ends.
std::string TrimBlanks(const std::string& text);

// The text with every double quote removed.
std::string StripQuotes(const std::string& text);

// Splits the trimmed text at its first blank or tab outside double quotes:
// token := the part before it with its quotes removed; rest := the text from
// that separator on (the next call trims it away), or empty when there is
// none. An unterminated quote runs to the end of the text.
void SplitFirstToken(const std::string& text, std::string& token, std::string& rest);

// The same rules for 16-bit text (language files).
std::u16string WideStripQuotes(const std::u16string& text);
void WideSplitFirstToken(const std::u16string& text, std::u16string& token, std::u16string& rest);
