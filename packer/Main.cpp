#include "packer/Main.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "packer/SQXP.h"
#include "platform/File.h"
#include "platform/Text.h"

namespace {

constexpr uint16_t kGrey = 7;

std::string FileNameOf(const std::string& path) {
  size_t cut = path.find_last_of("\\/:");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace

TPackerOptions ParseCommandLine(const std::vector<std::string>& params) {
  TPackerOptions o;
  for (size_t i = 0; i < params.size(); ++i) {
    std::string next = i + 1 < params.size() ? params[i + 1] : "";
    std::string sw = platform::AnsiLowerCase(params[i]);
    if (sw == "-filename") {
      o.ArchivePath = next;
    } else if (sw == "-extract") {
      o.Mode = kModeNothing;
    } else if (sw == "-make") {
      o.Mode = kModeMake;
      o.SourceDir = next;
    } else if (sw == "-nowait") {
      o.WaitForKey = false;
    }
    // "-io" is accepted and does nothing, like any other word.
  }
  return o;
}

std::vector<std::u16string> ErrorLines(const std::u16string& text) {
  std::vector<std::u16string> lines;
  for (size_t at = 0; at <= text.size();) {
    size_t end = std::min(text.find(u'\n', at), text.size());
    lines.push_back((lines.empty() ? u"Error: " : u"  ") + text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

int64_t RoundToMiB(int64_t bytes) {
  constexpr int64_t kMiB = 1 << 20;
  int64_t q = bytes / kMiB, r = bytes % kMiB;
  if (r < 0) {  // floor division, so the remainder is 0 ... kMiB - 1
    --q;
    r += kMiB;
  }
  if (2 * r > kMiB || (2 * r == kMiB && q % 2 != 0)) ++q;
  return q;
}

int TPacker::RunPacker(const std::vector<std::string>& params, const std::string& version) {
  options_ = ParseCommandLine(params);
  title_ += version;
  console_.SetTitle(title_);
  for (int row = 0; row < console_.Height(); ++row) console_.ClearLine(row);
  console_.Flush(true);
  console_.WriteText(title_, 0, kGrey, 0);
  console_.Flush();

  int code = kExitOk;
  try {
    if (options_.Mode == kModeMake) code = MakeArchive();
    if (options_.Mode == kModeInfo) code = DisplayArchiveInfo();
  } catch (const EQXPError& e) {
    ReportError(e.Wide.empty() ? platform::AnsiToWide(e.what()) : e.Wide);
    code = kExitFailure;
  } catch (const std::exception& e) {
    ReportError(platform::AnsiToWide(e.what()));
    code = kExitFailure;
  }
  console_.SetTitle("");
  return code;
}

int TPacker::MakeArchive() {
  std::string text = title_ + " - " + FileNameOf(options_.ArchivePath);
  console_.SetTitle(text);
  if (!console_.Plain()) console_.WriteText(text, 0, kGrey, 0);

  TQXP qxp;
  qxp.OnProgress = [&](int done, int total) { ShowProgress(qxp, done, total); };
  qxp.Header2.Flag = false;
  qxp.Make(options_.ArchivePath, options_.SourceDir);
  if (console_.Plain())
    console_.WriteText("Progress: " + std::to_string(qxp.Header.Count) + "/" + std::to_string(qxp.Header.Count), 0,
                       kGrey, 3);
  if (options_.WaitForKey) PromptAndWait();
  return kExitOk;
}

void TPacker::ShowProgress(const TQXP& qxp, int done, int total) {
  // Plain output gets the final count only, not a line per round.
  if (console_.Plain()) return;
  for (int row = 3; row <= 19; ++row) console_.ClearLine(row);
  console_.WriteText("Progress: " + std::to_string(done) + "/" + std::to_string(total), 0, kGrey, 3);
  for (size_t k = 0; k < qxp.Threads.size(); ++k) {
    const TQXPWriteThread& t = *qxp.Threads[k];
    int row = 4 + 2 * static_cast<int>(k), current = t.CurrentIndex.load();
    console_.WriteText("Thread" + std::to_string(k) + ": " + std::to_string(t.DoneCount.load()) + "/" +
                           std::to_string(t.AssignedCount.load()),
                       0, kGrey, row);
    if (!t.Finished.load() && current >= 0)
      console_.WriteText(qxp.Entries[static_cast<size_t>(current)].Name, 0, kGrey, row + 1);
  }
  console_.Flush();
}

int TPacker::DisplayArchiveInfo() {
  if (options_.ArchivePath.empty() || !platform::FileExists(options_.ArchivePath)) {
    ShowUsage();
    return kExitUsage;
  }
  TQXP qxp;
  TQXPReadStatus status = qxp.Open(options_.ArchivePath);
  console_.WriteText("Ver: " + std::to_string(qxp.Header.Version), 1, kGrey, 2);
  console_.WriteText("Count: " + std::to_string(qxp.Header.Count), 1, kGrey, 3);
  // The reader's reason goes below the verdict.
  switch (status) {
    case TQXPReadStatus::InvalidVersion:
      throw EQXPError("Invalid QXP Version\n" + qxp.Detail);
    case TQXPReadStatus::InvalidHeader:
      throw EQXPError("Invalid QXP Header\n" + qxp.Detail);
    case TQXPReadStatus::InvalidTable:
      throw EQXPError("Invalid QXP Table\n" + qxp.Detail);
    case TQXPReadStatus::Ok:
      break;
  }
  if (qxp.Header.Count > 0 && !qxp.Entries.empty()) {
    int64_t packed = 0, unpacked = 0;
    for (const TQXPEntry& e : qxp.Entries) {
      packed += e.StoredSize;
      unpacked += e.OriginalSize;
    }
    console_.WriteText(
        "Size: " + std::to_string(RoundToMiB(packed)) + "MB/" + std::to_string(RoundToMiB(unpacked)) + "MB", 1, kGrey,
        1);
  }
  PromptAndWait();
  return kExitOk;
}

void TPacker::ShowUsage() {
  static const struct {
    int x, y;
    const char* text;
  } lines[] = {
      {1, 2, "Usage: -filename \"C:\\somefile.qxp\" -make \"C:\\somedirectory\\\" -nowait"},
      {3, 4, "-filename <Filename>"},
      {5, 5, "specifies the QXP filename to write to"},
      {3, 7, "-make <Directory>"},
      {5, 8, "sets the source directory where files to be packed are located"},
      {3, 10, "-nowait"},
      {5, 11, "when set Vessok will close when finished without waiting "},
      {5, 12, "for keyboard input"},
  };
  for (const auto& line : lines) console_.WriteText(line.text, line.x, kGrey, line.y);
  PromptAndWait();
}

void TPacker::ReportError(const std::u16string& text) {
  error_ = text;
  std::vector<std::u16string> lines = ErrorLines(text);
  if (console_.Plain()) {
    for (const std::u16string& line : lines) platform::WriteErrorLine(line);
    return;
  }
  // Right above the prompt, below the title and the archive's figures: as
  // many lines as fit there; all of them are printed again once the screen
  // is given back.
  int row = std::max(4, console_.PromptRow() - static_cast<int>(lines.size()));
  for (size_t k = 0; k < lines.size() && row < console_.PromptRow(); ++k, ++row) {
    console_.ClearLine(row);
    console_.WriteText(platform::WideToAnsi(lines[k]), 1, kGrey, row);
  }
  // The information screen always waits; a make run only without -nowait.
  if (options_.Mode == kModeInfo || options_.WaitForKey) PromptAndWait();
  console_.Flush();
}

void TPacker::PromptAndWait() {
  if (console_.Plain()) return;
  if (options_.Mode == kModeMake) {
    console_.ClearLine(console_.PromptRow());
    console_.WriteText("PRESS ANY KEY", console_.PromptColumn(), kGrey, console_.PromptRow());
  }
  console_.Flush();
  WaitForKey();
}

void TPacker::WaitForKey() {
  // The prompt blinks: blank after 500 ms, shown again 500 ms later. The
  // time is counted in sleeps, not measured.
  int elapsed = 0;
  bool blank = false;
  for (;;) {
    platform::PumpMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    elapsed += 10;
    if (elapsed >= 500) {
      blank = !blank;
      if (blank)
        console_.ClearLine(console_.PromptRow());
      else
        console_.WriteText("PRESS ANY KEY", console_.PromptColumn(), kGrey, console_.PromptRow());
      console_.Flush();
      elapsed = 0;
    }
    if (console_.KeyPressed()) return;
  }
}
