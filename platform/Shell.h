// Shell services: the paths of special folders and shell link files.
#pragma once

#include <string>

namespace platform {

// Shell folder ids used by the installer.
constexpr int kShellDesktop = 0;        // the user's desktop
constexpr int kShellPrograms = 2;       // start menu programs
constexpr int kShellAppData = 26;       // roaming application data
constexpr int kShellProgramFiles = 38;  // program files

// The folder through the shell's item-id list (owner: a window handle or
// null); empty when the shell has no path for it.
std::string GetItemIdFolder(void* owner, int folderId);
// The folder through the shell's folder-path call (at most 260
// characters); empty on failure.
std::string GetFolderPathById(int folderId);

// Writes a shell link file through the shell link object; COM must be
// initialised on the calling thread. The icon location is set only when
// iconPath is given. Raises std::runtime_error when the object cannot be
// created; false when the link could not be filled in or saved.
bool SaveShellLink(const std::string& linkPath, const std::string& target, const std::string& arguments,
                   const std::string& workingDir, int showCommand, const std::string* iconPath, int iconIndex);

}  // namespace platform
