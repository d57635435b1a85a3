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
// The parameter that names an update line's target, and so its group.
constexpr int32_t kArchiveParam = 2;    // of qxpupdate
constexpr int32_t kContainerParam = 1;  // of vfsupdate

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

// The target an update line names, lower-cased as the file list names the
// line's group; empty for a line of another command.
std::string GroupNameOf(const TCompLine& line) {
  static const int32_t qxpUpdate = TableCommandId("qxpupdate"), vfsUpdate = TableCommandId("vfsupdate");
  int32_t param = line.Id == qxpUpdate ? kArchiveParam : line.Id == vfsUpdate ? kContainerParam : -1;
  return param >= 0 && param < line.ParamCount() ? platform::AnsiLowerCase(line.Params[static_cast<size_t>(param)])
                                                 : std::string();
}

// qxpupdate lines naming one archive share one group, which the archive
// takes under one password: a line that gives another password than an
// earlier one could never be right for both lines' files. Runs before the
// line's password is scrambled; the earlier line's is already.
void RequireOnePassword(TCompileContext& compiler, int32_t lineIndex) {
  const std::vector<TCompLine>& lines = compiler.Lines().Lines;
  const TCompLine& line = lines[static_cast<size_t>(lineIndex)];
  const std::string name = GroupNameOf(line);
  for (int32_t i = 0; i < lineIndex && !name.empty(); ++i) {
    const TCompLine& earlier = lines[static_cast<size_t>(i)];
    if (earlier.Id != line.Id || GroupNameOf(earlier) != name) continue;
    if (DigitKeyDecode(kDigitKeyB, earlier.Params[1]) != line.Params[1])
      compiler.SetError("Password differs from the one an earlier line gives " + line.Params[kArchiveParam], line.Line);
    return;
  }
}

// The group an update line applies, or false when there is none to apply.
// Update lines naming one target share the first one's group (the later
// lines' own groups stay empty), so that a later line still applies the
// files when a jump took the script past the first; whichever runs first
// applies the group, and the others skip it as done. A line run again
// applies it again, as every line does.
bool GroupToApply(int32_t lineIndex, uint16_t& group) {
  const std::vector<TCompLine>& lines = CompLines.Lines;
  if (!StoredGroup(lineIndex, group)) return false;
  if (SetupArchive && SetupArchive->CountInGroup(group) == 0) {
    const std::string name = GroupNameOf(lines[static_cast<size_t>(lineIndex)]);
    for (size_t i = 0; i < lines.size() && !name.empty(); ++i) {
      if (GroupNameOf(lines[i]) != name) continue;
      uint16_t first;
      if (StoredGroup(static_cast<int32_t>(i), first)) group = first;
      break;
    }
  }
  auto [applied, fresh] = AppliedUpdateGroups.try_emplace(group, lineIndex);
  return fresh || applied->second == lineIndex;
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
std::map<uint16_t, int32_t> AppliedUpdateGroups;

void TQXPUpdateCommand::CompilerProcess(TCompileContext& compiler, int32_t lineIndex) {
  if (!CheckParams(compiler, lineIndex, 3) || !AllocateFileGroup(compiler, lineIndex, kArchiveParam)) return;
  RequireOnePassword(compiler, lineIndex);
  ScramblePassword(compiler, lineIndex, "Password");
}

void TQXPUpdateCommand::SFXProcess(int32_t lineIndex) {
  uint16_t group;
  if (!GroupToApply(lineIndex, group)) return;
  RunUpdater([&] { PakSystem.UpdateArchive(group, RunParam(lineIndex, 2), PlainPassword(lineIndex)); });
}

void TVFSUpdateCommand::CompilerProcess(TCompileContext& compiler, int32_t lineIndex) {
  if (CheckParams(compiler, lineIndex, 2)) AllocateFileGroup(compiler, lineIndex, kContainerParam);
}

void TVFSUpdateCommand::SFXProcess(int32_t lineIndex) {
  uint16_t group;
  if (!GroupToApply(lineIndex, group)) return;
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
