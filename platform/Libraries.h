// Where the programs' DLLs come from. Players start the installer from
// folders that other programs can write (Downloads, a desktop), usually as
// administrator, and Windows looks for a DLL in the program's own folder
// before the system folder: so the programs import only the system's known
// DLLs (which are never searched for), and every other DLL is loaded by its
// full path in the system folder (Libraries_win32.h).
#pragma once

namespace platform {

// Limits the DLLs that this process loads from now on, by name, to the
// system folder, where the system can do that; elsewhere at least the
// current folder leaves the search. Called first thing in each program.
void LoadLibrariesFromSystemFolderOnly();

}  // namespace platform
