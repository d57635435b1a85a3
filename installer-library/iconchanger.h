// Giving an executable the icon of an icon file: the program's group icon
// (the one Windows shows for the file) and the icon images it lists are
// replaced by the icon file's images and a group that describes them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Global/ZCodec.h"

// One image of an icon file: what its directory entry says of it, and its
// data exactly as stored (a bitmap with its masks, or a PNG image).
struct TIconImage {
  uint8_t Width = 0, Height = 0;  // 0 stands for 256
  uint8_t ColorCount = 0, Reserved = 0;
  uint16_t Planes = 0, BitCount = 0;
  Bytes Data;
};

// Every image of an icon file, in directory order. False, with `images`
// empty and the reason (naming its numbers) in `reason`, when the file
// cannot be read or is not a whole icon file: a short header, no images, a
// directory that runs past the end, an image that is empty, runs past the
// end, lies in the directory or shares bytes with another, or image data
// that is no bitmap or PNG. Never holds more than the file's size in
// images.
bool ReadIconFile(const std::string& iconPath, std::vector<TIconImage>& images, std::string& reason);
// The same of an icon file's bytes in memory.
bool ReadIconData(const Bytes& iconFile, std::vector<TIconImage>& images, std::string& reason);

// The group icon resource that describes `images` as the icon resources
// numbered `ids` (one per image): a 6-byte header and 14 bytes per image.
Bytes GroupIconResource(const std::vector<TIconImage>& images, const std::vector<uint16_t>& ids);
// The icon resource numbers a group icon resource lists; a group cut short
// lists those of its whole entries.
std::vector<uint16_t> GroupIconIds(const Bytes& group);

// Replaces the icon of the executable by the icon file's images, keeping
// its other resources and what is appended to it (the address map its error
// reports name source lines from): the icon images its first group icon
// lists are removed, the file's images written in the group's language
// under free numbers, and the group rewritten to list them, so whichever
// language Windows looks for, it finds the new icon at every size. A
// program without a group icon gets "MAINICON" in the neutral language.
// True when the update was committed; false when the icon file is unusable
// (ReadIconFile) or the executable's resources cannot be updated, and the
// executable is then left as it was. Windows builds only: resource update
// is a service of Windows itself.
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
