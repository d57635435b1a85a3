#include "Global/QX_PakSystem.h"

#include <chrono>
#include <exception>
#include <utility>

#include "Global/DosDate.h"
#include "Global/SWAV.h"
#include "platform/Text.h"

using platform::SeekOrigin;

namespace {

constexpr uint16_t kTrailerMarker = 1;
constexpr char kTrailerVersion = '2';
constexpr int kMinSeed = 2;
constexpr int kMaxSeed = 6;
std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Names are looked up as they will be stored: cut to 127 bytes, so that the
// table never holds two records of one stored name.
std::string KeyOf(const std::string& name) { return platform::AnsiLowerCase(name.substr(0, kMaxQXPName)); }

// An installer entry whose stored bytes fail their checksum is reported
// rather than stored empty.
[[noreturn]] void ReportDamaged(const TPak& pak, const TPakFile& entry) {
  throw EPakSystemError("The setup archive's copy of " + entry.Name + " is damaged: " + pak.LastError());
}

Bytes EntryContents(TPak& pak, int index) {
  Bytes data = pak.GetData(index);
  if (data.empty() && pak.Entries[static_cast<size_t>(index)].OriginalSize > 0)
    ReportDamaged(pak, pak.Entries[static_cast<size_t>(index)]);
  return data;
}

// A sound file's blob, coded as the packer codes it. A sound that the setup
// archive stores as it is (every large one) is read in pieces where it
// lies, once its checksum has been checked; a compressed one comes out
// whole, which the setup archive keeps below 70 MiB. The reader's reason
// when the file is not a sound.
std::string SetupWavBlob(TPak& pak, int index, Bytes& blob) {
  const TPakFile& e = pak.Entries[static_cast<size_t>(index)];
  bool inEffects = InSetupEffectsFolder(e.Name);
  auto sink = [&blob](const uint8_t* data, size_t size) { blob.insert(blob.end(), data, data + size); };
  blob.clear();
  if (e.StoredSize == 0 && e.OriginalSize > 0) {
    if (!pak.ReadStoredInPieces(index, nullptr, kWavPieceBytes)) ReportDamaged(pak, e);
    TWavFileRange source(pak.Handle(), e.Offset, e.OriginalSize);
    return CodeWavBlob(source, inEffects, sink);
  }
  Bytes file = EntryContents(pak, index);
  TWavMemory source(file.data(), file.size());
  return CodeWavBlob(source, inEffects, sink);
}

}  // namespace

// --- the table ------------------------------------------------------------

TQXPEntry* TPakSystem::TEntryList::Find(const std::string& key) {
  auto it = index_.find(key);
  return it == index_.end() || it->second.empty() ? nullptr : &items_[it->second.front()];
}

void TPakSystem::TEntryList::Append(const std::string& key, const TQXPEntry& entry) {
  index_[key].push_back(items_.size());
  items_.push_back(entry);
  removed_.push_back(false);
}

void TPakSystem::TEntryList::Remove(const std::string& key) {
  auto it = index_.find(key);
  if (it == index_.end() || it->second.empty()) return;
  removed_[it->second.front()] = true;
  it->second.erase(it->second.begin());
}

std::vector<const TQXPEntry*> TPakSystem::TEntryList::Records() const {
  std::vector<const TQXPEntry*> records;
  records.reserve(items_.size());
  for (size_t i = 0; i < items_.size(); ++i)
    if (!removed_[i]) records.push_back(&items_[i]);
  return records;
}

void TPakSystem::TEntryList::Clear() {
  items_.clear();
  removed_.clear();
  index_.clear();
}

// --- operations -------------------------------------------------------------

TPakSystem::TPakSystem(TPakSystemHost& host, TPakSystemAlerts& alerts)
    : Host(&host),
      Alerts(&alerts),
      random_(static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
              std::random_device{}()) {}

// Whatever way an operation ends, the archive is closed and its table let
// go: between operations nothing is held.
struct TPakSystem::TCloser {
  TPakSystem& owner;
  ~TCloser() { owner.Close(); }
};

