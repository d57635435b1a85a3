// Small text routines of the compiler and its builder.
#pragma once

#include <cstdint>
#include <string>

// The path with "\" appended, unless it is empty or already ends with "\"
// or "/".
std::string IncludeSlash(const std::string& path);

// The last part of a path: what follows its last "\", "/" or ":".
std::string ExtractFileName(const std::string& path);

// The path without its last part and the separator before it ("C:\x" of
// "C:\x\a.exe"); a drive's colon stays.
std::string ExtractFileDir(const std::string& path);

// A byte count as the builder's log shows it: divided by 1024 while the
// whole part stays above 0, at most three times, with two decimals and the
// unit ("500.00 Bytes", "1.50 KB", "3.00 GB"). The count is first taken as
// a single-precision number, as the log always showed it, so sizes above
// 16 MiB read slightly rounded.
std::string FormatSize(uint32_t size);
