// Folder creation that records every folder it makes in the uninstall log,
// so that the uninstaller can take it away again.
#pragma once

#include <string>
#include <vector>

// Cuts the text up to and including the first "\" off path and returns it;
// without a "\", the whole path is returned and path becomes empty.
std::string SplitFirstDir(std::string& path);

// The folder part of a path, up to and including its last "\" (or the ":"
// of a bare drive); empty when it has neither.
std::string FolderOfPath(const std::string& path);

// Creates each missing level of a drive path ("C:\a\b", 4 or more
// characters) and logs each level it created with UninstallList.AddDir,
// parents first. The levels are logged, and the log saved where the
// running installation keeps it (TUninstallList::Checkpoint), before they
// are made, so that a run killed meanwhile leaves no folder its log does
// not name; a level that could not be made is taken out of the log again.
// Other paths (relative, network, a bare root) are left alone. True when
// the path is a folder afterwards.
bool ForceDirectoriesLogged(const std::string& path);
// The same for many paths at once, with one save of the log (the folders
// of a whole file group).
void ForceDirectoriesLogged(const std::vector<std::string>& paths);
