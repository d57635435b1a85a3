// The directory tree of an open container, the operations that add and
// delete entries through it, and the ".ht" side file.
#include <algorithm>
#include <cstring>
#include <functional>

#include "Global/DosDate.h"
#include "Global/VFS_Unit.h"
#include "platform/ByteOrder.h"
#include "platform/Text.h"

using platform::SameTextAZ;

namespace {

std::string CutName(const std::string& name) { return name.substr(0, kVFSNameSize); }

}  // namespace

uint32_t PathHash(const std::string& text) {
  uint32_t h = 0;
  for (unsigned char b : text) h = h * 65599u + b;
  return h;
}

std::string HashFileName(const std::string& containerPath) {
  size_t name = containerPath.find_last_of("\\/:");
  name = name == std::string::npos ? 0 : name + 1;
  size_t dot = containerPath.rfind('.');
  if (dot == std::string::npos || dot < name) return containerPath + ".ht";
  return containerPath.substr(0, dot) + ".ht";
}

// --- building the tree ---------------------------------------------------

int32_t TVFSTree::AddNode(const TVFSDirEntry& entry, int32_t parent, int32_t rootSlot) {
  std::string path = parent < 0 ? entry.Name : Nodes[parent].Path + "\\" + entry.Name;
  while (freeHint_ < Nodes.size() && Nodes[freeHint_].Index >= 0) ++freeHint_;
  if (freeHint_ == Nodes.size()) Nodes.emplace_back();
  int32_t slot = static_cast<int32_t>(freeHint_);
  TTreeFileInfo& node = Nodes[freeHint_];
  node.Index = slot;
  node.Path = std::move(path);
  node.Parent = parent;
  node.RootSlot = rootSlot;
  node.Children.clear();
  if (rootSlot >= 0) {
    node.OwnEntry.reset();
    node.Entry = &file_.RootTable[static_cast<size_t>(rootSlot)];
  } else {
    node.OwnEntry = std::make_unique<TVFSDirEntry>(entry);
    node.Entry = node.OwnEntry.get();
  }
  if (parent >= 0) {
    std::vector<int32_t>& children = Nodes[parent].Children;
    auto freeChild = std::find(children.begin(), children.end(), -1);
    if (freeChild != children.end())
      *freeChild = slot;
    else
      children.push_back(slot);
  }
  return slot;
}

void TVFSTree::LoadChildren(int32_t first) {
  // The array grows while the walk runs, so new directories are reached too.
  // Every child's chain is claimed as it is added, before its data is read:
  // a directory that lists itself or an ancestor is refused, not followed.
  for (size_t s = static_cast<size_t>(std::max(first, 0)); s < Nodes.size(); ++s) {
    if (Nodes[s].Index < 0) continue;
    const TVFSDirEntry dir = *Nodes[s].Entry;
    if (!dir.IsDirectory() || dir.StoredSize == 0) continue;
    std::unique_ptr<TVFSFileBuffer> data = file_.ReadFileData(dir);
    size_t count = data->Size() / kVFSDirEntrySize;
    for (size_t k = 0; k < count; ++k) {
      TVFSDirEntry child = TVFSDirEntry::ReadFrom(data->Data().data() + k * kVFSDirEntrySize);
      if (Nodes[s].Path.size() + 1 + child.Name.size() > kMaxVFSPath) file_.Damaged("a path is too long");
      file_.ClaimChain(child);
      AddNode(child, static_cast<int32_t>(s), -1);
    }
  }
}

int32_t TVFSTree::FindByPath(const std::string& path) const {
  for (const TTreeFileInfo& node : Nodes)
    if (node.Index >= 0 && SameTextAZ(node.Path, path)) return node.Index;
  return -1;
}

int32_t TVFSTree::FindChild(const std::string& name, int32_t parent) const {
  if (parent < 0) return FindByPath(name);
  for (int32_t c : Nodes[parent].Children)
    if (c >= 0 && SameTextAZ(Nodes[c].Entry->Name, name)) return c;
  return -1;
}

