#include "platform/CommandLine.h"

#include "platform/WidePath.h"

namespace platform {

std::vector<std::u16string> SplitCommandLine(const std::u16string& line) {
  std::vector<std::u16string> items;
  std::u16string item;
  bool inItem = false, quoted = false;
  for (char16_t c : line) {
    if (c == u'"') {
      quoted = !quoted;
      inItem = true;
    } else if ((c == u' ' || c == u'\t') && !quoted) {
      if (inItem) items.push_back(item);
      item.clear();
      inItem = false;
    } else {
      item.push_back(c);
      inItem = true;
    }
  }
  if (inItem) items.push_back(item);
  return items;
}

std::vector<std::string> ProgramParameters(int argc, char** argv) {
  std::vector<std::string> items;
  for (const std::u16string& given : ProgramParametersWide(argc, argv)) items.push_back(NarrowPathOrMarked(given));
  return items;
}

}  // namespace platform
