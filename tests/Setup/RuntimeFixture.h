// The installer globals of one run of Setup's runtime, made for one test:
// an installer archive, the script's commands (the test's own), an install
// folder, and message boxes, shell starts and error reports recorded
// instead of shown. Registry keys live under a name of the test's own and
// are removed afterwards (the stand-in natively, Wine's registry on
// Windows builds).
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Global/QXI_PakFile.h"
#include "Setup/SE_ErrorReport.h"
#include "installer-library/QXI_CommandList.h"
#include "platform/File.h"
#include "platform/MessageBox.h"
#include "platform/Registry.h"
#include "tests/installer-library/GlobalsFixture.h"
#include "tests/support/LanguageFile.h"
#include "tests/support/TempDir.h"

// A command whose run step records the line it was given and then does
// what the test asks of it.
class TScriptedCommand : public TCommandClass {
 public:
  TScriptedCommand(std::vector<int32_t>& ran, std::function<void(int32_t)> action, int32_t kind = 0)
      : TCommandClass("scripted", 0), ran_(ran), action_(std::move(action)), kind_(kind) {}
  void SFXProcess(int32_t line) override {
    ran_.push_back(line);
    if (action_) action_(line);
  }
  int32_t FileKind() const override { return kind_; }

 private:
  std::vector<int32_t>& ran_;
  std::function<void(int32_t)> action_;
  int32_t kind_;
};

struct RecordedBox {
  std::string Text, Caption;
  unsigned Flags = 0;
  bool operator==(const RecordedBox&) const = default;
};

struct ReportedError {
  std::string Text, Type;
  bool operator==(const ReportedError&) const = default;
};

// One archive entry to write: name, group, contents.
struct ArchiveItem {
  std::string Name;
  uint16_t Group = 0;
  std::string Data;
};

class RuntimeTest : public InstallerGlobals {
 protected:
  static constexpr const char* kShortName = "ModKit Runtime Test";

  void SetUp() override {
    InstallerGlobals::SetUp();
    CompLines = TCompLines();
    CommandList = TCommandList();
    CurrentLine = -1;
    AbortFlag = false;
    SetupArchive = nullptr;
    installDir = testing_support::DrivePath(dir.Path()) + "\\Game";
    SetupInfoFile.InstallDir = installDir;
    SetupInfoFile.SetupShortName = kShortName;
    platform::SetMessageBoxHandler([this](const std::string& text, const std::string& caption, unsigned flags) {
      boxes.push_back({text, caption, flags});
      return answer;
    });
    SetErrorReportRoute([this](const std::string& text, const std::string& type) {
      errors.push_back({text, type});
      ++errorCount;
    });
  }

  void TearDown() override {
    SetErrorReportRoute(nullptr);
    platform::SetMessageBoxHandler(nullptr);
    SetupArchive = nullptr;
    archive.reset();
    CommandList = TCommandList();
    CompLines = TCompLines();
    RemoveUninstallKey();
    InstallerGlobals::TearDown();
  }

  // Registers a scripted command; its id.
  int32_t AddCommand(std::function<void(int32_t)> action = nullptr, int32_t kind = 0) {
    return CommandList.Add(std::make_unique<TScriptedCommand>(ran, std::move(action), kind)) + 1;
  }

  static TCompLine Cmd(int32_t id, std::vector<std::string> params = {}) {
    TCompLine line;
    line.Id = id;
    line.Params = std::move(params);
    return line;
  }

  // The lines as a stored script holds them: each line's Line is its index.
  static TCompLines Script(const std::vector<TCompLine>& lines) {
    TCompLines script;
    script.Lines = lines;
    for (size_t i = 0; i < script.Lines.size(); ++i) script.Lines[i].Line = static_cast<int32_t>(i);
    return script;
  }

  // Writes stub + an archive of the items to a file of the test's folder.
  std::string WriteArchiveFile(const std::string& name, const std::vector<ArchiveItem>& items,
                               const std::string& stub = "") {
    std::string path = dir.File(name);
    testing_support::WriteFileText(path, stub);
    TPak writer(path, true, false);
    for (const ArchiveItem& item : items) {
      int index = writer.AddEntry(item.Name, "", item.Group);
      EXPECT_TRUE(writer.WriteEntryData(index, item.Data.data(), item.Data.size())) << item.Name;
    }
    EXPECT_TRUE(writer.WriteTable());
    return path;
  }

  // Makes the archive of that file the installer's archive.
  void OpenArchive(const std::string& path) {
    archive = std::make_unique<TPak>(path, false, false);
    SetupArchive = archive.get();
  }

  // Whole files at paths as the system writes them ("Z:\...").
  static std::string ReadText(const std::string& path) {
    Bytes data;
    std::string reason;
    EXPECT_TRUE(ReadWholeFile(path, data, reason)) << reason;
    return std::string(data.begin(), data.end());
  }
  static void WriteText(const std::string& path, const std::string& text) {
    platform::File file(path, platform::OpenMode::Create);
    ASSERT_TRUE(file.IsOpen() && file.Write(text.data(), text.size())) << path;
  }

  static void AddLanguage(const std::u16string& text) {
    std::vector<uint8_t> bytes = testing_support::LanguageFileBytes(text);
    Languages.AddFromBuffer(bytes.data(), bytes.size());
    Languages.Current = 0;
  }

  static void RemoveUninstallKey() {
    platform::Registry reg;
    reg.SetRoot(0);
    reg.DeleteKey(std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + kShortName);
  }

  testing_support::TempDir dir;
  std::string installDir;
  std::unique_ptr<TPak> archive;
  std::vector<int32_t> ran;
  std::vector<RecordedBox> boxes;
  int answer = platform::kIdOk;
  std::vector<ReportedError> errors;
  std::atomic<int> errorCount{0};  // for a test that waits on another thread's report
};
