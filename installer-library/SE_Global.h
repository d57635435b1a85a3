// The installer-wide state of Setup and the small services every command and
// page uses: path variables ($INSTDIR, %NAME%, ...) and their collapse for
// the uninstall log, the environment table, special folders, the CD-ROM
// drive, the size text, removal of a folder tree, shell links, and the
// status hand-off from the setup thread to the window.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Global/QXI_PakFile.h"
#include "installer-library/QXI_CommandList.h"
#include "installer-library/QXI_CompLines.h"
#include "installer-library/QXI_SetupInfo.h"
#include "installer-library/SE_Languages.h"
#include "platform/Lock.h"
#include "platform/Registry.h"

struct TSysVar {
  std::string Name;
  std::string Value;
};

// --- globals, created in this order when the program starts ----------------
// (the environment table, the hand-off targets, the registry accessor, the
// setup information, the compiled lines, the languages, the placeholders
// bound to their variables, the status lock)

extern std::vector<TSysVar> EnvironmentTable;
// The wizard's controls that receive the hand-off; null until the layout
// creates them. Only their presence matters here.
extern std::atomic<void*> PatchingStatusLabel;
extern std::atomic<void*> PatchingProgressBar;
extern std::atomic<void*> FinishTextLabel;
// Used by the registry commands, the start-up's install-folder lookup and the
// uninstaller's registration; one thread at a time.
extern platform::Registry Registry;
extern TSetupInfoFile SetupInfoFile;
extern TCompLines CompLines;
// The commands of the script (an installer registers them at start-up; an
// uninstaller has none): id n is the object at position n - 1.
extern TCommandList CommandList;
extern platform::CriticalSection StatusLock;

// Folders with a trailing backslash (empty when the shell has none), set at
// start-up.
extern std::string ProgramFilesDir;
extern std::string StartMenuProgramsDir;
extern std::string DesktopDir;
extern std::string CDDriveRoot;  // "D:\" or empty
extern std::string LanguageSelection;
extern int64_t SpaceRequired;
extern int64_t SpaceAvailable;
extern std::string SpaceRequiredText;    // shown through "<%SPACEREQ%>"
extern std::string SpaceAvailableText;   // shown through "<%SPACEAVA%>"
extern std::vector<uint8_t> GroupKinds;  // per archive group: plain files or archive update
extern TPak* SetupArchive;               // the installer's own archive, opened at start-up
extern std::atomic<int32_t> CurrentLine;
extern std::atomic<bool> AbortFlag;
// Progress steps counted so far; written by the setup thread only.
extern int32_t ProgressCount;
// The program's main window, owner of the programs a script starts; null
// until the window exists.
extern std::atomic<void*> ApplicationWindow;
// Set when the program is closing: the setup thread stops waiting for a
// program it started.
extern std::atomic<bool> ApplicationTerminating;

// --- path variables -----------------------------------------------------------

// $INSTDIR, $INSTALLDIR, $SMPROGRAMS, $PROGRAMFILES, $APPDATA, $DESKTOP,
// $CDDRIVE and $LANGUAGESELECTION (any case), then %NAME% of the
// environment; every run of backslashes becomes one.
std::u16string ExpandPathVars(const std::u16string& text);
// The same for 8-bit text in the system code page: what the script commands
// call an expanded parameter.
std::string ExpandPath(const std::string& text);
// Known folders back to their variables (install directory first, as it
// usually lies inside another), then %NAME% expanded.
std::u16string CollapsePathVars(const std::u16string& text);
// %NAME% replaced by the environment's values, in table order.
void ExpandEnvVars(std::u16string& text);

// Rebuilds EnvironmentTable from the process environment.
void LoadEnvironment();
// The variables of an environment block ("name=value" strings ended by a
// zero byte, the block by an empty string). Entries without a name (the
// hidden "=C:=C:\..." ones) are left out.
std::vector<TSysVar> ParseEnvironmentBlock(const std::string& block);
// Split at the first "="; both empty without one.
void SplitEnvEntry(const std::string& entry, std::string& name, std::string& value);
// Split at the first "="; without one the name is empty and the value is
// the whole text.
void SplitNameValue(const std::string& text, std::string& name, std::string& value);
std::string AddBackslash(const std::string& text);

