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
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>
#include <tuple>

#include "Global/QXI_PakFile.h"
#include "compiler/QXI_CompilerUtils.h"
#include "installer-library/QXI_PakExtract.h"
#include "installer-library/SE_Languages.h"
#include "installer-library/iconchanger.h"
#include "platform/Directory.h"
#include "platform/File.h"
#include "platform/FileName.h"
#include "platform/Text.h"

using platform::File;
using platform::OpenMode;

namespace {

constexpr size_t kCopyPiece = 1 << 20;

// The folder of a layout, below the program's "layout\" folder.
std::string LayoutFolder(const std::string& programDir, const std::string& pages) {
  return IncludeSlash(programDir + "\\layout\\" + pages);
}

// Whether the installer, or the uninstaller it writes (which drops the
// prefix "UNINSTALL_"), loads a group-0 entry of this name as a language.
bool IsLanguageEntry(const std::string& name) {
  constexpr std::string_view kUninstallItem = "uninstall_";
  const std::string folded = platform::AnsiLowerCase(name);
  std::string_view lower = folded;
  if (lower.starts_with(kUninstallItem)) lower.remove_prefix(kUninstallItem.size());
  return lower.starts_with("language-");
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
// note that the writer copies it from the source itself or takes its blocks
// from the pipeline, or why it failed.
struct PackedEntry {
  TPakFile record;          // sizes and CRC of the block
  Bytes block;              // empty for an empty source
  bool copySource = false;  // stored raw: the writer copies it from the source
  uint64_t blocks = 0;      // compressed in this many blocks, for TakeBlock
  std::string error;        // not empty: the build fails at this entry
};

std::string CannotRead(const std::string& source) { return "Cannot read " + source; }

PackedEntry PackSource(const std::string& source, TZDeflater& deflater) {
  PackedEntry packed;
  // A source that went away since it was listed fails the build.
  if (!CanOpen(source)) {
    packed.error = CannotRead(source);
    return packed;
  }
  try {
    // Raw contents are never held: the writer copies them in pieces.
    packed.block = TPak::PackEntryFile(packed.record, source, packed.copySource, packed.blocks, &deflater);
  } catch (const std::exception& e) {
    packed.error = e.what();
  }
  return packed;
}

// Block `index` of a source of `size` bytes, read with its dictionary.
TZBlock PackBlock(const std::string& source, uint64_t size, uint64_t index, TZBlockCoder& coder, TBufferPool& buffers) {
  TZBlockSpan span = ZBlockSpan(size, index);
  auto from = static_cast<int64_t>(span.Dictionary);
  File file;
  Bytes data = buffers.Take(span.ReadLength());
  // A source that changed since its size was taken fails the build.
  if (!file.Open(source, OpenMode::Read) || file.Size() != static_cast<int64_t>(size) ||
      file.Seek(from, platform::SeekOrigin::Begin) != from || file.Read(data.data(), data.size()) != data.size())
    throw EPakError(CannotRead(source));
  TZBlock block = coder.Code(data.data(), span.DictionaryLength(), data.size(), span.Last, &buffers);
  buffers.Give(std::move(data));
  return block;
}

// Packs the sources on worker threads and hands them out in list order; a
// source above the block threshold is packed in blocks by all workers at
// once. Memory stays at a few blocks per worker whatever the mod: a job may
// start while what the unwritten jobs hold, each one under way counted at
// the most a job makes, stays within workers + 2 such jobs. The next
// workers + 2 jobs of the entry being written may always start, so quick
// entries go on past a slow one at the head without ever holding up the head
// itself, and a writer slower than the workers still bounds what waits. Raw entries hold
// nothing, since the writer copies them from the source. Without workers,
// Take and TakeBlock pack on the calling thread.
class PackPipeline {
 public:
  PackPipeline(std::vector<std::string> sources, int workers)
      : sources_(std::move(sources)),
        ahead_(static_cast<uint64_t>(std::max(workers, 1)) + 2),
        budget_(ahead_ * kJobMost),
        buffers_(2 * ahead_) {
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
    if (threads_.empty()) {
      PackedEntry packed = Pack({index, 0, 0}, inlineCoders_).packed;
      inlineSize_ = packed.record.OriginalSize;
      return packed;
    }
    {
      std::lock_guard<std::mutex> hold(lock_);
      writing_ = index;
      writingPart_ = 0;
    }
    room_.notify_all();
    return Collect({index, 0, 0}).packed;
  }

  // Block `block` of entry `index` into `into`, whose last block was
  // written, in turn once Take(index) gave their count; EPakError when it
  // could not be made.
  void TakeBlock(size_t index, uint64_t block, TZBlock& into) {
    buffers_.Give(std::move(into.Data));
    Job job{index, block + 1, inlineSize_};
    if (!threads_.empty()) {
      {
        std::lock_guard<std::mutex> hold(lock_);
        writingPart_ = job.part;
      }
      room_.notify_all();
    }
    Done done = threads_.empty() ? Pack(job, inlineCoders_) : Collect(job);
    if (!done.error.empty()) throw EPakError(done.error);
    into = std::move(done.block);
  }

 private:
  // The most a job makes: a source packed whole (up to the block threshold)
  // or a block, and a little over for a stream that grows.
  static constexpr uint64_t kJobMost = kZBlockThreshold + 4096;

  // Job 0 of an entry packs its source whole or finds it is to go in
  // blocks; job k + 1 packs its block k.
  struct Job {
    size_t entry;
    uint64_t part, size;  // size: of a source in blocks
    bool operator<(const Job& o) const { return std::tie(entry, part) < std::tie(o.entry, o.part); }
  };
  struct Done {
    PackedEntry packed;
    TZBlock block;
    std::string error;
    uint64_t held = 0;  // bytes counted for it in held_
  };
  struct Blocks {
    uint64_t size, count, handedOut;
  };

  // A thread's coders, each made for its first use.
  struct Coders {
    std::unique_ptr<TZDeflater> whole;
    std::unique_ptr<TZBlockCoder> block;
  };

  Done Pack(const Job& job, Coders& coders) const {
    Done done;
    try {
      if (job.part == 0) {
        if (!coders.whole) coders.whole = std::make_unique<TZDeflater>();
        done.packed = PackSource(sources_[job.entry], *coders.whole);
      } else {
        if (!coders.block) coders.block = std::make_unique<TZBlockCoder>();
        done.block = PackBlock(sources_[job.entry], job.size, job.part - 1, *coders.block, buffers_);
      }
    } catch (const std::exception& e) {
      (job.part == 0 ? done.packed.error : done.error) = e.what();
    }
    done.held = done.packed.block.size() + done.block.Data.size();
    return done;
  }

  Done Collect(const Job& job) {
    Done done;
    {
      std::unique_lock<std::mutex> hold(lock_);
      ready_.wait(hold, [&] { return done_.count(job) > 0; });
      auto at = done_.find(job);
      done = std::move(at->second);
      done_.erase(at);
      held_ -= done.held;
    }
    room_.notify_all();
    return done;
  }

  bool MayStart(size_t entry, uint64_t part) const {
    return (entry == writing_ && part < writingPart_ + ahead_) || held_ + kJobMost <= budget_;
  }

  // The next job, blocks of the earliest entry first; false when none may
  // start now.
  bool Claim(Job& job) {
    if (!blocks_.empty()) {
      auto first = blocks_.begin();
      Blocks& b = first->second;
      if (!MayStart(first->first, b.handedOut + 1)) return false;
      job = {first->first, ++b.handedOut, b.size};
      if (b.handedOut == b.count) blocks_.erase(first);
      return true;
    }
    if (next_ >= sources_.size() || !MayStart(next_, 0)) return false;
    job = {next_++, 0, 0};
    ++sizing_;
    return true;
  }

  // Nothing left to hand out, and no source still being looked at that
  // could turn out to go in blocks.
  bool AllHandedOut() const { return next_ >= sources_.size() && blocks_.empty() && sizing_ == 0; }

  void Work() {
    Coders coders;
    for (;;) {
      Job job{};
      {
        std::unique_lock<std::mutex> hold(lock_);
        bool claimed = false;
        room_.wait(hold, [&] { return stop_ || (claimed = Claim(job)) || AllHandedOut(); });
        if (!claimed) return;
        held_ += kJobMost;
      }
      Done done = Pack(job, coders);
      {
        std::lock_guard<std::mutex> hold(lock_);
        held_ = held_ - kJobMost + done.held;
        if (job.part == 0) {
          --sizing_;
          if (done.packed.blocks > 0)
            blocks_[job.entry] = Blocks{done.packed.record.OriginalSize, done.packed.blocks, 0};
        }
        done_[job] = std::move(done);
      }
      ready_.notify_all();
      room_.notify_all();
    }
  }

  const std::vector<std::string> sources_;
  const uint64_t ahead_, budget_;
  mutable TBufferPool buffers_;  // shared by the workers, safe from any thread
  std::vector<std::thread> threads_;
  std::mutex lock_;  // guards everything below but the calling thread's packer
  std::condition_variable ready_, room_;
  std::map<Job, Done> done_;         // packed, not yet taken
  std::map<size_t, Blocks> blocks_;  // entries with blocks to hand out
  size_t next_ = 0, sizing_ = 0, writing_ = 0;
  uint64_t writingPart_ = 0;  // the job of writing_ the writer waits for
  uint64_t held_ = 0;
  bool stop_ = false;
  // The calling thread's packer, without workers.
  Coders inlineCoders_;
  uint64_t inlineSize_ = 0;
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
    c_.BuildError.clear();
    const std::string& name = c_.SetupInfo.SetupExeName;
    // The installer is written into the compiled folder and nowhere else,
    // as a file of its own: its name has no folder part, no drive, is not a
    // dot name nor a device's. Refused before any path is formed from it:
    // nothing is written or removed.
    if (!platform::IsPlainFileName(name))
      return Refuse("The installer name \"" + name + "\" must be a plain file name");
    const TSetupInfoFile& info = c_.SetupInfo;
    if (!CheckLayout("install", info.Pages) ||
        (info.HasUninstall == 1 && !CheckLayout("uninstall", info.UninstallPages)))
      return false;
    if (!CopyBase() || !ApplyIcon()) return false;
    pak_ = std::make_unique<TPak>(work_, true, false);
    if (!pak_->IsOpen()) return Fail("Cannot open " + work_ + " to append the archive");
    if (!CollectSetupFiles() || !CheckLanguages() || !WriteEntries()) return false;
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
    return Refuse(std::move(text));
  }

  bool Refuse(std::string text) {
    c_.Log("Error: " + text);
    c_.BuildError = std::move(text);
    return false;
  }

  // Setup starts from its layout's Pages.txt: without it every player would
  // meet an error and an empty window.
  bool CheckLayout(const std::string& side, const std::string& pages) {
    const std::string folder = LayoutFolder(c_.ProgramDir, pages);
    if (!platform::DirectoryExists(folder)) return Refuse("The " + side + " layout folder " + folder + " is missing");
    if (!platform::FileExists(folder + "Pages.txt"))
      return Refuse("The " + side + " layout " + folder + " has no Pages.txt");
    return true;
  }

  // A language the installer cannot read ends it at start-up for every
  // player: each is read here as it will be read there.
  bool CheckLanguages() {
    for (const TCompilerFileList::TFile& file : c_.FileList.Groups[0].Files) {
      if (!IsLanguageEntry(file.Name)) continue;
      std::string fault;
      try {
        const Bytes text = ReadWholeFile(file.Source);
        fault = LanguageFileFault(text.data(), text.size());
      } catch (const EPakError& e) {
        return Fail(e.what());
      }
      if (!fault.empty())
        return Fail("The language file " + file.Source + " cannot be read by the installer: " + fault);
    }
    return true;
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
    std::vector<TIconImage> images;
    std::string reason;
    if (!ReadIconFile(icon, images, reason)) return Fail("The icon " + icon + " cannot be used: " + reason);
    if (!c_.IconWriter || !c_.IconWriter(icon, work_)) return Fail("Cannot write the icon " + icon + " into " + work_);
    return true;
  }

  // Group 0 after the compile run's language files: the layouts, the
  // finaliser, the change log, the setup information and the script.
  bool CollectSetupFiles() {
    TSetupInfoFile& info = c_.SetupInfo;
    TCompilerFileList& list = c_.FileList;
    const std::string& dir = c_.ProgramDir;
    std::u16string fault = list.AddDir(LayoutFolder(dir, info.Pages), 0, "", true, "");
    if (fault.empty() && info.HasUninstall == 1)
      fault = list.AddDir(LayoutFolder(dir, info.UninstallPages), 0, "", true, "UNINSTALL_");
    if (!fault.empty()) return Fail(platform::WideToAnsi(fault));
    if (info.HasUninstall == 1) {
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
    // The installer refuses such a name when it gets to it, halfway through
    // an installation; the author learns it now.
    for (const TCompilerFileList::TFile* file : files) {
      std::string fault = EntryNameFault(file->Name);
      if (!fault.empty()) return Fail("Cannot pack " + file->Source + " as \"" + file->Name + "\": " + fault);
    }
    c_.Log("Adding Files:");
    c_.Log("");
    // A failure returns here: the pipeline stops its workers as it goes.
    PackPipeline pipeline(std::move(sources), WorkerCount(c_.BuildThreads));
    for (size_t k = 0; k < files.size(); ++k) {
      const TCompilerFileList::TFile& file = *files[k];
      c_.Status(file.Name + " is being processed " + std::to_string(k + 1) + " of " + std::to_string(list.TotalCount));
      if (!WriteEntry(file, pipeline, k)) return false;
    }
    return true;
  }

  bool WriteEntry(const TCompilerFileList::TFile& file, PackPipeline& pipeline, size_t k) {
    PackedEntry packed = pipeline.Take(k);
    if (!packed.error.empty()) return Fail(packed.error);
    int index = pak_->AddEntry(file.Name, file.Source, file.Group);
    if (index < 0) return Fail(pak_->LastError());
    bool written;
    try {
      if (packed.copySource) {
        written = pak_->WriteEntryRaw(index);
      } else if (packed.blocks > 0) {
        uint64_t block = 0;
        written = pak_->WriteEntryBlocks(index, packed.record.OriginalSize, packed.blocks,
                                         [&](TZBlock& into) { pipeline.TakeBlock(k, block++, into); });
      } else {
        written = pak_->WriteStoredBlock(index, packed.record, packed.block);
      }
    } catch (const EPakError& e) {
      return Fail(e.what());
    }
    // The archive's refusal (the 4 GiB limit) is the author's file's doing.
    if (!written) return Fail(pak_->LastError() + " (adding " + file.Source + ")");

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

std::string TCompiler::LayoutIconPath() const { return LayoutFolder(ProgramDir, SetupInfo.Pages) + "icon.ico"; }

bool TCompiler::BuildSetup() { return SetupBuild(*this).Run(); }
