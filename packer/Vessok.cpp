// The packer program's entry point.
#include <exception>

#include "packer/Main.h"
#include "platform/CommandLine.h"
#include "platform/Console.h"
#include "platform/Libraries.h"
#include "platform/Version.h"

int main(int argc, char** argv) {
  platform::LoadLibrariesFromSystemFolderOnly();
  platform::ConsoleScreen screen;
  int code = kExitFailure;
  std::string error;
  {
    TConsole console(screen);
    TPacker packer(console);
    try {
      code = packer.RunPacker(platform::ProgramParameters(argc, argv), platform::OwnFileVersion());
      error = console.Plain() ? "" : packer.Error();
    } catch (const std::exception& e) {
      error = e.what();
    }
  }
  // Scroll-back and cursor come back before anything more is printed, so
  // the message lands below the drawn screen.
  screen.Restore();
  if (!error.empty())
    for (const std::string& line : ErrorLines(error)) platform::WriteErrorLine(line);
  return code;
}
