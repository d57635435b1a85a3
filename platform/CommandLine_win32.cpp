#include <windows.h>

#include "platform/CommandLine.h"

namespace platform {

std::vector<std::string> ProgramParameters(int, char**) {
  std::vector<std::string> items = SplitCommandLine(GetCommandLineA());
  if (!items.empty()) items.erase(items.begin());
  return items;
}

}  // namespace platform
