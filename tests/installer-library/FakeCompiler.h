// A compile context without the compiler: the lines, the setup information
// and the last error a compile step reported.
#pragma once

#include "installer-library/QXI_CommandList.h"
#include "installer-library/QXI_CompLines.h"
#include "installer-library/QXI_SetupInfo.h"

class FakeCompiler : public TCompileContext {
 public:
  TCompLines& Lines() override { return lines; }
  TSetupInfoFile& Info() override { return info; }
  const std::string& BaseDir() const override { return baseDir; }
  void SetError(const std::string& text, int32_t sourceLine) override {
    errorText = text;
    errorLine = sourceLine;
  }

  TCompLines lines;
  TSetupInfoFile info;
  std::string baseDir;
  std::string errorText;
  int32_t errorLine = -99;
};
