// Giving an executable the icon of an icon file: its first image becomes
// icon resource 1 in the neutral language. The installer program carries its
// own icon 1 in UK English, which stays beside the new one.
#pragma once

#include <string>

#include "Global/ZCodec.h"

// The first image of an icon file, exactly as stored there (a bitmap with its
// masks, or a PNG image). False when the file cannot be read or is not a
// whole icon file: a short header, no images, a directory or image that runs
// past the end of the file, or image data that is no bitmap or PNG.
bool ReadFirstIconImage(const std::string& iconPath, Bytes& image);
// The same of an icon file's bytes in memory.
bool FirstIconImage(const Bytes& iconFile, Bytes& image);

// Writes the first image of the icon file into the executable as icon 1,
// language neutral, keeping its other resources and what is appended to it
// (the address map its error reports name source lines from). True when the
// update was committed; false when the icon file is unusable or the
// executable's resources cannot be updated, and the executable is then left
// as it was. Windows builds only: resource update is a service of Windows
// itself.
bool ChangeExeIcon(const std::string& iconPath, const std::string& exePath);
// The same with the icon file's bytes in memory.
bool ChangeExeIconFromData(const Bytes& iconFile, const std::string& exePath);

// The bytes of a program file behind the raw data of its last section:
// what was appended to the program after it was linked. Empty for a file
// that is no program or has nothing appended.
Bytes DataAppendedToProgram(const std::string& exePath);
// Appends `appended` to the program file unless the file already ends with
// those bytes: a resource update writes the program anew, and Windows may
// leave out what was appended. False when the file cannot be read or
// written.
bool KeepDataAppendedToProgram(const std::string& exePath, const Bytes& appended);