uint32_t TVFSTree::FileCount() const {
  uint32_t n = 0;
  for (const TTreeFileInfo& node : Nodes)
    if (node.Index >= 0 && node.Entry->IsFile()) ++n;
  return n;
}

// Without the whole tree a directory's table would be rewritten from the
// children known, which are none: everything in it would be lost.
void TVFSTree::RequireWholeTree() const {
  if (!file_.FullTree())
    throw EVFSError("The container " + file_.Path() + " was opened without its tree and cannot be changed");
}

size_t TVFSTree::ChildCount(int32_t slot) const {
  const std::vector<int32_t>& children = Nodes[slot].Children;
  return static_cast<size_t>(std::count_if(children.begin(), children.end(), [](int32_t c) { return c >= 0; }));
}

void TVFSTree::Clear() {
  Nodes.clear();
  freeHint_ = 0;
}

// --- deleting ------------------------------------------------------------

void TVFSTree::FreeChain(int32_t slot) { file_.FreeChain(*Nodes[slot].Entry); }

void TVFSTree::DeleteByPath(const std::string& path, bool defer) {
  int32_t slot = FindByPath(path);
  if (slot >= 0) DeleteNode(slot, defer);
}

void TVFSTree::DeleteNode(int32_t slot, bool defer) {
  RequireWholeTree();
  const std::vector<int32_t> children = Nodes[slot].Children;
  for (int32_t c : children)
    if (c >= 0) DeleteNode(c, true);
  FreeChain(slot);
  TTreeFileInfo& node = Nodes[slot];
  if (node.Parent >= 0) {
    std::vector<int32_t>& siblings = Nodes[node.Parent].Children;
    std::replace(siblings.begin(), siblings.end(), slot, -1);
    if (!defer) WriteParentTable(slot);
  } else {
    // The slot is free again for the next new root entry, on disk and here.
    uint32_t rootSlot = static_cast<uint32_t>(node.RootSlot);
    file_.RootTable[rootSlot] = TVFSDirEntry{};
    file_.WriteRootSlot(rootSlot);
  }
  TTreeFileInfo& freed = Nodes[slot];
  freed.Index = -1;
  freed.Path.clear();
  freed.Children.clear();
  freed.Entry = nullptr;
  freed.OwnEntry.reset();
  freed.Parent = -1;
  freed.RootSlot = -1;
  freeHint_ = std::min(freeHint_, static_cast<size_t>(slot));
}

// --- writing tables ------------------------------------------------------

Bytes TVFSTree::BuildChildTable(int32_t slot) const {
  Bytes table;
  for (int32_t c : Nodes[slot].Children)
    if (c >= 0) Nodes[c].Entry->WriteTo(table);
  return table;
}

void TVFSTree::WriteRootEntry(int32_t slot) { file_.WriteRootSlot(static_cast<uint32_t>(Nodes[slot].RootSlot)); }

void TVFSTree::WriteParentTable(int32_t slot) {
  int32_t parent = Nodes[slot].Parent;
  if (parent < 0) return;
  Bytes table = BuildChildTable(parent);
  TVFSDirEntry& dir = *Nodes[parent].Entry;
  const uint8_t* data = table.empty() ? nullptr : table.data();
  uint32_t size = static_cast<uint32_t>(table.size());
  // Same size: the table fits its chain and the entry above keeps its
  // numbers, so nothing further up is written.
  if (size == dir.StoredSize) {
    file_.RewriteFileData(dir, data, size);
    return;
  }
  FreeChain(parent);
  file_.WriteFile(dir, data, size);
  if (Nodes[parent].Parent < 0)
    WriteRootEntry(parent);
  else
    WriteParentTable(parent);
}

// --- adding --------------------------------------------------------------

