// Settings files in the Windows profile format: "[Section]" lines followed by
// "Key=Value" lines. Names are matched case-insensitively and the first match
// counts; names and values are trimmed, and a value enclosed in a pair of
// matching quotes is read without them. Every call reads the file afresh and
// every write rewrites it, so several objects on one file never disagree.
// Paths are 8-bit text in the system code page.
#pragma once

#include <string>
#include <vector>

namespace platform {

class ProfileFile {
 public:
  explicit ProfileFile(std::string path) : path_(std::move(path)) {}

  const std::string& Path() const { return path_; }

  // The section names in file order (a name that occurs twice is listed
  // twice); none when the file does not exist.
  std::vector<std::string> Sections() const;
  // The key names of the first section of that name, in file order. Lines
  // without "=" and names beginning with ";" are not keys.
  std::vector<std::string> Keys(const std::string& section) const;
  // The value of the key in the first section of that name; false (value
  // untouched) when the file, the section or the key is missing.
  bool Read(const std::string& section, const std::string& key, std::string& value) const;
  // Sets the key, adding it after the section's last line or adding the
  // section at the end of the file as needed; creates the file when it is
  // missing. False when the file cannot be written.
  bool Write(const std::string& section, const std::string& key, const std::string& value);

 private:
  std::string path_;
};

}  // namespace platform
