// Folder creation that records every folder it makes in the uninstall log,
// so that the uninstaller can take it away again.
#pragma once

#include <string>

// Cuts the text up to and including the first "\" off path and returns it;
// without a "\", the whole path is returned and path becomes empty.
std::string SplitFirstDir(std::string& path);

// The folder part of a path, up to and including its last "\" (or the ":"
// of a bare drive); empty when it has neither.
std::string FolderOfPath(const std::string& path);

// Creates each missing level of a drive path ("C:\a\b", 4 or more
// characters) and logs each level it created with UninstallList.AddDir,
// parents first. Other paths (relative, network, a bare root) are left
// alone. True when the path is a folder afterwards.
bool ForceDirectoriesLogged(const std::string& path);
