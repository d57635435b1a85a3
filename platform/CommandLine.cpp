#include "platform/CommandLine.h"

namespace platform {

std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> items;
  std::string item;
  bool inItem = false, quoted = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      inItem = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
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

}  // namespace platform
