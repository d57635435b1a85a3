// The installer's in-place updater of the game's archives (".qxp" files in
// the install folder): adds or replaces the files of one group of the
// installer's own archive, gives an entry's data a second name, or sets the
// archive's official flag. Every operation opens the archive, loads its
// table, cuts the file where the old table began, appends new blobs where
// needed and writes a new table, header and trailer behind the last blob.
// Data that an update replaces stays in the file unused; the archive is
// never copied or compacted, so an update costs what it adds.
//
// At every instant the file on disk reads as the archive it was or as the
// one it becomes, whatever write a kill or a power cut stops half way (a
// write may land in part, page by page): the table, header and trailer that
// the archive reads now are never written over. Before the first blob, the
// old tail is copied behind the end of the file and the file's length
// follows it in one small write that no sector boundary splits; blobs and
// the new tail then go where the old tail was, and cutting the file behind
// the new tail switches the archive over in one step. While the tail moves,
// the header reaches back over the space between to the table being read,
// which inflates to the same records; for a moment the table is followed by
// unused bytes, as blobs are. Each move is flushed before what depends on
// it. The finished archive is byte for byte what writing the new tail over
// the old one gives. When a write fails, or the operation ends by an
// exception before its new tail is in place, the old tail is put back where
// it was, so the archive is exactly as before the operation.
#pragma once

#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "Global/QXI_PakFile.h"
#include "Global/QX_PakFormat.h"
#include "platform/File.h"

// The content of the password block as the installer keeps it.
struct TExtraInfo {
  bool HasPassword = false;
  uint8_t Official = 0;  // nonzero = official; written as it is held
  std::string Password;  // in plain
};

// Where the updater's failures and its one question go: the installation's
// error box and failure ending in the program, a recorder in tests.
class TPakSystemAlerts {
 public:
  virtual ~TPakSystemAlerts() = default;
  // Shows the text and ends the installation as a failed command does: the
  // script stops, the finishing steps still run, a silent run ends with 1.
  virtual void Fail(const std::string& text) = 0;
  // The Retry/Cancel box (caption "Error", warning icon); true for Retry.
  virtual bool AskRetry(const std::string& text) = 0;
  // Ends the installation after Cancel, as Fail does but without a second
  // box.
  virtual void Cancelled() = 0;
};

// What the updater takes from the installation it runs in: the installer
// archive, the install folder, the access code and the status line. The
// installer's own lies beside the archive-update commands.
class TPakSystemHost {
 public:
  virtual ~TPakSystemHost() = default;
  // The installer archive whose groups are added; null when there is none.
  virtual TPak* SetupArchive() = 0;
  // The file of the archive of that name (the install folder, "\", name).
  virtual std::string ArchivePath(const std::string& archiveName) = 0;
  // Whether the code (any case) is the built-in one that may set the
  // official flag.
  virtual bool IsOfficialAccessCode(const std::string& code) = 0;
  // The status line while the files are added: n of total done.
  virtual void ShowProgress(const std::string& archiveName, int32_t n, int32_t total) = 0;
  // The status line while the new table is written.
  virtual void ShowWriting(const std::string& archiveName) = 0;
  // One file added: the progress bar moves; `publish` when a whole
  // percentage has been passed.
  virtual void StepProgress(bool publish) = 0;
};

