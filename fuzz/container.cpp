// A game container as the installer opens it: with its whole tree, every
// file read, then one round of changes (a new file in a new folder, a file
// replaced, a file deleted), tried first without writing and then saved;
// the changed container must open whole again. Then, without the tree, with its hash side file. An input is the
// container, optionally followed by the part marker and the side file.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "Global/VFS_Unit.h"
#include "fuzz/FuzzSupport.h"

namespace {

void Write(const std::string& name, std::string_view bytes) {
  fuzz_support::WriteFile(name, bytes.data(), bytes.size());
}

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Files of the tree, by slot.
std::vector<int32_t> FileSlots(TVFSFile& vfs) {
  std::vector<int32_t> slots;
  for (size_t i = 0; i < vfs.Tree().Nodes.size(); ++i) {
    const TTreeFileInfo& node = vfs.Tree().Nodes[i];
    if (node.Index >= 0 && node.Entry && node.Entry->IsFile()) slots.push_back(static_cast<int32_t>(i));
  }
  return slots;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace fuzz_support;
  std::vector<std::string_view> parts = Split(data, size, kPartMarker);
  std::string path = WorkFile("game.vfs"), side = HashFileName(path);
  Write("game.vfs", parts[0]);
  if (parts.size() > 1)
    Write(std::filesystem::path(side).filename().string(), parts[1]);
  else
    std::filesystem::remove(side);

  auto change = [](TVFSFile& vfs) {
    std::vector<int32_t> files = FileSlots(vfs);
    for (int32_t slot : files) vfs.ReadFileData(*vfs.Tree().Nodes[static_cast<size_t>(slot)].Entry);
    static const Bytes added(300, 'a'), replaced(70, 'r');
    vfs.Tree().AddVFSFile("fuzz\\deeper\\new.txt", added.data(), static_cast<uint32_t>(added.size()));
    if (!files.empty()) {
      std::string first = vfs.Tree().Nodes[static_cast<size_t>(files.front())].Path;
      vfs.Tree().AddVFSFile(first, replaced.data(), static_cast<uint32_t>(replaced.size()));
    }
    if (files.size() > 1) vfs.Tree().DeleteByPath(vfs.Tree().Nodes[static_cast<size_t>(files.back())].Path, false);
  };
  // The same changes in a trial first: it writes nothing, and it finds them
  // fitting exactly when the real changes succeed.
  bool trialFits = false;
  try {
    TVFSFile trial;
    trial.OpenTrial(path);
    change(trial);
    trialFits = trial.BlocksShort() == 0;
  } catch (const EVFSError&) {
  }
  if (Contents(path) != parts[0]) std::abort();

  bool changed = false, fits = false;
  try {
    TVFSFile vfs;
    vfs.Open(path, true);
    change(vfs);
    fits = true;
    vfs.Save(false);
    vfs.Close();
    changed = true;
  } catch (const EVFSError&) {
  }
  if (fits != trialFits) std::abort();
  if (changed) {
    TVFSFile again;
    try {
      again.Open(path, true);
    } catch (const EVFSError&) {
      std::abort();  // the changes damaged a container that was whole
    }
    if (again.Tree().FindByPath("fuzz\\deeper\\new.txt") < 0) std::abort();
  }

  Write("game.vfs", parts[0]);
  if (parts.size() > 1) Write(std::filesystem::path(side).filename().string(), parts[1]);
  bool saved = false;
  try {
    TVFSFile vfs;
    vfs.Open(path, false);
    for (const TVFSDirEntry& e : vfs.RootTable)
      if (!e.Name.empty() && e.IsFile()) vfs.ReadFileData(e);
    vfs.Save(false);
    vfs.Close();
    saved = true;
  } catch (const EVFSError&) {
  }
  if (saved && changed) {
    // Saving without the tree touches only the header and the side file.
    TVFSFile again;
    try {
      again.Open(path, true);
    } catch (const EVFSError&) {
      std::abort();
    }
  }
  return 0;
}
