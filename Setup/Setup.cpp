// The program body of Setup: the diagnostics first, then the command line,
// the wizard window with its idle setup thread, the start-up from the
// archive, and the wizard, shown or (silent) driven by its Next action.
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "Setup/FormMain_win32.h"
#include "Setup/SE_ErrorReport.h"
#include "Setup/SE_Startup.h"
#include "Setup/VerifyForm_win32.h"
#include "diagnostics/SErrorLog.h"
#include "diagnostics/uExceptionHook.h"
#include "platform/CommandLine.h"
#include "platform/Libraries.h"
#include "platform/Process.h"
#include "platform/Program.h"
#include "platform/gui/Application.h"

namespace {

// Any processor will do when the system refuses.
void PinToFirstProcessor() {
  try {
    platform::RestrictToFirstProcessor();
  } catch (...) {
  }
}

void AppExceptionHandler(std::exception_ptr error) { ReportUnexpectedError(ExceptionText(error), ""); }

}  // namespace

int main(int argc, char** argv) {
  platform::LoadLibrariesFromSystemFolderOnly();
  const std::vector<std::string> params = platform::ProgramParameters(argc, argv);
  InstallExceptionHook(params);
  InstallCrashBackstop();
  PinToFirstProcessor();
  SetErrorReportRoute([](const std::string& text, const std::string& type) { CreateErrorLog(text, type); });
  int exitCode = kExitFailed;
  try {
    StrictErrorSystem = false;
    SystemLangId = platform::SystemDefaultLangId();
    Silent = false;
    ReadSwitches(platform::ProgramParametersWide(argc, argv));

    gui::InitApplication();
    TFrmMainWindow wizard;
    gui::SetApplicationTitle(u"Verifying Contents");
    gui::SetExceptionHandler(AppExceptionHandler);
    ErrorLogSystem().OwnerWindow = wizard.Window().Handle();

    bool started = false;
    {
      std::unique_ptr<TFrmVerify> verify = Silent ? nullptr : std::make_unique<TFrmVerify>();
      started = StartUp(ArchiveFileName(params, platform::ProgramFile()), verify.get());
    }
    if (started) {
      wizard.Form().SetPagesUp();
      if (Silent) {
        for (;;) wizard.Form().SilentNext();  // the process ends inside
      }
      wizard.Show();
      gui::RunMessageLoop();
      exitCode = wizard.Form().ExitCode();
    }
    gui::SetExceptionHandler(nullptr);
  } catch (...) {
    ReportUnexpectedError(ExceptionText(std::current_exception()), "");
  }
  return exitCode;
}
