#include "tests/support/TempDir.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace testing_support {

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  for (;;) {
    path_ = "tmp" + std::to_string(counter++);
    std::error_code ec;
    if (fs::create_directory(path_, ec)) return;
    if (ec) throw std::runtime_error("cannot create " + path_);
  }
}

#ifdef _WIN32
namespace {

// The C runtime under std::filesystem stops at 260 characters, and a test's
// folder may go deeper; a link is removed, never followed.
void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW((path + L"\\*").c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName, full = path + L"\\" + name;
      if (name == L"." || name == L"..") continue;
      const DWORD attributes = found.dwFileAttributes;
      if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        RemoveTree(full);
      else if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveDirectoryW(full.c_str());
      else
        DeleteFileW(full.c_str());
    } while (FindNextFileW(h, &found));
    FindClose(h);
  }
  RemoveDirectoryW(path.c_str());
}

}  // namespace
#endif

TempDir::~TempDir() {
#ifdef _WIN32
  RemoveTree(L"\\\\?\\" + fs::absolute(path_).wstring());
#else
  std::error_code ec;
  fs::remove_all(path_, ec);
#endif
}

std::string DrivePath(const std::string& relative) {
  std::string path = fs::absolute(relative).string();
#ifndef _WIN32
  path = "Z:" + path;
#endif
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) throw std::runtime_error("cannot read " + path);
  // In one read: byte by byte, a file of megabytes takes a sanitised test
  // a good part of a second.
  std::vector<uint8_t> bytes(static_cast<size_t>(in.tellg()));
  in.seekg(0);
  if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())))
    throw std::runtime_error("cannot read " + path);
  return bytes;
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

void WriteFileText(const std::string& path, const std::string& text) {
  WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

}  // namespace testing_support