int32_t TVFSTree::CreateNewFileDir(int32_t parent, const std::string& name, uint32_t attributes, bool write,
                                   uint32_t firstBlock, uint32_t storedSize, uint32_t originalSize, uint32_t date) {
  TVFSDirEntry entry;
  entry.Name = CutName(name);
  entry.Attributes = attributes;
  entry.FirstBlock = firstBlock;
  entry.StoredSize = storedSize;
  entry.OriginalSize = originalSize;
  entry.Date = date;
  int32_t slot;
  if (parent < 0) {
    auto free = std::find_if(file_.RootTable.begin(), file_.RootTable.end(),
                             [](const TVFSDirEntry& e) { return e.Name.empty(); });
    if (free == file_.RootTable.end()) throw EVFSError("CreateNewFileDir: ROOT Result = Cardinal(-1)");
    *free = entry;
    slot = AddNode(entry, -1, static_cast<int32_t>(free - file_.RootTable.begin()));
  } else {
    slot = AddNode(entry, parent, -1);
  }
  if (write) {
    file_.WriteFile(*Nodes[slot].Entry, nullptr, 0);
    if (parent < 0)
      WriteRootEntry(slot);
    else
      WriteParentTable(slot);
  }
  return slot;
}

int32_t TVFSTree::FindOrCreateDir(int32_t parent, const std::string& name) {
  int32_t found = FindChild(name, parent);
  if (found < 0) return CreateNewFileDir(parent, name, kVFSAttrDirectory, true, 0, 0, 0, 0);
  // A file of that name would receive a child table in its data.
  if (!Nodes[found].Entry->IsDirectory()) throw EVFSError(Nodes[found].Path + " is not a directory of the container");
  return found;
}

Bytes TVFSTree::InternalCompressFile(const uint8_t* data, uint32_t size) {
  Bytes out;
  out.reserve(size);
  for (uint32_t pos = 0; pos < size;) {
    uint32_t n = std::min(kVFSPieceInput, size - pos);
    Bytes piece = ZCompress(data + pos, n, 9);
    if (piece.empty()) throw EVFSError("TVFSTree.InternalCompressFile: ACSize = 0");
    // Output as long as the input still counts as compressed.
    if (out.size() + 4 + piece.size() > size) return {};
    PutU32(out, static_cast<uint32_t>(piece.size()));
    out.insert(out.end(), piece.begin(), piece.end());
    pos += n;
  }
  return out;
}

void TVFSTree::StoreFileData(TVFSDirEntry& entry, const uint8_t* data, uint32_t size, const Bytes& packed) {
  entry.StoredSize = size;
  entry.Date = TodayDosDate();
  if (!entry.IsFile()) return;
  if (!packed.empty()) {
    entry.OriginalSize = size;
    entry.Attributes |= kVFSAttrCompressed;
    file_.WriteFile(entry, packed.data(), static_cast<uint32_t>(packed.size()));
  } else {
    entry.OriginalSize = 0;
    file_.WriteFile(entry, size ? data : nullptr, size);
  }
}

void TVFSTree::SetFileData(TVFSDirEntry& entry, const uint8_t* data, uint32_t size) {
  StoreFileData(entry, data, size, entry.IsFile() ? InternalCompressFile(data, size) : Bytes{});
}

struct TVFSTree::Target {
  std::vector<std::string> Dirs;  // names cut as they are stored
  std::string Name;
};

// Splits an added path the way the installer always has: a directory part
// only when the path holds both a "." and a "\" (so "maps\readme" lands in
// the root as "readme"). Every name is cut to its stored length first, so a
// long name finds the entry it was stored as instead of making a second one.
TVFSTree::Target TVFSTree::SplitTarget(const std::string& path) const {
  Target t;
  size_t last = path.rfind('\\');
  t.Name = CutName(last == std::string::npos ? path : path.substr(last + 1));
  bool valid = !t.Name.empty();
  if (last != std::string::npos && path.find('.') != std::string::npos) {
    std::string dirs = path.substr(0, last);
    if (!dirs.empty() && dirs.back() == '\\') dirs.pop_back();
    for (size_t start = 0; !dirs.empty() && start <= dirs.size();) {
      size_t end = std::min(dirs.find('\\', start), dirs.size());
      t.Dirs.push_back(CutName(dirs.substr(start, end - start)));
      valid = valid && !t.Dirs.back().empty();
      start = end + 1;
    }
  }
  // An empty name would read as a free root slot, or as a nameless
  // directory that no path can reach.
  if (!valid) throw EVFSError("The path " + path + " cannot be stored in the container " + file_.Path());
  return t;
}

