#include "compiler/TCompiler.h"

#include "Global/QXI_PakFile.h"
#include "compiler/QXI_CompilerUtils.h"
#include "compiler/QXI_SetupBuilder.h"
#include "installer-library/STokens.h"
#include "platform/FileName.h"
#include "platform/Program.h"
#include "platform/Text.h"

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

namespace {

// What keeps a name from being a file name of its own, as the end of an
// error text; empty when nothing does (or when the name is empty: the
// setup then falls back to names without it).
std::string FileNameFault(const std::string& name) {
  if (name.empty() || platform::IsPlainFileName(name)) return "";
  if (name.find_first_of("\\/") != std::string::npos) return "may not hold \\ or /";
  for (char c : name) {
    // One character alone is judged for what it is; a dot or blank is
    // wrong only at the end.
    if (c == '.' || c == ' ' || platform::IsPlainFileName(std::string(1, c))) continue;
    return static_cast<unsigned char>(c) < 32 ? "may not hold a control character" : std::string("may not hold ") + c;
  }
  if (platform::IsDeviceName(name)) return "may not be a device name";
  return "may not end in a dot or blank";
}

}  // namespace

void TCompiler::RunCompileHooks() {
  // Steps may rewrite their own line's parameters but add no lines.
  // The short name names the uninstall key and the prefix the log and the
  // uninstaller: each must be a file name of its own, or the key would
  // nest, the files point into a folder or a device, or the log be
  // impossible to save. The line that set the final value is blamed, and
  // judged as it was written.
  int32_t shortNameLine = -1, prefixLine = -1;
  std::string prefix;
  for (size_t i = 0; i < CompLines.Lines.size(); ++i) {
    int32_t id = CompLines.Lines[i].Id;
    TCommandClass* command = id > 0 && Commands ? Commands->Get(id) : nullptr;
    if (!command) continue;
    const std::string shortNameBefore = SetupInfo.SetupShortName, prefixBefore = SetupInfo.UninstallPrefix;
    hookLine_ = CompLines.Lines[i].Line;
    command->CompilerProcess(*this, static_cast<int32_t>(i));
    if (SetupInfo.SetupShortName != shortNameBefore) shortNameLine = CompLines.Lines[i].Line;
    if (SetupInfo.UninstallPrefix != prefixBefore) {
      prefixLine = CompLines.Lines[i].Line;
      prefix = CompLines.Lines[i].Params[0];
    }
  }
  if (!Error.Text.empty()) return;
  if (std::string fault = FileNameFault(SetupInfo.SetupShortName); !fault.empty())
    SetError("The short name " + fault, shortNameLine);
  else if (std::string fault = FileNameFault(prefix); !fault.empty())
    SetError("The prefix " + fault, prefixLine);
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

void TCompiler::SetError(const std::string& text, int32_t sourceLine) { Error = TCompilerError{text, sourceLine, {}}; }

void TCompiler::SetError(const std::u16string& text, int32_t sourceLine) {
  Error = TCompilerError{platform::WideToAnsi(text), sourceLine, text};
}

void TCompiler::QueueDir(const std::string& path, uint16_t group, const std::string& groupName) {
  const std::u16string fault = FileList.AddDir(path, group, groupName, false, "");
  if (!fault.empty()) SetError(fault, hookLine_);
}
