#include "compiler/TCompiler.h"

#include "Global/QXI_PakFile.h"
#include "compiler/QXI_CompilerUtils.h"
#include "compiler/QXI_SetupBuilder.h"
#include "installer-library/STokens.h"
#include "platform/Program.h"

TCompiler& GlobalCompiler = *new TCompiler;

TCompiler::TCompiler(const TCommandList* commands)
    : Commands(commands), ProgramDir(ExtractFileDir(platform::ProgramFile())), IconWriter(DefaultIconWriter()) {}

void TCompiler::Compile(const std::vector<std::string>& lines, const std::string& sourceBaseDir) {
  SourceBaseDir = sourceBaseDir;
  SetupInfo.SetupName = "setup.exe";
  SetupInfo.SetupShortName = "setup.exe";
  CurrentLine = 0;
  ClearError();
  ClearLines();
  FileList.Clear();
  ParseLines(lines);
}

void TCompiler::ParseLines(const std::vector<std::string>& lines) {
  // The count is tested first: an empty script compiles to no lines.
  for (; static_cast<size_t>(CurrentLine) < lines.size() && Error.Text.empty(); ++CurrentLine) {
    CurrentText = StripComment(TrimBlanks(lines[static_cast<size_t>(CurrentLine)]));
    if (CurrentText.empty()) continue;
    if (CurrentText.back() == ':') {
      int32_t index = AddLine(0);
      if (index >= 0) AddArgument(index, CurrentText.substr(0, CurrentText.size() - 1));
    } else {
      ParseCommand(CurrentText);
    }
  }
  if (Error.Text.empty()) RunCompileHooks();
}

void TCompiler::RunCompileHooks() {
  // Steps may rewrite their own line's parameters but add no lines.
  // The short name names the uninstall key and the prefix the log and the
  // uninstaller: a separator in either would nest the key or point the
  // files into a folder. The line that set the final value is blamed.
  int32_t shortNameLine = -1, prefixLine = -1;
  for (size_t i = 0; i < CompLines.Lines.size(); ++i) {
    int32_t id = CompLines.Lines[i].Id;
    TCommandClass* command = id > 0 && Commands ? Commands->Get(id) : nullptr;
    if (!command) continue;
    const std::string shortName = SetupInfo.SetupShortName, prefix = SetupInfo.UninstallPrefix;
    command->CompilerProcess(*this, static_cast<int32_t>(i));
    if (SetupInfo.SetupShortName != shortName) shortNameLine = CompLines.Lines[i].Line;
    if (SetupInfo.UninstallPrefix != prefix) prefixLine = CompLines.Lines[i].Line;
  }
  auto separated = [](const std::string& name) { return name.find_first_of("\\/") != std::string::npos; };
  if (!Error.Text.empty()) return;
  if (separated(SetupInfo.SetupShortName))
    SetError("The short name may not hold \\ or /", shortNameLine);
  else if (separated(SetupInfo.UninstallPrefix))
    SetError("The prefix may not hold \\ or /", prefixLine);
}

void TCompiler::Log(const std::string& text) const {
  if (LogCallback) LogCallback(text);
}

void TCompiler::Status(const std::string& text) const {
  if (StatusCallback) StatusCallback(text);
}

std::string TCompiler::StripComment(const std::string& text) {
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"')
      quoted = !quoted;
    else if (!quoted && (c == ';' || c == '#'))
      return text.substr(0, i);
  }
  return text;
}

int32_t TCompiler::AddLine(int32_t commandId) {
  if (CompLines.Lines.size() >= kMaxCompiledLines) {
    SetError("Too many lines - a script compiles to at most 65535 lines", CurrentLine);
    return -1;
  }
  CompLines.Lines.push_back(TCompLine{commandId, {}, CurrentLine});
  return static_cast<int32_t>(CompLines.Lines.size() - 1);
}

void TCompiler::AddArgument(int32_t index, const std::string& text) {
  if (index < 0 || static_cast<size_t>(index) >= CompLines.Lines.size()) return;
  if (text.size() > kMaxStoredString) {
    SetError("Parameter too long - at most 65535 bytes", CurrentLine);
    return;
  }
  CompLines.Lines[static_cast<size_t>(index)].Params.push_back(text);
}

int32_t TCompiler::AddCommandLine(int32_t commandId, const std::string& rest) {
  int32_t index = AddLine(commandId);
  if (index < 0) return -1;
  std::string remaining = rest, token;
  do {
    SplitFirstToken(remaining, token, remaining);
    AddArgument(index, token);
  } while (!remaining.empty() && Error.Text.empty());
  return index;
}

void TCompiler::ParseCommand(const std::string& text) {
  std::string keyword, rest;
  SplitFirstToken(text, keyword, rest);
  int32_t id = Commands ? Commands->Find(keyword) : -1;
  if (id == -1) {
    SetError("Unknown Command \"" + keyword + "\"", CurrentLine);
    return;
  }
  AddCommandLine(id, rest);
}

std::string TCompiler::FormatCompiledArgs(int32_t index) const {
  std::string result;
  if (index < 0 || static_cast<size_t>(index) >= CompLines.Lines.size()) return result;
  for (const std::string& p : CompLines.Lines[static_cast<size_t>(index)].Params) {
    std::string piece = p.find(' ') == std::string::npos ? p : "\"" + p + "\"";
    result = result.empty() ? piece : result + " " + piece;
  }
  return result;
}

std::vector<std::string> TCompiler::CompiledListing() const {
  std::vector<std::string> out;
  for (size_t i = 0; i < CompLines.Lines.size(); ++i) {
    const TCompLine& line = CompLines.Lines[i];
    const TCommandClass* command = line.Id > 0 && Commands ? Commands->Get(line.Id) : nullptr;
    if (line.Id == 0)
      out.push_back((line.Params.empty() ? std::string() : line.Params[0]) + ":");
    else if (command)
      out.push_back(command->Keyword + " " + FormatCompiledArgs(static_cast<int32_t>(i)));
  }
  return out;
}

void TCompiler::SetError(const std::string& text, int32_t sourceLine) {
  Error.Text = text;
  Error.Line = sourceLine;
}
