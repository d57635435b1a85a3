// The setup builder: a copy of the base installer program, given the install
// layout's icon, with one installer archive appended that holds every file
// of the compile run, group after group. The installer is built under a
// working name beside its final one and renamed only when it is complete, so
// a failed build leaves no partial installer and an older one intact.
//
// Compressing is the slow part, so worker threads pack the entries a few
// ahead of the writer while the calling thread appends them, logs them and
// shows the progress in the list's order: the installer is the same byte
// for byte whatever the number of workers.
#include "compiler/QXI_SetupBuilder.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "Global/QXI_PakFile.h"
#include "compiler/QXI_CompilerUtils.h"
#include "platform/Directory.h"
#include "platform/File.h"

using platform::File;
using platform::OpenMode;

namespace {

constexpr size_t kCopyPiece = 1 << 20;

// The installer is written into the compiled folder and nowhere else: its
// name has no folder part, no drive and is not a dot name.
bool IsPlainFileName(const std::string& name) {
  return !name.empty() && name.find_first_of("\\/:") == std::string::npos && name != "." && name != "..";
}

bool CanOpen(const std::string& path) {
  File f;
  return f.Open(path, OpenMode::Read);
}

// A whole-file copy; the copy is removed when any part of it failed.
bool CopyWhole(const std::string& from, const std::string& to) {
  File in;
  if (!in.Open(from, OpenMode::Read)) return false;
  int64_t size = in.Size();
  bool copied = false;
  {
    File out;
    if (!out.Open(to, OpenMode::Create)) return false;
    Bytes piece(kCopyPiece);
    int64_t done = 0;
    for (size_t n; size >= 0 && (n = in.Read(piece.data(), piece.size())) > 0; done += static_cast<int64_t>(n))
      if (!out.Write(piece.data(), n)) break;
    // A read error looks like the end of the file: the length tells.
    copied = size >= 0 && done == size && out.Size() == size;
  }
  if (!copied) platform::RemoveFile(to);
  return copied;
}

// One listed file packed away from the archive: its stored block, or the
// note that the writer copies it from the source itself, or why it failed.
struct PackedEntry {
  TPakFile record;          // sizes and CRC of the block
  Bytes block;              // empty for an empty source
  bool copySource = false;  // stored raw: the writer copies it from the source
  uint64_t sourceSize = 0;  // as found when packing began
  std::string error;        // not empty: the build fails at this entry
};

PackedEntry PackSource(const std::string& source) {
  PackedEntry packed;
  try {
    File file;
    // A source that went away since it was listed fails the build.
    if (!file.Open(source, OpenMode::Read)) {
      packed.error = "Cannot read " + source;
      return packed;
    }
    int64_t size = file.Size();
    packed.sourceSize = static_cast<uint64_t>(std::max<int64_t>(size, 0));
    file.Close();
    // Raw contents are never held: the writer copies them in pieces.
    packed.block = TPak::PackEntryFile(packed.record, source, packed.copySource);
  } catch (const std::exception& e) {
    packed.error = e.what();
  }
  return packed;
}

// Packs the sources on worker threads and hands them out in list order.
// Memory stays at a few entries whatever the size of the mod: workers + 2
// entries may always be under way ahead of the writer; further ones only
// while what the unwritten entries hold, plus one more as large as the
// largest source seen, stays within workers + 2 such sources. So quick
// entries go on past a slow one at the head without raising that bound;
// raw entries hold nothing, since the writer copies them from the source.
// Without workers, Take packs on the calling thread.
class PackPipeline {
 public:
  PackPipeline(std::vector<std::string> sources, int workers)
      : sources_(std::move(sources)),
        workers_(static_cast<size_t>(std::max(workers, 1))),
        window_(workers_ + 2),
        reach_(8 * window_),
        slots_(reach_) {
    if (workers <= 1) return;
    try {
      for (int i = 0; i < workers; ++i) threads_.emplace_back(&PackPipeline::Work, this);
    } catch (const std::system_error&) {
      // The workers that did start do all the packing; with none, Take does.
    }
  }
  ~PackPipeline() {
    {
      std::lock_guard<std::mutex> hold(lock_);
      stop_ = true;
    }
    room_.notify_all();
    for (std::thread& t : threads_) t.join();
  }
  PackPipeline(const PackPipeline&) = delete;
  PackPipeline& operator=(const PackPipeline&) = delete;

  // The packed entry `index`; called for 0, 1, 2... in turn.
  PackedEntry Take(size_t index) {
    if (threads_.empty()) return PackSource(sources_[index]);
    Slot& slot = slots_[index % reach_];
    PackedEntry packed;
    {
      std::unique_lock<std::mutex> hold(lock_);
      ready_.wait(hold, [&] { return slot.ready; });
      packed = std::move(slot.packed);
      held_ -= slot.held;
      slot = Slot{};
      ++taken_;
    }
    room_.notify_all();
    return packed;
  }

