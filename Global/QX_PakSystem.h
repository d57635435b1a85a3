// The installer's in-place updater of the game's archives (".qxp" files in
// the install folder): adds or replaces the files of one group of the
// installer's own archive, gives an entry's data a second name, or sets the
// archive's official flag. Every operation opens the archive, loads its
// table, cuts the file where the old table began, appends new blobs where
// needed and writes a new table, header and trailer behind the last blob.
// Data that an update replaces stays in the file unused; the archive is
// never copied or compacted, so an update costs what it adds.
//
// Between any two writes the file ends in a complete table, header and
// trailer: each blob is written together with a copy of the old tail behind
// it, and the new tail replaces that copy in one last write. A process that
// dies half way therefore leaves the archive as it was or as it is meant
// to be. When a write fails, or the operation ends by an exception before
// its new tail is written, the old tail is put back where it was, so the
// archive reads exactly as before the operation.
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

  void OpenArchive(const std::string& path);
  void OpenArchiveForUpdate();
  void ReadHeader();
  // Refuses, before anything is changed, a password that the trailer
  // cannot carry.
  void CheckPasswordFits();
  // From here on the archive is written; until the new tail is, closing
  // puts the old one back.
  void BeginChanges();
  void UpdateArchiveStep(TPak& pak, int index);
  void AddFile(TPak& pak, int index);
  // The blob of an installer entry and its method; a sound that is not a
  // WAV file ends the installation with the reader's reason.
  void MakeBlob(TPak& pak, int index, Bytes& blob, uint8_t& method);
  // Whether the record's blob in the archive holds exactly these bytes.
  bool StoredBlobEquals(const TQXPEntry& record, const Bytes& blob);
  void WriteIndex();
  Bytes MakeTrailer();
  // Puts the old table, header and trailer back and ends the installation.
  [[noreturn]] void FailWrite(TWriteFailure failure);
  bool RestoreOldTail();
  // Closes the archive and ends the installation with the text.
  [[noreturn]] void Fatal(const std::string& text);
  void Close();

  platform::File archive_;
  std::string archivePath_;
  TEntryList entries_;
  Bytes oldTail_;  // the table, header and trailer as they were at opening
  int64_t indexStart_ = 0;
  int64_t writePos_ = 0;
  bool changing_ = false;
  int32_t filesTotal_ = 0;
  int32_t filesDone_ = 0;
  int32_t lastPercent_ = 0;
  std::mt19937 random_;
};
