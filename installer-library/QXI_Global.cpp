#include "installer-library/QXI_Global.h"

#include "installer-library/QXI_FD.h"
#include "platform/File.h"

bool WriteBufferToFile(const std::string& path, const void* data, size_t size) {
  ForceDirectoriesLogged(FolderOfPath(path));
  platform::File file;
  if (!file.Open(path, platform::OpenMode::Create)) return false;
  if (!data || size == 0 || file.Write(data, size)) return true;
  file.Close();
  platform::RemoveFile(path);
  return false;
}
