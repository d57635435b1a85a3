#include "installer-library/QXI_PakExtract.h"

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
  // The group's folders first, with one save of the log that names them,
  // not one per folder while the files go in.
  std::vector<std::string> folders;
  int index;
  for (bool found = pak.FindFirstIndex(group, index); found && IsSafeEntryName(pak.Entries[index].Name);
       found = pak.FindNextIndex(group, index))
    folders.push_back(FolderOfPath(folder + pak.Entries[index].Name));
  ForceDirectoriesLogged(folders);
  for (bool found = pak.FindFirstIndex(group, index);; found = pak.FindNextIndex(group, index)) {
    progress.Status(ExtractingText(found ? platform::AnsiToWide(pak.Entries[index].Name) : u""));
    if (!found) return true;
    const TPakFile entry = pak.Entries[index];
    std::string target = folder + entry.Name;
    std::string fault = EntryNameFault(entry.Name);
    if (!fault.empty()) return Fail(error, "Refused to extract \"" + entry.Name + "\": " + fault);
    if (!KeepOriginal(target, error)) return false;
    if (entry.OriginalSize >= kLargeEntrySize) {
      if (!ExtractLargeEntry(pak, target, entry.Name, entry.OriginalSize, index, error, progress)) return false;
    } else {
      Bytes data = pak.GetData(index);
      if (data.size() != entry.OriginalSize) return Fail(error, DamagedText(entry.Name));
      if (!WriteBufferToFile(target, data.data(), data.size())) return Fail(error, WriteFailedText(target));
    }
    if (!UninstallList.AddFile(target))
      return Fail(error, "Cannot log \"" + target + "\" for uninstall: the uninstall log is full");
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
