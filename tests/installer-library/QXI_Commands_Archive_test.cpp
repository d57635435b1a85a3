// The game-archive commands from script line to archive: compiled, stored
// and loaded as the installer finds them, then run against game archives.
#include "installer-library/QXI_Commands.h"

#include <gtest/gtest.h>

#include "installer-library/QXI_DigitKey.h"
#include "platform/MessageBox.h"
#include "tests/Global/PakSystemFixture.h"
#include "tests/installer-library/CommandTesting.h"

using namespace command_testing;
using namespace pak_system_test;
using testing_support::WriteFileBytes;

namespace {

class ArchiveCommands : public PakSystemTest {
 protected:
  // The script compiled, written in its stored form and read back into the
  // installer's CompLines.
  void Load(const std::vector<std::string>& script) {
    FakeCompiler fc = Compiled(script);
    ASSERT_EQ(fc.errorText, "");
    Bytes stored;
    ASSERT_TRUE(fc.lines.Store(Commands(), stored));
    ASSERT_TRUE(CompLines.LoadFromBuffer(stored.data(), stored.size()));
  }
  void Run(int32_t line) { Commands().Get(CompLines.Lines[static_cast<size_t>(line)].Id)->SFXProcess(line); }

  void WriteGame(const std::string& password) {
    WriteFileBytes(Game(), HandArchive({{"a.txt", Text("aaa")}}, BlockTrailer('2', password)));
  }
};

}  // namespace

TEST_F(ArchiveCommands, QxpUpdateDecodesItsPasswordAtEveryRun) {
  UseSetupArchive({{"new.txt", 1, Text("new file")}});
  WriteGame("Pa ss\x01");
  Load({"qxpupdate mod\\ \"Pa ss\x01\" game.qxp"});
  const std::string stored = CompLines.Lines[0].Params[1];
  EXPECT_EQ(stored, DigitKeyEncode(kDigitKeyB, "Pa ss\x01"));
  Run(0);
  Run(0);  // again, as after a jump back
  EXPECT_TRUE(alerts.Fatals.empty());
  EXPECT_EQ(CompLines.Lines[0].Params[1], stored);
  ReadBack r = ReadArchive(Game());
  ASSERT_EQ(r.status, TQXPReadStatus::Ok);
  ASSERT_NE(FindEntry(r, "new.txt"), nullptr);
  EXPECT_EQ(QXPContents(r.file, *FindEntry(r, "new.txt")), Text("new file"));

  // A refused password ends the installation, not the process: the box
  // with the updater's text, the failure text and the abort, so that the
  // finishing steps still write the log and the uninstaller.
  Load({"qxpupdate mod\\ wrong game.qxp"});
  const Bytes before = testing_support::ReadFileBytes(Game());
  std::vector<std::string> boxes;
  platform::SetMessageBoxHandler([&](const std::string& text, const std::string& caption, unsigned) {
    boxes.push_back(caption + ": " + text);
    return platform::kIdOk;
  });
  PakSystem.Alerts = &SystemPakSystemAlerts();
  EXPECT_NO_THROW(Run(0));
  platform::SetMessageBoxHandler(nullptr);
  EXPECT_EQ(boxes, std::vector<std::string>{"Error: Error Incorrect Password\rFile: game.qxp"});
  EXPECT_TRUE(AbortFlag);
  EXPECT_EQ(testing_support::ReadFileBytes(Game()), before);
}

TEST_F(ArchiveCommands, QxpOfficialNeedsTheBuiltInCode) {
  struct Case {
    std::string code, flag;
    uint8_t official;
  };
  const Case cases[] = {{std::string(kOfficialAccessCode), "true", 1},
                        {"04NKTH1", "T", 1},
                        {std::string(kOfficialAccessCode), "0", 0},
                        {"04nkth", "1", 7}};
  for (const Case& c : cases) {
    WriteFileBytes(Game(), HandArchive({{"a.txt", Text("aaa")}}, BlockTrailer('2', "pw", 7)));
    Load({"qxpofficial game.qxp " + c.code + " " + c.flag});
    EXPECT_NE(CompLines.Lines[0].Params[1], c.code);  // not stored in plain
    Run(0);
    ReadBack r = ReadArchive(Game());
    ASSERT_EQ(r.status, TQXPReadStatus::Ok);
    EXPECT_EQ(r.tail.Trailer.FlagByte, c.official) << c.code << " " << c.flag;
  }
  EXPECT_TRUE(alerts.Fatals.empty());
  EXPECT_TRUE(alerts.Questions.empty());
}

TEST_F(ArchiveCommands, DuplicateEntryGivesTheDataASecondName) {
  WriteGame("");
  Load({"duplicateentry game.qxp A.TXT data\\b.txt"});
  Run(0);
  ReadBack r = ReadArchive(Game());
  ASSERT_EQ(r.status, TQXPReadStatus::Ok);
  const TQXPEntry* copy = FindEntry(r, "data\\b.txt");
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->Offset, FindEntry(r, "a.txt")->Offset);
}

TEST_F(ArchiveCommands, LinesOfOneArchiveApplyTheirSharedGroupOnceWhicheverRunsFirst) {
  // The builder packs both lines' files into the first line's group.
  UseSetupArchive({{"a.txt", 1, Text("new a")}, {"b.txt", 1, Text("new b")}});
  WriteGame("pw");
  Load({"qxpupdate a pw GAME.QXP", "qxpupdate b pw game.qxp"});
  Run(1);  // a jump took the script past the first line
  ReadBack r = ReadArchive(Game());
  ASSERT_EQ(r.status, TQXPReadStatus::Ok);
  ASSERT_NE(FindEntry(r, "b.txt"), nullptr);
  EXPECT_EQ(QXPContents(r.file, *FindEntry(r, "a.txt")), Text("new a"));
  const Bytes updated = testing_support::ReadFileBytes(Game());
  Run(0);
  EXPECT_EQ(testing_support::ReadFileBytes(Game()), updated) << "done already";
  EXPECT_TRUE(alerts.Fatals.empty());
}
