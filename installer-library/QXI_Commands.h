// The 32 script commands. Their keywords, parameter minimums, header-only
// flags and file kinds come from one table in registration order, which is
// also their id order and so part of the stored script format.
#pragma once

#include <cstdint>
#include <string>

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

#define QXI_COMMAND_CLASS(name)                \
  class name : public TTableCommand {          \
   public:                                     \
    using TTableCommand::TTableCommand;        \
  }
QXI_COMMAND_CLASS(TGotoCommand);
QXI_COMMAND_CLASS(TNameCommand);
QXI_COMMAND_CLASS(TOutFileCommand);
QXI_COMMAND_CLASS(TInstallDirCommand);
QXI_COMMAND_CLASS(TInstallDirRegKeyCommand);
QXI_COMMAND_CLASS(TIfFileExistsCommand);
QXI_COMMAND_CLASS(TFileCommand);
QXI_COMMAND_CLASS(TDeleteCommand);
QXI_COMMAND_CLASS(TWriteRegStrCommand);
QXI_COMMAND_CLASS(TChangelogCommand);
QXI_COMMAND_CLASS(TQXPUpdateCommand);
QXI_COMMAND_CLASS(TRMDirCommand);
QXI_COMMAND_CLASS(TCreateDirectoryCommand);
QXI_COMMAND_CLASS(TCreateShortCutCommand);
QXI_COMMAND_CLASS(TMessageCommand);
QXI_COMMAND_CLASS(TMessageBoxCommand);
QXI_COMMAND_CLASS(TCopyFileCommand);
QXI_COMMAND_CLASS(TLanguageCommand);
QXI_COMMAND_CLASS(TFailureCommand);
QXI_COMMAND_CLASS(TPagesCommand);
QXI_COMMAND_CLASS(TShortNameCommand);
QXI_COMMAND_CLASS(TUninstallPagesCommand);
QXI_COMMAND_CLASS(TUninstallLanguageCommand);
QXI_COMMAND_CLASS(TUninstallPrefixCommand);
QXI_COMMAND_CLASS(TUninstallLogLoadCommand);
QXI_COMMAND_CLASS(TUninstallLogSaveCommand);
QXI_COMMAND_CLASS(TQXPOfficialCommand);
QXI_COMMAND_CLASS(TDuplicateEntryCommand);
QXI_COMMAND_CLASS(TWriteRegStr_URLCommand);
QXI_COMMAND_CLASS(TVFSUpdateCommand);
QXI_COMMAND_CLASS(TRenameCommand);
QXI_COMMAND_CLASS(TExecuteCommand);
#undef QXI_COMMAND_CLASS

// Creates the 32 commands and appends them to `list` in table order, so
// that a command's id is its table position + 1.
void RegisterCommands(TCommandList& list);

// Compile-time parameter check: true when compiled line lineIndex has at
// least `needed` parameters; otherwise reports "Not enough parameters" at
// the line's source line. A passing check clears no earlier error.
bool CheckParams(TCompileContext& compiler, int32_t lineIndex, int32_t needed);

// Run-time test for optional parameters of a loaded line; reports nothing.
bool HasParams(const TCompLines& lines, int32_t lineIndex, int32_t needed);

// A jump target as a line index: the decimal index of the last label line
// named `target` (names compared lower-cased, blanks included), else the
// target itself. When the result is not an integer, reports
// "Label not found - <target>" at sourceLine and gives the target unchanged.
std::string ResolveLabel(TCompileContext& compiler, const std::string& target, int32_t sourceLine);
