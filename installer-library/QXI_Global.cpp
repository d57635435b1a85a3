#include "installer-library/QXI_Global.h"

#include "installer-library/QXI_FD.h"
#include "platform/Directory.h"
#include "platform/File.h"

bool WriteBufferToFile(const std::string& path, const void* data, size_t size) {
  ForceDirectoriesLogged(FolderOfPath(path));
  platform::File file;
  const std::string aside = platform::CreateAside(path, file);
  if (aside.empty()) return false;
  bool written = !data || size == 0 || file.Write(data, size);
  file.Close();
  if (written && platform::RenameOver(aside, path)) return true;
  platform::RemoveFile(aside);
  return false;
}
