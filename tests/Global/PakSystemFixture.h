// Game archives made by hand or by the packer, an installer archive whose
// groups the updater adds, and a recorder in place of the fatal box and the
// retry question, for the tests of the in-place updater.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Global/QX_PakSystem.h"
#include "Global/ZCodec.h"
#include "installer-library/QXI_Commands.h"
#include "installer-library/SE_Global.h"
#include "tests/installer-library/GlobalsFixture.h"
#include "tests/support/QXPContents.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestData.h"

namespace pak_system_test {

using testing_support::Compressible;
using testing_support::QXPBlob;
using testing_support::QXPContents;
using testing_support::Random;
using testing_support::Text;

struct GameFile {
  std::string name;
  Bytes data;  // stored as it is (method 0)
};

// An archive with the files stored one after the other, their table, the
// header and the given trailer bytes.
inline Bytes HandArchive(const std::vector<GameFile>& files, const Bytes& trailer) {
  Bytes out, table;
  for (const GameFile& f : files) {
    TQXPEntry e;
    e.Name = f.name;
    e.StoredSize = e.OriginalSize = static_cast<int32_t>(f.data.size());
    e.Offset = static_cast<int32_t>(out.size());
    e.FileDate = 0x12345678;
    e.WriteTo(table);
    out.insert(out.end(), f.data.begin(), f.data.end());
  }
  Bytes z = ZCompress(table.data(), table.size());
  out.insert(out.end(), z.begin(), z.end());
  TQXPHeader{static_cast<int32_t>(z.size()), static_cast<int32_t>(table.size()), kQXPVersion,
             static_cast<int32_t>(files.size()), 0}
      .WriteTo(out);
  out.insert(out.end(), trailer.begin(), trailer.end());
  return out;
}

inline Bytes ShortTrailer(const std::string& nine) {
  Bytes t = Text("QXP2" + nine);
  t.resize(kShortTrailerSize, 0);
  return t;
}

// A long trailer with a block of the version ('1' has no flag byte).
inline Bytes BlockTrailer(char version, const std::string& password, uint8_t flag = 0) {
  Bytes t = MakeLongTrailer(0, version, 3, 4, password, flag);
  if (version == '1') t.pop_back();
  return t;
}

struct ReadBack {
  TQXPReadStatus status = TQXPReadStatus::InvalidHeader;
  TQXPTail tail;
  Bytes file;
};

inline ReadBack ReadArchive(const std::string& path, TQXPTrailerRules rules = TQXPTrailerRules::Setup) {
  ReadBack r;
  r.file = testing_support::ReadFileBytes(path);
  platform::File f(path, platform::OpenMode::Read);
  r.status = ReadQXPTail(f, rules, r.tail);
  return r;
}

inline const TQXPEntry* FindEntry(const ReadBack& r, const std::string& name) {
  for (const TQXPEntry& e : r.tail.Entries)
    if (e.Name == name) return &e;
  return nullptr;
}

class TAlertRecorder : public TPakSystemAlerts {
 public:
  void Fail(const std::string& text) override { Fatals.push_back(text); }
  bool AskRetry(const std::string& text) override {
    Questions.push_back(text);
    return Answer && Answer(text);
  }
  void Cancelled() override { ++Cancels; }

  std::vector<std::string> Fatals, Questions;
  std::function<bool(const std::string&)> Answer;  // none: Cancel
  int Cancels = 0;
};

struct SetupItem {
  std::string name;
  uint16_t group;
  Bytes data;
};

class PakSystemTest : public InstallerGlobals {
 protected:
  void SetUp() override {
    InstallerGlobals::SetUp();
    SetupInfoFile.InstallDir = dir.Path();
    TLanguage language;
    language.Strings = {{19, u"Updating <%QXPNAME%>: <%FNUM%> of <%FTOTAL%>"}, {20, u"Writing <%qxpname%>"}};
    Languages.Items.push_back(language);
    Languages.Current = 0;
    PakSystem.Alerts = &alerts;
  }

  void TearDown() override {
    SetupArchive = nullptr;
    setup_.reset();
    PakSystem.Alerts = &SystemPakSystemAlerts();
    InstallerGlobals::TearDown();
  }

  // The installer archive of the run, holding the items.
  void UseSetupArchive(const std::vector<SetupItem>& items) {
    SetupArchive = nullptr;
    setup_.reset();
    std::string path = dir.File("setup.bin");
    {
      TPak pak(path, false, true);
      ASSERT_TRUE(pak.IsOpen());
      for (const SetupItem& it : items) {
        int i = pak.AddEntry(it.name, "", it.group);
        ASSERT_GE(i, 0);
        ASSERT_TRUE(pak.WriteEntryData(i, it.data.data(), it.data.size())) << pak.LastError();
      }
      ASSERT_TRUE(pak.WriteTable());
    }
    setup_ = std::make_unique<TPak>(path, false, false);
    SetupArchive = setup_.get();
  }

  std::string Game() const { return dir.File("game.qxp"); }
  // The path as the updater names it in its messages.
  std::string GamePath() const { return dir.Path() + "\\game.qxp"; }

  testing_support::TempDir dir;
  TAlertRecorder alerts;

 private:
  std::unique_ptr<TPak> setup_;
};

}  // namespace pak_system_test
