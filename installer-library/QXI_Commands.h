// The 32 script commands. Their keywords, parameter minimums, header-only
// flags and file kinds come from one table in registration order, which is
// also their id order and so part of the stored script format.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>

#include "Global/QX_PakSystem.h"
#include "installer-library/QXI_CommandList.h"

class TCompLines;

// One row of the command table.
struct TCommandTraits {
  const char* Keyword;
  int32_t MinParams;   // parameters the compile step requires (0: no check)
  uint8_t HeaderOnly;  // 1: fills the setup information only; never run
  int32_t Kind;        // FileKind: 0 none, 1 plain file group, 2 update group
  bool CheckOnly;      // the compile step is the parameter check alone
};

// A command built from its table row. Command classes override only the
// steps they need; the rest keep this behaviour.
class TTableCommand : public TCommandClass {
 public:
  explicit TTableCommand(const TCommandTraits& traits)
      : TCommandClass(traits.Keyword, traits.HeaderOnly), Traits(traits) {}

  // The parameter check for a check-only command; nothing otherwise.
  void CompilerProcess(TCompileContext& compiler, int32_t lineIndex) override;
  int32_t FileKind() const override { return Traits.Kind; }

  const TCommandTraits& Traits;
};

// The steps a command class overrides; the rest keep the table's behaviour.
#define QXI_COMPILE_STEP void CompilerProcess(TCompileContext& compiler, int32_t lineIndex) override;
#define QXI_RUN_STEP void SFXProcess(int32_t lineIndex) override;
#define QXI_COMMAND_CLASS(name, steps)  \
  class name : public TTableCommand {   \
   public:                              \
    using TTableCommand::TTableCommand; \
    steps                               \
  }
// Header and flow-control commands (QXI_Commands_Header.cpp, _Flow.cpp).
QXI_COMMAND_CLASS(TNameCommand, QXI_COMPILE_STEP);
QXI_COMMAND_CLASS(TShortNameCommand, QXI_COMPILE_STEP);
QXI_COMMAND_CLASS(TOutFileCommand, QXI_COMPILE_STEP);
QXI_COMMAND_CLASS(TUninstallPrefixCommand, QXI_COMPILE_STEP);
QXI_COMMAND_CLASS(TInstallDirCommand, QXI_COMPILE_STEP);
QXI_COMMAND_CLASS(TInstallDirRegKeyCommand, QXI_COMPILE_STEP);
QXI_COMMAND_CLASS(TChangelogCommand, QXI_COMPILE_STEP);
QXI_COMMAND_CLASS(TPagesCommand, QXI_COMPILE_STEP);
QXI_COMMAND_CLASS(TUninstallPagesCommand, QXI_COMPILE_STEP);
QXI_COMMAND_CLASS(TLanguageCommand, QXI_COMPILE_STEP);
QXI_COMMAND_CLASS(TUninstallLanguageCommand, QXI_COMPILE_STEP);
QXI_COMMAND_CLASS(TGotoCommand, QXI_COMPILE_STEP QXI_RUN_STEP);
QXI_COMMAND_CLASS(TIfFileExistsCommand, QXI_COMPILE_STEP QXI_RUN_STEP);
QXI_COMMAND_CLASS(TMessageBoxCommand, QXI_COMPILE_STEP QXI_RUN_STEP);
QXI_COMMAND_CLASS(TFailureCommand, QXI_RUN_STEP);
QXI_COMMAND_CLASS(TMessageCommand, QXI_RUN_STEP);
// The file command (QXI_Commands_File.cpp).
QXI_COMMAND_CLASS(TFileCommand, QXI_COMPILE_STEP QXI_RUN_STEP);
// System commands (QXI_Commands_System.cpp).
QXI_COMMAND_CLASS(TDeleteCommand, QXI_RUN_STEP);
QXI_COMMAND_CLASS(TRenameCommand, QXI_RUN_STEP);
QXI_COMMAND_CLASS(TExecuteCommand, QXI_RUN_STEP);
QXI_COMMAND_CLASS(TWriteRegStrCommand, QXI_COMPILE_STEP QXI_RUN_STEP);
QXI_COMMAND_CLASS(TWriteRegStr_URLCommand, QXI_RUN_STEP);
QXI_COMMAND_CLASS(TRMDirCommand, QXI_RUN_STEP);
QXI_COMMAND_CLASS(TCreateDirectoryCommand, QXI_RUN_STEP);
QXI_COMMAND_CLASS(TCreateShortCutCommand, QXI_RUN_STEP);
QXI_COMMAND_CLASS(TCopyFileCommand, QXI_RUN_STEP);
QXI_COMMAND_CLASS(TUninstallLogLoadCommand, QXI_RUN_STEP);
QXI_COMMAND_CLASS(TUninstallLogSaveCommand, QXI_RUN_STEP);
// Archive-update commands (QXI_Commands_Archive.cpp).
QXI_COMMAND_CLASS(TQXPUpdateCommand, QXI_COMPILE_STEP QXI_RUN_STEP);
QXI_COMMAND_CLASS(TVFSUpdateCommand, QXI_COMPILE_STEP QXI_RUN_STEP);
QXI_COMMAND_CLASS(TQXPOfficialCommand, QXI_COMPILE_STEP QXI_RUN_STEP);
QXI_COMMAND_CLASS(TDuplicateEntryCommand, QXI_RUN_STEP);
#undef QXI_COMMAND_CLASS
#undef QXI_RUN_STEP
#undef QXI_COMPILE_STEP

