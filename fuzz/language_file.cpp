// A language file as Setup loads it from its archive, then its strings as
// every text of the installer uses them: language tags (which strings may
// hold themselves) and the placeholder replacement.
#include <stdexcept>
#include <string>

#include "installer-library/SE_Languages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TLanguages languages;
  try {
    languages.AddFromBuffer(data, size);
  } catch (const std::runtime_error&) {
    // A file with too few lines or a number that does not convert is
    // refused; the list stays as it was.
    if (!languages.Items.empty()) std::abort();
    return 0;
  }
  languages.Current = languages.FindByLangId(0x409);
  if (languages.Current < 0) languages.Current = 0;
  const TLanguage& language = languages.Items[0];
  size_t shown = 0;
  for (const TLID& s : language.Strings) {
    if (++shown > 4) break;
    std::u16string number;
    for (uint16_t n = s.Number;; n /= 10) {
      number.insert(number.begin(), static_cast<char16_t>(u'0' + n % 10));
      if (n < 10) break;
    }
    std::u16string text = u"<LANG" + number + u"> and " + s.Text;
    try {
      text = languages.ReplaceLangTags(text);
    } catch (const std::runtime_error&) {
      // A tag whose number does not convert: the conversion error reaches
      // the caller's handler, as for a bad number in the file.
    }
    TLanguages::ReplaceText(text, u"<%SETUPTITLE%>", s.Text);
  }
  return 0;
}
