#include "platform/Dir.h"

#include <algorithm>

#include "platform/Text.h"

namespace platform {

void SortByName(std::vector<DirEntry>& entries) {
  std::sort(entries.begin(), entries.end(), [](const DirEntry& a, const DirEntry& b) {
    std::string la = AnsiLowerCase(a.Name), lb = AnsiLowerCase(b.Name);
    return la != lb ? la < lb : a.Name < b.Name;
  });
}

}  // namespace platform
