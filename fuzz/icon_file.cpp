// An icon file as the compiler reads it for the installer's icon: its first
// image, which must be a bitmap or PNG lying wholly in the file.
#include <cstdlib>

#include "fuzz/FuzzSupport.h"
#include "installer-library/iconchanger.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path = fuzz_support::WriteFile("icon.ico", data, size);
  Bytes image;
  if (ReadFirstIconImage(path, image) && (image.empty() || image.size() > size)) std::abort();
  return 0;
}
