#include "compiler/QXI_CompilerFileList.h"

#include "compiler/QXI_CompilerUtils.h"
#include "platform/Directory.h"
#include "platform/File.h"
#include "platform/Text.h"
#include "platform/WidePath.h"

using platform::AnsiLowerCase;

void TCompilerFileList::Clear() {
  Groups.assign(1, TGroup{});
  TotalCount = 0;
  LastGroup = 0;
  RegKeyCount = 0;
}

void TCompilerFileList::EnsureGroup(uint16_t group, const std::string& groupName) {
  if (group < Groups.size()) return;
  Groups.resize(size_t(group) + 1);
  Groups[group].Name = AnsiLowerCase(groupName);
}

int TCompilerFileList::FirstNamesake(uint16_t group) const {
  if (Groups.size() <= 1 || group >= Groups.size() || Groups[group].Name.empty()) return -1;
  for (size_t g = 1; g < Groups.size(); ++g)
    if (g != group && Groups[g].Name == Groups[group].Name) return static_cast<int>(g);
  return -1;
}

void TCompilerFileList::FindDuplicate(const std::string& name, uint16_t group, int& groupIndex, int& entryIndex) const {
  groupIndex = entryIndex = -1;
  int first = FirstNamesake(group);
  if (first < 0) return;
  std::string wanted = AnsiLowerCase(name);
  for (size_t g = first; g < Groups.size(); ++g) {
    if (g == group || Groups[g].Name != Groups[group].Name) continue;
    const std::vector<TFile>& files = Groups[g].Files;
    for (size_t e = 0; e < files.size(); ++e) {
      if (AnsiLowerCase(files[e].Name) == wanted) {
        groupIndex = static_cast<int>(g);
        entryIndex = static_cast<int>(e);
        return;
      }
    }
  }
}

uint16_t TCompilerFileList::ResolveGroup(uint16_t group) const {
  int first = FirstNamesake(group);
  return first < 0 ? group : static_cast<uint16_t>(first);
}

void TCompilerFileList::AddFile(const std::string& source, const std::string& name, uint16_t group,
                                const std::string& prefix) {
  if (!platform::FileExists(source)) return;
  EnsureGroup(group, "");
  owner_.Status("Adding To List " + name + " Current Count: " + std::to_string(TotalCount));
  if (group > 0) {
    int g, e;
    FindDuplicate(name, group, g, e);
    if (g >= 0) {
      Groups[g].Files[e].Source = source;
      Groups[g].Files[e].Name = name;
      owner_.Log("Replacing Previous Instance of " + name);
      return;
    }
  }
  uint16_t g = ResolveGroup(group);
  Groups[g].Files.push_back({source, prefix + name, g, std::nullopt});
  ++TotalCount;
}

void TCompilerFileList::AddContents(const std::string& name, Bytes contents) {
  owner_.Status("Adding To List " + name + " Current Count: " + std::to_string(TotalCount));
  Groups[0].Files.push_back({"", name, 0, std::move(contents)});
  ++TotalCount;
}

std::u16string TCompilerFileList::AddDir(const std::string& path, uint16_t group, const std::string& groupName,
                                         bool absolute, const std::string& prefix) {
  EnsureGroup(group, groupName);
  const std::string& base = owner_.BaseDir();
  std::string full = absolute || base.empty() ? path : base + "\\" + path;
  if (platform::DirectoryExists(full)) {
    // The walk builds paths and relative names by appending to its root, so
    // the root always ends in a separator.
    std::string root = IncludeSlash(full);
    std::deque<std::string> workList{root};
    while (!workList.empty())
      if (std::u16string fault = ScanDirectory(workList, root, group, prefix); !fault.empty()) return fault;
  } else if (platform::FileExists(full)) {
    AddFile(full, ExtractFileName(full), group, prefix);
  }
  return {};
}

std::u16string TCompilerFileList::ScanDirectory(std::deque<std::string>& workList, const std::string& root,
                                                uint16_t group, const std::string& prefix) {
  if (workList.empty()) return {};
  std::string dir = workList.front();
  workList.pop_front();
  std::vector<platform::DirEntry> entries;
  if (!platform::ListDirectory(dir, entries)) return u"Cannot read the folder " + platform::WidePath(dir);
  std::string icon = AnsiLowerCase(owner_.LayoutIconPath());
  for (const platform::DirEntry& e : entries) {
    std::string path = dir + e.Name;
    if (e.IsLink) {
      // A link may lead back up the tree or out of it: never followed.
      owner_.Log("Skipping link " + path);
      continue;
    }
    if (std::u16string fault = platform::EntryPathFault(dir, e); !fault.empty()) return fault;
    if (e.IsDirectory)
      workList.push_back(path + "\\");
    else if (AnsiLowerCase(path) != icon)
      AddFile(path, path.substr(root.size()), group, prefix);
  }
  return {};
}
