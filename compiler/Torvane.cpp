// Torvane, the package compiler: one window in which the author fills in the
// setup and mod settings and compiles them into an installer.
#include "compiler/FormMain_win32.h"
#include "compiler/FormSelectDir_win32.h"
#include "compiler/TCompiler.h"
#include "platform/CommandLine.h"
#include "platform/Text.h"

int main(int argc, char** argv) {
  // Number texts never follow the user's locale here: sizes are formatted
  // by our own code with "." as the decimal separator.
  gui::InitApplication();
  gui::SetApplicationTitle(platform::AnsiToWide(kApplicationTitle));
  TFrmMainWindow main(GlobalCompiler, platform::ProgramParameters(argc, argv));
  TFrmSelectDir selectDir;
  main.SetSelectDir(&selectDir);
  main.Show();
  gui::RunMessageLoop();
  return 0;
}
