// What the fuzz targets share: readers that take a path get the input as a
// file in a folder of this process's own (in memory where the system offers
// /dev/shm), and an input that stands for several files is cut into parts.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz_support {

// Made on first use and removed when the process ends normally; a crashed
// run leaves it for inspection.
inline const std::string& WorkDir() {
  static const std::string dir = [] {
    namespace fs = std::filesystem;
    fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string pattern = (base / "modkit-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    static std::string made = pattern;
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(made, ignored);
    });
    return pattern;
  }();
  return dir;
}

inline std::string WorkFile(const std::string& name) { return WorkDir() + "/" + name; }

// Writes the bytes as the work file `name`; its path.
inline std::string WriteFile(const std::string& name, const void* data, size_t size) {
  std::string path = WorkFile(name);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  out.close();
  if (!out) std::abort();
  return path;
}

// An empty folder below the work folder; its path.
inline std::string FreshFolder(const std::string& name) {
  std::string path = WorkFile(name);
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
  std::filesystem::create_directories(path);
  return path;
}

// The input cut at every occurrence of `marker` (the marker itself dropped):
// one input can then carry several files, and the seeds show the mutator
// where one ends.
inline std::vector<std::string_view> Split(const uint8_t* data, size_t size, std::string_view marker) {
  std::vector<std::string_view> parts;
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  for (size_t at; (at = rest.find(marker)) != std::string_view::npos;) {
    parts.push_back(rest.substr(0, at));
    rest.remove_prefix(at + marker.size());
  }
  parts.push_back(rest);
  return parts;
}

// The marker between the files of one input.
constexpr std::string_view kPartMarker = "\n=====FILE=====\n";

}  // namespace fuzz_support
