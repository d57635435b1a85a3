// An installation as the game archive updater sees it, for the benchmark
// programs: the installer archive, the folder of the game archive, and
// failures printed instead of shown.
#pragma once

#include <cstdio>
#include <exception>
#include <string>
#include <utility>

#include "Global/QX_PakSystem.h"

// The updater's view of an installation: the installer archive and the
// folder holding the game archive; failures are printed.
class Installation : public TPakSystemHost, public TPakSystemAlerts {
 public:
  Installation(TPak& pak, std::string folder) : pak_(pak), folder_(std::move(folder)) {}
  TPak* SetupArchive() override { return &pak_; }
  std::string ArchivePath(const std::string& name) override { return folder_ + "/" + name; }
  bool IsOfficialAccessCode(const std::string&) override { return false; }
  void ShowProgress(const std::string&, int32_t, int32_t) override {}
  void ShowWriting(const std::string&) override {}
  void StepProgress(bool) override {}
  void Fail(const std::string& text) override {
    std::printf("  the update failed: %s\n", text.c_str());
    ok = false;
  }
  bool AskRetry(const std::string& text) override {
    Fail(text);
    return false;
  }
  void Cancelled() override {}
  // Adds group 1 of the installer archive to the game archive of that name.
  void Update(TPakSystem& updater, const std::string& archive) {
    try {
      updater.UpdateArchive(1, archive, "");
    } catch (const std::exception& e) {
      std::printf("  qxpupdate failed: %s\n", e.what());
      ok = false;
    }
  }
  bool ok = true;

 private:
  TPak& pak_;
  std::string folder_;
};
