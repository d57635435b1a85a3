#include "packer/SQXP.h"

#include <algorithm>
#include <chrono>
#include <random>

#include "Global/ZCodec.h"
#include "packer/SWAV.h"
#include "platform/Directory.h"
#include "platform/Text.h"

using platform::File;
using platform::OpenMode;

namespace {

bool EndsWithSeparator(const std::string& path) { return !path.empty() && (path.back() == '\\' || path.back() == '/'); }

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

}  // namespace

std::vector<int> SplitRanges(int count, int workers) {
  std::vector<int> sizes(static_cast<size_t>(workers), 0);
  // count / workers, rounded to the nearest whole number, halves to even.
  int b = count / workers, rest = count % workers;
  if (2 * rest > workers || (2 * rest == workers && b % 2 == 1)) ++b;
  int r = count - workers * b, remaining = count;
  for (int k = 0; k < workers; ++k) {
    if (b > remaining || k == workers - 1) b = remaining;
    int n = b;
    if (r > 0 && k < workers - 1) {
      n = b + 1;
      --r;
    }
    sizes[static_cast<size_t>(k)] = n;
    remaining -= n;
  }
  return sizes;
}

// ---------------------------------------------------------------------------

TQXPWriteThread::TQXPWriteThread(TQXP& owner, size_t slot, int assignedCount)
    : Slot(slot), AssignedCount(assignedCount), owner_(owner) {}

TQXPWriteThread::~TQXPWriteThread() { Join(); }

void TQXPWriteThread::Start() { thread_ = std::thread(&TQXPWriteThread::Execute, this); }

void TQXPWriteThread::Join() {
  if (thread_.joinable()) thread_.join();
}

