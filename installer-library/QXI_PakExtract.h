// Extraction of the installer archive's file groups into the install
// folders, logging every file written for the uninstaller.
#pragma once

#include <cstdint>
#include <string>

#include "Global/QXI_PakFile.h"

// Where extraction reports to: by default the status text and the progress
// steps of the hand-off to the window.
class TExtractProgress {
 public:
  virtual ~TExtractProgress() = default;
  virtual void Status(const std::u16string& text);
  virtual void Step();
};

TExtractProgress& HandOffProgress();

// Why an entry name cannot be a file below the folder it is extracted
// into, or empty when it can. It may not leave the folder (no drive or
// stream ":", no leading separator, no "." or ".." part nor one that the
// file system would read as such), and each part must be a plain file name:
// no device name (CON, NUL, COM1, ... in any form), no character a file
// name cannot hold (a NUL byte among them), no empty part, no trailing dot
// or blank.
std::string EntryNameFault(const std::string& name);
bool IsSafeEntryName(const std::string& name);

// Writes every entry of the group to dir + "\" + its name, with one status
// text (language string 18) and one progress step per entry and a last
// status with an empty name. A file of the player's that an entry writes
// over is kept first (KeepOriginal). Each file is logged for uninstall
// before its first byte is written, and a log kept saved
// (TUninstallList::KeepSaved) names it on disk by then too: files are
// logged a few ahead and the log saved once for them, as often as costs a
// small share of the time. Stops at the first entry that cannot be
// extracted (unsafe name, unreadable data, failed write, a full uninstall
// log, a file that cannot be kept) with error set; no partial file is left
// behind, an earlier file stays as it was, and what was logged for the
// entries not written leaves the log again.
bool ExtractGroup(TPak& pak, const std::string& dir, uint16_t group, std::string& error,
                  TExtractProgress& progress = HandOffProgress());

// Copies an entry of 70 MiB or more (stored raw) to target in pieces,
// creating and logging its folders, with a status text per piece (name,
// amount done, total). The checksum is checked over the pieces; a failure
// to read, write or verify sets error and leaves an earlier file of the
// target's name as it was.
bool ExtractLargeEntry(TPak& pak, const std::string& target, const std::string& name, uint32_t size, int index,
                       std::string& error, TExtractProgress& progress = HandOffProgress(),
                       size_t pieceSize = kLargeEntryPiece);
