// Shared file output of the installer.
#pragma once

#include <cstddef>
#include <string>

namespace platform {
class File;
}

// Creates (and logs) the missing folders of the path, then writes size
// bytes of data (none when data is null) as the file, replacing an earlier
// one only once the new one is whole. True when the file was written; on
// failure an earlier file is left as it was and nothing half written stays.
bool WriteBufferToFile(const std::string& path, const void* data, size_t size);

// A file written whole before it counts. OpenWholeFileWrite opens where
// the bytes go and returns that name: the path itself when no file of that
// name exists yet (created exclusively, so that a run killed midway leaves
// no stray file beside it, only an unfinished one of the very name that a
// later run writes again and logs), else a new name beside it, so that an
// earlier file stays as it was until the new one is whole.
// EndWholeFileWrite closes the file and then puts what was written in
// place when it is whole, or takes it away; true when path holds it.
std::string OpenWholeFileWrite(const std::string& path, platform::File& file);
bool EndWholeFileWrite(platform::File& file, const std::string& written, const std::string& path, bool whole);
