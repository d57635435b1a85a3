// Shell services: the paths of special folders and shell link files.
#pragma once

#include <string>

namespace platform {

// Shell folder ids used by the installer.
constexpr int kShellDesktop = 0;        // the user's desktop
constexpr int kShellPrograms = 2;       // start menu programs
constexpr int kShellAppData = 26;       // roaming application data
constexpr int kShellWindows = 36;       // the Windows folder
constexpr int kShellProgramFiles = 38;  // program files
constexpr int kShellProfile = 40;       // the user's profile

// The folders in which the system and its users keep their things: the
// desktops, start menus, documents, pictures, music and videos, application
// data, program data, the program-files folders, the system folders and
// the user's profile, for the user and for all users.
constexpr int kShellSystemAndUserFolders[] = {0,  2,  5,  6,  7,  8,  9,  11, 13, 14, 16, 19, 20, 21, 22,
                                              23, 24, 25, 26, 27, 28, 31, 32, 33, 34, 35, 37, 38, 39, 40,
                                              41, 42, 43, 44, 45, 46, 47, 48, 53, 54, 55, 56, 59};

// The folder through the shell's item-id list (owner: a window handle or
// null); empty when the shell has no path for it, or the code page cannot
// carry it (NarrowPath).
std::string GetItemIdFolder(void* owner, int folderId);
// The folder through the shell's folder-path call (at most 260
// characters); empty on failure, as above.
std::string GetFolderPathById(int folderId);

// Writes a shell link file through the shell link object; COM must be
// initialised on the calling thread. The icon location is set only when
// iconPath is given. Raises std::runtime_error when the object cannot be
// created; false when the link could not be filled in or saved.
bool SaveShellLink(const std::string& linkPath, const std::string& target, const std::string& arguments,
                   const std::string& workingDir, int showCommand, const std::string* iconPath, int iconIndex);

}  // namespace platform
