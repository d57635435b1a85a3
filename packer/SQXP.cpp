#include "packer/SQXP.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <random>

#include "Global/CRC.h"
#include "Global/ZBlocks.h"
#include "packer/SWAV.h"
#include "platform/Directory.h"
#include "platform/Text.h"
#include "platform/WidePath.h"

using platform::File;
using platform::OpenMode;
using platform::SeekOrigin;

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

std::string CannotPack(const std::string& name, const std::string& why) {
  return "Cannot pack " + Quoted(name) + ": " + why;
}

}  // namespace

// One piece of coding for a worker: a whole file, or one block of a file
// coded in blocks.
struct TQXPJob {
  int Entry = -1;
  bool Blocked = false;
  uint64_t Block = 0;  // an entry's first job is its block 0
  bool Last = false;
  Bytes Input;  // the file, or the block behind its dictionary
  size_t Dictionary = 0;
  Bytes Blob;     // a whole file's blob (the entry's method and size are set)
  TZBlock Coded;  // a block's share of the stream
  std::string Error;
  size_t Held = 0;  // bytes counted for it in the read-ahead
};

// The jobs of one Make. The main thread reads files ahead of the workers,
// largest first, while the bytes in flight allow, and writes each blob
// as soon as it is coded; workers take the jobs in the order read. The
// blocks of a large file are read in order and its blob is written in order
// as one piece of the archive, so any other blob coded meanwhile waits for
// it to end.
class TQXP::TRun {
 public:
  TRun(TQXP& q, std::vector<int> order)
      : q_(q),
        order_(std::move(order)),
        claimed_(q.Threads.size(), 0),
        claimer_(q.Entries.size(), 0),
        buffers_(4 * q.Threads.size()) {
    // Enough queued for every worker to find its next job at once; the
    // budget keeps what waits to be written to a few blocks per worker.
    maxPending_ = 2 * q.Threads.size();
    budget_ = 2 * q.Threads.size() * kZBlockThreshold;
  }

  // --- the workers' side
  // The next job, waiting for one to be read; none once all are coded or
  // the run failed.
  std::unique_ptr<TQXPJob> NextJob(size_t slot) {
    std::unique_lock<std::mutex> hold(q_.lock_);
    jobsReady_.wait(hold, [&] { return q_.failed_ || !queued_.empty() || allRead_; });
    if (q_.failed_ || queued_.empty()) return nullptr;
    std::unique_ptr<TQXPJob> job = std::move(queued_.front());
    queued_.pop_front();
    if (job->Block == 0) Claim(slot, job->Entry);
    return job;
  }

  void Coded(std::unique_ptr<TQXPJob> job) {
    std::lock_guard<std::mutex> hold(q_.lock_);
    coded_.push_back(std::move(job));
    codedReady_.notify_one();
  }

  // The buffers of files and blocks, read, coded and written, go round
  // from one job to the next.
  TBufferPool& Buffers() { return buffers_; }

  // Wakes whoever waits for a change of the run's state.
  void Wake() {
    { std::lock_guard<std::mutex> hold(q_.lock_); }
    jobsReady_.notify_all();
    codedReady_.notify_all();
  }

  // --- the main thread's side
  // Takes what the workers coded, reads ahead and writes what is ready;
  // EQXPError naming the entry on a failure.
  void Pump() {
    std::vector<std::unique_ptr<TQXPJob>> coded;
    {
      std::lock_guard<std::mutex> hold(q_.lock_);
      coded.swap(coded_);
    }
    for (auto& job : coded) Take(std::move(job));
    ReadAhead();
    WriteReady();
  }

  void WaitForCoded(std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> hold(q_.lock_);
    codedReady_.wait_for(hold, wait, [&] {
      return !coded_.empty() ||
             std::all_of(q_.Threads.begin(), q_.Threads.end(), [](const auto& t) { return t->Finished.load(); });
    });
  }

