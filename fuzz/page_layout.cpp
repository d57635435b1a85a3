// The wizard's layout as Setup builds it: the index "Pages.txt" and the page
// files it names, read from the installer archive, every page built, shown
// and translated again. An input is the index, then the files "1.txt",
// "2.txt", ... (pictures "n.bmp" or "n.jpg" when their bytes begin like one),
// separated by the part marker.
#include <cstdlib>
#include <exception>
#include <memory>

#include "Global/QXI_PakFile.h"
#include "Setup/SE_Parser.h"
#include "fuzz/FuzzSupport.h"
#include "installer-library/SE_Global.h"
#include "installer-library/SE_Languages.h"
#include "platform/MessageBox.h"

namespace {

std::string PartName(size_t i, std::string_view part) {
  if (i == 0) return "Pages.txt";
  std::string ext = part.substr(0, 2) == "BM" ? ".bmp" : part.substr(0, 2) == "\xFF\xD8" ? ".jpg" : ".txt";
  return std::to_string(i) + ext;
}

void Setup() {
  static const bool done = [] {
    platform::SetMessageBoxHandler([](const std::string&, const std::string&, unsigned) { return platform::kIdOk; });
    const std::u16string english =
        u"\xFEFF"
        u"English\r\n409;\r\n12 < Back\r\n13 Next >\r\n20 Welcome to <%SETUPTITLE%>\r\n";
    Languages.AddFromBuffer(english.data(), english.size() * 2);
    Languages.Current = 0;
    SetupInfoFile.SetupName = "Fuzzed Mod";
    return true;
  }();
  (void)done;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace fuzz_support;
  Setup();
  std::vector<std::string_view> parts = Split(data, size, kPartMarker);
  if (parts.size() > 16) return 0;
  std::string path = WorkFile("layout.pak");
  {
    TPak writer(path, false, true);
    for (size_t i = 0; i < parts.size(); ++i) {
      int index = writer.AddEntry(PartName(i, parts[i]), "", 0);
      if (index < 0 || !writer.WriteEntryData(index, parts[i].data(), parts[i].size())) std::abort();
    }
    if (!writer.WriteTable()) std::abort();
  }
  TPak archive(path, false, false);
  SetupArchive = &archive;
  {
    TPanel panel(nullptr);
    TTntButton back(nullptr), next(nullptr), cancel(nullptr), language(nullptr);
    TSEPageControl pages(&back, &panel, &language, &cancel, &next);
    try {
      pages.LoadFromFile("Pages.txt");
      for (size_t i = 0; i < pages.Pages.size() && i < 32; ++i) pages.ShowPage(static_cast<int32_t>(i));
      pages.Retranslate();
    } catch (const std::exception&) {
      // A layout error is reported to the user as the program's error.
    }
  }
  SetupArchive = nullptr;
  return 0;
}
