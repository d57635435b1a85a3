// The container update of the `vfsupdate` line: every file of one group of
// the installer archive goes into a virtual-file container that lies in the
// install directory, which is then saved (checksum and side file) and
// closed, or kept open for a following line. One container is open at a
// time. Runs on the setup thread. Until it is saved, the container and its
// side file on disk are as they were (TVFSFile), so a run killed during an
// update leaves them as the game knew them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "Global/VFS_Unit.h"

// Where the update reports: the status text and the progress steps of the
// hand-off to the window, unless a caller (a test) listens itself.
class TVFSReport {
 public:
  virtual ~TVFSReport() = default;
  virtual void Status(const std::u16string& text);
  // A step of the progress bar; shown at once only when visible.
  virtual void Step(bool visible);
};

TVFSReport& HandOffReport();

extern std::unique_ptr<TVFSFile> GameVFS;  // the open container, or none
extern std::string GameVFSName;            // as given to the command
extern bool GameVFSSaved;                  // saved since it was opened

// Adds the group's files to the container `name` (relative to the install
// directory); saves and closes it afterwards when saveAndClose is set. An
// empty group does nothing. A missing container, one that cannot be opened,
// one the whole group does not fit into (room, root slots, paths it cannot
// store; tried before the first file goes in, so it stays unchanged) and a
// container that cannot be saved (this one, or one an earlier line kept
// open) are reported in a "VFS Error" box, set the failure text and abort
// the script. An error while adding leaves the loop, the container is still
// saved and closed when asked, and the error goes on to the caller.
void UpdateGameVFS(uint16_t group, const std::string& name, bool saveAndClose, TVFSReport& report = HandOffReport());
// Closes an open container (saving it first), then opens `name` with its
// whole tree, clearing its and its side file's read-only attribute.
// EVFSError when it cannot be opened.
void OpenGameVFS(const std::string& name, TVFSReport& report = HandOffReport());
void SaveGameVFS(TVFSReport& report = HandOffReport());
// Saves the open container unless it was just saved, then closes it. The
// setup thread calls this when the script ends, so that a container kept
// open by the last `vfsupdate` line is not left with a stale checksum.
void CloseGameVFS(TVFSReport& report = HandOffReport());
// Language string 19 with "<%QXPNAME%>", "<%FNUM%>" and "<%FTOTAL%>".
std::u16string FormatVFSProgress(const std::string& name, uint32_t done, uint32_t total);