 private:
  // A large file being read block by block.
  struct TBlockRead {
    TBlockRead(int entry, File source, uint64_t size) : Entry(entry), Source(std::move(source)), Size(size) {}
    int Entry;
    File Source;
    uint64_t Size, Next = 0;
    Bytes Tail;  // the end of the last block read: the next one's dictionary
  };
  // A large file's blob, written block by block in order.
  struct TBlockWrite {
    TBlockWrite(int entry, uint64_t blocks) : Entry(entry), Blocks(blocks) {}
    int Entry;
    uint64_t Blocks, Next = 0;
    std::map<uint64_t, std::unique_ptr<TQXPJob>> Ready;  // coded, not yet written
    TZBlockJoin Join;
    int64_t Start = -1;    // where the blob begins, once it has
    int64_t Length = 0;    // of the stream so far
    uint8_t Head[4] = {};  // the stream's first word, scrambled at the end
    uint32_t Crc = 0;      // of the stream after its first word
    bool Raw = false;      // no shorter than the file: stored as it is
  };

  // Past its share a worker takes over one of the worker with most left.
  // The shares always add up to the entries, so there is one.
  void Claim(size_t slot, int entry) {
    claimer_[static_cast<size_t>(entry)] = slot;
    TQXPWriteThread& self = *q_.Threads[slot];
    if (++claimed_[slot] <= self.AssignedCount) return;
    size_t most = slot;
    int left = 0;
    for (size_t k = 0; k < q_.Threads.size(); ++k) {
      int n = q_.Threads[k]->AssignedCount - claimed_[k];
      if (n > left) most = k, left = n;
    }
    // Own count first: a row never shows more done than assigned.
    self.AssignedCount.fetch_add(1);
    q_.Threads[most]->AssignedCount.fetch_sub(1);
  }

  void Take(std::unique_ptr<TQXPJob> job) {
    --pending_;
    held_ -= job->Held;
    job->Held = job->Blob.size() + job->Coded.Data.size();
    held_ += job->Held;
    if (!job->Error.empty()) throw EQXPError(CannotPack(q_.Entries[job->Entry].Name, job->Error));
    if (!job->Blocked) {
      waiting_.push_back(std::move(job));
      return;
    }
    for (TBlockWrite& w : writes_)
      if (w.Entry == job->Entry) {
        w.Ready[job->Block] = std::move(job);
        return;
      }
  }

  void ReadAhead() {
    while (!allRead_ && (pending_ == 0 || (pending_ < maxPending_ && held_ < budget_))) {
      std::unique_ptr<TQXPJob> job = ReadJob();
      std::lock_guard<std::mutex> hold(q_.lock_);
      if (!job) {
        allRead_ = true;
        jobsReady_.notify_all();
        return;
      }
      held_ += job->Held;
      ++pending_;
      queued_.push_back(std::move(job));
      jobsReady_.notify_one();
    }
  }

  std::unique_ptr<TQXPJob> ReadJob() {
    if (!reading_ && nextRead_ == order_.size()) return nullptr;
    int entry = reading_ ? reading_->Entry : order_[nextRead_++];
    try {
      return reading_ ? ReadBlock() : ReadFile(entry);
    } catch (const std::exception& e) {
      throw EQXPError(CannotPack(q_.Entries[entry].Name, e.what()));
    }
  }

  std::unique_ptr<TQXPJob> ReadFile(int entry) {
    TQXPEntry& e = q_.Entries[entry];
    File file;
    if (!file.Open(q_.sourceDir_ + e.Name, OpenMode::Read)) throw EQXPError("the file cannot be opened");
    int64_t size = file.Size();
    if (size < 0) throw EQXPError("the file cannot be read");
    // Nothing larger can lie in an archive; refuse before holding it.
    if (size > q_.MaxArchiveSize) throw EQXPError("the file is too large for an archive (2 GiB at most)");
    e.OriginalSize = static_cast<int32_t>(size);
    if (!IsWavName(e.Name) && UsesZBlocks(static_cast<uint64_t>(size))) {
      reading_ = std::make_unique<TBlockRead>(entry, std::move(file), static_cast<uint64_t>(size));
      writes_.emplace_back(entry, ZBlockCount(static_cast<uint64_t>(size)));
      return ReadBlock();
    }
    auto job = std::make_unique<TQXPJob>();
    job->Entry = entry;
    job->Input = buffers_.Take(static_cast<size_t>(size));
    if (file.Read(job->Input.data(), job->Input.size()) != job->Input.size())
      throw EQXPError("the file cannot be read");
    job->Held = job->Input.size();
    return job;
  }

