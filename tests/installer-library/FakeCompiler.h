// A compile context without the compiler: the lines, the setup information,
// the last error a compile step reported, and the files it queued.
#pragma once

#include <vector>

#include "installer-library/QXI_CommandList.h"
#include "installer-library/QXI_CompLines.h"
#include "installer-library/QXI_SetupInfo.h"

class FakeCompiler : public TCompileContext {
 public:
  struct Queued {
    std::string source, name;  // QueueFile; name is the group name for QueueDir
    uint16_t group;
    bool dir;
    bool operator==(const Queued&) const = default;
  };

  TCompLines& Lines() override { return lines; }
  TSetupInfoFile& Info() override { return info; }
  const std::string& BaseDir() const override { return baseDir; }
  void SetError(const std::string& text, int32_t sourceLine) override {
    errorText = text;
    errorLine = sourceLine;
  }
  uint16_t& LastGroup() override { return lastGroup; }
  uint16_t& RegKeyCount() override { return regKeyCount; }
  void QueueFile(const std::string& source, const std::string& name, uint16_t group) override {
    queued.push_back({source, name, group, false});
  }
  void QueueDir(const std::string& path, uint16_t group, const std::string& groupName) override {
    queued.push_back({path, groupName, group, true});
  }
  const std::string& ProgramFolder() const override { return programFolder; }

  TCompLines lines;
  TSetupInfoFile info;
  std::string baseDir;
  std::string errorText;
  int32_t errorLine = -99;
  uint16_t lastGroup = 0, regKeyCount = 0;
  std::vector<Queued> queued;
  std::string programFolder = "C:\\Torvane";
};
