// The uninstaller an installation leaves behind: its entry in the
// registry's list of installed programs, and the program itself, which is
// this program with a smaller archive (the uninstall layout, languages and
// finaliser, and a setup information marked as an uninstaller's).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/ByteOrder.h"

class TPak;
struct TPakFile;

// HKEY_LOCAL_MACHINE key of the uninstall entry: the list of installed
// programs followed by the setup's short name.
std::string UninstallKeyPath();
// InstallDir, one backslash, and the uninstaller's file name.
std::string UninstallerPath();

// Whether the uninstall entry under the uninstall key is this
// installation's to write and to delete: there is none yet, or its
// "DisplayName" is the setup's short name and its "UninstallString" (in
// quotes or not) names this installation's uninstaller, or none, or an
// uninstaller of the same file name that is gone (an earlier installation
// of this setup, moved or deleted since). Anything else belongs to another
// program, or to another installation of this one, and is never touched.
bool OwnsUninstallEntry();

// Whether this setup's uninstall entry is there and names that uninstaller.
bool UninstallEntryNames(const std::string& uninstaller);

// Writes "DisplayName" and "UninstallString" (the uninstaller's path in
// double quotes) under the uninstall key. A setup without a short name has
// no key of its own and registers nothing, nor does one whose entry is
// another program's (OwnsUninstallEntry). When a value cannot be written
// the entry is taken away again. Whether it was written; the uninstaller
// works without it, so callers need not report it.
bool RegisterUninstaller();

// Deletes the two values of this installation's own uninstall entry, and
// the key once nothing else is left in it. Another program's entry stays
// as it is.
void UnregisterUninstaller();

// Where the archive appended to a program file begins: the first entry that
// holds data, else the entry table; the whole file when it carries no
// archive.
int64_t ArchiveStart(const TPak& archive, int64_t fileSize);

// Writes the uninstaller from the running program's file and then, once it
// is there, registers it; when the uninstall entry is another program's,
// it says so in a box (not in a silent run) and leaves it. The failure's
// text, or empty when the uninstaller was written.
std::string CreateUninstaller();

// Writes the uninstaller from the given program file: the program without
// its own archive, the icon of "UNINSTALL_ICON.ICO" when the installer
// carries one, then an archive of the other "UNINSTALL_" items without that
// prefix and "SetupInfo" marked as an uninstaller's. The file is built
// aside (a leftover of a run that was killed meanwhile goes first) and
// replaces an older uninstaller only when it is complete. The failure's
// text, or empty.
std::string WriteUninstaller(const std::string& programFile);

// The name under which the uninstaller carries an item of its installer's
// archive: a group-0 "UNINSTALL_" item but the icon, without that prefix.
// Empty for an item it does not carry.
std::string UninstallerItemName(const TPakFile& entry);

// Writes the first image of an icon file's bytes into a program as icon
// resource 1.
using TIconWriter = std::function<bool(const Bytes& iconFile, const std::string& exePath)>;
// ChangeExeIconFromData in Windows builds; native builds have no resource
// update and leave it empty (tests put their own here).
extern TIconWriter UninstallerIconWriter;
