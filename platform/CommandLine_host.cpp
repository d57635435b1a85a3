#include "platform/CommandLine.h"
#include "platform/Text.h"

namespace platform {

std::vector<std::u16string> ProgramParametersWide(int argc, char** argv) {
  std::vector<std::u16string> items;
  for (int i = 1; i < argc; ++i) items.push_back(AnsiToWide(argv[i]));
  return items;
}

}  // namespace platform