// The updater of game archives the archive-update commands use, tied to
// this installation by the two below.
extern TPakSystem PakSystem;
// The line that applied each update group in this run: update lines naming
// one target share the first one's group, and whichever of them runs first
// applies it for all. Empty when a run starts.
extern std::map<uint16_t, int32_t> AppliedUpdateGroups;
TPakSystemHost& SystemPakSystemHost();
TPakSystemAlerts& SystemPakSystemAlerts();

// Creates the 32 commands and appends them to `list` in table order, so
// that a command's id is its table position + 1.
void RegisterCommands(TCommandList& list);
// The id the command table gives a (lower-case) keyword; -1 for none.
int32_t TableCommandId(std::string_view keyword);

// Compile-time parameter check: true when compiled line lineIndex has at
// least `needed` parameters; otherwise reports "Not enough parameters" at
// the line's source line. A passing check clears no earlier error.
bool CheckParams(TCompileContext& compiler, int32_t lineIndex, int32_t needed);
// Compile-time check of a registry root parameter the line is known to have:
// true for a short root name (HKLM, HKCU, HKCR, HKU, HKCC in any case);
// otherwise reports "Unknown registry root" with the name at the line's
// source line, since the installer would read it as HKLM.
bool CheckRegRoot(TCompileContext& compiler, int32_t lineIndex, int32_t param);

// Run-time test for optional parameters of a loaded line; reports nothing.
bool HasParams(const TCompLines& lines, int32_t lineIndex, int32_t needed);

// A jump target as a line index: the decimal index of the last label line
// named `target` (names compared lower-cased, blanks included), else the
// target itself. When the result is not an integer, reports
// "Label not found - <target>" at sourceLine and gives the target unchanged.
std::string ResolveLabel(TCompileContext& compiler, const std::string& target, int32_t sourceLine);

// --- file groups ----------------------------------------------------------------

// The group allocation of file, qxpupdate and vfsupdate, after their check:
// the next group number is appended to the line as its last parameter and
// the line's source (P0) queued in it. An update line names its group after
// its target, parameter nameParam, so that lines updating the same file
// share one group; a file line's group has no name. False, with an error at
// the line, when every group number is taken.
constexpr int32_t kNoGroupName = -1;
bool AllocateFileGroup(TCompileContext& compiler, int32_t lineIndex, int32_t nameParam);
// The group number a loaded line carries as its last parameter; false when
// it holds none (a stored script the compiler did not write).
bool StoredGroup(int32_t lineIndex, uint16_t& group);

// "C:\" or "C:\x": a drive letter, a colon and a backslash.
bool IsAbsolutePath(const std::string& path);
// A file line's target folder, with a trailing backslash: an absolute path
// as it is, anything else below the install directory.
std::string ResolveTargetDir(const std::string& path);
// Whether the string value of the key under the root named by rootName
// equals `expected` exactly; a value or key that does not exist reads as
// empty text, a value of another type equals no text.
bool RegValueEquals(const std::string& rootName, const std::string& keyPath, const std::string& valueName,
                    const std::string& expected);
// RegValueEquals, inverted when the sense word is "0", "false" or "f" in
// any case.
bool RegConditionHolds(const std::string& rootName, const std::string& keyPath, const std::string& valueName,
                       const std::string& expected, const std::string& senseWord);

// --- run steps: the loaded line's parameters ----------------------------------
// A line of a stored script the compiler did not write may lack parameters
// its command needs: a missing one reads as empty text.

// Parameter n (0-based) of line lineIndex of CompLines as stored.
std::string RunParam(int32_t lineIndex, int32_t n);
// The same, path variables expanded (ExpandPath).
std::string ExpandedParam(int32_t lineIndex, int32_t n);
// The line's stored parameter count; 0 for a line that does not exist.
int32_t RunParamCount(int32_t lineIndex);

// A run step that cannot do its work ends the installation: the message
// box, the failure text of the finish page, and the abort that stops the
// script; the setup thread's finishing steps still run.
void FailInstallation(const std::string& message, const std::string& caption = "Error");

// The folder rmdir removes: an absolute path with "." and ".." resolved
// (also behind "\\?\"). Empty, with the reason in refusal, for a relative
// path, a whole drive, or the Windows folder or a folder that holds it.
std::string ResolveRemovableDir(const std::string& path, std::string& refusal);

// For each parameter from P3 on, a blank and the parameter as written in
// double quotes: the handler arguments of writeregstr_url.
std::string QuotedExtraArgs(int32_t lineIndex);

// A registry value that could not be written. The run step does not catch
// it: the setup thread ends the installation with the error report.
class ERegistryWrite : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