void TPakSystem::UpdateArchive(int32_t group, const std::string& archiveName, const std::string& password) {
  TPak* pak = Host->SetupArchive();
  if (!pak || group < 0 || group > UINT16_MAX) return;
  filesTotal_ = pak->CountInGroup(static_cast<uint16_t>(group));
  if (filesTotal_ == 0) return;
  ArchiveName = archiveName;
  TCloser closer{*this};
  OpenArchive(Host->ArchivePath(archiveName));
  lastPercent_ = 0;

  if (ExtraInfo.HasPassword) {
    if (password != ExtraInfo.Password) Fatal("Error Incorrect Password\rFile: " + archiveName);
  } else {
    ExtraInfo.Password = password;
    ExtraInfo.HasPassword = true;
  }
  CheckPasswordFits();

  BeginChanges();
  filesDone_ = 0;
  Host->ShowProgress(archiveName, 0, filesTotal_);
  std::exception_ptr failure;
  try {
    pak->ForEachInGroup(static_cast<uint16_t>(group), [&](int index) { UpdateArchiveStep(*pak, index); });
  } catch (const EPakSystemEnded&) {
    throw;
  } catch (...) {
    // The entries added so far are kept: the tail below lists them.
    failure = std::current_exception();
  }
  Host->ShowWriting(archiveName);
  WriteIndex();
  if (failure) std::rethrow_exception(failure);
}

void TPakSystem::SetOfficial(const std::string& archiveName, const std::string& accessCode,
                             const std::string& flagText) {
  if (!Host->IsOfficialAccessCode(accessCode)) return;
  ArchiveName = archiveName;
  TCloser closer{*this};
  OpenArchive(Host->ArchivePath(archiveName));
  std::string flag = platform::AnsiLowerCase(flagText);
  ExtraInfo.Official = flag == "t" || flag == "true" || flagText == "1" ? 1 : 0;
  CheckPasswordFits();
  BeginChanges();
  WriteIndex();
}

void TPakSystem::DuplicateEntry(const std::string& archiveName, const std::string& sourceName,
                                const std::string& targetName) {
  ArchiveName = archiveName;
  TCloser closer{*this};
  OpenArchive(Host->ArchivePath(archiveName));
  const TQXPEntry* found = entries_.Find(KeyOf(sourceName));
  if (!found) return;
  const TQXPEntry source = *found;
  std::string targetKey = KeyOf(targetName);
  TQXPEntry* target = entries_.Find(targetKey);
  auto share = [&](TQXPEntry& e) {
    e.Signature = source.Signature;
    e.Method = source.Method;
    e.FileDate = source.FileDate;
    e.StoredSize = source.StoredSize;
    e.OriginalSize = source.OriginalSize;
    e.Offset = source.Offset;
  };
  if (!target) {
    TQXPEntry record;
    record.Name = targetKey;
    share(record);
    entries_.Append(targetKey, record);
  } else if (target->Offset == source.Offset && target->OriginalSize == source.OriginalSize &&
             target->StoredSize == source.StoredSize) {
    share(*target);
  }
  CheckPasswordFits();
  BeginChanges();
  WriteIndex();
}

// --- opening ------------------------------------------------------------------

void TPakSystem::OpenArchive(const std::string& path) {
  Close();
  archivePath_ = path;
  ExtraInfo = TExtraInfo();
  OpenArchiveForUpdate();
  ReadHeader();
}

void TPakSystem::OpenArchiveForUpdate() {
  for (;;) {
    std::string message;
    if (!platform::FileExists(archivePath_))
      message = "File not found: " + Quoted(archivePath_) + ".";
    else if (!platform::ClearReadOnly(archivePath_))
      message = "Unable to modify " + Quoted(archivePath_) + " attributes";
    else if (archive_.Open(archivePath_, platform::OpenMode::ReadWriteExclusive))
      return;
    else
      message = "Unable to modify file:" + Quoted(archivePath_) + ", file may be in use or drive is write protected...";
    if (!Alerts->AskRetry(message)) {
      Alerts->Cancelled();
      throw EPakSystemEnded(message);
    }
  }
}

