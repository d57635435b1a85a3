#include "installer-library/QXI_Global.h"

#include "installer-library/QXI_FD.h"
#include "platform/FileReplacement.h"

bool WriteBufferToFile(const std::string& path, const void* data, size_t size) {
  ForceDirectoriesLogged(FolderOfPath(path));
  platform::FileReplacement file(path, platform::FileReplacement::Aside::WhenReplacing);
  return file.IsOpen() && (!data || size == 0 || file.Stream().Write(data, size)) && file.Commit();
}
