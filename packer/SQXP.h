// The packer's archive writer and reader. Make packs a source folder into a
// new game archive, coding the files on worker threads while every file
// read and archive write runs on the calling (main) thread; ReadHeader reads
// an existing archive's trailer, header and table for the information
// screen.
//
// The main thread reads ahead of the workers and writes what they have
// coded as it comes, so neither side waits for the other. A large file is
// read, coded and written in blocks (Global/ZBlocks.h) that every worker
// takes part in, its blob written block by block in order; a sound is read,
// coded and written piece by piece (Global/SWAV.h): memory stays at the
// blocks, pieces and files in flight, whatever the size of a file.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Global/QX_PakFormat.h"
#include "platform/File.h"
#include "platform/Text.h"

// A failed make or open, with the text the user sees.
class EQXPError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  // A text that names a file by characters the code page may not have:
  // what() has a '?' for each of them, Wide the text as it is.
  explicit EQXPError(const std::u16string& text) : std::runtime_error(platform::WideToAnsi(text)), Wide(text) {}
  std::u16string Wide;
};

// The content of the password block.
struct TQXPHeader2 {
  std::string Text;  // the password in plain
  bool HasText = false;
  bool Flag = false;  // official
};

// How many entries each of `workers` workers gets: count / workers rounded
// to the nearest (halves to even) for each, the rounding error spread over
// the first workers, the last one taking what is left.
std::vector<int> SplitRanges(int count, int workers);

class TQXP;
struct TQXPJob;
class TZBlockCoder;

class TQXPWriteThread {
 public:
  TQXPWriteThread(TQXP& owner, size_t slot, int assignedCount);
  ~TQXPWriteThread();  // waits for the thread
  TQXPWriteThread(const TQXPWriteThread&) = delete;
  TQXPWriteThread& operator=(const TQXPWriteThread&) = delete;

  void Start();
  bool Started() const { return thread_.joinable(); }
  void Join();

  const size_t Slot;  // the worker's place in TQXP::Threads
  // Read by the main thread and the progress screen while the worker runs.
  // A worker starts with its share of the entries; one that has taken all
  // of its share takes over a share of the worker with most left, which
  // moves that entry from the other row's count to its own. An entry is
  // the worker's that takes its first job; it is done once written.
  std::atomic<int> AssignedCount;
  std::atomic<int> CurrentIndex{-1};  // the entry being coded, or -1
  std::atomic<int> DoneCount{0};
  std::atomic<bool> Finished{false};
  // Where the worker's time went, in microseconds: coding, and waiting for
  // the main thread to have read the next job.
  std::atomic<int64_t> CodingMicros{0}, WaitingMicros{0}, RunningMicros{0};

 private:
  void Execute();
  void Code(TQXPJob& job);
  void CodeCurrentFile(TQXPEntry& entry);

  TQXP& owner_;
  Bytes buffer_;                          // the current file's bytes, then its blob
  std::unique_ptr<TZBlockCoder> coder_;   // made for the first block
  std::unique_ptr<TZDeflater> deflater_;  // made for the first whole file
  std::thread thread_;
};

class TQXP {
 public:
  TQXP();
  ~TQXP();
  TQXP(const TQXP&) = delete;
  TQXP& operator=(const TQXP&) = delete;

  // Opens an archive for reading and reads it (ReadHeader). EQXPError when
  // the file cannot be opened.
  // Once the file is open a damaged archive is a status other than Ok,
  // with no entries and the reason in Detail; nothing is thrown.
  TQXPReadStatus Open(const std::string& path);
  TQXPReadStatus ReadHeader();

  // Writes a complete archive of every file below `sourceDir`. The source
  // folder is listed before the archive is touched; on any failure (source
  // missing, a name over 127 bytes, a file that cannot be read or coded,
  // the archive reaching 2 GiB, a failed write) it raises EQXPError naming
  // the cause. A file refused for itself (not to be opened, too large, a
  // sound that is not a WAV file) does not stop the run: the failure names
  // every such file, one a line after the first, with its reason. The new archive is written aside and replaces an
  // earlier one only when it is whole: a failed run leaves the earlier archive as it was and no file of its own behind.
  void Make(const std::string& archivePath, const std::string& sourceDir);

  TQXPHeader Header{0, 0, 0, 0, 0};
  TQXPHeader2 Header2;
  std::vector<TQXPEntry> Entries;
  std::string Detail;  // why the last read refused the archive, with its numbers
  // Called by Make's wait loop on the main thread: entries done, total.
  std::function<void(int done, int total)> OnProgress;
  // The workers while Make runs, empty otherwise.
  std::vector<std::unique_ptr<TQXPWriteThread>> Threads;

  // Each worker's times of the last Make, for tuning: coding, waiting for
  // the main thread's next job, and running in all (the rest of Make's wait
  // is idle).
  struct TWorkerTimes {
    int64_t CodingMicros = 0, WaitingMicros = 0, RunningMicros = 0;
  };
  std::vector<TWorkerTimes> WorkerTimes;
  int64_t RunMicros = 0;  // the wait for the workers, first start to last end

  int WorkerCount = 8;
  int64_t MaxArchiveSize = kMaxQXPArchiveSize;

 private:
  friend class TQXPWriteThread;
  class TRun;  // the jobs of one Make's workers, read and written here

  void AddDirectory(const std::string& prefix, const std::string& dir, const std::string& archivePath);
  void RunWorkers();
  void WriteTail();
  void WriteTrailer();
  // Appends bytes to the archive, refusing to pass MaxArchiveSize;
  // the offset at which they start.
  int32_t Append(const uint8_t* data, size_t size);
  // Takes the place of a blob that is written later, as Append would.
  int64_t Reserve(uint64_t size);
  void CheckRoom(uint64_t size) const;

  // Records a file that cannot be packed; the run goes on.
  void Refuse(int entry, const std::string& why);
  // The failure, then the files refused, one a line.
  std::string FailureText();

  // Records the first failure and stops the other workers.
  void Fail(const std::string& text);
  bool Failed() const { return failed_.load(); }

  std::vector<int64_t> sizes_;  // of each entry's file, as listed
  std::unique_ptr<TRun> run_;   // while the workers run

  platform::File stream_;
  std::string sourceDir_;
  int64_t writePos_ = 0;
  std::mutex lock_;  // guards failure_ and the jobs of run_
  std::string failure_;
  std::atomic<bool> failed_{false};
  std::vector<std::pair<int, std::string>> refused_;  // entry, reason
};