void TPakSystem::ReadHeader() {
  TQXPTail tail;
  // A damaged table ends the operation here, before anything changes.
  TQXPReadStatus status = ReadQXPTail(archive_, TQXPTrailerRules::Setup, tail);
  const TQXPTrailer& trailer = tail.Trailer;
  ExtraInfo.Password = trailer.Password;
  ExtraInfo.HasPassword = !trailer.Password.empty();
  ExtraInfo.Official = trailer.Decoded ? trailer.FlagByte : 0;
  std::string corrupted = "File " + archivePath_ + " has corrupted header.";
  if (status != TQXPReadStatus::Ok) Fatal(corrupted);

  indexStart_ = tail.TableStart;
  int64_t size = archive_.Size();
  if (size < indexStart_) Fatal(corrupted);
  oldTail_.resize(static_cast<size_t>(size - indexStart_));
  if (archive_.Seek(indexStart_, SeekOrigin::Begin) != indexStart_ ||
      archive_.Read(oldTail_.data(), oldTail_.size()) != oldTail_.size())
    Fatal(corrupted);
  for (TQXPEntry& e : tail.Entries) {
    e.Reserved = 0;
    entries_.Append(KeyOf(e.Name), e);
  }
}

void TPakSystem::CheckPasswordFits() {
  if (ExtraInfo.Password.size() > kMaxQXPPassword) Fatal("Error Password Too Long\rFile: " + ArchiveName);
}

// --- changing -------------------------------------------------------------------

void TPakSystem::BeginChanges() {
  changing_ = true;
  writePos_ = indexStart_;
}

void TPakSystem::UpdateArchiveStep(TPak& pak, int index) {
  int32_t percent = static_cast<int32_t>(static_cast<int64_t>(filesDone_) * 100 / filesTotal_);
  bool publish = percent > lastPercent_;
  if (publish) lastPercent_ = percent;
  Host->ShowProgress(ArchiveName, filesDone_, filesTotal_);
  AddFile(pak, index);
  Host->StepProgress(publish);
  ++filesDone_;
}

void TPakSystem::MakeBlob(TPak& pak, int index, Bytes& blob, uint8_t& method) {
  const TPakFile& e = pak.Entries[static_cast<size_t>(index)];
  if (IsWavName(e.Name)) {
    method = kMethodWav;
    // A sound is never left out in silence: one that is not a WAV file
    // fails the line, and the archive keeps its old table.
    if (std::string why = SetupWavBlob(pak, index, blob); !why.empty())
      Fatal("Cannot add " + Quoted(e.Name) + " to " + archivePath_ + ": not a valid WAV file: " + why);
    return;
  }
  method = kMethodZlib;
  if (e.StoredSize != 0) {
    // The installer archive's own zlib stream serves as it is.
    blob = pak.ReadStored(index);
    if (blob.empty()) ReportDamaged(pak, e);
  } else {
    Bytes data = EntryContents(pak, index);
    blob = ZCompress(data.data(), data.size(), 9);
  }
  ScrambleBlob(blob.data(), blob.size());
}

bool TPakSystem::StoredBlobEquals(const TQXPEntry& record, const Bytes& blob) {
  // Only a blob that lies wholly in front of the old table is read.
  if (record.Offset < 0 || record.Offset + static_cast<int64_t>(blob.size()) > indexStart_) return false;
  Bytes stored(blob.size());
  return archive_.Seek(record.Offset, SeekOrigin::Begin) == record.Offset &&
         archive_.Read(stored.data(), stored.size()) == stored.size() && stored == blob;
}

void TPakSystem::AddFile(TPak& pak, int index) {
  const TPakFile& e = pak.Entries[static_cast<size_t>(index)];
  if (e.OriginalSize > kMaxQXPArchiveSize) FailWrite(TWriteFailure::TooLarge);
  Bytes blob;
  uint8_t method;
  MakeBlob(pak, index, blob, method);

  std::string name = e.Name.substr(0, kMaxQXPName);
  std::string key = KeyOf(name);
  const TQXPEntry* old = entries_.Find(key);
  int32_t originalSize = static_cast<int32_t>(e.OriginalSize);
  if (old && old->StoredSize == static_cast<int64_t>(blob.size()) && old->OriginalSize == originalSize &&
      StoredBlobEquals(*old, blob))
    return;

  if (writePos_ + static_cast<int64_t>(blob.size()) > kMaxQXPArchiveSize) FailWrite(TWriteFailure::TooLarge);
  // The old tail goes behind the blob in the same write: between two
  // writes the file always ends in a complete tail, so an archive left by a
  // process that died here still reads as before the update.
  const size_t blobSize = blob.size();
  blob.insert(blob.end(), oldTail_.begin(), oldTail_.end());
  if (archive_.Seek(writePos_, SeekOrigin::Begin) != writePos_ || !archive_.Write(blob.data(), blob.size()))
    FailWrite(TWriteFailure::DiskFull);
  blob.resize(blobSize);

  TQXPEntry record;
  record.Method = method;
  record.Name = old ? old->Name : name;  // a replaced entry keeps its stored spelling
  record.FileDate = static_cast<int32_t>(TodayDosDate());
  record.StoredSize = static_cast<int32_t>(blob.size());
  record.OriginalSize = originalSize;
  record.Offset = static_cast<int32_t>(writePos_);
  if (old) entries_.Remove(key);
  entries_.Append(key, record);
  writePos_ += static_cast<int64_t>(blob.size());
}