uint64_t TVFSTree::SubtreeBlocks(int32_t slot) const {
  uint64_t blocks = file_.ChainLength(Nodes[slot].Entry->FirstBlock);
  for (int32_t c : Nodes[slot].Children)
    if (c >= 0) blocks += SubtreeBlocks(c);
  return blocks;
}

// Follows the steps of AddVFSFile in numbers only (blocks freed and taken,
// root slots), so that an add that cannot finish is refused before its first
// write rather than leaving a half-linked chain or a replaced file lost.
void TVFSTree::CheckRoom(const std::string& path, int32_t parent, size_t dirsToCreate, int32_t replaced,
                         uint32_t storedSize) const {
  int64_t blocks = file_.FreeBlocks();
  int64_t rootSlots = std::count_if(file_.RootTable.begin(), file_.RootTable.end(),
                                    [](const TVFSDirEntry& e) { return e.Name.empty(); });
  auto take = [&](uint64_t n) {
    blocks -= static_cast<int64_t>(n);
    // A trial counts what is missing instead (TVFSFile::WriteFile).
    if (blocks < 0 && !file_.Trial())
      throw EVFSError("Not enough free blocks in the container " + file_.Path() + " for " + path);
  };
  auto takeRootSlot = [&] {
    if (--rootSlots < 0) throw EVFSError("CreateNewFileDir: ROOT Result = Cardinal(-1)");
  };
  // A directory table rewritten with `children` entries: in place when the
  // size is unchanged, else a new chain, and then its own entry upward.
  std::function<void(int32_t, size_t)> rewrite = [&](int32_t dir, size_t children) {
    const TVFSDirEntry& e = *Nodes[dir].Entry;
    uint64_t size = uint64_t{children} * kVFSDirEntrySize;
    if (size == e.StoredSize) return;
    blocks += static_cast<int64_t>(file_.ChainLength(e.FirstBlock));
    take(file_.BlocksFor(size));
    if (Nodes[dir].Parent >= 0) rewrite(Nodes[dir].Parent, ChildCount(Nodes[dir].Parent));
  };
  // A new directory's table goes from empty (one block) to one entry.
  auto firstChildOfNewDir = [&] {
    blocks += 1;
    take(file_.BlocksFor(kVFSDirEntrySize));
  };

  for (size_t k = 0; k < dirsToCreate; ++k) {
    if (k == 0 && parent < 0) takeRootSlot();
    take(1);
    if (k > 0)
      firstChildOfNewDir();
    else if (parent >= 0)
      rewrite(parent, ChildCount(parent) + 1);
  }
  if (replaced >= 0) {
    blocks += static_cast<int64_t>(SubtreeBlocks(replaced));
    if (Nodes[replaced].Parent < 0) ++rootSlots;
  }
  if (dirsToCreate == 0 && parent < 0) takeRootSlot();
  take(file_.BlocksFor(storedSize));
  if (dirsToCreate > 0)
    firstChildOfNewDir();
  else if (parent >= 0)
    rewrite(parent, ChildCount(parent) + (replaced >= 0 ? 0 : 1));
}

int32_t TVFSTree::AddVFSFile(const std::string& path, const uint8_t* data, uint32_t size) {
  return AddStoredFile(path, data, size, InternalCompressFile(data, size));
}

