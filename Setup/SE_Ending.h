// How an installation ends, in one place. Whatever ends a run (its last
// line, a line that fails, an exception, a fault the crash backstop
// reports, the setup thread ending under way, an error of the window's
// thread meanwhile, or a kill), the install folder then holds a log of
// exactly what was done and, when the setup has an uninstaller, the
// uninstaller that removes it; a later run takes that log over. An
// uninstallation ends with nothing of the installation left, or with the
// log, the entry and the uninstaller for exactly what is left. The setup
// thread, the wizard and the uninstall run call these and decide nothing
// of it themselves.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "diagnostics/SCrashEnding.h"

// --- installing ---------------------------------------------------------------

// The setup thread's run of the script (`lines`): the install folder is
// logged, BeginInstallation, the lines, then FinishInstallation, however
// the lines end. What FinishInstallation returns, when they return; an
// exception they raise is raised again once the installation is finished
// (quietly: what the finishing throws is not traced over the error the
// report names), and a fault that no catch sees finishes it from the crash
// backstop before its report.
std::string RunAndFinishInstallation(const std::function<void()>& lines);

// Before the first line, when the setup has an uninstaller: a log under the
// setup's names that another setup wrote (its mark, <prefix>install.owner,
// names another short name; a log without a mark is this setup's only when
// its uninstall entry names the uninstaller there) is left as it is, and
// this installation takes names of its own: its short name and "_" in
// front of the log's and the uninstaller's, with a box unless the run is
// silent. The log of an earlier installation of this setup is taken into
// this run's (TUninstallList::MergeFromFile; a damaged one is reported
// unless the run is silent), the install folder is made, the mark is
// written (and logged), and from then on the log is kept saved there:
// after every line of packed files and before every folder is made, so
// that a run that is killed leaves a log of what it did.
void BeginInstallation();

// After the last line, an abort or an exception alike: saves and closes a
// container still open, creates (and logs) the install folder and, when the
// setup has an uninstaller, saves the uninstall log and then writes and
// registers the uninstaller. Every step is tried even when one before it
// failed, and none raises, so a handler of a fatal error may call it too.
// The first failure's text, or empty; a log that cannot be saved is not
// among them: it ends the installation as failed, with its box, at once.
std::string FinishInstallation();

// The ending of a run whose thread has ended under way (the system ended
// it after a fault, so it finished nothing): FinishInstallation, on the
// calling thread. The text that says so, with the finishing's own failure.
std::string FinishEndedRun();

// While the window waits for a run: an error of the window's thread (in
// the wait, or in a message handled meanwhile, whose report runs this
// ending) first has the run stop after its current line and finish, so
// that what it did stays removable.
class TInstallationWatch {
 public:
  TInstallationWatch();

 private:
  TCrashEnding ending_;
};

// The same for an error the window caught itself, before it reports it.
void StopInstallationForError();

// --- uninstalling ---------------------------------------------------------------

// What an uninstall run could not remove: the entries as the log holds
// them (files, registry entries, folders outermost first), and the items
// to name to the user.
struct TLeftovers {
  std::vector<std::string> Files, RegEntries, Dirs, Named;
  size_t Skipped = 0;  // logged items that were no plain full paths
};

// The end of an uninstall run. With nothing left, this installation's
// uninstall entry and the log with its mark go, and the folders the
// installation made that hold the uninstaller are left for Windows to
// remove when it next starts, once the finaliser has deleted the
// uninstaller (a folder that holds anything then stays). Otherwise the log is rewritten with
// exactly what is left, and the entry and the uninstaller stay for another
// run; the text then names what is left for the user. Empty when all is
// gone.
std::string EndUninstallation(const TLeftovers& left);