 private:
  struct Slot {
    PackedEntry packed;
    uint64_t held = 0;  // bytes counted for it in held_
    bool ready = false;
  };

  bool MayStart() const {
    size_t ahead = next_ - taken_;
    if (ahead < window_) return true;
    return ahead < reach_ && held_ + largest_ <= window_ * largest_;
  }

  void Work() {
    for (;;) {
      size_t index;
      uint64_t reserved;
      {
        std::unique_lock<std::mutex> hold(lock_);
        room_.wait(hold, [&] { return stop_ || next_ >= sources_.size() || MayStart(); });
        if (stop_ || next_ >= sources_.size()) return;
        index = next_++;
        reserved = largest_;  // until its own size is known
        held_ += reserved;
      }
      PackedEntry packed = PackSource(sources_[index]);
      {
        std::lock_guard<std::mutex> hold(lock_);
        uint64_t kept = packed.block.size();
        held_ = held_ - reserved + kept;
        if (packed.sourceSize < kLargeEntrySize) largest_ = std::max(largest_, packed.sourceSize);
        // Entry index + reach_ claims this slot only after Take emptied it.
        slots_[index % reach_] = Slot{std::move(packed), kept, true};
      }
      ready_.notify_all();
      room_.notify_all();
    }
  }

  const std::vector<std::string> sources_;
  const size_t workers_, window_, reach_;
  std::vector<Slot> slots_;
  std::vector<std::thread> threads_;
  std::mutex lock_;  // guards everything below
  std::condition_variable ready_, room_;
  size_t next_ = 0, taken_ = 0;
  uint64_t held_ = 0, largest_ = 0;
  bool stop_ = false;
};

int WorkerCount(int wanted) {
  if (wanted > 0) return wanted;
  unsigned cores = std::thread::hardware_concurrency();
  return static_cast<int>(std::clamp(cores, 1u, 8u));
}

// Totals of the size report: unsigned 32-bit sums.
struct SizeTotals {
  uint32_t packed = 0, unpacked = 0;
};

class SetupBuild {
 public:
  explicit SetupBuild(TCompiler& compiler)
      : c_(compiler),
        compiled_(compiler.ProgramDir + "\\compiled\\"),
        target_(compiled_ + compiler.SetupInfo.SetupExeName),
        work_(target_ + ".part"),
        setupInfoTemp_(compiled_ + "SIF.temp"),
        compLinesTemp_(compiled_ + "CLN.temp") {}

  bool Run() {
    const std::string& name = c_.SetupInfo.SetupExeName;
    if (!IsPlainFileName(name)) {
      // Refused before any path is formed from it: nothing is written or removed.
      c_.Log("Error: The installer name \"" + name + "\" must be a plain file name");
      return false;
    }
    if (!CopyBase() || !ApplyIcon()) return false;
    pak_ = std::make_unique<TPak>(work_, true, false);
    if (!pak_->IsOpen()) return Fail("Cannot open " + work_ + " to append the archive");
    if (!CollectSetupFiles() || !WriteEntries()) return false;
    if (!pak_->WriteTable()) return Fail(pak_->LastError());
    int64_t end = FileSeek64(pak_->Handle(), platform::SeekOrigin::End, 0);
    if (end < 0) return Fail("Cannot position in " + work_);
    uint32_t setupSize = static_cast<uint32_t>(end);  // below 4 GiB: the archive sees to that
    pak_.reset();
    RemoveTemporaryFiles();
    if (!platform::RenameOver(work_, target_)) return Fail("Cannot replace " + target_);

    c_.Log("");
    c_.Log("Paked Contents Sizes   " + FormatSize(contents_.packed) + " / " + FormatSize(contents_.unpacked));
    c_.Log("Paked Setup Files Sizes   " + FormatSize(setupFiles_.packed) + " / " + FormatSize(setupFiles_.unpacked));
    c_.Log("Setup Size   " + FormatSize(setupSize));
    c_.Log("Finished");
    return true;
  }

 private:
  // Ends a build that failed: the error is logged and nothing it wrote stays.
  bool Fail(std::string text) {  // a copy: the text may be the archive's own
    pak_.reset();
    platform::RemoveFile(work_);
    RemoveTemporaryFiles();
    c_.Log("Error: " + text);
    return false;
  }

  void RemoveTemporaryFiles() {
    platform::RemoveFile(setupInfoTemp_);
    platform::RemoveFile(compLinesTemp_);
  }

  bool CopyBase() {
    std::string base = c_.ProgramDir + "\\base\\setup.exe";
    if (!platform::FileExists(base)) return Fail("The base program " + base + " is missing");
    if (!CanOpen(base)) return Fail("Cannot read the base program " + base);
    if (!CopyWhole(base, work_)) return Fail("Cannot copy the base program to " + work_);
    return true;
  }

