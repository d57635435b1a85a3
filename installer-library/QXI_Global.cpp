#include "installer-library/QXI_Global.h"

#include "installer-library/QXI_FD.h"
#include "platform/Directory.h"
#include "platform/File.h"

std::string AsideName(const std::string& path) {
  std::string aside = path + ".new";
  for (int n = 1; platform::FileExists(aside) || platform::DirectoryExists(aside); ++n)
    aside = path + ".new" + std::to_string(n);
  return aside;
}

bool WriteBufferToFile(const std::string& path, const void* data, size_t size) {
  ForceDirectoriesLogged(FolderOfPath(path));
  const std::string aside = AsideName(path);
  bool written;
  {
    platform::File file;
    written = file.Open(aside, platform::OpenMode::Create) && (!data || size == 0 || file.Write(data, size));
  }
  if (written && platform::RenameOver(aside, path)) return true;
  platform::RemoveFile(aside);
  return false;
}
