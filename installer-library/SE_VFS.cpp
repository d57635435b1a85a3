#include "installer-library/SE_VFS.h"

#include <exception>

#include "installer-library/QXI_Commands.h"
#include "installer-library/SE_Global.h"
#include "installer-library/SE_Languages.h"
#include "platform/File.h"
#include "platform/Text.h"

using platform::AnsiToWide;

std::unique_ptr<TVFSFile> GameVFS;
std::string GameVFSName;
bool GameVFSSaved = false;

namespace {

constexpr uint16_t kSavingText = 20;
constexpr uint16_t kOpeningText = 29;

std::u16string WithName(uint16_t number, const std::string& name) {
  return TLanguages::ReplaceText(Languages.GetString(number), u"<%QXPNAME%>", AnsiToWide(name));
}

std::string ContainerPath(const std::string& name) { return AddBackslash(SetupInfoFile.InstallDir) + name; }

// The container cannot be used: the user is told, the finish page shows the
// failure text and the script stops after this line.
void Abort(const std::string& text) { FailInstallation(text, "VFS Error"); }

}  // namespace

void TVFSReport::Status(const std::u16string& text) { SetStatusText(text); }

void TVFSReport::Step(bool visible) { StepProgress(visible); }

TVFSReport& HandOffReport() {
  static TVFSReport report;
  return report;
}

std::u16string FormatVFSProgress(const std::string& name, uint32_t done, uint32_t total) {
  return FormatProgressText(AnsiToWide(name), done, total);
}

void OpenGameVFS(const std::string& name, TVFSReport& report) {
  CloseGameVFS(report);
  report.Status(WithName(kOpeningText, name));
  std::string path = ContainerPath(name);
  platform::ClearReadOnly(path);
  auto container = std::make_unique<TVFSFile>();
  container->Open(path, true);
  GameVFS = std::move(container);
  GameVFSName = name;
  GameVFSSaved = false;
}

void SaveGameVFS(TVFSReport& report) {
  if (!GameVFS) return;
  report.Status(WithName(kSavingText, GameVFSName));
  GameVFS->Save(false);
  GameVFSSaved = true;
}

void CloseGameVFS(TVFSReport& report) {
  if (!GameVFS) return;
  if (!GameVFSSaved) SaveGameVFS(report);
  GameVFS->Close();
  GameVFS.reset();
  GameVFSSaved = false;
}

void UpdateGameVFS(uint16_t group, const std::string& name, bool saveAndClose, TVFSReport& report) {
  uint32_t total = SetupArchive ? static_cast<uint32_t>(SetupArchive->CountInGroup(group)) : 0;
  if (total == 0) return;
  if (!platform::FileExists(ContainerPath(name))) return Abort("Error: Unable to find <" + name + ">");
  try {
    OpenGameVFS(name, report);
  } catch (const EVFSError& e) {
    // A damaged or locked container is refused like a missing one, not
    // taken for an internal failure.
    return Abort("Error: Unable to open <" + name + ">\n" + e.what());
  }

  uint32_t done = 0, shown = 0;
  report.Status(FormatVFSProgress(name, 0, total));
  std::exception_ptr failure;
  try {
    SetupArchive->ForEachInGroup(group, [&](int index) {
      // A step is shown only when the whole percentage has grown.
      uint32_t percent = static_cast<uint32_t>(uint64_t{done} * 100 / total);
      bool visible = percent > shown;
      if (visible) shown = percent;
      report.Status(FormatVFSProgress(GameVFSName, done, total));
      Bytes data = SetupArchive->GetData(index);
      const TPakFile& entry = SetupArchive->Entries[static_cast<size_t>(index)];
      // An entry whose data cannot be read (it failed its checksum) is left
      // out rather than stored as a file of its size without its data.
      if (!data.empty() || entry.OriginalSize == 0) {
        GameVFS->Tree().AddVFSFile(entry.Name, data.empty() ? nullptr : data.data(),
                                   static_cast<uint32_t>(data.size()));
      }
      report.Step(visible);
      ++done;
    });
  } catch (...) {
    failure = std::current_exception();
  }
  if (saveAndClose) {
    if (!failure) {
      SaveGameVFS(report);
      CloseGameVFS(report);
    } else {
      // The error that stopped the loop is the one to report.
      try {
        SaveGameVFS(report);
        CloseGameVFS(report);
      } catch (...) {
      }
    }
  }
  if (failure) std::rethrow_exception(failure);
}