  std::unique_ptr<TQXPJob> ReadBlock() {
    TBlockRead& r = *reading_;
    TZBlockSpan span = ZBlockSpan(r.Size, r.Next);
    auto job = std::make_unique<TQXPJob>();
    job->Entry = r.Entry;
    job->Blocked = true;
    job->Block = r.Next;
    job->Last = span.Last;
    job->Dictionary = span.DictionaryLength();
    job->Input = buffers_.Take(span.ReadLength());
    std::copy(r.Tail.end() - static_cast<ptrdiff_t>(job->Dictionary), r.Tail.end(), job->Input.begin());
    if (r.Source.Read(job->Input.data() + job->Dictionary, span.Length()) != span.Length())
      throw EQXPError("the file cannot be read");
    r.Tail.assign(job->Input.end() - static_cast<ptrdiff_t>(std::min(kZDictionarySize, job->Input.size())),
                  job->Input.end());
    job->Held = job->Input.size();
    ++r.Next;
    if (span.Last) reading_.reset();
    return job;
  }

  // Blobs coded whole go in as they come, but never into the middle of a
  // large file's blob that has begun.
  void WriteReady() {
    for (;;) {
      bool begun = !writes_.empty() && writes_.front().Start >= 0;
      if (!begun) WriteWaiting();
      if (writes_.empty()) return;
      TBlockWrite& w = writes_.front();
      if (!begun) {
        if (w.Ready.count(0) == 0) return;
        Guarded(w.Entry, [&] { Begin(w); });
      }
      for (auto at = w.Ready.find(w.Next); at != w.Ready.end(); at = w.Ready.find(w.Next)) {
        Guarded(w.Entry, [&] { WriteBlock(w, at->second->Coded); });
        buffers_.Give(std::move(at->second->Coded.Data));
        held_ -= at->second->Held;
        w.Ready.erase(at);
        ++w.Next;
      }
      if (w.Next < w.Blocks) return;
      Guarded(w.Entry, [&] { Finish(w); });
      writes_.pop_front();
    }
  }

  void WriteWaiting() {
    for (auto& job : waiting_) {
      Guarded(job->Entry, [&] { q_.Entries[job->Entry].Offset = q_.Append(job->Blob.data(), job->Blob.size()); });
      buffers_.Give(std::move(job->Blob));
      held_ -= job->Held;
      Done(job->Entry);
    }
    waiting_.clear();
  }

  void Begin(TBlockWrite& w) {
    w.Start = q_.writePos_;
    Stream(w, TZBlockJoin::kHeader, TZBlockJoin::kHeaderSize);
  }

  void WriteBlock(TBlockWrite& w, const TZBlock& block) {
    w.Join.Add(block);
    // Once the stream cannot end shorter than the file, the file is stored
    // as it is, and the rest of the stream need not be written.
    int64_t size = q_.Entries[w.Entry].OriginalSize;
    if (w.Length + static_cast<int64_t>(block.Data.size() + TZBlockJoin::kTrailerSize) >= size) w.Raw = true;
    if (!w.Raw) Stream(w, block.Data.data(), block.Data.size());
  }

  void Finish(TBlockWrite& w) {
    TQXPEntry& e = q_.Entries[w.Entry];
    e.Offset = static_cast<int32_t>(w.Start);
    if (w.Raw) {
      CopyRaw(w);
      e.Method = kMethodStored;
      e.StoredSize = e.OriginalSize;
    } else {
      uint8_t trailer[TZBlockJoin::kTrailerSize];
      w.Join.Trailer(trailer);
      Stream(w, trailer, sizeof trailer);
      ScrambleFirstWord(w.Head, w.Crc);
      WriteAt(w.Start, w.Head, sizeof w.Head);
      e.Method = kMethodZlib;
      e.StoredSize = static_cast<int32_t>(w.Length);
    }
    Done(w.Entry);
  }

