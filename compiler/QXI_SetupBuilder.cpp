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
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <tuple>
#include <utility>

#include "Global/QXI_PakFile.h"
#include "compiler/QXI_CompilerUtils.h"
#include "compiler/QXI_LayoutCheck.h"
#include "diagnostics/SCrashEnding.h"
#include "diagnostics/SHookQuiet.h"
#include "installer-library/QXI_PakExtract.h"
#include "installer-library/SE_Languages.h"
#include "installer-library/iconchanger.h"
#include "platform/Directory.h"
#include "platform/File.h"
#include "platform/FileName.h"
#include "platform/FileReplacement.h"
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

// Copies the whole file into `out`, from its start; false when any part of
// it could not be read or written.
bool CopyInto(File& in, File& out) {
  int64_t size = in.Size();
  Bytes piece(kCopyPiece);
  int64_t done = 0;
  for (size_t n; size >= 0 && (n = in.Read(piece.data(), piece.size())) > 0; done += static_cast<int64_t>(n))
    if (!out.Write(piece.data(), n)) return false;
  // A read error looks like the end of the file: the length tells.
  return size >= 0 && done == size && out.Size() == size;
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

using TListedFile = TCompilerFileList::TFile;

PackedEntry PackSource(const TListedFile& file, TZDeflater& deflater) {
  PackedEntry packed;
  if (file.Contents) {
    // Made by the compiler, small: packed as a file of these bytes would be.
    packed.block = TPak::PackEntry(packed.record, file.Contents->data(), file.Contents->size());
    return packed;
  }
  // Raw contents are never held: the writer copies them in pieces. A source
  // that went away or is held by another program since it was listed fails
  // the build.
  packed.block =
      TPak::PackEntryFile(packed.record, file.Source, packed.copySource, packed.blocks, packed.error, &deflater);
  return packed;
}

// Block `index` of a source of `size` bytes, read with its dictionary, into
// `block`; why it could not be read, or empty.
std::string PackBlock(const std::string& source, uint64_t size, uint64_t index, TZBlockCoder& coder,
                      TBufferPool& buffers, TZBlock& block) {
  TZBlockSpan span = ZBlockSpan(size, index);
  auto from = static_cast<int64_t>(span.Dictionary);
  File file;
  if (!file.Open(source, OpenMode::Read)) return "Cannot open file \"" + source + "\"";
  // The blocks of one file are read one by one, each on its own: a file
  // that another program changes meanwhile would give an installer of no
  // version of it.
  if (file.Size() != static_cast<int64_t>(size))
    return "The file \"" + source +
           "\" changed while the installer was being built; build again once it stays as it is";
  Bytes data = buffers.Take(span.ReadLength());
  const bool read =
      file.Seek(from, platform::SeekOrigin::Begin) == from && file.Read(data.data(), data.size()) == data.size();
  if (read) block = coder.Code(data.data(), span.DictionaryLength(), data.size(), span.Last, &buffers);
  buffers.Give(std::move(data));
  return read ? "" : "Cannot read file \"" + source + "\"";
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
  PackPipeline(std::vector<const TListedFile*> sources, int workers)
      : sources_(std::move(sources)),
        ahead_(static_cast<uint64_t>(std::max(workers, 1)) + 2),
        budget_(ahead_ * kJobMost),
        buffers_(2 * ahead_) {
    if (workers <= 1) return;
    try {
      THookQuietScope quiet;  // a system that starts no more threads is no fault
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
  // written, in turn once Take(index) gave their count; why it could not be
  // made, or empty.
  std::string TakeBlock(size_t index, uint64_t block, TZBlock& into) {
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
    into = std::move(done.block);
    return done.error;
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
        done.packed = PackSource(*sources_[job.entry], *coders.whole);
      } else {
        if (!coders.block) coders.block = std::make_unique<TZBlockCoder>();
        done.error =
            PackBlock(sources_[job.entry]->Source, job.size, job.part - 1, *coders.block, buffers_, done.block);
      }
    } catch (const std::exception& e) {
      // No memory, or the compression library failing: nothing a file of
      // the author's brings about.
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

  const std::vector<const TListedFile*> sources_;
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
      : c_(compiler), target_(compiler.ProgramDir + "\\compiled\\" + compiler.SetupInfo.SetupExeName) {}

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
    // A crash of the build takes away what it wrote, as a failure does, and
    // then winds up what the build was called from.
    TCrashEnding* outer = TCrashEnding::Current();
    TCrashEnding ending("Setup Builder", [this, outer] {
      Abandon();
      if (outer && outer->Ending) std::exchange(outer->Ending, nullptr)();
    });
    // The installer is written beside its final name and takes it only once
    // it is complete, so an older installer stays as it is until then.
    out_.emplace(target_);
    if (!out_->IsOpen()) return Fail("Cannot create " + out_->Path());
    if (!CopyBase() || !ApplyIcon()) return false;
    pak_ = std::make_unique<TPak>(out_->Path(), true, false);
    if (!pak_->IsOpen()) return Fail("Cannot open " + out_->Path() + " to append the archive");
    if (!CollectSetupFiles() || !CheckLanguages() || !WriteEntries()) return false;
    if (!pak_->WriteTable()) return Fail(pak_->LastError());
    int64_t end = FileSeek64(pak_->Handle(), platform::SeekOrigin::End, 0);
    if (end < 0) return Fail("Cannot position in " + out_->Path());
    uint32_t setupSize = static_cast<uint32_t>(end);  // below 4 GiB: the archive sees to that
    pak_.reset();
    if (!out_->Commit()) return Fail("Cannot replace " + target_);

    c_.Log("");
    c_.Log("Paked Contents Sizes   " + FormatSize(contents_.packed) + " / " + FormatSize(contents_.unpacked));
    c_.Log("Paked Setup Files Sizes   " + FormatSize(setupFiles_.packed) + " / " + FormatSize(setupFiles_.unpacked));
    c_.Log("Setup Size   " + FormatSize(setupSize));
    c_.Log("Finished");
    return true;
  }

 private:
  // What the build wrote goes; the archive first, which holds it open.
  void Abandon() {
    pak_.reset();
    out_.reset();
  }

  // Ends a build that failed: the error is logged and nothing it wrote stays.
  bool Fail(std::string text) {  // a copy: the text may be the archive's own
    Abandon();
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
      Bytes text;
      std::string fault;
      if (!ReadWholeFile(file.Source, text, fault)) return Fail(fault);
      fault = LanguageFileFault(text.data(), text.size());
      if (!fault.empty())
        return Fail("The language file " + file.Source + " cannot be read by the installer: " + fault);
    }
    return true;
  }

  // A page the installer cannot build ends it at start-up for every player:
  // each layout is loaded here, from the archive being written, as the
  // installer and its uninstaller will load it.
  bool CheckPages() {
    const TSetupInfoFile& info = c_.SetupInfo;
    for (bool uninstaller : {false, true}) {
      if (uninstaller && info.HasUninstall != 1) continue;
      std::string fault = LayoutPagesFault(*pak_, info, uninstaller);
      if (!fault.empty())
        return Fail("The " + std::string(uninstaller ? "uninstall" : "install") + " layout " +
                    LayoutFolder(c_.ProgramDir, uninstaller ? info.UninstallPages : info.Pages) +
                    " cannot be shown by the installer: " + fault);
    }
    return true;
  }

  bool CopyBase() {
    std::string base = c_.ProgramDir + "\\base\\setup.exe";
    if (!platform::FileExists(base)) return Fail("The base program " + base + " is missing");
    File in;
    if (!in.Open(base, OpenMode::Read)) return Fail("Cannot read the base program " + base);
    if (!CopyInto(in, out_->Stream())) return Fail("Cannot copy the base program to " + out_->Path());
    // The icon writer and the archive open the copy by its name.
    out_->Stream().Close();
    return true;
  }

  bool ApplyIcon() {
    std::string icon = c_.LayoutIconPath();
    if (!platform::FileExists(icon)) return true;
    std::vector<TIconImage> images;
    std::string reason;
    if (!ReadIconFile(icon, images, reason)) return Fail("The icon " + icon + " cannot be used: " + reason);
    if (!c_.IconWriter || !c_.IconWriter(icon, out_->Path()))
      return Fail("Cannot write the icon " + icon + " into " + out_->Path());
    return true;
  }

  // Group 0 after the compile run's language files: the layouts, the
  // finaliser, the change log, the setup information and the script, the
  // last two from memory.
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
    Bytes stored;
    if (!info.Store(stored)) return Fail("The setup information cannot be stored: a text is longer than 65535 bytes");
    list.AddContents("SetupInfo", std::move(stored));
    TCommandList none;
    if (!c_.CompLines.Store(c_.Commands ? *c_.Commands : none, stored))
      return Fail("The compiled script cannot be stored");
    list.AddContents("CompiledLines", std::move(stored));
    return true;
  }

  bool WriteEntries() {
    const TCompilerFileList& list = c_.FileList;
    std::vector<const TListedFile*> files;
    for (const auto& group : list.Groups)
      for (const TListedFile& file : group.Files) files.push_back(&file);
    // Checked before anything is packed: the table counts in 16 bits.
    if (files.size() > kMaxPakEntries)
      return Fail(std::to_string(files.size()) + " files to pack; an installer holds at most " +
                  std::to_string(kMaxPakEntries));
    // The installer refuses such a name when it gets to it, halfway through
    // an installation; the author learns it now.
    for (const TListedFile* file : files) {
      std::string fault = EntryNameFault(file->Name);
      if (!fault.empty()) return Fail("Cannot pack " + SourceName(*file) + " as \"" + file->Name + "\": " + fault);
    }
    c_.Log("Adding Files:");
    c_.Log("");
    // Group 0 comes first: the pages are checked once it is written, before
    // the mod's files are waited for.
    const size_t modFiles =
        std::find_if(files.begin(), files.end(), [](const TListedFile* f) { return f->Group != 0; }) - files.begin();
    // A failure returns here: the pipeline stops its workers as it goes.
    PackPipeline pipeline(files, WorkerCount(c_.BuildThreads));
    for (size_t k = 0; k < files.size(); ++k) {
      if (k == modFiles && !CheckPages()) return false;
      const TListedFile& file = *files[k];
      c_.Status(file.Name + " is being processed " + std::to_string(k + 1) + " of " + std::to_string(list.TotalCount));
      if (!WriteEntry(file, pipeline, k)) return false;
    }
    return modFiles < files.size() || CheckPages();
  }

  // The file an entry is packed from, for a refusal.
  static std::string SourceName(const TListedFile& file) { return file.Contents ? "the " + file.Name : file.Source; }

  bool WriteEntry(const TListedFile& file, PackPipeline& pipeline, size_t k) {
    PackedEntry packed = pipeline.Take(k);
    if (!packed.error.empty()) return Fail(packed.error);
    int index = pak_->AddEntry(file.Name, file.Source, file.Group);
    if (index < 0) return Fail(pak_->LastError());
    bool written;
    std::string blockFault;
    if (packed.copySource) {
      written = pak_->WriteEntryRaw(index);
    } else if (packed.blocks > 0) {
      uint64_t block = 0;
      written = pak_->WriteEntryBlocks(index, packed.record.OriginalSize, packed.blocks, [&](TZBlock& into) {
        blockFault = pipeline.TakeBlock(k, block++, into);
        return blockFault;
      });
    } else {
      written = pak_->WriteStoredBlock(index, packed.record, packed.block);
    }
    // A source that cannot be read names itself; the archive's refusal (the
    // 4 GiB limit) is the author's file's doing too.
    if (!blockFault.empty()) return Fail(blockFault);
    if (!written) return Fail(pak_->LastError() + " (adding " + SourceName(file) + ")");

    const TPakFile& entry = pak_->Entries[index];
    std::string sizes = "   " + FormatSize(entry.StoredSize) + " / " + FormatSize(entry.OriginalSize);
    c_.Log(file.Group > 0 ? " " + file.Name + sizes : "SETUP COMPONENT:  " + file.Name + sizes);
    SizeTotals& totals = file.Group > 0 ? contents_ : setupFiles_;
    totals.unpacked += entry.OriginalSize;
    totals.packed += entry.StoredSize != 0 ? entry.StoredSize : entry.OriginalSize;
    return true;
  }

  TCompiler& c_;
  const std::string target_;
  // Declared in this order so that the archive, which holds the file open,
  // goes before the file is taken away.
  std::optional<platform::FileReplacement> out_;
  std::unique_ptr<TPak> pak_;
  SizeTotals contents_, setupFiles_;
};

}  // namespace

std::string TCompiler::LayoutIconPath() const { return LayoutFolder(ProgramDir, SetupInfo.Pages) + "icon.ico"; }

bool TCompiler::BuildSetup() { return SetupBuild(*this).Run(); }
