// Script lines for the commands' tests: compiled as the compiler's parse and
// compile passes would, and loaded as the setup thread finds them.
#pragma once

#include <string>
#include <vector>

#include "installer-library/QXI_Commands.h"
#include "installer-library/QXI_CompLines.h"
#include "installer-library/SE_Global.h"
#include "installer-library/STokens.h"
#include "tests/installer-library/FakeCompiler.h"

namespace command_testing {

inline const TCommandList& Commands() {
  static const TCommandList* list = [] {
    auto* l = new TCommandList;
    RegisterCommands(*l);
    return l;
  }();
  return *list;
}

// "name:" is a label; anything else a keyword and its parameters, split by
// the script's token rules. The source line is the statement's index.
inline void Parse(FakeCompiler& fc, const std::vector<std::string>& script) {
  fc.lines.Lines.clear();
  for (size_t i = 0; i < script.size(); ++i) {
    const std::string& text = script[i];
    if (!text.empty() && text.back() == ':') {
      fc.lines.Lines.push_back({0, {text.substr(0, text.size() - 1)}, static_cast<int32_t>(i)});
      continue;
    }
    std::string keyword, rest;
    SplitFirstToken(text, keyword, rest);
    TCompLine line{Commands().Find(keyword), {}, static_cast<int32_t>(i)};
    do {
      std::string token;
      SplitFirstToken(rest, token, rest);
      line.Params.push_back(token);
    } while (!rest.empty());
    fc.lines.Lines.push_back(line);
  }
}

// The compile pass: every command line's compile step in line order.
inline void CompileSteps(FakeCompiler& fc) {
  for (size_t i = 0; i < fc.lines.Lines.size(); ++i)
    if (TCommandClass* c = Commands().Get(fc.lines.Lines[i].Id)) c->CompilerProcess(fc, static_cast<int32_t>(i));
}

inline FakeCompiler Compiled(const std::vector<std::string>& script) {
  FakeCompiler fc;
  Parse(fc, script);
  CompileSteps(fc);
  return fc;
}

// Loads one line, as compiled, as line 0 of the installer's script and runs
// its run step.
inline void RunLine(int32_t id, std::vector<std::string> params) {
  CompLines.Lines = {TCompLine{id, std::move(params), 0}};
  Commands().Get(id)->SFXProcess(0);
}

// The command ids the tests use.
enum : int32_t {
  kGoto = 1,
  kIfFileExists = 6,
  kFile = 7,
  kDelete = 8,
  kWriteRegStr = 9,
  kQXPUpdate = 11,
  kRMDir = 12,
  kCreateDirectory = 13,
  kCreateShortCut = 14,
  kMessage = 15,
  kMessageBox = 16,
  kCopyFile = 17,
  kFailure = 19,
  kUninstallLogLoad = 25,
  kUninstallLogSave = 26,
  kQXPOfficial = 27,
  kDuplicateEntry = 28,
  kWriteRegStrURL = 29,
  kVFSUpdate = 30,
  kRename = 31,
  kExecute = 32,
};

}  // namespace command_testing
