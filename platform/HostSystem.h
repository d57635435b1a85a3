// The host stand-ins' view of the machine, which a native test sets up: the
// shell folders and drives a Windows machine would report. Included by
// *_host.cpp files and host-only tests.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace platform::host {

// The path the shell reports for a folder id; an empty path removes it.
void SetShellFolder(int folderId, const std::string& path);
// The drives, in the order the system lists them: root and drive type.
void SetDrives(const std::vector<std::pair<std::string, unsigned>>& drives);

// Empties the stand-in registry.
void ClearRegistry();

}  // namespace platform::host
