#include "packer/SQXP.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <random>

#include "Global/CRC.h"
#include "Global/SWAV.h"
#include "Global/ZBlocks.h"
#include "platform/Directory.h"
#include "platform/FileReplacement.h"
#include "platform/Text.h"
#include "platform/WidePath.h"

using platform::File;
using platform::OpenMode;
using platform::SeekOrigin;

namespace {

bool EndsWithSeparator(const std::string& path) { return !path.empty() && (path.back() == '\\' || path.back() == '/'); }

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

// A drive's root however it is spelt: "Z:", "Z:\", "\\?\Z:\", "\\.\Z:" (with
// either separator and any number of them), or the current drive's, "\".
bool IsDriveRoot(std::string path) {
  for (const char* device : {"\\\\?\\", "\\\\.\\", "//?/", "//./"}) {
    if (path.rfind(device, 0) != 0) continue;
    path.erase(0, 4);
    break;
  }
  size_t last = path.find_last_not_of("\\/");
  path.erase(last == std::string::npos ? 0 : last + 1);
  bool letter = !path.empty() && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  return path.empty() || (path.size() == 2 && letter && path[1] == ':');
}

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

const char kTooLarge[] = "the file is too large for an archive (2 GiB at most)";

}  // namespace

// One piece of coding for a worker: a whole file, one block of a file
// coded in blocks, or one piece of a sound.
struct TQXPJob {
  int Entry = -1;
  bool Blocked = false;
  TWavBlobCoder* Sound = nullptr;  // the coder of the sound whose piece it is
  uint64_t Block = 0;              // an entry's first job is its block (or piece) 0
  bool Last = false;
  Bytes Input;  // the file, or the block behind its dictionary
  size_t Dictionary = 0;
  Bytes Blob;     // a whole file's blob (the entry's method and size are set), or a piece's
  TZBlock Coded;  // a block's share of the stream
  std::string Error;
  size_t Held = 0;  // bytes counted for it in the read-ahead
};

