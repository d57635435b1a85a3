#include "Global/QX_PakSystem.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <exception>
#include <utility>

#include "Global/CRC.h"
#include "Global/DosDate.h"
#include "Global/SWAV.h"
#include "Global/ZBlocks.h"
#include "platform/Text.h"

using platform::SeekOrigin;

namespace {

constexpr uint16_t kTrailerMarker = 1;
constexpr char kTrailerVersion = '2';
constexpr int kMinSeed = 2;
constexpr int kMaxSeed = 6;
// Blobs are read from the installer archive and written in pieces of this
// size, so that memory does not grow with the file.
constexpr size_t kBlobPiece = 1u << 20;
// A write that lies within one sector lands whole or not at all.
constexpr int64_t kSector = 512;
// The room a move of the tail makes behind the bytes about to be written:
// doubled at each move from the first to the most, so that an update moves
// the tail a few times, while the unused bytes a reader may find behind the
// table during a move stay few.
constexpr int64_t kFirstRoom = 256 << 10;
constexpr int64_t kMostRoom = 32 << 20;

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

void SetU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

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

// A sound file's blob, coded as the packer codes it and handed to the sink
// in pieces. A sound that the setup archive stores as it is (every large
// one) is read in pieces where it lies, once its checksum has been checked;
// a compressed one comes out whole, which the setup archive keeps below 70
// MiB. The reader's reason when the file is not a sound.
std::string SetupWavBlob(TPak& pak, int index, const std::function<void(const uint8_t* data, size_t size)>& sink) {
  const TPakFile& e = pak.Entries[static_cast<size_t>(index)];
  bool inEffects = InSetupEffectsFolder(e.Name);
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
  tableLength_ = tail.Header.CompressedSize;
  oldEnd_ = end_ = size;
  tailAt_ = writePos_ = indexStart_;
  moveRoom_ = 0;
}

void TPakSystem::CheckPasswordFits() {
  if (ExtraInfo.Password.size() > kMaxQXPPassword) Fatal("Error Password Too Long\rFile: " + ArchiveName);
}

// --- changing -------------------------------------------------------------------

void TPakSystem::UpdateArchiveStep(TPak& pak, int index) {
  int32_t percent = static_cast<int32_t>(static_cast<int64_t>(filesDone_) * 100 / filesTotal_);
  bool publish = percent > lastPercent_;
  if (publish) lastPercent_ = percent;
  Host->ShowProgress(ArchiveName, filesDone_, filesTotal_);
  AddFile(pak, index);
  Host->StepProgress(publish);
  ++filesDone_;
}

// A blob written at WritePos piece by piece, each piece where the tail
// leaves room for it; a write that fails ends the update (Put is a sink that
// never refuses). A method-2 blob's first word is scrambled with the CRC-32
// of the rest, so it is written again once the rest is known.
class TPakSystem::TBlobOut {
 public:
  explicit TBlobOut(TPakSystem& owner) : owner_(owner) {}

  bool Put(const uint8_t* data, size_t size) {
    const int64_t at = owner_.writePos_ + length_;
    if (at + static_cast<int64_t>(size) > kMaxQXPArchiveSize) owner_.FailWrite(TWriteFailure::TooLarge);
    owner_.MakeRoom(at + static_cast<int64_t>(size));
    if (!owner_.WriteAt(at, data, size)) owner_.FailWrite(TWriteFailure::DiskFull);
    size_t head = length_ < 4 ? std::min<size_t>(4 - static_cast<size_t>(length_), size) : 0;
    std::memcpy(first_ + length_, data, head);
    crc_ = UpdateCRC32(crc_, data + head, size - head);
    length_ += static_cast<int64_t>(size);
    return true;
  }

  int64_t Finish(bool scramble) {
    if (scramble && length_ > 4) {
      ScrambleFirstWord(first_, crc_);
      if (!owner_.WriteAt(owner_.writePos_, first_, 4)) owner_.FailWrite(TWriteFailure::DiskFull);
    }
    return length_;
  }

