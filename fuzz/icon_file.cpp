// An icon file as the compiler reads it for the installer's icon: every
// image a bitmap or PNG lying wholly in the file, in bytes of its own.
#include <cstdlib>

#include "fuzz/FuzzSupport.h"
#include "installer-library/iconchanger.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path = fuzz_support::WriteFile("icon.ico", data, size);
  std::vector<TIconImage> images;
  std::string reason;
  if (!ReadIconFile(path, images, reason)) {
    if (reason.empty() || !images.empty()) std::abort();
    return 0;
  }
  size_t total = 0;
  for (const TIconImage& image : images) {
    if (image.Data.empty()) std::abort();
    total += image.Data.size();
  }
  if (total > size) std::abort();
  return 0;
}
