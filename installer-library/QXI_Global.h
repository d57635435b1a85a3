// Shared file output of the installer.
#pragma once

#include <cstddef>
#include <string>

// Creates (and logs) the missing folders of the path, then writes size
// bytes of data (none when data is null) as the file, replacing an earlier
// one only once the new one is whole. True when the file was written; on
// failure an earlier file is left as it was and nothing half written stays.
// A file that is not there yet is written under its own name: a run killed
// midway leaves only an unfinished file of that name, which a later run
// writes again.
bool WriteBufferToFile(const std::string& path, const void* data, size_t size);
