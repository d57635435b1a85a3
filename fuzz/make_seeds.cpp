// Writes the seed inputs of every fuzz target into OUT/<target>/, made with
// the writers of the system and the builders of the unit tests from the
// sample mod and the programs' own files, so the seeds follow the formats as
// they change and nothing binary is kept in the repository.
//
//   make_seeds SOURCE_ROOT OUT
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "Global/QXI_PakFile.h"
#include "Global/QX_PakFormat.h"
#include "Global/VFS_Unit.h"
#include "compiler/QXI_GenerateModCode.h"
#include "compiler/TCompiler.h"
#include "fuzz/FuzzSupport.h"
#include "installer-library/QXI_CommandList.h"
#include "installer-library/QXI_Commands.h"
#include "installer-library/QXI_SetupInfo.h"
#include "installer-library/SE_Uninstall_List.h"
#include "packer/SQXP.h"
#include "tests/Global/VFSImage.h"
#include "tests/diagnostics/MapBlocks.h"
#include "tests/packer/WavBuilder.h"
#include "tests/support/BmpFile.h"
#include "tests/support/IconFile.h"
#include "tests/support/LanguageFile.h"
#include "tests/support/TestData.h"

namespace fs = std::filesystem;

namespace {

fs::path root, out;

Bytes Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Bytes Bytes_(std::string_view text) { return Bytes(text.begin(), text.end()); }

// Parts of one input, joined by the marker the targets split at.
Bytes Parts(const std::vector<Bytes>& parts) {
  Bytes all;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) all.insert(all.end(), fuzz_support::kPartMarker.begin(), fuzz_support::kPartMarker.end());
    all.insert(all.end(), parts[i].begin(), parts[i].end());
  }
  return all;
}

