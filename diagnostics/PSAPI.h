// The modules loaded in the own process, so that each stack-trace address
// can be named by its module and, for a program module that carries an
// embedded address map, by that map's unit and line.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "diagnostics/SEXEMap.h"

constexpr size_t kMaxModuleName = 255;
constexpr size_t kMaxModules = 1024;

struct TModuleRecord {
  std::string FileName;          // without its folder, at most 255 characters
  uint64_t Base = 0;             // load address
  uint64_t Size = 0;             // size of the image in memory
  std::unique_ptr<TEXEMap> Map;  // only for ".exe" modules with an embedded map
};

class TModuleList {
 public:
  void Clear() { records_.clear(); }
  // Adds the module loaded from `path`. A module whose file name ends in
  // ".exe" (any case) and which carries an embedded map gets that map;
  // EEXEMapError when such a file cannot be opened.
  void Add(const std::string& path, uint64_t base, uint64_t size);
  // Orders the records by base address, lowest first.
  void Sort();

  // The first record with base <= address < base + size, or none.
  const TModuleRecord* FindModule(uint64_t address) const;
  // " " + module file name + "+" + the address's offset from the module's
  // base (eight or more hexadecimal digits), followed by what the module's map says of the address (maps
  // count as if the module were loaded at $400000); empty when no module
  // holds the address.
  std::string GetModuleInfoForAddress(uint64_t address) const;

  const std::vector<TModuleRecord>& Records() const { return records_; }

 private:
  std::vector<TModuleRecord> records_;
};

// The process's module list, re-read by RefreshModuleList.
extern TModuleList ModuleList;

// Re-reads the modules of the own process (at most 1,024) into ModuleList;
// modules whose name or information cannot be read are left out, and the
// list stays empty when the process cannot be opened. Windows only.
void RefreshModuleList();
