#include "installer-library/SE_Uninstall_List.h"

#include <algorithm>

#include "Global/QXI_PakFile.h"
#include "installer-library/QXI_DigitKey.h"
#include "installer-library/SE_Global.h"
#include "platform/ByteOrder.h"
#include "platform/Directory.h"
#include "platform/File.h"
#include "platform/Text.h"

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
}

bool TUninstallList::HasFile(const std::string& path) const { return files_.Has(path); }

bool TUninstallList::HasRegEntry(const std::string& entry) const { return regEntries_.Has(entry); }

bool TUninstallList::AddFile(const std::string& path) { return files_.Add(LoggedPath(path)); }

bool TUninstallList::RenameFile(const std::string& from, const std::string& to) {
  return files_.Replace(LoggedPath(from), LoggedPath(to));
}

bool TUninstallList::AddRegEntry(const std::string& entry) { return regEntries_.Add(entry); }

bool TUninstallList::AddDir(const std::string& dir) {
  if (!Fits(dirs_, dir)) return false;
  dirs_.push_back(dir);
  return true;
}

std::string TUninstallList::LogPath(const std::string& dir, const std::string& prefix) {
  return dir + "\\" + prefix + "install.log";
}

bool TUninstallList::SaveToFile(const std::string& dir, const std::string& prefix) const {
  std::string path = LogPath(dir, prefix), aside = path + ".new";
  const std::vector<std::string>* lists[] = {&Files(), &RegEntries(), &Dirs()};
  bool written;
  {
    platform::File file;
    written = file.Open(aside, platform::OpenMode::Create);
    Bytes counts;
    for (const auto* list : lists) PutU16(counts, static_cast<uint16_t>(list->size()));
    written = written && file.Write(counts.data(), counts.size());
    for (const auto* list : lists)
      for (size_t i = 0; written && i < list->size(); ++i)
        written = WriteStrToFile(file, DigitKeyEncode(kDigitKeyA, (*list)[i]));
  }
  if (written && platform::RenameOver(aside, path)) return true;
  platform::RemoveFile(aside);
  return false;
}

bool TUninstallList::LoadFromFile(const std::string& dir, const std::string& prefix) {
  std::string path = LogPath(dir, prefix);
  loadError_.clear();
  auto fail = [this](std::string why) {
    loadError_ = std::move(why);
    return false;
  };
  if (!platform::FileExists(path)) return fail("No log " + path);
  Clear();
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

std::string RegEntryText(const std::string& root, const std::string& keyPath, const std::string& valueName,
                         const std::string& valueText) {
  return "\"" + root + "\" \"" + keyPath + "\" \"" + valueName + "\" \"" + valueText + "\"";
}