  // Appends stream bytes, keeping the first word aside for the scramble.
  void Stream(TBlockWrite& w, const uint8_t* data, size_t size) {
    size_t head = static_cast<size_t>(std::min<int64_t>(std::max<int64_t>(4 - w.Length, 0), size));
    std::copy(data, data + head, w.Head + w.Length);
    w.Crc = UpdateCRC32(w.Crc, data + head, size - head);
    q_.Append(data, size);
    w.Length += static_cast<int64_t>(size);
  }

  void WriteAt(int64_t at, const uint8_t* data, size_t size) {
    File& s = q_.stream_;
    if (s.Seek(at, SeekOrigin::Begin) != at || !s.Write(data, size) ||
        s.Seek(q_.writePos_, SeekOrigin::Begin) != q_.writePos_)
      throw EQXPError("Cannot write the archive (disk full?)");
  }

  // The stream written so far makes way for the file as it is.
  void CopyRaw(TBlockWrite& w) {
    File& s = q_.stream_;
    if (s.Seek(w.Start, SeekOrigin::Begin) != w.Start || !s.Truncate())
      throw EQXPError("Cannot write the archive (disk full?)");
    q_.writePos_ = w.Start;
    const TQXPEntry& e = q_.Entries[w.Entry];
    File file;
    if (!file.Open(q_.sourceDir_ + e.Name, OpenMode::Read)) throw EQXPError("the file cannot be opened");
    if (file.Size() != e.OriginalSize) throw EQXPError("the file changed while it was packed");
    Bytes piece(kZBlockSize);
    for (int64_t left = e.OriginalSize; left > 0;) {
      size_t n = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(piece.size())));
      if (file.Read(piece.data(), n) != n) throw EQXPError("the file cannot be read");
      q_.Append(piece.data(), n);
      left -= static_cast<int64_t>(n);
    }
  }

  void Done(int entry) { q_.Threads[claimer_[static_cast<size_t>(entry)]]->DoneCount.fetch_add(1); }

  template <class Fn>
  void Guarded(int entry, Fn fn) {
    try {
      fn();
    } catch (const std::exception& e) {
      throw EQXPError(CannotPack(q_.Entries[entry].Name, e.what()));
    }
  }

  TQXP& q_;
  const std::vector<int> order_;  // of reading
  // Shared with the workers, under q_.lock_.
  std::deque<std::unique_ptr<TQXPJob>> queued_;
  std::vector<std::unique_ptr<TQXPJob>> coded_;
  bool allRead_ = false;
  std::vector<int> claimed_;     // entries each worker has taken
  std::vector<size_t> claimer_;  // the worker that took each entry
  std::condition_variable jobsReady_, codedReady_;
  // The main thread's own.
  size_t nextRead_ = 0, pending_ = 0, maxPending_ = 0;
  uint64_t held_ = 0, budget_ = 0;
  std::unique_ptr<TBlockRead> reading_;
  std::deque<TBlockWrite> writes_;  // in the order read
  std::vector<std::unique_ptr<TQXPJob>> waiting_;
  TBufferPool buffers_;
};

// ---------------------------------------------------------------------------

void TQXPWriteThread::Execute() {
  auto start = std::chrono::steady_clock::now();
  TQXP::TRun& run = *owner_.run_;
  for (;;) {
    auto since = std::chrono::steady_clock::now();
    std::unique_ptr<TQXPJob> job = run.NextJob(Slot);
    WaitingMicros += MicrosSince(since);
    if (!job) break;
    CurrentIndex = job->Entry;
    since = std::chrono::steady_clock::now();
    try {
      Code(*job);
    } catch (const std::exception& e) {
      job->Error = e.what();
    } catch (...) {
      job->Error = "it cannot be coded";
    }
    run.Buffers().Give(std::move(buffer_));
    run.Buffers().Give(std::move(job->Input));
    CodingMicros += MicrosSince(since);
    run.Coded(std::move(job));
  }
  CurrentIndex = -1;
  RunningMicros = MicrosSince(start);
  Finished.store(true);
  run.Wake();
}

