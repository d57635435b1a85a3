#include "installer-library/QXI_SetupInfo.h"

#include <utility>

#include "platform/File.h"
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

bool TSetupInfoFile::SaveToFile(const std::string& path) const {
  Bytes out;
  if (!Store(out)) return false;
  platform::File file;
  return file.Open(path, platform::OpenMode::Create) && file.Write(out.data(), out.size());
}

bool TSetupInfoFile::LoadFromBuffer(const void* data, size_t size) {
  if (size > UINT32_MAX) return false;
  TBufferManager in(data, static_cast<uint32_t>(size));
  TSetupInfoFile r;
  bool ok = true;
  for (std::string* s : {&r.SetupName, &r.SetupShortName, &r.SetupExeName, &r.UninstallExe, &r.UninstallPrefix,
                         &r.InstallDir, &r.Changelog})
    ok = ok && ReadStr(in, *s);
  for (TREGKEY& slot : r.InstallDirRegKey)
    ok = ok && in.Read(1, &slot.HKEY) == 1 && ReadStr(in, slot.Path) && ReadStr(in, slot.Key);
  ok = ok && ReadStr(in, r.Pages) && ReadStr(in, r.UninstallPages) && in.Read(1, &r.IsUninstaller) == 1 &&
       in.Read(1, &r.HasUninstall) == 1;
  if (!ok || in.Left() != 0) return false;
  *this = std::move(r);
  return true;
}
