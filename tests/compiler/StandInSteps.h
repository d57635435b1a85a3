// Command registries for tests of the compiler window: compile steps that
// stand in for the commands' own where a test needs a build from the
// generated script (names, pages, language files and file lines), and
// registries that know only some keywords, so that a script fails to parse.
#pragma once

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

#include "compiler/TCompiler.h"
#include "installer-library/QXI_CommandList.h"
#include "installer-library/QXI_CompLines.h"
#include "installer-library/QXI_SetupInfo.h"

namespace window_testing {

class StepCommand : public TCommandClass {
 public:
  using Step = std::function<void(const TCompLine&)>;
  StepCommand(const char* keyword, Step step) : TCommandClass(keyword, 0), step_(std::move(step)) {}
  void CompilerProcess(TCompileContext& compiler, int32_t line) override {
    if (step_) step_(compiler.Lines().Lines[static_cast<size_t>(line)]);
  }

 private:
  Step step_;
};

// Every keyword of the generated script; "name", "outfile" and "pages" fill
// the setup information, "language" and "file" queue their files.
inline void RegisterStandInSteps(TCommandList& list, TCompiler& compiler) {
  TSetupInfoFile& info = compiler.SetupInfo;
  list.Add(std::make_unique<StepCommand>("name", [&](const TCompLine& l) { info.SetupName = l.Params[0]; }));
  list.Add(std::make_unique<StepCommand>("outfile", [&](const TCompLine& l) { info.SetupExeName = l.Params[0]; }));
  list.Add(std::make_unique<StepCommand>("pages", [&](const TCompLine& l) { info.Pages = l.Params[0]; }));
  list.Add(std::make_unique<StepCommand>("language", [&](const TCompLine& l) {
    // "install\English" names the folder "Install", whatever the host's file system thinks.
    std::string folder = "I" + l.Params[0].substr(1);
    compiler.FileList.AddFile(compiler.ProgramDir + "\\languages\\" + folder + ".wri", "LANGUAGE-" + l.Params[0], 0, "");
  }));
  list.Add(std::make_unique<StepCommand>("file", [&](const TCompLine& l) {
    compiler.FileList.AddDir(l.Params[0], ++compiler.FileList.LastGroup, "", false, "");
  }));
  for (const char* k : {"shortname", "prefix", "installdir", "installdirregkey", "uninstalllanguage", "uninstallpages",
                        "message", "createdirectory", "createshortcut"})
    list.Add(std::make_unique<StepCommand>(k, nullptr));
}

inline void RegisterKeywords(TCommandList& list, std::initializer_list<const char*> keywords) {
  for (const char* k : keywords) list.Add(std::make_unique<StepCommand>(k, nullptr));
}

}  // namespace window_testing
