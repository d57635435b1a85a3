// The install script Torvane writes for the author at every compile: it
// names the setup, points the install directory at the game's folder, packs
// the language files found beside the compiler, installs the mod's settings
// file into the game's "mods\" folder and the mod's files into a folder of
// their own below it, and optionally adds start-menu shortcuts.
#pragma once

#include <string>

// Whether the generated script has an uninstaller and creates shortcuts;
// mirrored from the compiler window's check boxes, both on at start.
extern bool HasUninstallOption;
extern bool HasShortcutsOption;

// What the script is made from. InstallPages and UninstallPages are layout
// folders relative to "layout\" ("Install\QX1"); ModIniFile is the mod's
// settings file the window writes for this compile, the only file of its
// folder the installer carries; ProgramDir is the compiler's own folder,
// whose "languages\Install\" and "languages\Uninstall\" folders give the
// language lines.
struct TModCodeInputs {
  std::string SetupName;
  std::string SetupShortName;
  std::string SetupExeName;
  std::string PrefixName;
  std::string InstallPages;
  std::string UninstallPages;
  std::string ModDir;
  std::string ModFilesDir;
  std::string ModIniFile;
  std::string ProgramDir;
};

// The script text: one line per statement, each ended by a single carriage
// return.
std::string GenerateModCode(const TModCodeInputs& in);

// Appends the text and a carriage return to the script.
void AddCodeLine(std::string& code, const std::string& text);

// One "language" (install) or "uninstalllanguage" line per ".wri" file of
// the program's language folder for that side, in name order.
void AddLanguageLines(std::string& code, const std::string& programDir, bool install);

// True for the characters a file name cannot hold and the script cannot
// quote: " * : < > ? |.
bool IsInvalidNameChar(char c);
// The text without those characters; "\" and "/" stay.
std::string StripInvalidNameChars(const std::string& text);
// Every blank replaced by "_".
std::string SpacesToUnderscore(const std::string& text);
// The file name part of a path without its extension (the name's last "."
// and what follows).
std::string FileNameWithoutExt(const std::string& path);