void TPakSystem::WriteIndex() {
  Bytes tail;
  size_t tableSize = 0;
  try {
    std::vector<const TQXPEntry*> records = entries_.Records();
    Bytes table;
    table.reserve(records.size() * kQXPEntrySize);
    for (const TQXPEntry* e : records) e->WriteTo(table);
    tableSize = table.size();
    if (tableSize <= static_cast<size_t>(kMaxQXPArchiveSize)) {
      tail = ZCompress(table.data(), table.size(), 9);
      TQXPHeader{static_cast<int32_t>(tail.size()), static_cast<int32_t>(tableSize), kQXPVersion,
                 static_cast<int32_t>(records.size()), 0}
          .WriteTo(tail);
      Bytes trailer = MakeTrailer();
      tail.insert(tail.end(), trailer.begin(), trailer.end());
    }
  } catch (...) {
    // Nothing of the new tail is written: the archive gets its old one back.
    if (!RestoreOldTail()) FailWrite(TWriteFailure::DiskFull);
    throw;
  }
  // The new tail replaces the old one's copy in one write. It ends no
  // earlier than that copy did: a shorter tail is preceded by zeros (unused
  // space, as replaced blobs are), so that the write alone switches the
  // archive from the old table to the new one.
  if (tail.size() < oldTail_.size()) tail.insert(tail.begin(), oldTail_.size() - tail.size(), 0);
  if (tableSize > static_cast<size_t>(kMaxQXPArchiveSize) ||
      writePos_ + static_cast<int64_t>(tail.size()) > kMaxQXPArchiveSize)
    FailWrite(TWriteFailure::TooLarge);
  if (archive_.Seek(writePos_, SeekOrigin::Begin) != writePos_ || !archive_.Write(tail.data(), tail.size()))
    FailWrite(TWriteFailure::DiskFull);
  changing_ = false;
  // Nothing lies behind the new tail; should the length not be set, the
  // archive still reads as it should.
  archive_.Truncate();
  Close();
}

Bytes TPakSystem::MakeTrailer() {
  std::uniform_int_distribution<int> seed(kMinSeed, kMaxSeed);
  uint8_t a = static_cast<uint8_t>(seed(random_));
  uint8_t b = static_cast<uint8_t>(seed(random_));
  return MakeLongTrailer(kTrailerMarker, kTrailerVersion, a, b, ExtraInfo.Password, ExtraInfo.Official);
}

// --- failing ----------------------------------------------------------------------

bool TPakSystem::RestoreOldTail() {
  if (!changing_) return true;
  bool restored = archive_.Seek(indexStart_, SeekOrigin::Begin) == indexStart_ &&
                  archive_.Write(oldTail_.data(), oldTail_.size()) && archive_.Truncate();
  changing_ = false;
  return restored;
}

void TPakSystem::FailWrite(TWriteFailure failure) {
  bool restored = RestoreOldTail();
  const std::string& path = archivePath_;
  if (failure == TWriteFailure::DiskFull)
    Fatal(restored ? "Disk full, " + path + " was left as it was. Free some space and try again. "
                   : "Disk full, " + path + " is lost. Restore it from backup and try again. ");
  Fatal(restored ? "File " + path + " would pass 2 GB; it was left as it was."
                 : "File " + path + " would pass 2 GB and is lost. Restore it from backup and try again. ");
}

void TPakSystem::Fatal(const std::string& text) {
  Close();
  Alerts->Fail(text);
  throw EPakSystemEnded(text);
}

void TPakSystem::Close() {
  // An operation left half way (an exception from anywhere) puts the old
  // tail back; the archive then reads exactly as before it.
  if (changing_) {
    try {
      RestoreOldTail();
    } catch (...) {
      changing_ = false;
    }
  }
  archive_.Close();
  entries_.Clear();
  oldTail_.clear();
  indexStart_ = writePos_ = 0;
}
