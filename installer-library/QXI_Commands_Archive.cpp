// Archive-update commands: they change the game's own archives and
// containers in the install directory. The archive password and access
// code travel in the stored script scrambled with digit key B.
#include "Global/QX_PakFormat.h"
#include "Global/QX_PakSystem.h"
#include "installer-library/QXI_Commands.h"
#include "installer-library/QXI_CompLines.h"
#include "installer-library/QXI_DigitKey.h"
#include "installer-library/SE_Global.h"
#include "installer-library/SE_Languages.h"
#include "installer-library/SE_VFS.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"

namespace {

constexpr uint16_t kWritingString = 20;
constexpr uint16_t kFailureString = 23;

// The updater works on this installation: its archive, its install folder
// and its status line, which the container update shares.
class TSystemHost : public TPakSystemHost {
 public:
  TPak* SetupArchive() override { return ::SetupArchive; }
  std::string ArchivePath(const std::string& archiveName) override {
    return AddBackslash(SetupInfoFile.InstallDir) + archiveName;
  }
  bool IsOfficialAccessCode(const std::string& code) override {
    return platform::AnsiLowerCase(code) == kOfficialAccessCode;
  }
  void ShowProgress(const std::string& archiveName, int32_t n, int32_t total) override {
    SetStatusText(FormatVFSProgress(archiveName, static_cast<uint32_t>(n), static_cast<uint32_t>(total)));
  }
  void ShowWriting(const std::string& archiveName) override {
    SetStatusText(TLanguages::ReplaceText(Languages.GetString(kWritingString), u"<%QXPNAME%>",
                                          platform::AnsiToWide(archiveName)));
  }
  void StepProgress(bool publish) override { ::StepProgress(publish); }
};

// The installation ends the way every failed command ends it, so that the
// finishing steps still write the uninstall log and the uninstaller for the
// files installed before this line.
class TSystemAlerts : public TPakSystemAlerts {
 public:
  void Fail(const std::string& text) override { FailInstallation(text); }
  bool AskRetry(const std::string& text) override {
    return platform::ShowMessageBox(text, "Error", platform::kMbRetryCancel | platform::kMbIconWarning) ==
           platform::kIdRetry;
  }
  void Cancelled() override {
    // The user has answered a box already: no second one.
    SetFailureText(Languages.GetString(kFailureString), true);
    AbortFlag = true;
  }
};

// Parameter P1 as the stored script carries it. A game archive's trailer
// holds at most kMaxQXPPassword bytes of it: a longer one is refused here,
// at its line, instead of failing on the player's machine.
void ScramblePassword(TCompileContext& compiler, int32_t lineIndex, const char* what) {
  TCompLine& line = compiler.Lines().Lines[static_cast<size_t>(lineIndex)];
  std::string& password = line.Params[1];
  if (password.size() > kMaxQXPPassword) {
    compiler.SetError(std::string(what) + " too long - at most " + std::to_string(kMaxQXPPassword) + " bytes",
                      line.Line);
    return;
  }
  password = DigitKeyEncode(kDigitKeyB, password);
}

// Runs one updater operation. EPakSystemEnded means the updater has ended
// the installation already; the script stops at this line.
template <typename Operation>
void RunUpdater(Operation operation) {
  try {
    operation();
  } catch (const EPakSystemEnded&) {
  }
}

// P1 in plain, decoded afresh at every run: the loaded line keeps its
// scrambled form, so a line run again by a jump gives the same text.
std::string PlainPassword(int32_t lineIndex) { return DigitKeyDecode(kDigitKeyB, RunParam(lineIndex, 1)); }

}  // namespace

TPakSystemHost& SystemPakSystemHost() {
  static TSystemHost host;
  return host;
}

TPakSystemAlerts& SystemPakSystemAlerts() {
  static TSystemAlerts alerts;
  return alerts;
}

TPakSystem PakSystem(SystemPakSystemHost(), SystemPakSystemAlerts());

void TQXPUpdateCommand::CompilerProcess(TCompileContext& compiler, int32_t lineIndex) {
  if (!CheckParams(compiler, lineIndex, 3)) return;
  if (AllocateFileGroup(compiler, lineIndex, 2))  // named after the archive
    ScramblePassword(compiler, lineIndex, "Password");
}

void TQXPUpdateCommand::SFXProcess(int32_t lineIndex) {
  uint16_t group;
  if (!StoredGroup(lineIndex, group)) return;
  RunUpdater([&] { PakSystem.UpdateArchive(group, RunParam(lineIndex, 2), PlainPassword(lineIndex)); });
}

void TVFSUpdateCommand::CompilerProcess(TCompileContext& compiler, int32_t lineIndex) {
  if (!CheckParams(compiler, lineIndex, 2)) return;
  AllocateFileGroup(compiler, lineIndex, 1);  // named after the container
}

void TVFSUpdateCommand::SFXProcess(int32_t lineIndex) {
  uint16_t group;
  if (!StoredGroup(lineIndex, group)) return;
  // Without a close flag of its own the line saves and closes the
  // container; "0" (anything but "1") keeps it open for a later line.
  bool closeAfter = RunParamCount(lineIndex) <= 3 || RunParam(lineIndex, 2) == "1";
  UpdateGameVFS(group, RunParam(lineIndex, 1), closeAfter);
}

void TQXPOfficialCommand::CompilerProcess(TCompileContext& compiler, int32_t lineIndex) {
  if (CheckParams(compiler, lineIndex, 3)) ScramblePassword(compiler, lineIndex, "Access code");
}

void TQXPOfficialCommand::SFXProcess(int32_t lineIndex) {
  // The updater changes nothing unless the code is the built-in one.
  RunUpdater([&] { PakSystem.SetOfficial(RunParam(lineIndex, 0), PlainPassword(lineIndex), RunParam(lineIndex, 2)); });
}

void TDuplicateEntryCommand::SFXProcess(int32_t lineIndex) {
  RunUpdater([&] { PakSystem.DuplicateEntry(RunParam(lineIndex, 0), RunParam(lineIndex, 1), RunParam(lineIndex, 2)); });
}
