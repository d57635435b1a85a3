#include "installer-library/QXI_FD.h"

#include <unordered_set>

#include "installer-library/SE_Uninstall_List.h"
#include "platform/Directory.h"
#include "platform/Text.h"

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

void ForceDirectoriesLogged(const std::vector<std::string>& paths) {
  // Each level is looked at once, however many paths pass through it.
  std::vector<std::string> missing;
  std::unordered_set<std::string> seen;
  for (const std::string& path : paths) {
    if (path.size() < 4 || path[1] != ':' || path[2] != '\\') continue;
    std::string current = path.substr(0, 3), rest = path.substr(3);
    while (!rest.empty()) {
      current += SplitFirstDir(rest);
      std::string key = platform::AnsiLowerCase(current);
      if (key.back() == '\\') key.pop_back();
      if (seen.insert(key).second && !platform::DirectoryExists(current)) missing.push_back(current);
    }
  }
  if (missing.empty()) return;
  const size_t logged = UninstallList.Dirs().size();
  for (const std::string& dir : missing) UninstallList.AddDir(dir);
  UninstallList.Checkpoint();
  // A level that cannot be made is not reported here: the levels below it
  // fail too, and so does whatever is then written into them.
  std::vector<std::string> made;
  for (const std::string& dir : missing)
    if (platform::MakeDir(dir)) made.push_back(dir);
  if (made.size() != missing.size()) {
    UninstallList.TruncateDirs(logged);
    for (const std::string& dir : made) UninstallList.AddDir(dir);
  }
  // Also the save that could not be made while the log's own folder was
  // still missing.
  UninstallList.Checkpoint();
}

bool ForceDirectoriesLogged(const std::string& path) {
  ForceDirectoriesLogged(std::vector<std::string>{path});
  return platform::DirectoryExists(path);
}
