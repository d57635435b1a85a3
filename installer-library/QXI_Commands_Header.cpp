// Header commands: at compile time they fill the setup information that the
// builder stores in the installer, or queue a language file for packing.
// They never run in Setup.
#include "installer-library/QXI_Commands.h"
#include "installer-library/QXI_CompLines.h"
#include "installer-library/QXI_RegRoot.h"
#include "installer-library/QXI_SetupInfo.h"

namespace {

// The line's parameters once its check for `needed` has passed; null after
// a failed check, which has reported the error.
const std::vector<std::string>* CheckedParams(TCompileContext& compiler, int32_t lineIndex, int32_t needed) {
  if (!CheckParams(compiler, lineIndex, needed)) return nullptr;
  return &compiler.Lines().Lines[static_cast<size_t>(lineIndex)].Params;
}

// The language file beside the compiler, packed under entryPrefix + name.
void QueueLanguage(TCompileContext& compiler, int32_t lineIndex, const std::string& entryPrefix) {
  const auto* p = CheckedParams(compiler, lineIndex, 1);
  if (!p) return;
  const std::string& name = (*p)[0];
  compiler.QueueFile(compiler.ProgramFolder() + "\\languages\\" + name + ".wri", entryPrefix + name, 0);
}

}  // namespace

void TNameCommand::CompilerProcess(TCompileContext& compiler, int32_t lineIndex) {
  if (const auto* p = CheckedParams(compiler, lineIndex, 1)) {
    // The short name follows unless a later shortname line sets its own.
    compiler.Info().SetupName = (*p)[0];
    compiler.Info().SetupShortName = (*p)[0];
  }
}

void TShortNameCommand::CompilerProcess(TCompileContext& compiler, int32_t lineIndex) {
  if (const auto* p = CheckedParams(compiler, lineIndex, 1)) compiler.Info().SetupShortName = (*p)[0];
}

void TOutFileCommand::CompilerProcess(TCompileContext& compiler, int32_t lineIndex) {
  if (const auto* p = CheckedParams(compiler, lineIndex, 1)) compiler.Info().SetupExeName = (*p)[0];
}

void TUninstallPrefixCommand::CompilerProcess(TCompileContext& compiler, int32_t lineIndex) {
  if (const auto* p = CheckedParams(compiler, lineIndex, 1)) {
    compiler.Info().UninstallPrefix = (*p)[0] + "_";
    compiler.Info().UninstallExe = (*p)[0] + "_Uninstall.exe";
  }
}

void TInstallDirCommand::CompilerProcess(TCompileContext& compiler, int32_t lineIndex) {
  if (const auto* p = CheckedParams(compiler, lineIndex, 1)) compiler.Info().InstallDir = (*p)[0];
}

void TInstallDirRegKeyCommand::CompilerProcess(TCompileContext& compiler, int32_t lineIndex) {
  const auto* p = CheckedParams(compiler, lineIndex, 3);
  if (!p || !CheckRegRoot(compiler, lineIndex, 0)) return;
  // The first five lines fill the five slots in order; every further line
  // overwrites the last one.
  uint16_t& slot = compiler.RegKeyCount();
  if (slot >= kInstallDirRegKeys) slot = kInstallDirRegKeys - 1;
  compiler.Info().InstallDirRegKey[slot] = TREGKEY{RegRootFromName((*p)[0]), (*p)[1], (*p)[2]};
  if (slot < kInstallDirRegKeys - 1) ++slot;
}

void TChangelogCommand::CompilerProcess(TCompileContext& compiler, int32_t lineIndex) {
  // Kept as written: the builder reads it relative to the source folder
  // when there is one, and as written otherwise.
  if (const auto* p = CheckedParams(compiler, lineIndex, 1)) compiler.Info().Changelog = (*p)[0];
}

void TPagesCommand::CompilerProcess(TCompileContext& compiler, int32_t lineIndex) {
  if (const auto* p = CheckedParams(compiler, lineIndex, 1)) compiler.Info().Pages = (*p)[0];
}

void TUninstallPagesCommand::CompilerProcess(TCompileContext& compiler, int32_t lineIndex) {
  if (const auto* p = CheckedParams(compiler, lineIndex, 1)) {
    compiler.Info().UninstallPages = (*p)[0];
    compiler.Info().HasUninstall = 1;
  }
}

void TLanguageCommand::CompilerProcess(TCompileContext& compiler, int32_t lineIndex) {
  QueueLanguage(compiler, lineIndex, "LANGUAGE-");
}

void TUninstallLanguageCommand::CompilerProcess(TCompileContext& compiler, int32_t lineIndex) {
  QueueLanguage(compiler, lineIndex, "UNINSTALL_LANGUAGE-");
}
