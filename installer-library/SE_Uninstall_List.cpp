#include "installer-library/SE_Uninstall_List.h"

#include <algorithm>

#include "Global/QXI_PakFile.h"
#include "installer-library/QXI_DigitKey.h"
#include "installer-library/SE_Global.h"
#include "platform/ByteOrder.h"
#include "platform/Directory.h"
#include "platform/File.h"
#include "platform/FileReplacement.h"
#include "platform/Text.h"
#include "platform/buffer_type.h"

TUninstallList UninstallList;

namespace {

std::string FoldAZ(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return text;
}

// A file's path as the log keeps it: known folders as path variables.
std::string LoggedPath(const std::string& path) {
  return platform::WideToAnsi(CollapsePathVars(platform::AnsiToWide(path)));
}

bool Fits(const std::vector<std::string>& list, const std::string& text) {
  return list.size() < kMaxUninstallEntries && text.size() <= kMaxUninstallText;
}

}  // namespace

bool TUninstallList::TUniqueList::Has(const std::string& text) const { return Folded.count(FoldAZ(text)) != 0; }

bool TUninstallList::TUniqueList::Add(const std::string& text) {
  if (Has(text)) return true;
  if (!Fits(Items, text)) return false;
  Items.push_back(text);
  Folded.insert(FoldAZ(text));
  return true;
}

bool TUninstallList::TUniqueList::Replace(const std::string& from, const std::string& to) {
  const std::string folded = FoldAZ(from);
  if (!Folded.count(folded) || to.size() > kMaxUninstallText) return false;
  auto at = std::find_if(Items.begin(), Items.end(), [&](const std::string& item) { return FoldAZ(item) == folded; });
  Folded.erase(folded);
  if (Has(to)) {
    Items.erase(at);
  } else {
    *at = to;
    Folded.insert(FoldAZ(to));
  }
  return true;
}

void TUninstallList::TUniqueList::Clear() {
  Items.clear();
  Folded.clear();
}

void TUninstallList::Clear() {
  files_.Clear();
  regEntries_.Clear();
  dirs_.clear();
  ++revision_;
}

bool TUninstallList::HasFile(const std::string& path) const { return files_.Has(path); }

bool TUninstallList::NamesFile(const std::string& path) const { return files_.Has(LoggedPath(path)); }

bool TUninstallList::HasRegEntry(const std::string& entry) const { return regEntries_.Has(entry); }

bool TUninstallList::AddFile(const std::string& path) {
  const size_t before = files_.Items.size();
  const bool added = files_.Add(LoggedPath(path));
  revision_ += files_.Items.size() - before;
  return added;
}

bool TUninstallList::RenameFile(const std::string& from, const std::string& to) {
  const bool renamed = files_.Replace(LoggedPath(from), LoggedPath(to));
  revision_ += renamed;
  return renamed;
}

bool TUninstallList::AddRegEntry(const std::string& entry) {
  const size_t before = regEntries_.Items.size();
  const bool added = regEntries_.Add(entry);
  revision_ += regEntries_.Items.size() - before;
  return added;
}

bool TUninstallList::AddDir(const std::string& dir) {
  std::string logged = LoggedPath(dir);
  if (!Fits(dirs_, logged)) return false;
  dirs_.push_back(std::move(logged));
  ++revision_;
  return true;
}

void TUninstallList::TruncateDirs(size_t count) {
  if (count >= dirs_.size()) return;
  dirs_.resize(count);
  ++revision_;
}

void TUninstallList::Assign(const std::vector<std::string>& files, const std::vector<std::string>& regEntries,
                            const std::vector<std::string>& dirs) {
  Clear();
  for (const std::string& file : files) files_.Add(file);
  for (const std::string& entry : regEntries) regEntries_.Add(entry);
  dirs_ = dirs;
}

std::string TUninstallList::LogPath(const std::string& dir, const std::string& prefix) {
  // One backslash after a folder that ends in one (as the folder page
  // gives it), so that the name a box shows is the plain one.
  return (dir.empty() || dir.back() != '\\' ? dir + "\\" : dir) + prefix + "install.log";
}

bool TUninstallList::SaveToFile(const std::string& dir, const std::string& prefix) const {
  const std::string path = LogPath(dir, prefix);
  const std::vector<std::string>* lists[] = {&Files(), &RegEntries(), &Dirs()};
  // Built whole and written at once: an installation saves its log again
  // and again while it runs.
  Bytes bytes;
  for (const auto* list : lists) PutU16(bytes, static_cast<uint16_t>(list->size()));
  bool written = true;
  for (const auto* list : lists)
    for (size_t i = 0; written && i < list->size(); ++i)
      written = PutStr(bytes, DigitKeyEncode(kDigitKeyA, (*list)[i]));
  platform::FileReplacement file(path);
  return written && file.IsOpen() && file.Stream().Write(bytes.data(), bytes.size()) && file.Commit();
}

