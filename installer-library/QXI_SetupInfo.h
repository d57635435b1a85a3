// The installer's settings record: titles, file names, install directory,
// the registry places of an earlier install, the page layouts and two flags.
// The compiler fills it from the script's header commands; the builder and
// the uninstaller build store it as "SetupInfo"; Setup reads it at start-up.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "Global/ZCodec.h"

// One registry place: root code (0 local machine, 1 current user, 2 classes
// root, 3 users, 4 current config; stored as written, also above 4), key
// path and value name.
struct TREGKEY {
  uint8_t HKEY = 0;
  std::string Path;
  std::string Key;

  bool operator==(const TREGKEY&) const = default;
};

constexpr size_t kInstallDirRegKeys = 5;

// A fresh record has every string empty and every number 0. The stored form
// is these fields in this order with nothing around them: seven strings,
// five slots (root byte, path, value name), two strings, two bytes.
class TSetupInfoFile {
 public:
  std::string SetupName;
  std::string SetupShortName;
  std::string SetupExeName;
  std::string UninstallExe;
  std::string UninstallPrefix;
  std::string InstallDir;
  std::string Changelog;
  std::array<TREGKEY, kInstallDirRegKeys> InstallDirRegKey;
  std::string Pages;
  std::string UninstallPages;
  uint8_t IsUninstaller = 0;
  uint8_t HasUninstall = 0;

  // The stored form; false when a string is longer than 65,535 bytes and so
  // cannot be stored.
  bool Store(Bytes& out) const;
  // Reads the stored form from the caller's block. A block that ends early
  // or holds more than one record is damaged: false, with the reason in
  // `reason` (the field that runs past the end and its byte, or the bytes
  // left over), and the record keeps its previous contents.
  bool LoadFromBuffer(const void* data, size_t size, std::string& reason);
  bool LoadFromBuffer(const void* data, size_t size) {
    std::string reason;
    return LoadFromBuffer(data, size, reason);
  }

  bool operator==(const TSetupInfoFile&) const = default;
};
