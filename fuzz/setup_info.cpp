// The setup information record as Setup loads it from its archive. A record
// that loads must store again to the very same bytes: nothing is lost or
// made up on the way in.
#include <cstdlib>
#include <cstring>

#include "installer-library/QXI_SetupInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TSetupInfoFile info;
  std::string reason;
  if (!info.LoadFromBuffer(data, size, reason)) {
    if (reason.empty()) std::abort();  // a refusal says why
    return 0;
  }
  Bytes again;
  if (!info.Store(again) || again.size() != size || std::memcmp(again.data(), data, size) != 0) std::abort();
  return 0;
}