  bool ApplyIcon() {
    std::string icon = c_.LayoutIconPath();
    if (!platform::FileExists(icon)) return true;
    if (!c_.IconWriter || !c_.IconWriter(icon, work_)) return Fail("Cannot write the icon " + icon + " into " + work_);
    return true;
  }

  // Group 0 after the compile run's language files: the layouts, the
  // finaliser, the change log, the setup information and the script.
  bool CollectSetupFiles() {
    TSetupInfoFile& info = c_.SetupInfo;
    TCompilerFileList& list = c_.FileList;
    const std::string& dir = c_.ProgramDir;
    list.AddDir(IncludeSlash(dir + "\\layout\\" + info.Pages), 0, "", true, "");
    if (info.HasUninstall == 1) {
      list.AddDir(IncludeSlash(dir + "\\layout\\" + info.UninstallPages), 0, "", true, "UNINSTALL_");
      list.AddFile(dir + "\\base\\Uninstall_Final.exe", "UNINSTALL_FINALISE.EXE", 0, "");
    }
    if (!info.Changelog.empty()) {
      list.AddFile(IncludeSlash(c_.SourceBaseDir) + info.Changelog, "Changelog", 0, "");
      info.Changelog = "ChangeLog";  // the entry name the installer reads it by
    }
    if (!info.SaveToFile(setupInfoTemp_)) return Fail("Cannot write " + setupInfoTemp_);
    list.AddFile(setupInfoTemp_, "SetupInfo", 0, "");
    TCommandList none;
    if (!c_.CompLines.SaveToFile(compLinesTemp_, c_.Commands ? *c_.Commands : none))
      return Fail("Cannot write " + compLinesTemp_);
    list.AddFile(compLinesTemp_, "CompiledLines", 0, "");
    return true;
  }

  bool WriteEntries() {
    const TCompilerFileList& list = c_.FileList;
    std::vector<const TCompilerFileList::TFile*> files;
    std::vector<std::string> sources;
    for (const auto& group : list.Groups)
      for (const TCompilerFileList::TFile& file : group.Files) {
        files.push_back(&file);
        sources.push_back(file.Source);
      }
    // Checked before anything is packed: the table counts in 16 bits.
    if (files.size() > kMaxPakEntries)
      return Fail(std::to_string(files.size()) + " files to pack; an installer holds at most " +
                  std::to_string(kMaxPakEntries));
    c_.Log("Adding Files:");
    c_.Log("");
    // A failure returns here: the pipeline stops its workers as it goes.
    PackPipeline pipeline(std::move(sources), WorkerCount(c_.BuildThreads));
    for (size_t k = 0; k < files.size(); ++k) {
      const TCompilerFileList::TFile& file = *files[k];
      c_.Status(file.Name + " is being processed " + std::to_string(k + 1) + " of " + std::to_string(list.TotalCount));
      if (!WriteEntry(file, pipeline.Take(k))) return false;
    }
    return true;
  }

  bool WriteEntry(const TCompilerFileList::TFile& file, const PackedEntry& packed) {
    if (!packed.error.empty()) return Fail(packed.error);
    int index = pak_->AddEntry(file.Name, file.Source, file.Group);
    if (index < 0) return Fail(pak_->LastError());
    bool written;
    try {
      written =
          packed.copySource ? pak_->WriteEntryRaw(index) : pak_->WriteStoredBlock(index, packed.record, packed.block);
    } catch (const EPakError& e) {
      return Fail(e.what());
    }
    if (!written) return Fail(pak_->LastError());

    const TPakFile& entry = pak_->Entries[index];
    std::string sizes = "   " + FormatSize(entry.StoredSize) + " / " + FormatSize(entry.OriginalSize);
    c_.Log(file.Group > 0 ? " " + file.Name + sizes : "SETUP COMPONENT:  " + file.Name + sizes);
    SizeTotals& totals = file.Group > 0 ? contents_ : setupFiles_;
    totals.unpacked += entry.OriginalSize;
    totals.packed += entry.StoredSize != 0 ? entry.StoredSize : entry.OriginalSize;
    return true;
  }

  TCompiler& c_;
  const std::string compiled_, target_, work_, setupInfoTemp_, compLinesTemp_;
  std::unique_ptr<TPak> pak_;
  SizeTotals contents_, setupFiles_;
};

}  // namespace

std::string TCompiler::LayoutIconPath() const {
  return IncludeSlash(ProgramDir + "\\layout\\" + SetupInfo.Pages) + "icon.ico";
}

bool TCompiler::BuildSetup() { return SetupBuild(*this).Run(); }
