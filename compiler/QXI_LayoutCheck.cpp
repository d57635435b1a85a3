#include "compiler/QXI_LayoutCheck.h"

#include <exception>
#include <functional>
#include <utility>

#include "Global/QXI_PakFile.h"
#include "Setup/SE_Parser.h"
#include "Setup/SE_Uninstaller.h"
#include "diagnostics/SHookQuiet.h"
#include "installer-library/SE_Global.h"
#include "platform/MessageBox.h"

namespace {

// The entries the uninstaller is written with, under its names for them.
std::vector<TPakFile> UninstallerEntries(const std::vector<TPakFile>& entries) {
  std::vector<TPakFile> items;
  for (const TPakFile& e : entries) {
    std::string name = UninstallerItemName(e);
    if (name.empty()) continue;
    items.push_back(e);
    items.back().Name = std::move(name);
  }
  return items;
}

// The installer's globals that its parser reads, set for one check and put
// back afterwards: the archive it reads its entries from, the setup
// information behind the placeholders, and the boxes it shows, which go to
// `box` instead.
class TInstallerStage {
 public:
  TInstallerStage(TPak& archive, const TSetupInfoFile& info, std::function<void(const std::string&)> box)
      : archive_(SetupArchive), info_(SetupInfoFile) {
    SetupArchive = &archive;
    SetupInfoFile = info;
    boxes_ =
        platform::SetMessageBoxHandler([box = std::move(box)](const std::string& text, const std::string&, unsigned) {
          box(text);
          return platform::kIdOk;
        });
  }
  ~TInstallerStage() {
    platform::SetMessageBoxHandler(std::move(boxes_));
    SetupInfoFile = std::move(info_);
    SetupArchive = archive_;
  }
  TInstallerStage(const TInstallerStage&) = delete;
  TInstallerStage& operator=(const TInstallerStage&) = delete;

 private:
  TPak* archive_;
  TSetupInfoFile info_;
  platform::MessageBoxHandler boxes_;
};

std::string PagesFault(TPak& archive, const TSetupInfoFile& info) {
  std::string fault;
  const TSEPageControl* reading = nullptr;
  // The first fault is the reason, after the file the parser was reading.
  auto take = [&fault, &reading](const std::string& text) {
    if (!fault.empty()) return;
    const std::string& page = reading ? reading->LoadingPage : std::string();
    fault = (page.empty() ? std::string("Pages.txt") : "page \"" + page + "\"") + ": " + text;
  };
  // A file the installer misses is a box, and it goes on without it.
  TInstallerStage stage(archive, info, take);
  TPanel panel(nullptr);
  TTntButton back(nullptr), language(nullptr), cancel(nullptr), next(nullptr);
  TSEPageControl pages(&back, &panel, &language, &cancel, &next);
  reading = &pages;
  // What the installer cannot show, its parser raises, as its start-up
  // expects: here each raise is the reason.
  THookQuietScope quiet;
  try {
    pages.LoadFromFile("Pages.txt");
  } catch (const std::exception& e) {
    take(e.what());
  }
  return fault;
}

}  // namespace

std::string LayoutPagesFault(TPak& archive, const TSetupInfoFile& info, bool uninstaller) {
  if (!uninstaller) return PagesFault(archive, info);
  std::vector<TPakFile> entries = std::move(archive.Entries);
  archive.Entries = UninstallerEntries(entries);
  std::string fault = PagesFault(archive, info);
  archive.Entries = std::move(entries);
  return fault;
}
