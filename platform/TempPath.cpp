#include "platform/TempPath.h"

#include <cstdint>

#include "platform/Directory.h"
#include "platform/System.h"

namespace platform {

std::string MakePrivateTempFolder() {
  const std::string temp = TempPath();
  uint8_t random[16];
  if (temp.empty() || !SystemRandomBytes(random, sizeof random)) return {};
  static const char kDigits[] = "0123456789abcdef";
  std::string folder = temp;
  for (uint8_t byte : random) {
    folder += kDigits[byte >> 4];
    folder += kDigits[byte & 15];
  }
  // A name that is there already was not made here: it is never used.
  return MakePrivateDir(folder) ? folder + "\\" : std::string();
}

}  // namespace platform
