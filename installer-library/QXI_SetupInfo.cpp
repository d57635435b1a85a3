#include "installer-library/QXI_SetupInfo.h"

#include <utility>

#include "platform/buffer_type.h"

bool TSetupInfoFile::Store(Bytes& out) const {
  out.clear();
  bool ok = true;
  for (const std::string* s :
       {&SetupName, &SetupShortName, &SetupExeName, &UninstallExe, &UninstallPrefix, &InstallDir, &Changelog})
    ok = ok && PutStr(out, *s);
  for (const TREGKEY& slot : InstallDirRegKey) {
    out.push_back(slot.HKEY);
    ok = ok && PutStr(out, slot.Path) && PutStr(out, slot.Key);
  }
  ok = ok && PutStr(out, Pages) && PutStr(out, UninstallPages);
  out.push_back(IsUninstaller);
  out.push_back(HasUninstall);
  return ok;
}

bool TSetupInfoFile::LoadFromBuffer(const void* data, size_t size, std::string& reason) {
  reason.clear();
  if (size > UINT32_MAX) {
    reason = "A block of " + std::to_string(size) + " bytes is no setup information";
    return false;
  }
  TBufferManager in(data, static_cast<uint32_t>(size));
  TSetupInfoFile r;
  // The fields in their stored order; the first that runs past the end is
  // the reason.
  auto field = [&](const std::string& name, bool isString, auto read) {
    uint32_t at = in.Position;
    if (reason.empty() && !read()) reason = CutValueText(in, at, name, isString);
  };
  auto str = [&](const std::string& name, std::string& s) { field(name, true, [&] { return ReadStr(in, s); }); };
  auto byte = [&](const std::string& name, uint8_t& b) { field(name, false, [&] { return in.Read(1, &b) == 1; }); };
  str("SetupName", r.SetupName);
  str("SetupShortName", r.SetupShortName);
  str("SetupExeName", r.SetupExeName);
  str("UninstallExe", r.UninstallExe);
  str("UninstallPrefix", r.UninstallPrefix);
  str("InstallDir", r.InstallDir);
  str("Changelog", r.Changelog);
  for (size_t i = 0; i < kInstallDirRegKeys; ++i) {
    const std::string slot = "InstallDirRegKey " + std::to_string(i + 1) + " ";
    byte(slot + "HKEY", r.InstallDirRegKey[i].HKEY);
    str(slot + "Path", r.InstallDirRegKey[i].Path);
    str(slot + "Key", r.InstallDirRegKey[i].Key);
  }
  str("Pages", r.Pages);
  str("UninstallPages", r.UninstallPages);
  byte("IsUninstaller", r.IsUninstaller);
  byte("HasUninstall", r.HasUninstall);
  if (reason.empty() && in.Left() != 0)
    reason = std::to_string(in.Left()) + " bytes follow the end of the record at byte " + std::to_string(in.Position);
  if (!reason.empty()) return false;
  *this = std::move(r);
  return true;
}
