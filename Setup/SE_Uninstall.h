// The uninstaller's work: deleting what the uninstall log lists (files,
// then folders innermost first, then registry values) and the uninstall
// entry, with progress, and starting the finaliser when it ends.
#pragma once

#include <cstdint>
#include <string>

// Where a long job shows its progress: the status label and the gauge of
// the working page. A page that lacks one of them shows nothing there.
class TRunDisplay {
 public:
  virtual ~TRunDisplay() = default;
  // The caption, painted at once.
  virtual void SetStatus(const std::u16string& text) = 0;
  virtual void SetMaximum(int32_t maximum) = 0;
  // The gauge position, painted at once.
  virtual void SetProgress(int32_t position) = 0;
};

// True when done of total, as a whole percentage, has passed last.
bool PercentAdvanced(int64_t done, int64_t total, int32_t last);

// Deletes the value named by a logged registry entry ("root" "key" "value
// name" "value"); the key itself stays. True when the value is not there
// afterwards.
bool DeleteRegEntry(const std::string& entry);

// The uninstall run: every logged file that still exists is deleted (also
// when it is read-only), the player's files the installation wrote over go
// back in their place (SE_Originals.h), every logged folder that is empty
// is removed, every logged registry value is deleted, then this
// installation's uninstall entry and the log file itself. A logged file or
// folder whose expanded path is no plain full path
// (platform::IsPlainAbsolutePath) is skipped and stays, and the status says
// how many were. Each phase shows at most one update per whole percent of its
// items; a display that fails does not stop the run.
// When anything stays (a file or value that could not be deleted or put
// back, a folder that holds such a file, cannot be listed, or is empty and
// could not be removed), the log is rewritten with exactly that, and the
// entry and the log stay for another run (EndUninstallation); the outcome
// then names it for the user. Empty when all is gone.
std::string RunUninstall(TRunDisplay& display);

// Writes the uninstaller's "FINALISE.EXE" item as "FINALISE.exe" into a
// new private folder in the temporary folder (MakePrivateTempFolder) and
// starts it from there through the shell with this program's quoted path
// as its only argument, holding the file unchangeable from the check of its
// bytes until it has started; the file and folder are removed when Windows
// next starts. Nothing is started when the item is missing or cannot be
// written and checked.
void RunFinaliser();
