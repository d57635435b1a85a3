#include "installer-library/QXI_PakExtract.h"

#include <algorithm>
#include <chrono>

#include "installer-library/QXI_FD.h"
#include "installer-library/QXI_Global.h"
#include "installer-library/SE_Global.h"
#include "installer-library/SE_Languages.h"
#include "installer-library/SE_Originals.h"
#include "installer-library/SE_Uninstall_List.h"
#include "platform/Directory.h"
#include "platform/FileName.h"
#include "platform/FileReplacement.h"
#include "platform/Text.h"

namespace {

constexpr uint16_t kExtractingString = 18;

// Language string 18 with the file name in place.
std::u16string ExtractingText(const std::u16string& fileName) {
  return TLanguages::ReplaceText(Languages.GetString(kExtractingString), u"<%FILENAME%>", fileName);
}

std::string DamagedText(const std::string& name) {
  return "Cannot read \"" + name + "\" from the setup archive: it is damaged";
}

std::string WriteFailedText(const std::string& path) { return "Cannot write file \"" + path + "\""; }

bool Fail(std::string& error, const std::string& text) {
  error = text;
  return false;
}

// An entry below the large size: inflated whole and written at once.
bool ExtractSmallEntry(TPak& pak, int index, const std::string& target, std::string& error) {
  const TPakFile& entry = pak.Entries[static_cast<size_t>(index)];
  Bytes data = pak.GetData(index);
  if (data.size() != entry.OriginalSize) return Fail(error, DamagedText(entry.Name));
  if (!WriteBufferToFile(target, data.data(), data.size())) return Fail(error, WriteFailedText(target));
  return true;
}

// Logs a group's files ahead of their extraction and keeps the log on disk
// up to date while they go in: a file is named in the saved log before its
// first byte is written. Files are logged and the log saved a batch at a
// time, a batch sized so that the save costs about a fiftieth of the time
// its files take; a kill leaves at most one batch logged that is not all
// written, which the uninstaller passes over.
class TLogAhead {
 public:
  TLogAhead(const TPak& pak, const std::vector<int>& entries, const std::string& folder)
      : pak_(pak), entries_(entries), folder_(folder) {}

  // Makes the entry at this position of the group logged and saved; false
  // when the log cannot hold it.
  bool Cover(size_t position) {
    if (position < covered_) return true;
    using Clock = std::chrono::steady_clock;
    if (covered_ > 0) {
      const double took = std::chrono::duration<double>(Clock::now() - extracting_).count();
      const double files = static_cast<double>(covered_ - first_);
      batch_ =
          took > 0 ? std::max(kFirstBatch, static_cast<size_t>(files * saving_ / (kSaveShare * took))) : 2 * batch_;
    }
    first_ = position;
    counts_.assign(1, UninstallList.Files().size());
    for (size_t k = position; k < entries_.size() && k - position < batch_; ++k) {
      const std::string& name = pak_.Entries[static_cast<size_t>(entries_[k])].Name;
      const std::string path = folder_ + name;
      // Extraction stops at a name it refuses, or one the log cannot hold. A
      // file that is there and not logged may be the player's, which is
      // kept before it is logged: it starts the next batch.
      if (!IsSafeEntryName(name) || (k > position && platform::FileExists(path) && !UninstallList.NamesFile(path)) ||
          !UninstallList.AddFile(path))
        break;
      counts_.push_back(UninstallList.Files().size());
      covered_ = k + 1;
    }
    const auto saved = Clock::now();
    UninstallList.Checkpoint();
    extracting_ = Clock::now();
    saving_ = std::chrono::duration<double>(extracting_ - saved).count();
    return position < covered_;
  }

  // Extraction stops at this position: the files logged for it and after
  // it, which were never written, leave the log again.
  void Withdraw(size_t position) {
    if (position < first_ || position >= covered_) return;
    const std::vector<std::string>& files = UninstallList.Files();
    const size_t keep = counts_[position - first_];
    if (keep < files.size()) {
      // Copies: Assign empties the lists it is handed before it fills them.
      std::vector<std::string> kept(files.begin(), files.begin() + static_cast<ptrdiff_t>(keep));
      std::vector<std::string> regEntries = UninstallList.RegEntries(), dirs = UninstallList.Dirs();
      UninstallList.Assign(kept, regEntries, dirs);
    }
    covered_ = position;
    UninstallList.Checkpoint();
  }

 private:
  static constexpr size_t kFirstBatch = 16;
  static constexpr double kSaveShare = 0.02;
  const TPak& pak_;
  const std::vector<int>& entries_;
  const std::string& folder_;
  size_t first_ = 0, covered_ = 0;  // the last batch: positions [first_, covered_)
  size_t batch_ = kFirstBatch;
  std::vector<size_t> counts_;  // the log's files before the batch, then after each of its entries
  std::chrono::steady_clock::time_point extracting_;
  double saving_ = 0;  // seconds the last save took
};

}  // namespace

