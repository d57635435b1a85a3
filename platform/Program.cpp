#include "platform/Program.h"

#include "platform/WidePath.h"

namespace platform {

std::string ProgramFile() {
  const std::u16string path = ProgramFileWide();
  return path.empty() ? std::string() : NarrowPath(path);
}

}  // namespace platform
