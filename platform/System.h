// Process and machine information: the environment block, the drives and
// the system's error texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Drive type of a root such as "D:\" (the system's numbering).
constexpr unsigned kDriveUnknown = 0;
constexpr unsigned kDriveNoRoot = 1;
constexpr unsigned kDriveFixed = 3;
constexpr unsigned kDriveCDROM = 5;
constexpr unsigned kDriveRamDisk = 6;

// A copy of the process environment block: "name=value" strings, each ended
// by a zero byte, the block ended by an empty string.
std::string EnvironmentBlock();
// The drive roots as the system lists them into a buffer of `capacity`
// characters: the length of the list (roots each ended by a zero byte) when
// it fits, copied to roots; the capacity needed when it does not; 0 on
// failure.
uint32_t LogicalDriveStrings(uint32_t capacity, std::string& roots);
unsigned DriveType(const std::string& root);
// Free bytes on the drive of a root such as "D:\"; -1 when the drive cannot
// be read.
int64_t DriveFreeBytes(const std::string& root);
// The system's message text for an error code.
std::string SystemErrorText(uint32_t code);
// Fills `out` with n bytes from the system's generator of random numbers for
// secrets, which nobody can predict; false when it cannot.
bool SystemRandomBytes(void* out, size_t n);

}  // namespace platform
