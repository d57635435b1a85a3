// The uninstall log as the uninstaller loads it from the install folder. A
// log read whole saves again and reads back to the same lists: a finished
// uninstall step that rewrites the log loses nothing.
#include <cstdlib>

#include "fuzz/FuzzSupport.h"
#include "installer-library/SE_Uninstall_List.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace fuzz_support;
  static const std::string dir = FreshFolder("log");
  WriteFile("log/install.log", data, size);
  TUninstallList list;
  if (!list.LoadFromFile(dir, "")) return 0;
  if (!list.SaveToFile(dir, "")) std::abort();
  TUninstallList again;
  if (!again.LoadFromFile(dir, "") || again.Files() != list.Files() || again.RegEntries() != list.RegEntries() ||
      again.Dirs() != list.Dirs())
    std::abort();
  return 0;
}