void Seed(const std::string& target, const std::string& name, const Bytes& data) {
  fs::create_directories(out / target);
  std::ofstream(out / target / name, std::ios::binary)
      .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

const TCommandList& Commands() {
  static TCommandList list;
  if (!list.Count()) RegisterCommands(list);
  return list;
}

// The script Torvane generates for the sample mod, and one line for every
// command of the table.
std::vector<std::string> Scripts() {
  TModCodeInputs in;
  in.SetupName = "Sample Mod 1.0";
  in.SetupShortName = "SampleMod";
  in.SetupExeName = "SampleModSetup.exe";
  in.PrefixName = "smod_";
  in.InstallPages = "Install\\QX1";
  in.UninstallPages = "Uninstall\\QX1";
  in.ModDir = "SampleMod";
  in.ModFilesDir = (root / "examples/sample-mod").string();
  in.ModIniFile = (root / "initempdir/SampleMod.ini").string();
  in.ProgramDir = root.string();
  std::string every;
  for (int32_t id = 1; id <= Commands().Count(); ++id)
    every += Commands().Get(id)->Keyword + " \"C:\\Games\\Mod\" 1 two\r";
  return {GenerateModCode(in), "start:\rmessage Hello\rgoto start\r" + every};
}

std::vector<std::string> Lines(const std::string& script) {
  std::vector<std::string> lines;
  for (std::string_view l : fuzz_support::Split(reinterpret_cast<const uint8_t*>(script.data()), script.size(), "\r"))
    lines.emplace_back(l);
  return lines;
}

void ScriptSeeds(TSetupInfoFile& info, Bytes& compiled) {
  int n = 0;
  for (const std::string& script : Scripts()) {
    Seed("script_compiler", "script" + std::to_string(++n), Bytes_(script));
    TCompiler compiler(&Commands());
    compiler.ProgramDir = root.string();
    compiler.Compile(Lines(script), root.string());
    Bytes lines, record;
    if (compiler.CompLines.Store(Commands(), lines)) {
      Seed("compiled_lines", "lines" + std::to_string(n), lines);
      compiled = lines;
    }
    if (compiler.SetupInfo.Store(record)) Seed("setup_info", "compiled" + std::to_string(n), record);
  }
  info.SetupName = "Sample Mod 1.0";
  info.SetupShortName = "SampleMod";
  info.SetupExeName = "SampleModSetup.exe";
  info.UninstallExe = "uninst.exe";
  info.UninstallPrefix = "smod_";
  info.InstallDir = "C:\\Games\\Game\\";
  info.InstallDirRegKey[0] = {0, "Software\\Maker\\Game", "Path"};
  info.InstallDirRegKey[4] = {7, "Software\\Other", ""};
  info.Pages = "Install\\QX1";
  info.UninstallPages = "Uninstall\\QX1";
  info.IsUninstaller = 1;
  info.HasUninstall = 1;
  Bytes record;
  info.Store(record);
  Seed("setup_info", "full", record);
  Seed("setup_info", "empty", [] {
    Bytes b;
    TSetupInfoFile().Store(b);
    return b;
  }());
}

const char16_t* kLanguage =
    u"English\r\n409;809;\r\n12 < Back\r\n13 Next >\r\n19 Updating <%QXPNAME%>: <%FNUM%> of <%FTOTAL%>\r\n"
    u"20 Welcome to <%SETUPTITLE%>\r\n21 <LANG20> again<BR>x\r\n";

void LanguageSeeds() {
  Seed("language_file", "english", testing_support::LanguageFileBytes(kLanguage));
  Seed("language_file", "single", testing_support::LanguageFileBytes(u"Deutsch\r\n407\r\n1 Ja\r\n"));
}

const char* kPages =
    "[pages]\r\n1.txt\r\n2.txt\r\n3.txt\r\n[settings]\r\nColour=$0000FF\r\nfontcolour=$FF\r\n"
    "[PageTypes]\r\nwelcome\r\nINSTALLDIR\r\nfinish\r\n";
const char* kWelcome =
    "[Title]\r\ntype=tlabel\r\ncaption=Welcome <LANG20><BR>to <%SETUPTITLE%>\r\nleft=10\r\ntop=20\r\nwidth=200\r\n"
    "height=30\r\nfont=Arial\r\nfontsize=12\r\nfontcolour=$00FF00\r\n[logo]\r\ntype=timage\r\nFile=4.bmp\r\nTile=1\r\n";
const char* kDir =
    "[installdir_edit]\r\ntype=tedit\r\nleft=5\r\n[box]\r\ntype=tpanel\r\ncolour=$FFFFFF\r\n[opt]\r\ntype="
    "tradiobutton\r\ncaption=One\r\n";
const char* kEnd = "[done]\r\ntype=tlabel\r\ncaption=Done\r\n[log]\r\ntype=trichedit\r\nFile=5.txt\r\n";

// A 4 x 2 picture of 8 bits, run-length coded as picture tools write it: a
// run, a stretch as it is, a move, the row and picture ends.
Bytes RunLengthBmp() {
  Bytes file = {'B', 'M'};
  auto put = [&](uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) file.push_back(static_cast<uint8_t>(value >> (8 * i)));
  };
  const Bytes pixels = {2, 1, 0, 3, 0, 1, 0, 0, 0, 0, 0, 2, 1, 0, 4, 1, 0, 1};
  put(14 + 40 + 8 + pixels.size(), 4);
  put(0, 4);
  put(14 + 40 + 8, 4);
  for (uint32_t v : {40u, 4u, 2u}) put(v, 4);
  put(1, 2);
  put(8, 2);
  for (uint32_t v : {1u, static_cast<uint32_t>(pixels.size()), 2835u, 2835u, 2u, 0u}) put(v, 4);
  for (uint32_t c : {0x000000u, 0x00FF00u}) put(c, 4);
  file.insert(file.end(), pixels.begin(), pixels.end());
  return file;
}

// A text as Notepad saves it as "Unicode": UTF-16 with its mark.
Bytes Utf16(std::string_view text) {
  Bytes out = {0xFF, 0xFE};
  for (char c : text) out.insert(out.end(), {static_cast<uint8_t>(c), 0});
  return out;
}

