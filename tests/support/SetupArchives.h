// Installer archives written for tests: entries by name, group and data.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Global/QXI_PakFile.h"

namespace testing_support {

struct ArchiveItem {
  std::string name;
  uint16_t group;
  Bytes data;
};

// A new archive file holding the items in order (packed as the builder
// packs them).
inline void WriteSetupArchive(const std::string& path, const std::vector<ArchiveItem>& items) {
  TPak pak(path, false, true);
  ASSERT_TRUE(pak.IsOpen());
  for (const ArchiveItem& it : items) {
    int i = pak.AddEntry(it.name, "", it.group);
    ASSERT_TRUE(pak.WriteEntryData(i, it.data.data(), it.data.size())) << pak.LastError();
  }
  ASSERT_TRUE(pak.WriteTable());
}

}  // namespace testing_support