int32_t TVFSTree::AddStoredFile(const std::string& path, const uint8_t* data, uint32_t size, const Bytes& packed) {
  RequireWholeTree();
  Target t = SplitTarget(path);

  // The deepest directory of the path that exists; then whatever of the rest
  // the directory lookup still finds (it must be a directory).
  int32_t parent = -1;
  size_t existing = 0;
  for (size_t k = t.Dirs.size(); k > 0; --k) {
    std::string dirPath = t.Dirs[0];
    for (size_t i = 1; i < k; ++i) dirPath += "\\" + t.Dirs[i];
    int32_t found = FindByPath(dirPath);
    if (found >= 0 && Nodes[found].Entry->IsDirectory()) {
      parent = found;
      existing = k;
      break;
    }
  }
  for (; existing < t.Dirs.size(); ++existing) {
    int32_t found = FindChild(t.Dirs[existing], parent);
    if (found < 0) break;
    if (!Nodes[found].Entry->IsDirectory())
      throw EVFSError("Unable to add " + path + ": " + Nodes[found].Path + " is a file, not a directory");
    parent = found;
  }
  size_t toCreate = t.Dirs.size() - existing;
  int32_t replaced = toCreate == 0 ? FindChild(t.Name, parent) : -1;

  CheckRoom(path, parent, toCreate, replaced, packed.empty() ? size : static_cast<uint32_t>(packed.size()));

  for (size_t k = existing; k < t.Dirs.size(); ++k) parent = FindOrCreateDir(parent, t.Dirs[k]);
  if (replaced >= 0) DeleteNode(replaced, true);
  int32_t slot = CreateNewFileDir(parent, t.Name, kVFSAttrFile, false, 0, 0, 0, 0);
  StoreFileData(*Nodes[slot].Entry, data, size, packed);
  if (parent < 0)
    WriteRootEntry(slot);
  else
    WriteParentTable(slot);
  return slot;
}

// --- the side file -------------------------------------------------------

void TVFSTree::SaveHashTable() {
  // Files in slot order; a stable sort by hash keeps the first of equal
  // hashes first, and that one stands for all of them.
  std::vector<TVFSHashRecord> records;
  for (const TTreeFileInfo& node : Nodes) {
    if (node.Index < 0 || !node.Entry->IsFile()) continue;
    const TVFSDirEntry& e = *node.Entry;
    std::string text = node.Parent < 0 ? e.Name : Nodes[node.Parent].Path + "/" + e.Name;
    records.push_back({PathHash(text), e.Attributes, e.StoredSize, e.OriginalSize, e.FirstBlock, 1});
  }
  std::stable_sort(records.begin(), records.end(),
                   [](const TVFSHashRecord& a, const TVFSHashRecord& b) { return a.Hash < b.Hash; });
  std::vector<TVFSHashRecord> unique;
  for (const TVFSHashRecord& r : records) {
    if (!unique.empty() && unique.back().Hash == r.Hash)
      unique.back().Unique = 0;
    else
      unique.push_back(r);
  }
  file_.CommitUpdate(&unique);
}

void TVFSHashFile::Clear() {
  Records.clear();
  loaded_ = false;
}

void TVFSHashFile::Load() {
  Clear();
  platform::File file;
  if (!file.Open(HashFileName(file_.Path()), platform::OpenMode::Read)) return;
  int64_t size = file.Size();
  uint8_t count[4];
  if (size < 4 || file.Read(count, 4) != 4) return;
  uint64_t n = GetU32(count);
  // A table shorter than its count is damaged and taken as missing.
  if (n * kVFSHashRecordSize > static_cast<uint64_t>(size) - 4) return;
  Bytes raw(static_cast<size_t>(n * kVFSHashRecordSize));
  if (file.Read(raw.data(), raw.size()) != raw.size()) return;
  Records.resize(static_cast<size_t>(n));
  for (size_t i = 0; i < Records.size(); ++i) {
    const uint8_t* p = &raw[i * kVFSHashRecordSize];
    Records[i] = {GetU32(p), GetU32(p + 4), GetU32(p + 8), GetU32(p + 12), GetU32(p + 16), p[20]};
  }
  loaded_ = true;
}

void TVFSHashFile::Save() { file_.CommitUpdate(loaded_ ? &Records : nullptr); }
