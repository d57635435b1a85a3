// Shared file output of the installer.
#pragma once

#include <cstddef>
#include <string>

// Creates (and logs) the missing folders of the path, then creates or
// truncates the file and writes size bytes of data (none when data is null).
// True when the file was written whole; a file that could not be written
// whole is removed again.
bool WriteBufferToFile(const std::string& path, const void* data, size_t size);
