#include "installer-library/QXI_Global.h"

#include "installer-library/QXI_FD.h"
#include "platform/Directory.h"
#include "platform/File.h"

bool WriteBufferToFile(const std::string& path, const void* data, size_t size) {
  ForceDirectoriesLogged(FolderOfPath(path));
  platform::File file;
  const std::string written = OpenWholeFileWrite(path, file);
  const bool whole = file.IsOpen() && (!data || size == 0 || file.Write(data, size));
  return EndWholeFileWrite(file, written, path, whole);
}

std::string OpenWholeFileWrite(const std::string& path, platform::File& file) {
  if (file.Open(path, platform::OpenMode::CreateNew)) return path;
  // An earlier file stays until the new one is whole: written aside under a
  // name nothing holds, or none when no such name could be made.
  return platform::CreateAside(path, file);
}

bool EndWholeFileWrite(platform::File& file, const std::string& written, const std::string& path, bool whole) {
  const bool opened = file.IsOpen();
  file.Close();
  if (whole && (written == path || platform::RenameOver(written, path))) return true;
  if (opened) platform::RemoveFile(written);
  return false;
}
