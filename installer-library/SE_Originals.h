// The player's own files that an installation overwrites. Before a line
// first writes over a file that no log of this setup names (so it was
// there before the first installation), a copy is kept in the
// installation's own folder of originals, and logged there; the
// uninstaller puts each back once it has removed the installed file. A
// kept copy's place spells the file's path as the log holds it:
// "$INSTDIR\readme.txt" is kept as <originals>\INSTDIR\readme.txt and
// "D:\Other\a.dll" as <originals>\D\Other\a.dll, so what to restore needs
// nothing but the log.
#pragma once

#include <string>

// The install folder's "<prefix>originals".
std::string OriginalsFolder();

// Where the original of a file is kept; empty for a path the folder cannot
// spell (neither below a known folder nor on a drive).
std::string KeptPathOf(const std::string& path);

// The file a kept copy stands for (expanded), or empty when the path is no
// kept copy.
std::string OriginalOfKept(const std::string& keptPath);

// Called by the installation's beginning, once the logs of earlier runs
// are merged into UninstallList: what they name is the installation's.
void BeginKeepingOriginals();

// Called before a line writes target, once per target (whether the line
// has logged it yet or not): when the setup has an uninstaller, a file of
// the player's there is copied into the folder of originals (logged before
// it is copied, so that a run killed meanwhile leaves nothing unlogged).
// False with the reason when it cannot be kept; the line must then not
// write.
bool KeepOriginal(const std::string& target, std::string& error);