namespace {

int64_t MicrosSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

void TQXPWriteThread::Execute() {
  auto start = std::chrono::steady_clock::now();
  for (int index; !owner_.Failed() && (index = owner_.Claim(Slot)) >= 0;) {
    CurrentIndex = index;
    TQXPEntry& entry = owner_.Entries[static_cast<size_t>(index)];
    try {
      HandleEntry(entry);
    } catch (const std::exception& e) {
      owner_.Fail("Cannot pack " + Quoted(entry.Name) + ": " + e.what());
    } catch (...) {
      owner_.Fail("Cannot pack " + Quoted(entry.Name));
    }
    Bytes().swap(buffer_);
    if (owner_.Failed()) break;
    DoneCount.fetch_add(1);
  }
  CurrentIndex = -1;
  RunningMicros = MicrosSince(start);
  Finished.store(true);
}

void TQXPWriteThread::HandleEntry(TQXPEntry& entry) {
  auto since = std::chrono::steady_clock::now();
  owner_.Synchronize([&] { LoadCurrentFile(entry); });
  WaitingMicros += MicrosSince(since);
  since = std::chrono::steady_clock::now();
  CodeCurrentFile(entry);
  CodingMicros += MicrosSince(since);
  since = std::chrono::steady_clock::now();
  owner_.Synchronize([&] { WriteCurrentBlob(entry); });
  WaitingMicros += MicrosSince(since);
}

void TQXPWriteThread::LoadCurrentFile(TQXPEntry& entry) {
  File file;
  if (!file.Open(owner_.sourceDir_ + entry.Name, OpenMode::Read)) throw EQXPError("the file cannot be opened");
  int64_t size = file.Size();
  if (size < 0) throw EQXPError("the file cannot be read");
  // Nothing larger can lie in an archive; refuse before holding it.
  if (size > owner_.MaxArchiveSize) throw EQXPError("the file is too large for an archive (2 GiB at most)");
  buffer_.resize(static_cast<size_t>(size));
  if (file.Read(buffer_.data(), buffer_.size()) != buffer_.size()) throw EQXPError("the file cannot be read");
  entry.OriginalSize = static_cast<int32_t>(size);
}

void TQXPWriteThread::CodeCurrentFile(TQXPEntry& entry) {
  if (!IsWavName(entry.Name)) {
    Bytes packed = ZCompress(buffer_.data(), buffer_.size(), 9);
    if (!packed.empty() && packed.size() < buffer_.size()) {
      entry.Method = kMethodZlib;
      ScrambleBlob(packed.data(), packed.size());
      buffer_ = std::move(packed);
    } else {
      entry.Method = kMethodStored;
    }
  } else {
    TWavFile wav;
    ReadWavFromBuffer(buffer_.data(), buffer_.size(), wav);
    if (!wav.Valid) throw EQXPError("not a valid WAV file: " + wav.Detail);
    Bytes blob = MakeWavBlob(wav.Header, wav.PcmData, InPackerEffectsFolder(entry.Name));
    entry.Method = kMethodWav;
    buffer_ = std::move(blob);
  }
  if (buffer_.size() > static_cast<size_t>(owner_.MaxArchiveSize))
    throw EQXPError("the file is too large for an archive (2 GiB at most)");
  entry.StoredSize = static_cast<int32_t>(buffer_.size());
}

void TQXPWriteThread::WriteCurrentBlob(TQXPEntry& entry) {
  entry.Offset = owner_.Append(buffer_.data(), buffer_.size());
}

// ---------------------------------------------------------------------------

TQXP::~TQXP() { Threads.clear(); }

TQXPReadStatus TQXP::Open(const std::string& path) {
  if (!stream_.Open(path, OpenMode::Read)) throw EQXPError("Cannot open " + Quoted(path));
  return ReadHeader();
}

TQXPReadStatus TQXP::ReadHeader() {
  Header2 = TQXPHeader2();
  TQXPTail tail;
  TQXPReadStatus status = ReadQXPTail(stream_, TQXPTrailerRules::Packer, tail);
  Detail = std::move(tail.Detail);
  const TQXPTrailer& trailer = tail.Trailer;
  if (trailer.Decoded) {
    Header2.Text = trailer.Password;
    Header2.Flag = trailer.BlockVersion == '3' ? (trailer.FlagByte & 1) != 0 : trailer.FlagByte != 0;
  } else if (trailer.Length == kShortTrailerSize) {
    Header2.Text = trailer.Password;
  }
  Header2.HasText = !Header2.Text.empty();
  Header = tail.Header;
  Entries = status == TQXPReadStatus::Ok ? std::move(tail.Entries) : std::vector<TQXPEntry>();
  return status;
}

void TQXP::Make(const std::string& archivePath, const std::string& sourceDir) {
  if (sourceDir.empty()) throw EQXPError("No source folder given");
  // Drive letters and the like: never pack a whole drive by accident.
  if (sourceDir.size() <= 2) throw EQXPError("The source folder " + Quoted(sourceDir) + " is too short");
  sourceDir_ = EndsWithSeparator(sourceDir) ? sourceDir : sourceDir + "\\";
  if (!platform::DirectoryExists(sourceDir_)) throw EQXPError("Source folder not found: " + Quoted(sourceDir));

  Entries.clear();
  sizes_.clear();
  AddDirectory("", sourceDir_, archivePath);
  Header = TQXPHeader{0, 0, kQXPVersion, static_cast<int32_t>(Entries.size()), 0};

  // The archive is written beside the old one under a name of its own and
  // takes the old one's place only when it is whole: a failed run leaves
  // the author's archive as it was, and nothing half written.
  // Only a file can take that place: no name, or a folder's, is refused
  // before anything is written beside it.
  if (archivePath.empty() || EndsWithSeparator(archivePath) || platform::DirectoryExists(archivePath))
    throw EQXPError("Cannot create " + Quoted(archivePath));
  platform::TempFileOwner aside(platform::AsideName(archivePath));
  if (!stream_.Open(aside.Path(), OpenMode::CreateNew)) throw EQXPError("Cannot create " + Quoted(archivePath));
  writePos_ = 0;
  failed_ = false;
  failure_.clear();
  try {
    RunWorkers();
    if (Failed()) throw EQXPError(failure_);
    WriteTail();
    // Nothing more is written: the file is let go at once, so it can be
    // read, moved or made again while this object lives on.
    stream_.Close();
  } catch (...) {
    Threads.clear();
    stream_.Close();
    throw;
  }
  if (!platform::RenameOver(aside.Path(), archivePath)) throw EQXPError("Cannot replace " + Quoted(archivePath));
}

void TQXP::AddDirectory(const std::string& prefix, const std::string& dir, const std::string& archivePath) {
  std::vector<platform::DirEntry> items;
  if (!platform::ListDirectory(dir, items)) throw EQXPError("Cannot list the folder " + Quoted(dir));
  for (const platform::DirEntry& item : items) {
    // A link may lead out of the tree, back up it or nowhere: never packed
    // nor entered.
    if (item.IsLink || platform::AnsiLowerCase(item.Name) == "thumbs.db") continue;
    std::string name = prefix + item.Name;
    if (item.IsDirectory) {
      // Entered even when its path leaves no room for a file name: only a
      // file that would really be packed has a name that is too long.
      AddDirectory(name + "\\", dir + item.Name + "\\", archivePath);
      continue;
    }
    // An archive written into its own source folder is not packed into
    // itself.
    if (platform::SameFile(dir + item.Name, archivePath)) continue;
    if (name.size() > kMaxQXPName) throw EQXPError("The name " + Quoted(name) + " is longer than 127 bytes");
    if (Entries.size() >= static_cast<size_t>(INT32_MAX / kQXPEntrySize))
      throw EQXPError("Too many files for one archive");
    TQXPEntry entry;
    entry.Name = name;
    entry.FileDate = item.DosDateTime;
    Entries.push_back(entry);
    sizes_.push_back(item.Size);
  }
}

int TQXP::Claim(size_t slot) {
  size_t at = nextClaim_.fetch_add(1);
  if (at >= order_.size()) return -1;
  std::lock_guard<std::mutex> hold(claimLock_);
  TQXPWriteThread& self = *Threads[slot];
  if (++claimed_[slot] > self.AssignedCount) {
    // Past its share: it takes over one of the worker with most left. The
    // shares always add up to the entries, so there is one.
    size_t most = slot;
    int left = 0;
    for (size_t k = 0; k < Threads.size(); ++k) {
      int n = Threads[k]->AssignedCount - claimed_[k];
      if (n > left) most = k, left = n;
    }
    // Own count first: a row never shows more done than assigned.
    self.AssignedCount.fetch_add(1);
    Threads[most]->AssignedCount.fetch_sub(1);
  }
  return order_[at];
}

void TQXP::RunWorkers() {
  // Files differ in size and kind: handed out one by one, largest first,
  // the workers all end within about one small file of each other.
  order_.resize(Entries.size());
  for (size_t i = 0; i < order_.size(); ++i) order_[i] = static_cast<int>(i);
  std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) { return sizes_[a] > sizes_[b]; });
  nextClaim_ = 0;
  std::vector<int> shares = SplitRanges(Header.Count, WorkerCount);
  claimed_.assign(shares.size(), 0);
  for (size_t k = 0; k < shares.size(); ++k) Threads.push_back(std::make_unique<TQXPWriteThread>(*this, k, shares[k]));
  auto start = std::chrono::steady_clock::now();
  try {
    for (auto& t : Threads) t->Start();
  } catch (const std::system_error&) {
    // Workers that did start see the failure and stop after their entry;
    // the others will never finish by themselves.
    Fail("Cannot start the worker threads");
    for (auto& t : Threads)
      if (!t->Started()) t->Finished = true;
  }
  for (;;) {
    bool allFinished = true;
    int done = 0;
    for (auto& t : Threads) {
      done += t->DoneCount.load();
      allFinished = allFinished && t->Finished.load();
    }
    // A progress display that fails ends the run like a worker's failure;
    // the loop goes on serving the workers until each has stopped.
    if (OnProgress && !Failed()) {
      try {
        OnProgress(done, Header.Count);
      } catch (const std::exception& e) {
        Fail(std::string("The progress display failed: ") + e.what());
      } catch (...) {
        Fail("The progress display failed");
      }
    }
    ServeRequests(std::chrono::milliseconds(50));
    if (allFinished) break;
  }
  RunMicros = MicrosSince(start);
  WorkerTimes.clear();
  for (auto& t : Threads) {
    t->Join();
    WorkerTimes.push_back({t->CodingMicros.load(), t->WaitingMicros.load(), t->RunningMicros.load()});
  }
  Threads.clear();
}

