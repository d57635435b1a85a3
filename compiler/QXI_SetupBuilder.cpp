// The setup builder: a copy of the base installer program, given the install
// layout's icon, with one installer archive appended that holds every file
// of the compile run, group after group. The installer is built under a
// working name beside its final one and renamed only when it is complete, so
// a failed build leaves no partial installer and an older one intact.
#include "compiler/QXI_SetupBuilder.h"

#include <memory>

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
    size_t entries = 0;
    for (const auto& group : list.Groups) entries += group.Files.size();
    // Checked before anything is packed: the table counts in 16 bits.
    if (entries > kMaxPakEntries)
      return Fail(std::to_string(entries) + " files to pack; an installer holds at most " +
                  std::to_string(kMaxPakEntries));
    c_.Log("Adding Files:");
    c_.Log("");
    int k = 0;
    for (const auto& group : list.Groups) {
      for (const TCompilerFileList::TFile& file : group.Files) {
        c_.Status(file.Name + " is being processed " + std::to_string(k + 1) + " of " +
                  std::to_string(list.TotalCount));
        if (!WriteEntry(file)) return false;
        ++k;
      }
    }
    return true;
  }

  bool WriteEntry(const TCompilerFileList::TFile& file) {
    // A source that went away since it was listed fails the build here,
    // before the archive writer would raise for it.
    if (!CanOpen(file.Source)) return Fail("Cannot read " + file.Source);
    int index = pak_->AddEntry(file.Name, file.Source, file.Group);
    if (index < 0) return Fail(pak_->LastError());
    bool written;
    try {
      written = pak_->WriteEntryFile(index);
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
