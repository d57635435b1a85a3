#include "platform/Directory.h"

#include <algorithm>

#include "platform/Text.h"

namespace platform {

void SortDirEntries(std::vector<DirEntry>& entries) {
  std::vector<std::pair<std::string, DirEntry>> keyed;
  keyed.reserve(entries.size());
  for (DirEntry& e : entries) keyed.emplace_back(AnsiLowerCase(e.Name), std::move(e));
  std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first < b.first : a.second.Name < b.second.Name;
  });
  for (size_t i = 0; i < keyed.size(); ++i) entries[i] = std::move(keyed[i].second);
}

}  // namespace platform