void LayoutSeeds() {
  uint32_t pixels[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
  Bytes bmp = testing_support::BmpFile(2, 2, pixels);
  Seed("page_layout", "wizard",
       Parts({Bytes_(kPages), Bytes_(kWelcome), Bytes_(kDir), Bytes_(kEnd), bmp, Bytes_("{\\rtf1 Hello}")}));
  Seed("page_layout", "one", Parts({Bytes_("[pages]\r\n1.txt\r\n"), Bytes_(kDir)}));
  Seed("page_layout", "unicode-rle",
       Parts({Utf16(kPages), Utf16(kWelcome), Bytes_(kDir), Bytes_(kEnd), RunLengthBmp(), Bytes_("plain")}));
}

void UninstallSeeds() {
  TUninstallList list;
  list.AddFile("C:\\Games\\Game\\mods\\SampleMod\\items.ini");
  list.AddFile("C:\\Games\\Game\\mods\\SampleMod\\sounds\\chime.wav");
  list.AddRegEntry(RegEntryText("HKEY_LOCAL_MACHINE", "Software\\SampleMod", "Path", "C:\\Games"));
  list.AddDir("C:\\Games\\Game\\mods\\SampleMod");
  list.AddDir("C:\\Games\\Game\\mods\\SampleMod\\sounds");
  fs::path dir = out / "tmp";
  fs::create_directories(dir);
  if (list.SaveToFile(dir.string(), "")) Seed("uninstall_log", "log", Read(dir / "install.log"));
}

void InstallerArchiveSeeds(const TSetupInfoFile& info, const Bytes& compiled) {
  fs::path path = out / "tmp/setup.pak";
  {
    TPak pak(path.string(), false, true);
    Bytes record;
    info.Store(record);
    Bytes language = testing_support::LanguageFileBytes(kLanguage);
    pak.WriteEntryData(pak.AddEntry("SetupInfo", "", 0), record.data(), record.size());
    pak.WriteEntryData(pak.AddEntry("CompiledLines", "", 0), compiled.data(), compiled.size());
    pak.WriteEntryData(pak.AddEntry("lang_english.lng", "", 0), language.data(), language.size());
    pak.WriteEntryData(pak.AddEntry("Pages.txt", "", 0), kPages, std::strlen(kPages));
    uint16_t group = 1;
    for (const auto& f : fs::recursive_directory_iterator(root / "examples/sample-mod")) {
      if (!f.is_regular_file()) continue;
      std::string name = fs::relative(f.path(), root / "examples/sample-mod").string();
      std::replace(name.begin(), name.end(), '/', '\\');
      Bytes data = Read(f.path());
      pak.WriteEntryData(pak.AddEntry(name, "", group), data.data(), data.size());
      group = group == 1 ? 2 : 1;
    }
    Bytes noise = testing_support::Random(300, 7);  // stored raw: it does not compress
    pak.WriteEntryData(pak.AddEntry("raw.bin", "", 3), noise.data(), noise.size());
    pak.WriteTable();
  }
  Bytes program = diag_test::ProgramBytes(64), pak = Read(path);
  program.insert(program.end(), pak.begin(), pak.end());
  Seed("installer_archive", "setup", program);
}

void GameArchiveSeeds() {
  fs::path path = out / "tmp/game.qxp";
  TQXP packer;
  packer.WorkerCount = 1;
  packer.Make(path.string(), (root / "examples/sample-mod").string());
  Bytes made = Read(path);
  Seed("game_archive", "packed", made);
  // The same with the password blocks the two programs write.
  for (char version : {'2', '3'}) {
    Bytes game = made, trailer = MakeLongTrailer(7, version, 3, 4, "secret", 1);
    game.insert(game.end(), trailer.begin(), trailer.end());
    Seed("game_archive", std::string("password") + version, game);
  }
}

void WavSeeds() {
  using namespace wav_builder;
  Seed("wav_file", "chime", Read(root / "examples/sample-mod/sounds/chime.wav"));
  Seed("wav_file", "click", Read(root / "examples/sample-mod/sounds/effects/click.wav"));
  Seed("wav_file", "stereo_cue",
       Riff({Chunk("fmt ", Format(2, 22050, 16)), Chunk("data", Ramp(4096)), Chunk("cue ", Cue({100, 2000}))}));
  Seed("wav_file", "mono_odd",
       Riff({Chunk("fmt ", Format(1, 11025, 16, 2)), Chunk("LIST", Ramp(3)), Chunk("data", Ramp(1001)),
             Chunk("cue ", Cue({50}))}));
  Seed("wav_file", "six_extensible_streamed",
       Riff({Chunk("fmt ", Extensible(6, 22050, 16, 1)), Chunk("data", Ramp(1200), true, 0xFFFFFFFFu)}));
}

void ContainerSeeds() {
  vfs_test::Layout l;
  l.extra = testing_support::Text("EXTRA");
  l.Put({5, 2, 9}, testing_support::Text(std::string(150, 'f')));
  l.root[0] = vfs_test::RawEntry("file.bin", 1, 5, 150);
  l.Put({4, 11}, vfs_test::RawEntry("inner.txt", 1, 7, 3));
  l.Put({7}, testing_support::Text("abc"));
  l.root[2] = vfs_test::RawEntry("Dir", 2, 4, 88);
  Bytes container = l.Build();
  Seed("container", "tree", container);
  fs::path path = out / "tmp/game.vfs";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(container.data()), static_cast<std::streamsize>(container.size()));
  {
    TVFSFile vfs;
    vfs.Open(path.string(), true);
    Bytes text = testing_support::Compressible(900);
    vfs.Tree().AddVFSFile("Dir\\packed.txt", text.data(), static_cast<uint32_t>(text.size()));
    vfs.Save(false);
  }
  Seed("container", "with_side_file", Parts({Read(path), Read(HashFileName(path.string()))}));
}

