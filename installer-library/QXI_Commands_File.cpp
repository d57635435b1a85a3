// The file command and the numbering of packed file groups. Each line of
// file, qxpupdate and vfsupdate owns the next group number from 1 up; the
// compile step appends it to the line and queues the line's files in it,
// and the run step finds its group by that last parameter.
#include "installer-library/QXI_Commands.h"
#include "installer-library/QXI_CompLines.h"
#include "installer-library/QXI_PakExtract.h"
#include "installer-library/QXI_RegRoot.h"
#include "installer-library/SE_Global.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"

bool AllocateFileGroup(TCompileContext& compiler, int32_t lineIndex, int32_t nameParam) {
  TCompLine& line = compiler.Lines().Lines[static_cast<size_t>(lineIndex)];
  // One number more would wrap to group 0, the installer's own items, which
  // no line extracts: the line's files would be packed and never installed.
  if (compiler.LastGroup() == UINT16_MAX) {
    compiler.SetError("Too many file groups - a script holds at most 65535 file, qxpupdate and vfsupdate lines",
                      line.Line);
    return false;
  }
  uint16_t group = ++compiler.LastGroup();
  std::vector<std::string>& params = line.Params;
  std::string groupName = nameParam >= 0 ? params[static_cast<size_t>(nameParam)] : std::string();
  params.push_back(std::to_string(group));
  compiler.QueueDir(params[0], group, groupName);
  return true;
}

bool StoredGroup(int32_t lineIndex, uint16_t& group) {
  int32_t value = LineFromStr(RunParam(lineIndex, RunParamCount(lineIndex) - 1));
  // Group 0 holds the installer's own items and is never handed out.
  if (value < 1 || value > UINT16_MAX) return false;
  group = static_cast<uint16_t>(value);
  return true;
}

bool IsAbsolutePath(const std::string& path) {
  auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  // A drive root ("D:\\") is as absolute as any folder below it.
  return path.size() >= 3 && letter(path[0]) && path[1] == ':' && path[2] == '\\';
}

std::string ResolveTargetDir(const std::string& path) {
  return IsAbsolutePath(path) ? AddBackslash(path) : AddBackslash(SetupInfoFile.InstallDir) + AddBackslash(path);
}

bool RegValueEquals(const std::string& rootName, const std::string& keyPath, const std::string& valueName,
                    const std::string& expected) {
  // Read-only: a condition must not leave keys behind. A key that does
  // not exist reads as one without values.
  Registry.SetRoot(RegRootFromName(rootName));
  std::string value;
  bool equal = true;
  if (Registry.OpenKeyReadOnly(keyPath) && !Registry.ReadString(valueName, value))
    // A value of another type (a number, binary data) is no text at all,
    // not even the empty one; only a missing value reads as empty.
    equal = !Registry.ValueExists(valueName);
  Registry.CloseKey();
  return equal && value == expected;
}

bool RegConditionHolds(const std::string& rootName, const std::string& keyPath, const std::string& valueName,
                       const std::string& expected, const std::string& senseWord) {
  bool equal = RegValueEquals(rootName, keyPath, valueName, expected);
  std::string sense = platform::AnsiLowerCase(senseWord);
  return sense == "0" || sense == "false" || sense == "f" ? !equal : equal;
}

void TFileCommand::CompilerProcess(TCompileContext& compiler, int32_t lineIndex) {
  if (!CheckParams(compiler, lineIndex, 1)) return;
  // The conditional form names a registry root.
  if (compiler.Lines().Lines[static_cast<size_t>(lineIndex)].ParamCount() == 7) CheckRegRoot(compiler, lineIndex, 2);
  AllocateFileGroup(compiler, lineIndex, kNoGroupName);
}

void TFileCommand::SFXProcess(int32_t lineIndex) {
  std::string dir;
  switch (RunParamCount(lineIndex) - 1) {  // the parameters the script gave
    case 1:
      dir = SetupInfoFile.InstallDir;
      break;
    case 2:
      dir = ResolveTargetDir(ExpandedParam(lineIndex, 1));
      break;
    case 7:
      if (!RegConditionHolds(RunParam(lineIndex, 2), RunParam(lineIndex, 3), RunParam(lineIndex, 4),
                             RunParam(lineIndex, 5), RunParam(lineIndex, 6)))
        return;
      dir = ResolveTargetDir(ExpandedParam(lineIndex, 1));
      break;
    default:
      platform::ShowMessageBox("TFileCommand.SFXProcess - Param Count Invalid!!!", "Error", platform::kMbOk);
      return;
  }
  uint16_t group;
  if (!SetupArchive || !StoredGroup(lineIndex, group)) return;
  std::string error;
  if (!ExtractGroup(*SetupArchive, dir, group, error)) FailInstallation(error);
}