 private:
  TPakSystem& owner_;
  int64_t length_ = 0;
  uint8_t first_[4] = {};
  uint32_t crc_ = 0;
};

int64_t TPakSystem::WriteWavBlob(TPak& pak, int index) {
  const TPakFile& e = pak.Entries[static_cast<size_t>(index)];
  TBlobOut out(*this);
  // A sound is never left out in silence: one that is not a WAV file fails
  // the line, and the archive keeps its old table.
  if (std::string why = SetupWavBlob(pak, index, [&out](const uint8_t* data, size_t size) { out.Put(data, size); });
      !why.empty())
    Fatal("Cannot add " + Quoted(e.Name) + " to " + archivePath_ + ": not a valid WAV file: " + why);
  return out.Finish(false);
}

int64_t TPakSystem::WriteZlibBlob(TPak& pak, int index) {
  const TPakFile& e = pak.Entries[static_cast<size_t>(index)];
  TBlobOut out(*this);
  auto put = [&out](const uint8_t* data, size_t size) { return out.Put(data, size); };
  if (e.StoredSize != 0) {
    // The installer archive's own zlib stream serves as it is.
    if (!pak.ReadStoredInPieces(index, put, kBlobPiece)) ReportDamaged(pak, e);
  } else {
    TZBlockStream stream(e.OriginalSize, put);
    bool read = e.OriginalSize == 0 ||
                pak.ReadStoredInPieces(
                    index, [&stream](const uint8_t* data, size_t size) { return stream.Add(data, size); }, kBlobPiece);
    if (!read || !stream.Finish()) ReportDamaged(pak, e);
  }
  return out.Finish(true);
}

bool TPakSystem::StoredBlobEquals(const TQXPEntry& record, int64_t at, int64_t size) {
  // Only a blob that lies wholly in front of the old table is read.
  if (record.Offset < 0 || record.Offset + size > indexStart_) return false;
  Bytes stored, written;
  for (int64_t done = 0; done < size;) {
    size_t n = static_cast<size_t>(std::min<int64_t>(size - done, static_cast<int64_t>(kBlobPiece)));
    stored.resize(n);
    written.resize(n);
    if (archive_.Seek(record.Offset + done, SeekOrigin::Begin) != record.Offset + done ||
        archive_.Read(stored.data(), n) != n || archive_.Seek(at + done, SeekOrigin::Begin) != at + done ||
        archive_.Read(written.data(), n) != n || stored != written)
      return false;
    done += static_cast<int64_t>(n);
  }
  return true;
}

void TPakSystem::AddFile(TPak& pak, int index) {
  const TPakFile& e = pak.Entries[static_cast<size_t>(index)];
  if (e.OriginalSize > kMaxQXPArchiveSize) FailWrite(TWriteFailure::TooLarge);
  const uint8_t method = IsWavName(e.Name) ? kMethodWav : kMethodZlib;
  const int64_t size = method == kMethodWav ? WriteWavBlob(pak, index) : WriteZlibBlob(pak, index);

  std::string name = e.Name.substr(0, kMaxQXPName);
  std::string key = KeyOf(name);
  const TQXPEntry* old = entries_.Find(key);
  int32_t originalSize = static_cast<int32_t>(e.OriginalSize);
  // The blob is compared once it is written: when the archive holds it
  // already, the record stays and the bytes just written are free again.
  if (old && old->StoredSize == size && old->OriginalSize == originalSize && StoredBlobEquals(*old, writePos_, size))
    return;

  TQXPEntry record;
  record.Method = method;
  record.Name = old ? old->Name : name;  // a replaced entry keeps its stored spelling
  record.FileDate = static_cast<int32_t>(TodayDosDate());
  record.StoredSize = static_cast<int32_t>(size);
  record.OriginalSize = originalSize;
  record.Offset = static_cast<int32_t>(writePos_);
  if (old) entries_.Remove(key);
  entries_.Append(key, record);
  writePos_ += size;
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
  const int64_t end = writePos_ + static_cast<int64_t>(tail.size());
  if (tableSize > static_cast<size_t>(kMaxQXPArchiveSize) || end > kMaxQXPArchiveSize)
    FailWrite(TWriteFailure::TooLarge);
  // The new tail goes in front of the one the archive reads, and the cut
  // behind it makes it the one read.
  MakeRoom(end);
  if (!WriteAt(writePos_, tail.data(), tail.size()) || !CutAt(end)) FailWrite(TWriteFailure::DiskFull);
  changed_ = false;
  Close();
}

Bytes TPakSystem::MakeTrailer() {
  std::uniform_int_distribution<int> seed(kMinSeed, kMaxSeed);
  uint8_t a = static_cast<uint8_t>(seed(random_));
  uint8_t b = static_cast<uint8_t>(seed(random_));
  return MakeLongTrailer(kTrailerMarker, kTrailerVersion, a, b, ExtraInfo.Password, ExtraInfo.Official);
}

// --- the tail -------------------------------------------------------------------

void TPakSystem::MakeRoom(int64_t end) {
  if (end > tailAt_) MoveTail(end);
}

void TPakSystem::MoveTail(int64_t at) {
  const int64_t tableLength = tableLength_;
  const int64_t length = static_cast<int64_t>(oldTail_.size());
  moveRoom_ = std::min(std::max(2 * moveRoom_, kFirstRoom), kMostRoom);
  // Behind the end of the file, with room for more after the bytes due.
  auto place = [&](int64_t room) {
    int64_t to = std::max(end_, at + room);
    // The header and trailer go in one write that no sector boundary splits.
    int64_t head = to + tableLength;
    if (head % kSector + (length - tableLength) > kSector) to += kSector - head % kSector;
    return to;
  };
  int64_t to = place(moveRoom_);
  if (to + length > kMaxQXPArchiveSize) to = place(0);
  if (to + length > kMaxQXPArchiveSize) FailWrite(TWriteFailure::TooLarge);

  // First the file grows to end in the header and trailer, the header
  // reaching back over all between to the table read now; then the table
  // goes in front of them; then the header names the table's length alone.
  Bytes head(oldTail_.begin() + tableLength, oldTail_.end());
  SetU32(head.data(), static_cast<uint32_t>(to + tableLength - tailAt_));
  changed_ = true;
  if (!WriteAt(to + tableLength, head.data(), head.size())) FailWrite(TWriteFailure::DiskFull);
  end_ = to + length;
  uint8_t own[4];
  SetU32(own, static_cast<uint32_t>(tableLength));
  if (!WriteAt(to, oldTail_.data(), static_cast<size_t>(tableLength)) || !archive_.Flush() ||
      !WriteAt(to + tableLength, own, sizeof own) || !archive_.Flush())
    FailWrite(TWriteFailure::DiskFull);
  tailAt_ = to;
}

bool TPakSystem::WriteAt(int64_t at, const void* data, size_t size) {
  return archive_.Seek(at, SeekOrigin::Begin) == at && archive_.Write(data, size);
}

bool TPakSystem::CutAt(int64_t end) {
  if (!archive_.Flush() || archive_.Seek(end, SeekOrigin::Begin) != end || !archive_.Truncate()) return false;
  end_ = end;
  return true;
}

// --- failing ----------------------------------------------------------------------

bool TPakSystem::RestoreOldTail() {
  if (!changed_) return true;
  changed_ = false;
  // The old tail goes back in front of the one read now (blobs may have
  // taken its place), and the cut makes it the one read again.
  bool moved = tailAt_ != indexStart_;
  return (!moved || WriteAt(indexStart_, oldTail_.data(), oldTail_.size())) && CutAt(oldEnd_);
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
  if (changed_) {
    try {
      RestoreOldTail();
    } catch (...) {
      changed_ = false;
    }
  }
  archive_.Close();
  entries_.Clear();
  oldTail_.clear();
  indexStart_ = tableLength_ = oldEnd_ = tailAt_ = end_ = writePos_ = 0;
}
