#include <windows.h>

#include "platform/CommandLine.h"

namespace platform {

std::vector<std::u16string> ProgramParametersWide(int, char**) {
  std::vector<std::u16string> items =
      SplitCommandLine(std::u16string(reinterpret_cast<const char16_t*>(GetCommandLineW())));
  if (!items.empty()) items.erase(items.begin());
  return items;
}

}  // namespace platform