std::string TUninstallList::OwnerPath(const std::string& dir, const std::string& prefix) {
  const std::string log = LogPath(dir, prefix);
  return log.substr(0, log.size() - 3) + "owner";
}

void TUninstallList::RemoveFile(const std::string& dir, const std::string& prefix) {
  const std::string path = LogPath(dir, prefix);
  platform::RemoveFile(path);
  platform::RemoveFile(OwnerPath(dir, prefix));
  // A process killed while it saved the log leaves its copy in the making.
  platform::RemoveFile(platform::FileReplacement::AsideOf(path));
}

bool TUninstallList::LoadFromFile(const std::string& dir, const std::string& prefix) {
  // Damaged input is refused as missing input is: a script that loads a
  // log must not lose what it has logged to a file that is not one.
  TUninstallList read;
  const bool whole = read.ReadFrom(LogPath(dir, prefix));
  loadError_ = read.loadError_;
  if (!whole) return false;
  files_ = std::move(read.files_);
  regEntries_ = std::move(read.regEntries_);
  dirs_ = std::move(read.dirs_);
  ++revision_;
  return true;
}

bool TUninstallList::ReadFrom(const std::string& path) {
  loadError_.clear();
  auto fail = [this](std::string why) {
    loadError_ = std::move(why);
    return false;
  };
  if (!platform::FileExists(path)) return fail("No log " + path);
  platform::File file;
  uint8_t counts[6];
  if (!file.Open(path, platform::OpenMode::Read)) return fail("Cannot open " + path);
  if (file.Read(counts, sizeof counts) != sizeof counts) return fail("The log is shorter than its 6 count bytes");
  // Entries are added as they are read, so a log that ends early keeps
  // what it holds and a count larger than the file allocates nothing.
  std::string text;
  static const char* const kListNames[] = {"files", "registry entries", "folders"};
  auto readList = [&](int k, auto&& store) {
    for (uint16_t i = 0, n = GetU16(counts + 2 * k); i < n; ++i) {
      if (!ReadStrFromFile(file, text))
        return fail("The log ends in its list of " + std::to_string(n) + " " + kListNames[k] + " at entry " +
                    std::to_string(i));
      store(DigitKeyDecode(kDigitKeyA, text));
    }
    return true;
  };
  return readList(0, [&](const std::string& t) { files_.Add(t); }) &&
         readList(1, [&](const std::string& t) { regEntries_.Add(t); }) &&
         readList(2, [&](const std::string& t) { dirs_.push_back(t); });
}

bool TUninstallList::MergeFromFile(const std::string& dir, const std::string& prefix) {
  if (!platform::FileExists(LogPath(dir, prefix))) return true;
  TUninstallList earlier;
  const bool whole = earlier.ReadFrom(LogPath(dir, prefix));
  loadError_ = earlier.loadError_;
  for (const std::string& file : files_.Items) earlier.files_.Add(file);
  for (const std::string& entry : regEntries_.Items) earlier.regEntries_.Add(entry);
  // Each folder once, by the folder it names, at its first place; then
  // shallower first (a stable sort keeps the older first within a depth).
  std::vector<std::pair<size_t, std::string>> dirs;
  std::unordered_set<std::string> seen;
  for (const auto* list : {&earlier.dirs_, &dirs_}) {
    for (const std::string& d : *list) {
      std::string key = FoldAZ(ExpandPath(d));
      while (!key.empty() && key.back() == '\\') key.pop_back();
      if (seen.insert(key).second) dirs.emplace_back(static_cast<size_t>(std::count(key.begin(), key.end(), '\\')), d);
    }
  }
  std::stable_sort(dirs.begin(), dirs.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  files_ = std::move(earlier.files_);
  regEntries_ = std::move(earlier.regEntries_);
  dirs_.clear();
  for (auto& d : dirs) dirs_.push_back(std::move(d.second));
  ++revision_;
  return whole;
}

void TUninstallList::KeepSaved(const std::string& dir, const std::string& prefix) {
  keepDir_ = dir;
  keepPrefix_ = prefix;
  // Whatever was logged before is saved at the first checkpoint.
  savedRevision_ = revision_ - 1;
}

bool TUninstallList::Checkpoint() {
  if (keepDir_.empty() || savedRevision_ == revision_) return true;
  if (!SaveToFile(keepDir_, keepPrefix_)) return false;
  savedRevision_ = revision_;
  return true;
}

std::string RegEntryText(const std::string& root, const std::string& keyPath, const std::string& valueName,
                         const std::string& valueText) {
  return "\"" + root + "\" \"" + keyPath + "\" \"" + valueName + "\" \"" + valueText + "\"";
}