void TQXPWriteThread::Code(TQXPJob& job) {
  if (job.Blocked) {
    if (!coder_) coder_ = std::make_unique<TZBlockCoder>();
    job.Coded = coder_->Code(job.Input.data(), job.Dictionary, job.Input.size(), job.Last, &owner_.run_->Buffers());
    return;
  }
  buffer_ = std::move(job.Input);
  CodeCurrentFile(owner_.Entries[static_cast<size_t>(job.Entry)]);
  job.Blob = std::move(buffer_);
}

void TQXPWriteThread::CodeCurrentFile(TQXPEntry& entry) {
  if (!IsWavName(entry.Name)) {
    TBufferPool& buffers = owner_.run_->Buffers();
    if (!deflater_) deflater_ = std::make_unique<TZDeflater>();
    Bytes packed = ZCompressContents(buffer_.data(), buffer_.size(), &buffers, deflater_.get());
    if (!packed.empty() && packed.size() < buffer_.size()) {
      entry.Method = kMethodZlib;
      ScrambleBlob(packed.data(), packed.size());
      std::swap(buffer_, packed);
    } else {
      entry.Method = kMethodStored;
    }
    buffers.Give(std::move(packed));
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

// ---------------------------------------------------------------------------

TQXP::TQXP() = default;

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
  std::string asideName = platform::CreateAside(archivePath, stream_);
  if (asideName.empty()) throw EQXPError("Cannot create " + Quoted(archivePath));
  platform::TempFileOwner aside(asideName);
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
  if (!platform::ListDirectory(dir, items))
    throw EQXPError(u"Cannot list the folder \"" + platform::WidePath(dir) + u"\"");
  for (const platform::DirEntry& item : items) {
    // A link may lead out of the tree, back up it or nowhere: never packed
    // nor entered.
    if (item.IsLink || platform::AnsiLowerCase(item.Name) == "thumbs.db") continue;
    // Nothing is left out in silence.
    if (std::u16string fault = platform::EntryPathFault(dir, item); !fault.empty()) throw EQXPError(fault);
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

void TQXP::RunWorkers() {
  // Files differ in size and kind: read largest first, the workers all end
  // within about one small file or block of each other.
  std::vector<int> order(Entries.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return sizes_[a] > sizes_[b]; });
  std::vector<int> shares = SplitRanges(Header.Count, WorkerCount);
  for (size_t k = 0; k < shares.size(); ++k) Threads.push_back(std::make_unique<TQXPWriteThread>(*this, k, shares[k]));
  run_ = std::make_unique<TRun>(*this, std::move(order));
  auto start = std::chrono::steady_clock::now();
  try {
    for (auto& t : Threads) t->Start();
  } catch (const std::system_error&) {
    // Workers that did start see the failure and stop after their job;
    // the others will never finish by themselves.
    Fail("Cannot start the worker threads");
    for (auto& t : Threads)
      if (!t->Started()) t->Finished = true;
  }
  // A progress display that fails ends the run like a worker's failure;
  // the loop goes on until each worker has stopped.
  auto progress = [&] {
    if (!OnProgress || Failed()) return;
    int done = 0;
    for (auto& t : Threads) done += t->DoneCount.load();
    try {
      OnProgress(done, Header.Count);
    } catch (const std::exception& e) {
      Fail(std::string("The progress display failed: ") + e.what());
    } catch (...) {
      Fail("The progress display failed");
    }
  };
  for (;;) {
    bool allFinished = std::all_of(Threads.begin(), Threads.end(), [](const auto& t) { return t->Finished.load(); });
    progress();
    // Once all workers have finished, this writes the last of their jobs.
    if (!Failed()) {
      try {
        run_->Pump();
      } catch (const std::exception& e) {
        Fail(e.what());
      }
    }
    if (allFinished) break;
    run_->WaitForCoded(std::chrono::milliseconds(50));
  }
  progress();  // all written
  RunMicros = MicrosSince(start);
  WorkerTimes.clear();
  for (auto& t : Threads) {
    t->Join();
    WorkerTimes.push_back({t->CodingMicros.load(), t->WaitingMicros.load(), t->RunningMicros.load()});
  }
  Threads.clear();
  run_.reset();
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

void TQXP::Fail(const std::string& text) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (!failed_) failure_ = text;
    failed_ = true;
  }
  if (run_) run_->Wake();
}
