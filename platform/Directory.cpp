#include "platform/Directory.h"

#include <algorithm>

#include "platform/Text.h"
#include "platform/WidePath.h"

namespace platform {

std::u16string EntryPathFault(const std::string& dir, const DirEntry& entry) {
  if (!entry.WideName.empty())
    return u"The name of " + WidePath(dir) + entry.WideName + u" holds characters the system's code page does not have";
  if (!entry.IsDirectory && dir.size() + entry.Name.size() > kMaxPath)
    return u"The path of " + WidePath(dir + entry.Name) + u" is longer than the system's " +
           AnsiToWide(std::to_string(kMaxPath)) + u" characters";
  return {};
}

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
