#include "platform/Directory.h"

#include <algorithm>

#include "platform/File.h"
#include "platform/FileReplacement.h"
#include "platform/Text.h"
#include "platform/WidePath.h"

namespace platform {

bool CopyFileOver(const std::string& from, const std::string& to) {
  constexpr size_t kPiece = 1 << 20;
  File in(from, OpenMode::Read);
  const int64_t size = in.Size();
  if (size < 0) return false;
  FileReplacement out(to);
  if (!out.IsOpen()) return false;
  std::vector<char> piece(static_cast<size_t>(std::min<int64_t>(size, kPiece)) + 1);
  int64_t done = 0;
  for (size_t n; (n = in.Read(piece.data(), piece.size())) > 0; done += static_cast<int64_t>(n))
    if (!out.Stream().Write(piece.data(), n)) return false;
  // A read error looks like the end of the file: the length tells.
  return done == size && out.Commit();
}

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
