#include "installer-library/SE_Uninstall_List.h"

#include <algorithm>

#include "Global/ByteOrder.h"
#include "Global/QXI_PakFile.h"
#include "installer-library/QXI_DigitKey.h"
#include "installer-library/SE_Global.h"
#include "platform/Dir.h"
#include "platform/File.h"
#include "platform/Text.h"

TUninstallList UninstallList;

namespace {

char FoldAZ(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool Contains(const std::vector<std::string>& list, const std::string& text) {
  return std::any_of(list.begin(), list.end(), [&](const std::string& s) {
    return s.size() == text.size() &&
           std::equal(s.begin(), s.end(), text.begin(), [](char a, char b) { return FoldAZ(a) == FoldAZ(b); });
  });
}

bool Fits(const std::vector<std::string>& list, const std::string& text) {
  return list.size() < kMaxUninstallEntries && text.size() <= kMaxUninstallText;
}

bool AddUnique(std::vector<std::string>& list, const std::string& text) {
  if (Contains(list, text)) return true;
  if (!Fits(list, text)) return false;
  list.push_back(text);
  return true;
}

}  // namespace

void TUninstallList::Clear() {
  Files.clear();
  RegEntries.clear();
  Dirs.clear();
}

bool TUninstallList::HasFile(const std::string& path) const { return Contains(Files, path); }

bool TUninstallList::HasRegEntry(const std::string& entry) const { return Contains(RegEntries, entry); }

bool TUninstallList::AddFile(const std::string& path) {
  return AddUnique(Files, platform::WideToAnsi(CollapsePathVars(platform::AnsiToWide(path))));
}

bool TUninstallList::AddRegEntry(const std::string& entry) { return AddUnique(RegEntries, entry); }

bool TUninstallList::AddDir(const std::string& dir) {
  if (!Fits(Dirs, dir)) return false;
  Dirs.push_back(dir);
  return true;
}

std::string TUninstallList::LogPath(const std::string& dir, const std::string& prefix) {
  return dir + "\\" + prefix + "install.log";
}

bool TUninstallList::SaveToFile(const std::string& dir, const std::string& prefix) const {
  std::string path = LogPath(dir, prefix), aside = path + ".new";
  const std::vector<std::string>* lists[] = {&Files, &RegEntries, &Dirs};
  // Lists filled past what the file can hold (by hand, not through the Add
  // operations) are not written at all rather than written wrong.
  for (const auto* list : lists)
    if (list->size() > kMaxUninstallEntries) return false;
  bool written;
  {
    platform::File file;
    written = file.Open(aside, platform::OpenMode::Create);
    Bytes counts;
    for (const auto* list : lists) PutU16(counts, static_cast<uint16_t>(list->size()));
    written = written && file.Write(counts.data(), counts.size());
    for (const auto* list : lists)
      for (size_t i = 0; written && i < list->size(); ++i) written = WriteStrToFile(file, DigitKeyEncode(kDigitKeyA, (*list)[i]));
  }
  if (written && platform::RenameOver(aside, path)) return true;
  platform::RemoveFile(aside);
  return false;
}

bool TUninstallList::LoadFromFile(const std::string& dir, const std::string& prefix) {
  std::string path = LogPath(dir, prefix);
  if (!platform::FileExists(path)) return false;
  Clear();
  platform::File file;
  if (!file.Open(path, platform::OpenMode::Read)) return false;
  uint8_t counts[6];
  if (file.Read(counts, sizeof counts) != sizeof counts) return false;
  std::vector<std::string>* lists[] = {&Files, &RegEntries, &Dirs};
  for (int k = 0; k < 3; ++k) {
    for (uint16_t i = 0, n = GetU16(counts + 2 * k); i < n; ++i) {
      std::string text;
      if (!ReadStrFromFile(file, text)) return false;
      lists[k]->push_back(DigitKeyDecode(kDigitKeyA, text));
    }
  }
  return true;
}
