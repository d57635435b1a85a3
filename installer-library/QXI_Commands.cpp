#include "installer-library/QXI_Commands.h"

#include <iterator>
#include <memory>

#include "installer-library/QXI_CompLines.h"
#include "installer-library/QXI_RegRoot.h"
#include "installer-library/SE_Global.h"
#include "installer-library/SIntegerText.h"
#include "platform/Text.h"

namespace {

struct TCommandRow {
  TCommandTraits Traits;
  std::unique_ptr<TCommandClass> (*Create)(const TCommandTraits&);
};

template <class T>
std::unique_ptr<TCommandClass> Make(const TCommandTraits& traits) {
  return std::make_unique<T>(traits);
}

// The command table. Row order is id order and must never change: stored
// scripts carry these ids.
//   keyword                min header kind check-only
const TCommandRow kCommands[] = {
    {{"goto", 0, 0, 0, false}, &Make<TGotoCommand>},
    {{"name", 1, 1, 0, false}, &Make<TNameCommand>},
    {{"outfile", 1, 1, 0, false}, &Make<TOutFileCommand>},
    {{"installdir", 1, 1, 0, false}, &Make<TInstallDirCommand>},
    {{"installdirregkey", 3, 1, 0, false}, &Make<TInstallDirRegKeyCommand>},
    {{"iffileexists", 3, 0, 0, false}, &Make<TIfFileExistsCommand>},
    {{"file", 1, 0, 1, false}, &Make<TFileCommand>},
    {{"delete", 1, 0, 0, true}, &Make<TDeleteCommand>},
    {{"writeregstr", 4, 0, 0, false}, &Make<TWriteRegStrCommand>},
    {{"changelog", 1, 1, 0, false}, &Make<TChangelogCommand>},
    {{"qxpupdate", 3, 0, 2, false}, &Make<TQXPUpdateCommand>},
    {{"rmdir", 2, 0, 0, true}, &Make<TRMDirCommand>},
    {{"createdirectory", 1, 0, 0, true}, &Make<TCreateDirectoryCommand>},
    {{"createshortcut", 3, 0, 0, true}, &Make<TCreateShortCutCommand>},
    {{"message", 1, 0, 0, true}, &Make<TMessageCommand>},
    {{"messagebox", 4, 0, 0, false}, &Make<TMessageBoxCommand>},
    {{"copyfile", 2, 0, 0, true}, &Make<TCopyFileCommand>},
    {{"language", 1, 0, 0, false}, &Make<TLanguageCommand>},
    {{"failure", 0, 0, 0, false}, &Make<TFailureCommand>},
    {{"pages", 1, 1, 0, false}, &Make<TPagesCommand>},
    {{"shortname", 1, 1, 0, false}, &Make<TShortNameCommand>},
    {{"uninstallpages", 1, 1, 0, false}, &Make<TUninstallPagesCommand>},
    {{"uninstalllanguage", 1, 0, 0, false}, &Make<TUninstallLanguageCommand>},
    {{"prefix", 1, 1, 0, false}, &Make<TUninstallPrefixCommand>},
    {{"uninstalllogload", 1, 0, 0, true}, &Make<TUninstallLogLoadCommand>},
    {{"uninstalllogsave", 1, 0, 0, true}, &Make<TUninstallLogSaveCommand>},
    {{"qxpofficial", 3, 0, 0, false}, &Make<TQXPOfficialCommand>},
    {{"duplicateentry", 3, 0, 0, true}, &Make<TDuplicateEntryCommand>},
    {{"writeregstr_url", 3, 0, 0, true}, &Make<TWriteRegStr_URLCommand>},
    {{"vfsupdate", 2, 0, 2, false}, &Make<TVFSUpdateCommand>},
    {{"rename", 2, 0, 0, true}, &Make<TRenameCommand>},
    {{"execute", 1, 0, 0, true}, &Make<TExecuteCommand>},
};
static_assert(std::size(kCommands) == kCommandCount, "ids 1 to kCommandCount are the table rows");

}  // namespace

void TTableCommand::CompilerProcess(TCompileContext& compiler, int32_t lineIndex) {
  if (Traits.CheckOnly) CheckParams(compiler, lineIndex, Traits.MinParams);
}

void RegisterCommands(TCommandList& list) {
  for (const TCommandRow& row : kCommands) list.Add(row.Create(row.Traits));
}

int32_t TableCommandId(std::string_view keyword) {
  for (size_t i = 0; i < std::size(kCommands); ++i)
    if (keyword == kCommands[i].Traits.Keyword) return static_cast<int32_t>(i + 1);
  return -1;
}

bool CheckParams(TCompileContext& compiler, int32_t lineIndex, int32_t needed) {
  const std::vector<TCompLine>& lines = compiler.Lines().Lines;
  if (lineIndex < 0 || static_cast<size_t>(lineIndex) >= lines.size()) return false;
  const TCompLine& line = lines[static_cast<size_t>(lineIndex)];
  if (line.ParamCount() >= needed) return true;
  compiler.SetError("Not enough parameters", line.Line);
  return false;
}

bool CheckRegRoot(TCompileContext& compiler, int32_t lineIndex, int32_t param) {
  const TCompLine& line = compiler.Lines().Lines[static_cast<size_t>(lineIndex)];
  const std::string& name = line.Params[static_cast<size_t>(param)];
  if (IsRegRootName(name)) return true;
  compiler.SetError("Unknown registry root \"" + name + "\" - use HKLM, HKCU, HKCR, HKU or HKCC", line.Line);
  return false;
}

bool HasParams(const TCompLines& lines, int32_t lineIndex, int32_t needed) {
  return lineIndex >= 0 && static_cast<size_t>(lineIndex) < lines.Lines.size() &&
         lines.Lines[static_cast<size_t>(lineIndex)].ParamCount() >= needed;
}

std::string ResolveLabel(TCompileContext& compiler, const std::string& target, int32_t sourceLine) {
  std::string result = target;
  const std::string wanted = platform::AnsiLowerCase(target);
  const std::vector<TCompLine>& lines = compiler.Lines().Lines;
  for (size_t i = 0; i < lines.size(); ++i)  // no early stop: the last label of a name wins
    if (lines[i].Id == 0 && !lines[i].Params.empty() && platform::AnsiLowerCase(lines[i].Params[0]) == wanted)
      result = std::to_string(i);
  int32_t index;
  if (!TryStrToInt32(result, index)) compiler.SetError("Label not found - " + target, sourceLine);
  return result;
}

namespace {

const TCompLine* LoadedLine(int32_t lineIndex) {
  const std::vector<TCompLine>& lines = CompLines.Lines;
  return lineIndex >= 0 && static_cast<size_t>(lineIndex) < lines.size() ? &lines[static_cast<size_t>(lineIndex)]
                                                                         : nullptr;
}

}  // namespace

std::string RunParam(int32_t lineIndex, int32_t n) {
  const TCompLine* line = LoadedLine(lineIndex);
  return line && n >= 0 && n < line->ParamCount() ? line->Params[static_cast<size_t>(n)] : std::string();
}

std::string ExpandedParam(int32_t lineIndex, int32_t n) { return ExpandPath(RunParam(lineIndex, n)); }

int32_t RunParamCount(int32_t lineIndex) {
  const TCompLine* line = LoadedLine(lineIndex);
  return line ? line->ParamCount() : 0;
}