// Raised once the installation has been ended (Fail or Cancelled): the
// archive is closed and nothing more is done to it. The archive-update
// commands take it as the end of their line.
class EPakSystemEnded : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An installer-archive entry whose data cannot be read back (it fails its
// checksum). Raised after the table and trailer have been written for the
// entries handled before it.
class EPakSystemError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TPakSystem {
 public:
  TPakSystem(TPakSystemHost& host, TPakSystemAlerts& alerts);

  // Adds or replaces every file of the group of the Host's installer
  // archive in the archive at the Host's ArchivePath. A group without files
  // leaves the archive untouched. An archive with a password accepts only
  // the same password; one without takes the given password as its own.
  void UpdateArchive(int32_t group, const std::string& archiveName, const std::string& password);
  // Sets the official flag ("t", "true" in any case or "1") or clears it
  // (any other text), when the code is the built-in access code.
  void SetOfficial(const std::string& archiveName, const std::string& accessCode, const std::string& flagText);
  // Makes the target name point at the source entry's blob: a new entry,
  // or an existing one that already points there; another target is left
  // as it is.
  void DuplicateEntry(const std::string& archiveName, const std::string& sourceName, const std::string& targetName);

  TExtraInfo ExtraInfo;
  std::string ArchiveName;  // the last archive argument
  TPakSystemHost* Host;
  TPakSystemAlerts* Alerts;

 private:
  // The archive's table in table order, looked up by lower-cased name.
  class TEntryList {
   public:
    // The first remaining record of the key, or null.
    TQXPEntry* Find(const std::string& key);
    void Append(const std::string& key, const TQXPEntry& entry);
    // Removes the first remaining record of the key.
    void Remove(const std::string& key);
    // The remaining records in table order.
    std::vector<const TQXPEntry*> Records() const;
    void Clear();

   private:
    std::vector<TQXPEntry> items_;
    std::vector<bool> removed_;
    std::unordered_map<std::string, std::vector<size_t>> index_;
  };

  enum class TWriteFailure { DiskFull, TooLarge };
  struct TCloser;
  class TBlobOut;

  void OpenArchive(const std::string& path);
  void OpenArchiveForUpdate();
  void ReadHeader();
  // Refuses, before anything is changed, a password that the trailer
  // cannot carry.
  void CheckPasswordFits();
  void UpdateArchiveStep(TPak& pak, int index);
  void AddFile(TPak& pak, int index);
  // Write the blob of an entry at WritePos in pieces and give its length.
  // A sound's, coded as the packer codes it (one that is not a WAV file
  // ends the installation with the reader's reason):
  int64_t WriteWavBlob(TPak& pak, int index);
  // Any other file's (method 2): the installer archive's own zlib stream,
  // or the raw contents compressed in blocks:
  int64_t WriteZlibBlob(TPak& pak, int index);
  // Whether the record's blob in the archive holds exactly the `size` bytes
  // written at `at`.
  bool StoredBlobEquals(const TQXPEntry& record, int64_t at, int64_t size);
  void WriteIndex();
  Bytes MakeTrailer();

  // Writing in the file without ever touching the tail it reads now.
  // Makes the bytes in front of `end` free to write: when they would reach
  // the tail, it moves behind them first.
  void MakeRoom(int64_t end);
  // Copies the tail the archive reads to `at` or behind, past the end of
  // the file, and makes that copy the one it reads.
  void MoveTail(int64_t at);
  bool WriteAt(int64_t at, const void* data, size_t size);
  // Makes `end` the end of the file, flushing what lies in front first.
  bool CutAt(int64_t end);

  // Puts the old table, header and trailer back and ends the installation.
  [[noreturn]] void FailWrite(TWriteFailure failure);
  bool RestoreOldTail();
  // Closes the archive and ends the installation with the text.
  [[noreturn]] void Fatal(const std::string& text);
  void Close();

  platform::File archive_;
  std::string archivePath_;
  TEntryList entries_;
  Bytes oldTail_;           // the table, header and trailer as they were at opening
  int64_t indexStart_ = 0;  // where they were: the first new blob goes there
  int64_t tableLength_ = 0;
  int64_t oldEnd_ = 0;  // the file's length at opening
  int64_t tailAt_ = 0;  // where the tail the archive reads now begins
  int64_t end_ = 0;     // the file's length now
  int64_t writePos_ = 0;
  int64_t moveRoom_ = 0;  // the room the last move of the tail made
  bool changed_ = false;  // anything written since opening
  int32_t filesTotal_ = 0;
  int32_t filesDone_ = 0;
  int32_t lastPercent_ = 0;
  std::mt19937 random_;
};
