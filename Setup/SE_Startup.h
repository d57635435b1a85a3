// The start-up of Setup before the wizard takes over: the command line, the
// installer archive and its verification, the setup information, then
// either the uninstall log (an uninstaller) or the compiled script and its
// commands (an installer), the space required, the folders, the languages
// and the install folder. Each failure shows its box and ends the
// start-up; the program then ends.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "Global/QXI_PakFile.h"
#include "Setup/SE_RedrawPace.h"

// From the command line.
extern bool Silent;           // "-silent": no verification window, no wizard window
extern std::u16string IdDir;  // the argument after "-id", as given: the install folder
extern uint16_t SystemLangId;

// "-silent" and "-id" (any case, anywhere; the argument after "-id" is also
// looked at as a switch). Other arguments are ignored. A run with both is
// one that nobody watches: no box of it waits (platform/MessageBox.h).
void ReadSwitches(const std::vector<std::u16string>& params);

// The file whose archive Setup reads: the first parameter when it names an
// existing file, else the program's own file.
std::string ArchiveFileName(const std::vector<std::string>& params, const std::string& programFile);

// What the verification window shows; absent in a silent run.
class TVerifyView {
 public:
  virtual ~TVerifyView() = default;
  // The status line and the bar, painted at once.
  virtual void Show(const std::string& status, int32_t position, int32_t maximum) = 0;
  // Lets the window answer the system between entries.
  virtual void ProcessMessages() = 0;
  virtual void Close() = 0;
};

// Opens the archive as SetupArchive; a file without the "QXPF" trailer
// (no archive, a damaged one) is refused with its box, and so is no name at
// all: the program's own file has none where the code page cannot carry its
// path.
bool OpenSetupArchive(const std::string& fileName);

// Reads every entry below 70 MiB back and checks it; the first that fails
// is named in a box and ends the start-up. spaceOutsideGroup0 := the
// original sizes of every entry outside group 0. An unexpected error goes
// to the error report as "Verification Stage". The view shows the state
// and handles its messages at most once per redrawInterval, and at the end.
bool VerifySetupArchive(TVerifyView* view, int64_t& spaceOutsideGroup0,
                        std::chrono::milliseconds redrawInterval = kRedrawInterval);

// The start-up from the archive on: open, verify, let the verification
// window stand for `settle` after the pass (also when there is none), close
// it, then load. False after the failure's box.
bool StartUp(const std::string& archiveFile, TVerifyView* view,
             std::chrono::milliseconds settle = std::chrono::milliseconds(500));

// Everything after the verification: the setup information, the log or
// the script, the space required, the folders, the languages and the
// install folder. False after the failure's box.
bool LoadSetup(int64_t spaceOutsideGroup0);

// Per archive group: 0 plain files, 1 an archive update. Element 0 stands
// for group 0; each compiled line whose command carries packed data adds
// the next group.
std::vector<uint8_t> BuildGroupKinds();

// Bytes an installation needs: the contents of plain file groups, and of
// update groups what they add to an archive (the stored size; the original
// size of an entry stored raw). Group 0 and unknown groups count nothing.
int64_t SpaceOfGroups(const std::vector<TPakFile>& entries, const std::vector<uint8_t>& groupKinds);

// The free bytes of the install folder's drive (SpaceAvailable and its
// text), when the folder begins with a drive letter; nothing otherwise.
void NoteSpaceAvailable();

// Whether any of the setup information's registry places names a value.
bool HasInstallDirRegKeys();
// The first non-empty folder the registry places give, in order, as
// stored; empty when none does.
std::u16string ReadInstallDirFromRegistry();

// The one check of every install folder, whatever names it (-id, the
// registry, the setup's own folder, the wizard's folder page, the
// uninstaller's own folder): path variables are expanded, "/" read as "\",
// "." segments and doubled backslashes dropped, and a name the code page
// cannot hold is carried by its short form. Empty, with `folder` set to the
// result, when that is the full path of a folder on a drive that leaves
// room for the installer's own files in it (the uninstall log and the
// uninstaller); otherwise why not, and `folder` is empty.
std::string InstallFolderFault(const std::u16string& given, std::string& folder);