const char* kTextMap =
    "\r\n Start         Length     Name                   Class\r\n"
    " 0001:00401000 000A1234H .text                   CODE\r\n\r\n"
    "Detailed map of segments\r\n\r\n"
    " 0001:00000000 0000F1C4 C=CODE     S=.text    G=(none)   M=System   ACBP=A9\r\n"
    " 0002:00000000 00000010 C=DATA     S=.data    G=DGROUP   M=System   ACBP=A9\r\n\r\n"
    "Line numbers for System(system.pas) segment .text\r\n\r\n"
    "   120 0001:00000010   121 0001:00000014   119 0001:00000018\r\n\r\n";

void AddressMapSeeds() {
  using namespace diag_test;
  TEXEMapUnit unit;
  unit.Name = "Setup";
  unit.Segments[0] = {0x401000, 0x2000};
  Bytes program = ProgramBytes(100);
  Bytes block = MapBlock({unit}, {{0x401010, 12, 0}, {0x401080, 30, 0}, {0x402000, 7, -1}});
  TEXEExtraEntry entry;
  entry.Id = kEXEMapBlockId;
  entry.Offset = static_cast<uint32_t>(program.size() + block.size() - kEXEMapTrailerSize);
  Seed("address_map", "indexed", Concat({program, block, IndexBlock({entry})}));
  Seed("address_map", "block", Concat({program, block}));
  Seed("address_map", "text_map", Parts({program, Bytes_(kTextMap)}));
}

void IconSeeds() {
  using namespace testing_support;
  Seed("icon_file", "setup", Read(root / "Setup/Setup.ico"));
  Seed("icon_file", "torvane", Read(root / "compiler/Torvane.ico"));
  Seed("icon_file", "two", MakeIconFile({MakeIconImage(16, 10), MakeIconImage(32, 200)}));
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  png.resize(40, 1);
  Seed("icon_file", "png", MakeIconFile({png}));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: make_seeds SOURCE_ROOT OUT\n";
    return 2;
  }
  root = fs::absolute(argv[1]);
  out = argv[2];
  fs::create_directories(out / "tmp");
  try {
    TSetupInfoFile info;
    Bytes compiled;
    ScriptSeeds(info, compiled);
    LanguageSeeds();
    LayoutSeeds();
    UninstallSeeds();
    InstallerArchiveSeeds(info, compiled);
    GameArchiveSeeds();
    WavSeeds();
    ContainerSeeds();
    AddressMapSeeds();
    IconSeeds();
  } catch (const std::exception& e) {
    std::cerr << "make_seeds: " << e.what() << "\n";
    return 1;
  }
  fs::remove_all(out / "tmp");
  return 0;
}
