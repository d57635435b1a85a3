// The packer program's entry point.
#include <exception>

#include "packer/Main.h"
#include "platform/CommandLine.h"
#include "platform/Console.h"
#include "platform/Libraries.h"
#include "platform/Text.h"
#include "platform/Version.h"
#include "platform/WidePath.h"

int main(int argc, char** argv) {
  platform::LoadLibrariesFromSystemFolderOnly();
  // Its parameters are switches and paths, kept as 8-bit text: one the code
  // page can carry neither as it is nor by its short form would name
  // another file or none.
  for (const std::u16string& given : platform::ProgramParametersWide(argc, argv)) {
    if (given.empty() || !platform::NarrowPath(given).empty()) continue;
    platform::WriteErrorLine(u"Error: Cannot use " + given + u": it " + platform::AnsiToWide(platform::kNoNarrowPath));
    return kExitFailure;
  }
  platform::ConsoleScreen screen;
  int code = kExitFailure;
  std::u16string error;
  {
    TConsole console(screen);
    TPacker packer(console);
    try {
      code = packer.RunPacker(platform::ProgramParameters(argc, argv), platform::OwnFileVersion());
      error = console.Plain() ? u"" : packer.Error();
    } catch (const std::exception& e) {
      error = platform::AnsiToWide(e.what());
    }
  }
  // Scroll-back and cursor come back before anything more is printed, so
  // the message lands below the drawn screen.
  screen.Restore();
  if (!error.empty())
    for (const std::u16string& line : ErrorLines(error)) platform::WriteErrorLine(line);
  return code;
}
