// Torvane, the package compiler: one window in which the author fills in the
// setup and mod settings and compiles them into an installer.
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "compiler/FormMain_win32.h"
#include "compiler/FormSelectDir_win32.h"
#include "compiler/TCompiler.h"
#include "diagnostics/SErrorLog.h"
#include "diagnostics/uExceptionHook.h"
#include "platform/CommandLine.h"
#include "platform/Libraries.h"
#include "platform/Program.h"
#include "platform/Text.h"
#include "platform/WidePath.h"

namespace {

// For the end-to-end tests only: with TORVANE_TEST_RAISE set, a build raises
// that text once its first entry is under way, as an error no code of ours
// foresees would, so that the tests see how Torvane ends then.
void RaiseInBuildForTests() {
  const char* text = std::getenv("TORVANE_TEST_RAISE");
  if (!text || !*text) return;
  GlobalCompiler.StatusCallback = [status = GlobalCompiler.StatusCallback,
                                   raise = std::string(text)](const std::string& line) {
    if (status) status(line);
    if (line.find(" is being processed ") != std::string::npos) throw std::runtime_error(raise);
  };
}

}  // namespace

int main(int argc, char** argv) {
  platform::LoadLibrariesFromSystemFolderOnly();
  const std::vector<std::string> parameters = platform::ProgramParameters(argc, argv);
  // The hook stays strict for the whole run: any raise ends the program with
  // its box and stack trace, and the error report. So nothing an author's
  // files hold may raise on Torvane's paths: every check returns its reason.
  InstallExceptionHook(parameters);
  // What no handler takes ends in the error report.
  InstallCrashBackstop();
  // Number texts never follow the user's locale here: sizes are formatted
  // by our own code with "." as the decimal separator.
  gui::InitApplication();
  gui::SetApplicationTitle(platform::AnsiToWide(kApplicationTitle));
  // Its layouts, languages and base program lie beside it, reached through
  // the 8-bit path of its own folder.
  if (GlobalCompiler.ProgramDir.empty()) {
    gui::MessageBoxWide(u"Error: Torvane cannot work from its folder: " + platform::ProgramFileWide() + u"\rIt " +
                            platform::AnsiToWide(platform::kNoNarrowPath) + u".",
                        u"Error", gui::kMbOk);
    return 1;
  }
  TFrmMainWindow main(GlobalCompiler, parameters);
  // A report names the setup being built.
  ErrorLogSystem().Subject = [] { return ErrorLogSubjectOf(&GlobalCompiler.SetupInfo, nullptr); };
  RaiseInBuildForTests();
  TFrmSelectDir selectDir;
  main.SetSelectDir(&selectDir);
  main.Show();
  gui::RunMessageLoop();
  return 0;
}