void TExtractProgress::Status(const std::u16string& text) { SetStatusText(text); }

void TExtractProgress::Step() { StepProgress(true); }

TExtractProgress& HandOffProgress() {
  static TExtractProgress progress;
  return progress;
}

std::string EntryNameFault(const std::string& name) {
  const std::string leaves = "the name leaves the target folder";
  if (name.empty() || name.find(':') != std::string::npos) return leaves;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("\\/", start);
    if (end == std::string::npos) end = name.size();
    std::string part = name.substr(start, end - start);
    if (part.empty()) return start == 0 ? leaves : "the name has an empty part";
    // Windows drops trailing dots and blanks of a name, so ". ." or "..."
    // would become "." or "..".
    if (part.find_first_not_of(". ") == std::string::npos) return leaves;
    // Windows opens the device for such a name in every folder: it could
    // never be written, nor any name beside it.
    if (platform::IsDeviceName(part)) return "\"" + part + "\" is a device name";
    // Anything else no file name can hold, a NUL byte among it: the file
    // system would see another path than the one checked and logged.
    if (!platform::IsPlainFileName(part)) return "\"" + part + "\" is no plain file name";
    start = end + 1;
  }
  return {};
}

bool IsSafeEntryName(const std::string& name) { return EntryNameFault(name).empty(); }

bool ExtractGroup(TPak& pak, const std::string& dir, uint16_t group, std::string& error, TExtractProgress& progress) {
  // The target folders end in a backslash already; a second one would
  // follow the path into the uninstall log.
  const std::string folder = dir.empty() || dir.back() != '\\' ? dir + "\\" : dir;
  std::vector<int> entries;
  int index;
  for (bool found = pak.FindFirstIndex(group, index); found; found = pak.FindNextIndex(group, index))
    entries.push_back(index);
  // The group's folders first, with one save of the log that names them,
  // not one per folder while the files go in.
  std::vector<std::string> folders;
  for (size_t k = 0; k < entries.size() && IsSafeEntryName(pak.Entries[entries[k]].Name); ++k)
    folders.push_back(FolderOfPath(folder + pak.Entries[entries[k]].Name));
  ForceDirectoriesLogged(folders);
  TLogAhead log(pak, entries, folder);
  for (size_t k = 0;; ++k) {
    const bool found = k < entries.size();
    progress.Status(ExtractingText(found ? platform::AnsiToWide(pak.Entries[entries[k]].Name) : u""));
    if (!found) return true;
    index = entries[k];
    const TPakFile entry = pak.Entries[index];
    std::string target = folder + entry.Name;
    std::string fault = EntryNameFault(entry.Name);
    if (!fault.empty()) return Fail(error, "Refused to extract \"" + entry.Name + "\": " + fault);
    // A file of the player's there is kept before the entry is logged: a
    // kill in between leaves it the player's, unlogged.
    if (!KeepOriginal(target, error)) {
      log.Withdraw(k);
      return false;
    }
    if (!log.Cover(k)) return Fail(error, "Cannot log \"" + target + "\" for uninstall: the uninstall log is full");
    bool written = entry.OriginalSize >= kLargeEntrySize
                       ? ExtractLargeEntry(pak, target, entry.Name, entry.OriginalSize, index, error, progress)
                       : ExtractSmallEntry(pak, index, target, error);
    if (!written) {
      log.Withdraw(k);
      return false;
    }
    progress.Step();
  }
}

bool ExtractLargeEntry(TPak& pak, const std::string& target, const std::string& name, uint32_t size, int index,
                       std::string& error, TExtractProgress& progress, size_t pieceSize) {
  if (index < 0 || static_cast<size_t>(index) >= pak.Entries.size() || pak.Entries[index].StoredSize != 0 ||
      pak.Entries[index].OriginalSize != size)
    return Fail(error, DamagedText(name));
  ForceDirectoriesLogged(FolderOfPath(target));
  // An earlier file of that name stays until the copy is whole and verified.
  platform::FileReplacement out(target, platform::FileReplacement::Aside::WhenReplacing);
  if (!out.IsOpen()) return Fail(error, WriteFailedText(target));
  uint64_t done = 0;
  auto status = [&] {
    progress.Status(ExtractingText(platform::AnsiToWide(name + " - " + FormatByteSize(static_cast<int64_t>(done)) +
                                                        " / " + FormatByteSize(size))));
  };
  bool writeFailed = false;
  status();
  bool copied = size == 0 || pak.ReadStoredInPieces(
                                 index,
                                 [&](const uint8_t* data, size_t n) {
                                   if (!out.Stream().Write(data, n)) {
                                     writeFailed = true;
                                     return false;
                                   }
                                   done += n;
                                   if (done < size) status();
                                   return true;
                                 },
                                 pieceSize);
  if (copied && out.Commit()) return true;
  return Fail(error, writeFailed || copied ? WriteFailedText(target) : DamagedText(name));
}
