// Flow-control commands: jumps, the question box, the status line and the
// failure that ends a script. The setup thread raises CurrentLine before it
// runs a line, so a jump to line t writes t - 1 when t itself is to run;
// jumps to a label write the label's own index, a line that does nothing.
#include "installer-library/QXI_Commands.h"
#include "installer-library/QXI_CompLines.h"
#include "installer-library/SE_Global.h"
#include "platform/File.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"

namespace {

constexpr uint16_t kFailureString = 23;

// The two jump targets of a checked line: "0" means no jump on that branch
// and is stored as "-1"; anything else is resolved as a label.
void ResolveTargets(TCompileContext& compiler, int32_t lineIndex, int32_t needed, size_t first) {
  if (!CheckParams(compiler, lineIndex, needed)) return;
  TCompLine& line = compiler.Lines().Lines[static_cast<size_t>(lineIndex)];
  for (size_t i = first; i < first + 2; ++i)
    line.Params[i] = line.Params[i] == "0" ? "-1" : ResolveLabel(compiler, line.Params[i], line.Line);
}

}  // namespace

void TGotoCommand::CompilerProcess(TCompileContext& compiler, int32_t lineIndex) {
  // No parameter check: a goto always carries at least the empty target,
  // and the target 0 is line 0.
  std::vector<TCompLine>& lines = compiler.Lines().Lines;
  if (lineIndex < 0 || static_cast<size_t>(lineIndex) >= lines.size()) return;
  TCompLine& line = lines[static_cast<size_t>(lineIndex)];
  if (!line.Params.empty()) line.Params[0] = ResolveLabel(compiler, line.Params[0], line.Line);
}

void TGotoCommand::SFXProcess(int32_t lineIndex) {
  int32_t target = LineFromStr(RunParam(lineIndex, 0));
  if (target >= 0) CurrentLine = target;
}

void TIfFileExistsCommand::CompilerProcess(TCompileContext& compiler, int32_t lineIndex) {
  ResolveTargets(compiler, lineIndex, 3, 1);
}

void TIfFileExistsCommand::SFXProcess(int32_t lineIndex) {
  int32_t found = LineFromStr(RunParam(lineIndex, 1));
  int32_t missing = LineFromStr(RunParam(lineIndex, 2));
  int32_t target = platform::FileExists(ExpandPath(ResolveCDDrive(RunParam(lineIndex, 0)))) ? found : missing;
  if (target >= 0) CurrentLine = target;
}

void TMessageBoxCommand::CompilerProcess(TCompileContext& compiler, int32_t lineIndex) {
  ResolveTargets(compiler, lineIndex, 4, 2);
}

void TMessageBoxCommand::SFXProcess(int32_t lineIndex) {
  int32_t onOk = LineFromStr(RunParam(lineIndex, 2));
  int32_t otherwise = LineFromStr(RunParam(lineIndex, 3));
  int answer = platform::ShowMessageBox(ExpandedParam(lineIndex, 0), ExpandedParam(lineIndex, 1),
                                        platform::kMbOkCancel | platform::kMbIconQuestion);
  // -1 is "no jump"; every other target runs next, a label on line 0
  // included (CurrentLine -1 makes the interpreter start again at line 0).
  int32_t target = answer == platform::kIdOk ? onOk : otherwise;
  if (target >= 0) CurrentLine = target - 1;
}

void TFailureCommand::SFXProcess(int32_t) {
  SetFailureText(Languages.GetString(kFailureString), true);
  AbortFlag = true;
}

void TMessageCommand::SFXProcess(int32_t lineIndex) {
  SetStatusText(Languages.ReplaceLangTags(platform::AnsiToWide(RunParam(lineIndex, 0))));
}

void FailInstallation(const std::string& message, const std::string& caption) {
  platform::ShowMessageBox(message, caption, platform::kMbOk);
  SetFailureText(Languages.GetString(kFailureString), true);
  AbortFlag = true;
}
