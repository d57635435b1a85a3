#include "installer-library/QXI_FD.h"

#include "installer-library/SE_Uninstall_List.h"
#include "platform/Directory.h"

std::string SplitFirstDir(std::string& path) {
  size_t slash = path.find('\\');
  std::string first = slash == std::string::npos ? path : path.substr(0, slash + 1);
  path.erase(0, first.size());
  return first;
}

std::string FolderOfPath(const std::string& path) {
  size_t end = path.find_last_of("\\:");
  return end == std::string::npos ? std::string() : path.substr(0, end + 1);
}

bool ForceDirectoriesLogged(const std::string& path) {
  if (path.size() >= 4 && path[1] == ':' && path[2] == '\\') {
    std::string current = path.substr(0, 3), rest = path.substr(3);
    while (!rest.empty()) {
      current += SplitFirstDir(rest);
      // A level that cannot be made is not reported here: the levels below
      // it fail too, and so does whatever is then written into them.
      if (!platform::DirectoryExists(current) && platform::MakeDir(current)) UninstallList.AddDir(current);
    }
  }
  return platform::DirectoryExists(path);
}