// --- folders and drives -----------------------------------------------------------

// The folder through the shell's item-id list; empty when the shell has none.
std::string GetSpecialFolder(void* owner, int folderId);
// Program files, start menu programs and desktop, with a trailing
// backslash, or empty when the shell has no path for the folder (never a
// lone "\", which would name a drive root).
std::string GetProgramFilesDir(void* owner);
std::string GetStartMenuProgramsDir(void* owner);
std::string GetDesktopDir(void* owner);
std::string GetShellFolderPath(int folderId);
std::string GetAppDataDir();
// The roots of the CD-ROM drives ("D:\"), in the system's order. A drive
// list longer than the system's buffer raises the system's error 14.
std::vector<std::string> CDDriveRoots();
// Root of the first CD-ROM drive, or empty.
std::string FindCDDrive();
// For scripts that name a file on "the" CD: "$CDDRIVE" (any case) replaced
// by the root of the first CD-ROM drive on which the result is an existing
// file. Unchanged without "$CDDRIVE" or when no drive holds the file, so
// that the path expansion later puts CDDriveRoot in.
std::string ResolveCDDrive(const std::string& text);

// --- texts and numbers --------------------------------------------------------------

// "0.00 Bytes", "1.50 KB", "1024.00 KB", "5.00 GB", "3072.00 GB": the count
// divided by 1024 while that leaves at least 1, up to GB.
std::string FormatByteSize(int64_t bytes);
// The integer in the text, or -1 when it is not one (jump targets).
int32_t LineFromStr(const std::string& text);
// The progress line of the archive and container updates and of the
// uninstall run: language string 19 with "<%QXPNAME%>", "<%FNUM%>" and
// "<%FTOTAL%>" replaced.
std::u16string FormatProgressText(const std::u16string& name, int64_t number, int64_t total);

// --- files -----------------------------------------------------------------------

// True for "", "\", "C:" and "C:\": paths that name a whole drive.
bool IsDriveRoot(const std::string& path);
// Deletes a folder with everything in it. Links and junctions inside are
// removed themselves, never followed; an entry that cannot be deleted is
// left and the walk goes on. A drive root is refused. True when the folder
// is gone.
bool RemoveDirTree(const std::string& dir);

// Writes a shell link, creating (and logging) its folder first. The icon
// location is set only when iconPath differs from the target. COM must be
// initialised on the calling thread; failing to create the link object
// raises. True when the link was saved.
bool CreateShellLink(const std::string& linkPath, const std::string& target, const std::string& arguments,
                     const std::string& workingDir, int showCommand, const std::string& iconPath, uint8_t iconIndex);
// Working folder := the target's folder, normal window, the target's icon.
bool CreateShortcut(const std::string& linkPath, const std::string& target, const std::string& arguments);
bool CreateShortcutWithIcon(const std::string& linkPath, const std::string& target, const std::string& arguments,
                            const std::string& iconPath);

// --- status hand-off from the setup thread to the window -------------------------------

void EnterStatusLock();
void LeaveStatusLock();
// Setup thread side; each does nothing while its target control is absent.
void SetStatusText(const std::u16string& text);
// Counts a step; publishes the count when publish is true.
void StepProgress(bool publish);
// The finish page's text, carried to the window's thread like the status.
void SetFailureText(const std::u16string& text, bool repaint);

// What the setup thread published since the window last looked; only the
// latest value of each kind is kept.
struct TStatusUpdate {
  std::optional<std::string> StatusText;      // for PatchingStatusLabel
  std::optional<int32_t> Progress;            // for PatchingProgressBar
  std::optional<std::u16string> FailureText;  // for FinishTextLabel
  bool RepaintFailure = false;                // repaint the label's parent at once
};
// Window side: takes the pending values and clears their flags. The window
// calls it on every pass of its wait loop and once more after the setup
// thread has stopped, so that nothing published last is lost.
TStatusUpdate TakeStatusUpdate();