// The jobs of one Make. The main thread reads files ahead of the workers,
// largest first, while the bytes in flight allow, and writes each blob
// as soon as it is coded; workers take the jobs in the order read. The
// blocks of a large file are read in order and its blob is written in order
// as one piece of the archive, so any other blob coded meanwhile waits for
// it to end. A sound goes piece by piece into a place taken for its blob
// beforehand. A file that cannot be packed is refused and the run goes on,
// so that every such file is named.
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
    maxSounds_ = 2 * q.Threads.size();
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
    // A sound whose piece was written just now has its next one to read.
    ReadAhead();
  }

  // Whether every blob read has been written whole.
  bool Complete() const { return writes_.empty() && sounds_.empty() && waiting_.empty(); }

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
  // A sound, read, coded and written piece by piece, one piece at a time:
  // each piece's coding starts from the state the one before it left. The
  // size of its blob is known from its header, so once its first piece is
  // coded its place in the archive is taken as a whole blob's would be, and
  // each piece goes to its place once coded.
  struct TSound {
    TSound(int entry, File source, uint64_t size) : Entry(entry), Source(std::move(source)), Range(Source, 0, size) {}
    int Entry;
    File Source;
    TWavFileRange Range;
    TWavFile Wav;
    std::unique_ptr<TWavBlobCoder> Coder;
    size_t Next = 0;                 // the piece to read next
    bool Busy = false;               // a piece read and not yet written
    int64_t Start = -1;              // where the blob lies, once its place is taken
    int64_t Written = 0;             // of the blob
    std::unique_ptr<TQXPJob> Coded;  // a coded piece waiting to be written
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
    // A sound's first piece takes its place among the blobs coded whole.
    if (job->Sound && job->Block > 0) {
      SoundOf(job->Entry).Coded = std::move(job);
      return;
    }
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
        // Else a sound's next piece waits for the one before it.
        allRead_ = AllRead();
        if (allRead_) jobsReady_.notify_all();
        return;
      }
      held_ += job->Held;
      ++pending_;
      queued_.push_back(std::move(job));
      jobsReady_.notify_one();
    }
  }

  // The next job: a sound's next piece, the next block of a large file or
  // the next file; none when nothing can be read now.
  std::unique_ptr<TQXPJob> ReadJob() {
    for (auto& s : sounds_)
      if (!s->Busy && s->Next < s->Coder->Pieces()) return Guarded(s->Entry, [&] { return ReadPiece(*s); });
    if (reading_) return Guarded(reading_->Entry, [&] { return ReadBlock(); });
    while (nextRead_ < order_.size() && sounds_.size() < maxSounds_) {
      int entry = order_[nextRead_++];
      std::unique_ptr<TQXPJob> job;
      std::string why = Guarded(entry, [&] { return ReadFile(entry, job); });
      if (why.empty()) return job;
      q_.Refuse(entry, why);
    }
    return nullptr;
  }

  bool AllRead() const {
    return !reading_ && nextRead_ == order_.size() &&
           std::all_of(sounds_.begin(), sounds_.end(), [](const auto& s) { return s->Next == s->Coder->Pieces(); });
  }

  // Reads a file, or begins one that is read in blocks or pieces; the
  // reason it cannot be packed, or empty. A failure once the file has been
  // found good raises EQXPError.
  std::string ReadFile(int entry, std::unique_ptr<TQXPJob>& job) {
    TQXPEntry& e = q_.Entries[entry];
    File file;
    if (!file.Open(q_.sourceDir_ + e.Name, OpenMode::Read)) return "the file cannot be opened";
    int64_t size = file.Size();
    if (size < 0) return "the file cannot be read";
    // Nothing larger can lie in an archive; refuse before holding it.
    if (size > q_.MaxArchiveSize) return kTooLarge;
    e.OriginalSize = static_cast<int32_t>(size);
    if (IsWavName(e.Name)) return BeginSound(entry, std::move(file), static_cast<uint64_t>(size), job);
    if (UsesZBlocks(static_cast<uint64_t>(size))) {
      reading_ = std::make_unique<TBlockRead>(entry, std::move(file), static_cast<uint64_t>(size));
      writes_.emplace_back(entry, ZBlockCount(static_cast<uint64_t>(size)));
      job = ReadBlock();
      return "";
    }
    job = std::make_unique<TQXPJob>();
    job->Entry = entry;
    job->Input = buffers_.Take(static_cast<size_t>(size));
    if (file.Read(job->Input.data(), job->Input.size()) != job->Input.size()) {
      buffers_.Give(std::move(job->Input));
      return "the file cannot be read";
    }
    job->Held = job->Input.size();
    return "";
  }

  std::string BeginSound(int entry, File file, uint64_t size, std::unique_ptr<TQXPJob>& job) {
    TQXPEntry& e = q_.Entries[entry];
    auto sound = std::make_unique<TSound>(entry, std::move(file), size);
    if (std::string why = ReadWav(sound->Range, sound->Wav); !why.empty()) return "not a valid WAV file: " + why;
    sound->Coder = std::make_unique<TWavBlobCoder>(sound->Wav, InPackerEffectsFolder(e.Name));
    if (sound->Coder->BlobSize() > static_cast<uint64_t>(q_.MaxArchiveSize)) return kTooLarge;
    e.Method = kMethodWav;
    e.StoredSize = static_cast<int32_t>(sound->Coder->BlobSize());
    sounds_.push_back(std::move(sound));
    job = ReadPiece(*sounds_.back());
    return "";
  }

  std::unique_ptr<TQXPJob> ReadPiece(TSound& s) {
    auto job = std::make_unique<TQXPJob>();
    job->Entry = s.Entry;
    job->Sound = s.Coder.get();
    job->Block = s.Next;
    job->Input = buffers_.Take(s.Coder->PieceLength(s.Next));
    if (!s.Range.ReadAt(s.Coder->PieceAt(s.Next), job->Input.data(), job->Input.size()))
      throw EQXPError("the file cannot be read");
    job->Held = job->Input.size();
    ++s.Next;
    s.Busy = true;
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

  // Blobs coded whole go in as they come, and sounds take their places,
  // but never in the middle of a large file's blob that has begun.
  void WriteReady() {
    for (;;) {
      bool begun = !writes_.empty() && writes_.front().Start >= 0;
      if (!begun) WriteWaiting();
      WriteSounds();
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
      if (job->Sound) {
        TSound& sound = SoundOf(job->Entry);
        Place(sound, std::move(job));
        continue;
      }
      Guarded(job->Entry, [&] { q_.Entries[job->Entry].Offset = q_.Append(job->Blob.data(), job->Blob.size()); });
      buffers_.Give(std::move(job->Blob));
      held_ -= job->Held;
      Done(job->Entry);
    }
    waiting_.clear();
  }

  TSound& SoundOf(int entry) {
    return **std::find_if(sounds_.begin(), sounds_.end(), [&](const auto& s) { return s->Entry == entry; });
  }

  // Takes the place of a sound's whole blob, its first piece coded.
  void Place(TSound& s, std::unique_ptr<TQXPJob> first) {
    s.Start = Guarded(s.Entry, [&] { return q_.Reserve(s.Coder->BlobSize()); });
    q_.Entries[s.Entry].Offset = static_cast<int32_t>(s.Start);
    s.Coded = std::move(first);
  }

  void WriteSounds() {
    for (auto at = sounds_.begin(); at != sounds_.end();) {
      TSound& s = **at;
      if (s.Start >= 0 && s.Coded) {
        const Bytes& piece = s.Coded->Blob;
        Guarded(s.Entry, [&] { WriteAt(s.Start + s.Written, piece.data(), piece.size()); });
        s.Written += static_cast<int64_t>(piece.size());
        buffers_.Give(std::move(s.Coded->Blob));
        held_ -= s.Coded->Held;
        s.Coded.reset();
        s.Busy = false;
        if (s.Next == s.Coder->Pieces()) {
          Done(s.Entry);
          at = sounds_.erase(at);
          continue;
        }
      }
      ++at;
    }
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
  auto Guarded(int entry, Fn fn) -> decltype(fn()) {
    try {
      return fn();
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
  size_t nextRead_ = 0, pending_ = 0, maxPending_ = 0, maxSounds_ = 0;
  uint64_t held_ = 0, budget_ = 0;
  std::unique_ptr<TBlockRead> reading_;
  std::deque<TBlockWrite> writes_;  // in the order read
  std::vector<std::unique_ptr<TQXPJob>> waiting_;
  std::deque<std::unique_ptr<TSound>> sounds_;  // in the order read
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
  if (job.Sound) {
    job.Blob = owner_.run_->Buffers().Take(job.Sound->CodedSize(job.Input.size()));
    job.Sound->Code(job.Input.data(), job.Input.size(), job.Blob.data());
    return;
  }
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
  // Never pack a whole drive by accident.
  if (IsDriveRoot(sourceDir))
    throw EQXPError("The source folder " + Quoted(sourceDir) + " is a whole drive; name a folder on it");
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
  platform::FileReplacement aside(archivePath);
  if (!aside.IsOpen()) throw EQXPError("Cannot create " + Quoted(archivePath));
  stream_ = std::move(aside.Stream());
  writePos_ = 0;
  failed_ = false;
  failure_.clear();
  refused_.clear();
  try {
    RunWorkers();
    if (Failed() || !refused_.empty()) throw EQXPError(FailureText());
    WriteTail();
    // Nothing more is written: the file is let go at once, so it can be
    // read, moved or made again while this object lives on.
    stream_.Close();
  } catch (...) {
    Threads.clear();
    stream_.Close();
    throw;
  }
  if (!aside.Commit()) throw EQXPError("Cannot replace " + Quoted(archivePath));
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
    // itself, nor what a killed run left beside it (removed before writing).
    std::string path = dir + item.Name;
    if (platform::SameFile(path, archivePath) ||
        platform::SameFile(path, platform::FileReplacement::AsideOf(archivePath)))
      continue;
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
  if (!Failed() && !run_->Complete()) Fail("The archive was left unfinished");
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

void TQXP::CheckRoom(uint64_t size) const {
  if (size > static_cast<uint64_t>(MaxArchiveSize - writePos_))
    throw EQXPError("The archive would pass 2 GiB, the most its 32-bit offsets reach");
}

int32_t TQXP::Append(const uint8_t* data, size_t size) {
  CheckRoom(size);
  if (!stream_.Write(data, size)) throw EQXPError("Cannot write the archive (disk full?)");
  int32_t at = static_cast<int32_t>(writePos_);
  writePos_ += static_cast<int64_t>(size);
  return at;
}

int64_t TQXP::Reserve(uint64_t size) {
  CheckRoom(size);
  int64_t at = writePos_;
  writePos_ += static_cast<int64_t>(size);
  if (stream_.Seek(writePos_, SeekOrigin::Begin) != writePos_) throw EQXPError("Cannot write the archive (disk full?)");
  return at;
}

void TQXP::Refuse(int entry, const std::string& why) { refused_.emplace_back(entry, why); }

std::string TQXP::FailureText() {
  std::string text = Failed() ? failure_ : "";
  auto line = [&text](const std::string& more) { text += (text.empty() ? "" : "\n") + more; };
  // In the order of the table, whatever order they were read in.
  std::sort(refused_.begin(), refused_.end());
  if (refused_.size() == 1) line(CannotPack(Entries[refused_[0].first].Name, refused_[0].second));
  if (refused_.size() > 1) {
    line("Cannot pack " + std::to_string(refused_.size()) + " files:");
    for (const auto& [entry, why] : refused_) line(Quoted(Entries[entry].Name) + ": " + why);
  }
  return text;
}

void TQXP::Fail(const std::string& text) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (!failed_) failure_ = text;
    failed_ = true;
  }
  if (run_) run_->Wake();
}
