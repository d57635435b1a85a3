#include "installer-library/QXI_Global.h"

#include "installer-library/QXI_FD.h"
#include "platform/Directory.h"
#include "platform/File.h"

bool WriteBufferToFile(const std::string& path, const void* data, size_t size) {
  ForceDirectoriesLogged(FolderOfPath(path));
  const std::string aside = platform::AsideName(path);
  bool written;
  {
    platform::File file;
    written = file.Open(aside, platform::OpenMode::Create) && (!data || size == 0 || file.Write(data, size));
  }
  if (written && platform::RenameOver(aside, path)) return true;
  platform::RemoveFile(aside);
  return false;
}