void TQXP::WriteTail() {
  Bytes table;
  table.reserve(Entries.size() * kQXPEntrySize);
  for (const TQXPEntry& e : Entries) e.WriteTo(table);
  Header.TableSize = static_cast<int32_t>(table.size());
  Bytes packed = ZCompress(table.data(), table.size(), 9);
  Header.CompressedSize = static_cast<int32_t>(packed.size());
  Append(packed.data(), packed.size());
  Bytes header;
  Header.WriteTo(header);
  Append(header.data(), header.size());
  WriteTrailer();
}

void TQXP::WriteTrailer() {
  std::mt19937 gen(static_cast<uint32_t>(std::chrono::system_clock::now().time_since_epoch().count()) ^
                   std::random_device{}());
  std::uniform_int_distribution<int> seed(0, 254);
  uint8_t a = static_cast<uint8_t>(seed(gen));
  uint8_t b = static_cast<uint8_t>(seed(gen));
  uint8_t flag = static_cast<uint8_t>((seed(gen) & ~1) | (Header2.Flag ? 1 : 0));
  Bytes trailer = MakeLongTrailer(0, '3', a, b, Header2.Text, flag);
  Append(trailer.data(), trailer.size());
}

int32_t TQXP::Append(const uint8_t* data, size_t size) {
  if (writePos_ + static_cast<int64_t>(size) > MaxArchiveSize)
    throw EQXPError("The archive would pass 2 GiB, the most its 32-bit offsets reach");
  if (!stream_.Write(data, size)) throw EQXPError("Cannot write the archive (disk full?)");
  int32_t at = static_cast<int32_t>(writePos_);
  writePos_ += static_cast<int64_t>(size);
  return at;
}

void TQXP::Synchronize(const std::function<void()>& fn) {
  Request request;
  request.fn = fn;
  std::unique_lock<std::mutex> hold(lock_);
  requests_.push_back(&request);
  requested_.notify_one();
  served_.wait(hold, [&] { return request.done; });
  if (request.error) std::rethrow_exception(request.error);
}

void TQXP::ServeRequests(std::chrono::milliseconds wait) {
  std::unique_lock<std::mutex> hold(lock_);
  requested_.wait_for(hold, wait, [&] { return !requests_.empty(); });
  while (!requests_.empty()) {
    Request* request = requests_.front();
    requests_.pop_front();
    hold.unlock();
    try {
      request->fn();
    } catch (...) {
      request->error = std::current_exception();
    }
    hold.lock();
    request->done = true;
    served_.notify_all();
  }
}

void TQXP::Fail(const std::string& text) {
  std::lock_guard<std::mutex> hold(lock_);
  if (!failed_) failure_ = text;
  failed_ = true;
}
