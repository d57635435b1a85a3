// The installer as a run step finds it: an install folder below a fresh
// temporary folder, a language with the strings the commands show, and the
// window's hand-off targets in place.
#pragma once

#include <filesystem>

#include "Global/ByteOrder.h"
#include "tests/installer-library/CommandTesting.h"
#include "tests/installer-library/GlobalsFixture.h"
#include "tests/support/TempDir.h"

class CommandRun : public InstallerGlobals {
 protected:
  void SetUp() override {
    InstallerGlobals::SetUp();
    std::u16string file =
        u"\xFEFF" u"English\r\n409\r\n17 Copying <%FILENAME%>\r\n18 Extracting <%FILENAME%>\r\n"
        u"21 Installing\r\n23 Installation failed\r\n";
    Bytes b;
    for (char16_t c : file) PutU16(b, c);
    Languages.AddFromBuffer(b.data(), b.size());
    Languages.Current = 0;
    std::filesystem::create_directory(tmp.File("inst"));
    SetupInfoFile.InstallDir = inst;
    ShowTargets();
  }

  // A path below the install folder as std::filesystem takes it.
  std::string InInst(const std::string& relative) const { return tmp.File("inst/" + relative); }

  testing_support::TempDir tmp;
  std::string inst = testing_support::DrivePath(tmp.File("inst"));
};
