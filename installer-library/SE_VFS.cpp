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

// Closes the open container without saving it: the container and its side
// file stay as they were before it was opened.
void DiscardGameVFS() {
  if (GameVFS) GameVFS->Close();
  GameVFS.reset();
  GameVFSSaved = false;
}

// Saves and closes the open container. A save that fails ends the
// installation in the name of that container, which is closed all the same
// so that nothing saves it again; false then.
bool SaveAndCloseGameVFS(TVFSReport& report) {
  const std::string name = GameVFSName;
  try {
    CloseGameVFS(report);
    return true;
  } catch (const EVFSError& e) {
    DiscardGameVFS();
    Abort("Error: Unable to save <" + name + ">\n" + e.what());
    return false;
  }
}

// Adds one entry of the installer archive. An entry whose data cannot be
// read (it failed its checksum) is left out rather than stored as a file of
// its size without its data.
void AddEntry(TVFSFile& container, int index) {
  Bytes data = SetupArchive->GetData(index);
  const TPakFile& entry = SetupArchive->Entries[static_cast<size_t>(index)];
  if (!data.empty() || entry.OriginalSize == 0)
    container.Tree().AddVFSFile(entry.Name, data.empty() ? nullptr : data.data(), static_cast<uint32_t>(data.size()));
}

// The blocks the container lacks for the group's files, found by adding
// them in a trial that writes nothing. Stored raw they can only need more
// room than compressed, so they are compressed only when raw they do not
// fit.
uint64_t BlocksShort(const std::string& path, uint16_t group) {
  auto trial = [&](bool compressed) {
    TVFSFile container;
    container.OpenTrial(path);
    SetupArchive->ForEachInGroup(group, [&](int index) {
      const TPakFile& entry = SetupArchive->Entries[static_cast<size_t>(index)];
      if (compressed)
        AddEntry(container, index);
      else
        container.Tree().AddStoredFile(entry.Name, nullptr, entry.OriginalSize, {});
    });
    return container.BlocksShort();
  };
  return trial(false) == 0 ? 0 : trial(true);
}

// Why the group cannot go into the open container; empty when it can.
std::string GroupRefusal(const std::string& name, uint16_t group) {
  try {
    if (uint64_t missing = BlocksShort(GameVFS->Path(), group))
      return "Error: Not enough room in <" + name + ">: the update needs " + std::to_string(missing) +
             " more free blocks than the " + std::to_string(GameVFS->FreeBlocks()) + " it has";
  } catch (const EVFSError& e) {
    // A path it cannot store, a file where a directory belongs, no root
    // slot left: refused as a whole too.
    return "Error: Unable to update <" + name + ">\n" + e.what();
  }
  return "";
}

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
  // Both are rewritten on saving; a side file left read-only would keep
  // its old records beside a changed container.
  platform::ClearReadOnly(path);
  platform::ClearReadOnly(HashFileName(path));
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
  // A container an earlier line kept open is saved first, so that a
  // failure is reported against it and not against this one.
  if (!SaveAndCloseGameVFS(report)) return;
  try {
    OpenGameVFS(name, report);
  } catch (const EVFSError& e) {
    // A damaged or locked container is refused like a missing one, not
    // taken for an internal failure.
    return Abort("Error: Unable to open <" + name + ">\n" + e.what());
  }
  // The whole group must fit before its first file goes in: a container
  // that ran out of room halfway would keep half an update. So must the
  // copy the update is made in.
  std::string refusal = GroupRefusal(name, group);
  if (refusal.empty()) {
    try {
      GameVFS->BeginUpdate();
    } catch (const EVFSError& e) {
      refusal = "Error: Unable to update <" + name + ">\n" + e.what();
    }
  }
  if (!refusal.empty()) {
    DiscardGameVFS();
    return Abort(refusal);
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
      AddEntry(*GameVFS, index);
      report.Step(visible);
      ++done;
    });
  } catch (...) {
    failure = std::current_exception();
  }
  if (saveAndClose) {
    if (!failure) {
      SaveAndCloseGameVFS(report);
    } else {
      // The error that stopped the loop is the one to report.
      try {
        CloseGameVFS(report);
      } catch (...) {
        DiscardGameVFS();
      }
    }
  }
  if (failure) std::rethrow_exception(failure);
}
