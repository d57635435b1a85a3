// A game archive as both programs read it: the packer's information screen
// and the installer's updater each find the trailer by their own rules and
// read header and table; every entry's blob is then read and decoded. An
// archive the installer accepts then goes through one update (a second name
// for an entry), after which it must still read whole.
#include <cstdlib>
#include <cstring>

#include "Global/QX_PakFormat.h"
#include "Global/QX_PakSystem.h"
#include "fuzz/FuzzSupport.h"
#include "installer-library/QXI_Commands.h"
#include "installer-library/SE_Global.h"
#include "packer/SQXP.h"

namespace {

// The updater's failure ends the installation; here it ends the update.
struct Alerts : TPakSystemAlerts {
  void Fail(const std::string&) override { Fatal = true; }
  bool AskRetry(const std::string&) override { return false; }
  void Cancelled() override {}
  bool Fatal = false;
};

void ReadEntries(platform::File& file, const TQXPTail& tail) {
  for (const TQXPEntry& e : tail.Entries) {
    if (e.Offset < 0 || e.StoredSize < 0 || e.Offset + int64_t{e.StoredSize} > tail.TableStart) continue;
    Bytes blob(static_cast<size_t>(e.StoredSize));
    if (file.Seek(e.Offset, platform::SeekOrigin::Begin) != e.Offset ||
        file.Read(blob.data(), blob.size()) != blob.size())
      std::abort();
    if (e.Method == kMethodZlib) {
      ScrambleBlob(blob.data(), blob.size());
      Bytes contents;
      try {
        ZInflate(blob.data(), blob.size(), static_cast<size_t>(std::max(e.OriginalSize, 0)), contents);
      } catch (const EZlibError&) {
      }
    } else if (e.Method == kMethodWav && blob.size() >= kWavHeaderSize) {
      TWavHeader::ReadFrom(blob.data());
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace fuzz_support;
  std::string path = WriteFile("game.qxp", data, size);
  TQXPReadStatus setupStatus = TQXPReadStatus::InvalidHeader;
  std::string firstName;
  for (TQXPTrailerRules rules : {TQXPTrailerRules::Setup, TQXPTrailerRules::Packer}) {
    platform::File file(path, platform::OpenMode::Read);
    TQXPTail tail;
    TQXPReadStatus status = ReadQXPTail(file, rules, tail);
    // Every refusal names its reason.
    if ((status == TQXPReadStatus::Ok) != tail.Detail.empty()) std::abort();
    if (status == TQXPReadStatus::Ok) ReadEntries(file, tail);
    if (rules == TQXPTrailerRules::Setup) {
      setupStatus = status;
      if (!tail.Entries.empty()) firstName = tail.Entries.front().Name;
    }
  }
  {
    TQXP packer;
    packer.Open(path);
  }

  if (setupStatus != TQXPReadStatus::Ok || firstName.empty()) return 0;
  Alerts alerts;
  SetupInfoFile.InstallDir = WorkDir();
  PakSystem.Alerts = &alerts;
  try {
    PakSystem.DuplicateEntry("game.qxp", firstName, "fuzz\\second name");
  } catch (const EPakSystemEnded&) {
  }
  if (alerts.Fatal) return 0;
  platform::File file(path, platform::OpenMode::Read);
  TQXPTail tail;
  if (ReadQXPTail(file, TQXPTrailerRules::Setup, tail) != TQXPReadStatus::Ok) std::abort();
  return 0;
}
