// A whole installation with the real programs: an installer built from the
// sample mod by the setup builder, installed silently into a folder named
// on the command line, looked at (files, registry, uninstall log,
// uninstaller), and removed again by its uninstaller.
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <thread>

#include "Global/CRC.h"
#include "Global/DosDate.h"
#include "Global/QX_PakFormat.h"
#include "Global/VFS_Unit.h"
#include "Global/ZCodec.h"
#include "compiler/TCompiler.h"
#include "diagnostics/SEXEMap.h"
#include "diagnostics/uExceptionHook.h"
#include "installer-library/QXI_Commands.h"
#include "installer-library/SE_Global.h"
#include "installer-library/SE_Uninstall_List.h"
#include "platform/Directory.h"
#include "platform/File.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "platform/WidePath.h"
#include "platform/gui/Picture.h"
#include "tests/Global/VFSImage.h"
#include "tests/support/EnvironmentOverride.h"
#include "tests/support/Eventually.h"
#include "tests/support/ExeResources_win32.h"
#include "tests/support/IconFile.h"
#include "tests/support/LanguageFile.h"
#include "tests/support/ProgramImports.h"
#include "tests/support/QXPContents.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestData.h"

using testing_support::DrivePath;
using testing_support::TempDir;

namespace {

constexpr uint8_t kHKLM = 0, kHKCU = 1;
const std::string kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ModKit Sample Mod";
const std::string kModKey = "Software\\ModKitE2E\\Sample";

const std::vector<std::string> kModFiles = {"data\\items.ini",   "data\\levels\\level1.dat",
                                            "readme.txt",        "scripts\\intro.txt",
                                            "sounds\\chime.wav", "sounds\\effects\\click.wav"};

// 16-bit text as UTF-8, to compare what a program shows or writes.
std::string Utf8(const std::u16string& text) {
  auto* wide = reinterpret_cast<const wchar_t*>(text.c_str());
  std::string out(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, out.data(), static_cast<int>(out.size()), nullptr, nullptr);
  return out.substr(0, out.size() - 1);
}

// A start that Wine refuses now and then under load is tried again; what
// is tested is how the program ends, not whether the system starts it.
bool StartProgram(std::u16string line, bool inheritHandles, STARTUPINFOW& si, PROCESS_INFORMATION& pi) {
  const std::string shown = Utf8(line);
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (CreateProcessW(nullptr, reinterpret_cast<wchar_t*>(line.data()), nullptr, nullptr, inheritHandles, 0, nullptr,
                       nullptr, &si, &pi))
      return true;
    std::fprintf(stderr, "could not start (error %lu): %s\n", GetLastError(), shown.c_str());
    Sleep(200);
  }
  return false;
}

// Starts a program, waits for it (a minute at most) and gives its exit
// code; -1 when it could not start or did not end. `onStart` (may be empty)
// is called with the process once it is started.
long RunAndWait(const std::u16string& commandLine, const std::string& outputFile = "NUL",
                const std::function<void(const PROCESS_INFORMATION&)>& onStart = nullptr) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE out = CreateFileA(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = si.hStdError = out;
  PROCESS_INFORMATION pi = {};
  long code = -1;
  if (StartProgram(commandLine, true, si, pi)) {
    if (onStart) onStart(pi);
    if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0) {
      DWORD exit = 0;
      GetExitCodeProcess(pi.hProcess, &exit);
      code = static_cast<long>(exit);
    } else {
      // What the program showed when it stopped answering, for the log.
      struct Shown {
        static BOOL CALLBACK Print(HWND window, LPARAM process) {
          DWORD owner = 0;
          GetWindowThreadProcessId(window, &owner);
          char name[64] = {}, title[256] = {};
          if (owner != static_cast<DWORD>(process)) return TRUE;
          GetClassNameA(window, name, sizeof name);
          GetWindowTextA(window, title, sizeof title);
          std::fprintf(stderr, "still shown: [%s] \"%s\"%s\n", name, title, IsWindowVisible(window) ? "" : " (hidden)");
          return TRUE;
        }
      };
      std::fprintf(stderr, "no end after a minute: %s\n", Utf8(commandLine).c_str());
      EnumWindows(Shown::Print, static_cast<LPARAM>(pi.dwProcessId));
      TerminateProcess(pi.hProcess, 99);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  CloseHandle(out);
  return code;
}

long RunAndWait(const std::string& commandLine, const std::string& outputFile = "NUL",
                const std::function<void(const PROCESS_INFORMATION&)>& onStart = nullptr) {
  return RunAndWait(platform::AnsiToWide(commandLine), outputFile, onStart);
}

std::string Text(const std::string& path) {
  platform::File file(path, platform::OpenMode::Read);
  std::string text(file.IsOpen() ? static_cast<size_t>(file.Size()) : 0, '\0');
  file.Read(text.data(), text.size());
  return text;
}

// Runs a program as a mod manager does, with nobody to answer a box, and
// gives its exit code (-1 when it has not ended within a minute, a box
// waiting) and each line it wrote to its standard error.
long RunUnwatched(const std::u16string& commandLine, std::vector<std::string>& errors,
                  const std::function<void(const PROCESS_INFORMATION&)>& onStart = nullptr) {
  char folder[MAX_PATH] = {}, file[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, folder);
  GetTempFileNameA(folder, "err", 0, file);
  const long code = RunAndWait(commandLine, file, onStart);
  const std::string text = Text(file);
  platform::RemoveFile(file);
  errors.clear();
  for (size_t at = 0, end; at < text.size(); at = end + 1) {
    end = std::min(text.find('\n', at), text.size());
    errors.push_back(text.substr(at, end - at - (end > at && text[end - 1] == '\r')));
  }
  return code;
}

long RunUnwatched(const std::string& commandLine, std::vector<std::string>& errors,
                  const std::function<void(const PROCESS_INFORMATION&)>& onStart = nullptr) {
  return RunUnwatched(platform::AnsiToWide(commandLine), errors, onStart);
}

void Write(const std::string& path, const std::string& text) {
  platform::File file(path, platform::OpenMode::Create);
  ASSERT_TRUE(file.IsOpen() && file.Write(text.data(), text.size())) << path;
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

// What the screen shows of another program's window, for a look.
gui::Bitmap ScreenShot(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  gui::Bitmap shot(r.right - r.left, r.bottom - r.top);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), shot.Width(), -shot.Height(), 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, section);
  BitBlt(memory, 0, 0, shot.Width(), shot.Height(), screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  std::copy_n(static_cast<const uint32_t*>(bits), static_cast<size_t>(shot.Width()) * shot.Height(), shot.Bits());
  SelectObject(memory, old);
  DeleteObject(section);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return shot;
}

class SetupProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kit = DrivePath(dir.Path()) + "\\kit";
    game = DrivePath(dir.Path()) + "\\Game Folder";
    for (const char* d :
         {"", "\\base", "\\layout", "\\layout\\install", "\\layout\\uninstall", "\\languages", "\\compiled"})
      platform::MakeDir(kit + d);
    ASSERT_TRUE(CopyFileA(SETUP_EXE, (kit + "\\base\\setup.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(FINALISER_STUB_EXE, (kit + "\\base\\Uninstall_Final.exe").c_str(), FALSE));
    WriteLayouts();
    Cleanup();
  }
  void TearDown() override { Cleanup(); }

  static void Cleanup() {
    platform::Registry reg;
    reg.SetRoot(kHKLM);
    reg.DeleteKey(kUninstallKey);
    reg.SetRoot(kHKCU);
    reg.DeleteKey(kModKey);
  }

  void WriteLayouts() {
    std::vector<uint8_t> english = testing_support::LanguageFileBytes(
        u"English\r\n409;809;\r\n12 < Back\r\n13 Next >\r\n14 Cancel\r\n15 Install\r\n16 Finish\r\n"
        u"18 Extracting <%FILENAME%>\r\n19 <%QXPNAME%> <%FNUM%> of <%FTOTAL%>\r\n23 The installation failed.\r\n"
        u"24 Registry\r\n25 Folders\r\n26 Uninstall\r\n27 Quit?\r\n28 Setup\r\n");
    Write(kit + "\\languages\\English.wri", std::string(english.begin(), english.end()));
    const std::string work =
        "[patching_statuslabel]\r\ntype=tlabel\r\nleft=20\r\ntop=100\r\n"
        "[patching_progressbar]\r\ntype=tprogressbar\r\nleft=20\r\ntop=130\r\nwidth=400\r\n";
    Write(kit + "\\layout\\install\\Pages.txt",
          "[pages]\r\nwelcome.txt\r\nfolder.txt\r\nready.txt\r\nwork.txt\r\nfinish.txt\r\n"
          "[pagetypes]\r\nwelcome\r\ninstalldir\r\npatch\r\npatching\r\nfinish\r\n");
    Write(kit + "\\layout\\install\\welcome.txt", "[title]\r\ntype=tlabel\r\ncaption=Welcome to <%SETUPTITLE%>\r\n");
    Write(kit + "\\layout\\install\\folder.txt",
          "[installdir_edit]\r\ntype=tedit\r\nleft=20\r\ntop=60\r\nwidth=400\r\n");
    Write(kit + "\\layout\\install\\ready.txt", "[spaceavalible]\r\ntype=tlabel\r\ncaption=<LANG7>\r\n");
    Write(kit + "\\layout\\install\\work.txt", work);
    Write(kit + "\\layout\\install\\finish.txt", "[finishtext]\r\ntype=tlabel\r\ncaption=Done.\r\n");
    Write(kit + "\\layout\\uninstall\\Pages.txt",
          "[pages]\r\nwelcome.txt\r\nwork.txt\r\nfinish.txt\r\n[pagetypes]\r\nwelcome\r\nuninstall\r\nfinish\r\n");
    Write(kit + "\\layout\\uninstall\\welcome.txt", "[bye]\r\ntype=tlabel\r\ncaption=Remove <%SETUPTITLE%>\r\n");
    Write(kit + "\\layout\\uninstall\\work.txt", work);
    Write(kit + "\\layout\\uninstall\\finish.txt", "[gone]\r\ntype=tlabel\r\ncaption=Removed.\r\n");
    for (const auto& [layout, image] : {std::pair{"install", &installIcon}, {"uninstall", &uninstallIcon}}) {
      std::vector<uint8_t> icon = testing_support::MakeIconFile({*image});
      Write(kit + "\\layout\\" + layout + "\\icon.ico", std::string(icon.begin(), icon.end()));
    }
  }

  // Compiles the script with the sample mod's folder (or another) as its
  // source folder and builds the installer into the kit's compiled folder;
  // its path.
  std::string Build(const std::vector<std::string>& script, const std::string& source = EXAMPLES) {
    static TCommandList commands = [] {
      TCommandList list;
      RegisterCommands(list);
      return list;
    }();
    TCompiler compiler(&commands);
    compiler.ProgramDir = kit;
    compiler.Compile(script, source);
    EXPECT_EQ(compiler.Error.Text, "") << "line " << compiler.Error.Line;
    std::string log;
    compiler.LogCallback = [&](const std::string& text) { log += text + "\n"; };
    EXPECT_TRUE(compiler.BuildSetup()) << log;
    return kit + "\\compiled\\" + compiler.SetupInfo.SetupExeName;
  }

  std::vector<std::string> Script(const std::string& extra = "") const {
    std::vector<std::string> lines = {"name \"Sample Mod\"",
                                      "shortname \"ModKit Sample Mod\"",
                                      "outfile SampleSetup.exe",
                                      "installdir \"$PROGRAMFILES\\Quexar\"",
                                      "prefix Sample",
                                      "pages install",
                                      "uninstallpages uninstall",
                                      "language English",
                                      "uninstalllanguage English",
                                      "file sample-mod",
                                      "writeregstr HKCU \"" + kModKey + "\" Path \"$INSTDIR\"",
                                      "createdirectory \"$INSTDIR\\saves\""};
    if (!extra.empty()) lines.push_back(extra);
    return lines;
  }

  TempDir dir;
  std::string kit, game;
  const std::vector<uint8_t> installIcon = testing_support::MakeIconImage(32, 0x20);
  const std::vector<uint8_t> uninstallIcon = testing_support::MakeIconImage(32, 0xC0);
};

}  // namespace

TEST_F(SetupProgramTest, InstallsSilentlyAndUninstallsAgain) {
  const std::string setup = Build(Script());
  ASSERT_EQ(RunAndWait(Quoted(setup) + " -silent -id " + Quoted(game)), 0);

  // The mod's files, byte for byte.
  for (const std::string& name : kModFiles)
    EXPECT_EQ(Text(game + "\\" + name), Text(std::string(EXAMPLES) + "\\sample-mod\\" + name)) << name;
  EXPECT_TRUE(platform::DirectoryExists(game + "\\saves"));

  // The registry: the script's value and the uninstall entry, read by the
  // system's own tool.
  platform::Registry reg;
  reg.SetRoot(kHKCU);
  std::string value;
  ASSERT_TRUE(reg.OpenKeyReadOnly(kModKey));
  EXPECT_TRUE(reg.ReadString("Path", value));
  EXPECT_EQ(value, game + "\\") << "the folder page ends the install folder in a backslash";
  reg.CloseKey();
  // In the registry's 32-bit view, where the 32-bit game and the 32-bit
  // build see it.
  const std::string query = dir.File("query.txt");
  EXPECT_NE(RunAndWait("reg.exe query " + Quoted("HKLM\\" + kUninstallKey) + " /reg:64"), 0);
  ASSERT_EQ(RunAndWait("reg.exe query " + Quoted("HKLM\\" + kUninstallKey) + " /reg:32", query), 0);
  std::string listed = Text(query);
  EXPECT_NE(listed.find("DisplayName"), std::string::npos) << listed;
  EXPECT_NE(listed.find("ModKit Sample Mod"), std::string::npos) << listed;
  EXPECT_NE(listed.find("UninstallString"), std::string::npos) << listed;
  reg.SetRoot(kHKLM);
  ASSERT_TRUE(reg.OpenKeyReadOnly(kUninstallKey));
  std::string command;
  EXPECT_TRUE(reg.ReadString("UninstallString", command));
  reg.CloseKey();
  EXPECT_NE(listed.find(command), std::string::npos) << listed;
  EXPECT_EQ(command, Quoted(game + "\\Sample_Uninstall.exe")) << "quoted: the folder holds a blank";

  // The uninstall log lists every file, folder and value the run made.
  TUninstallList log;
  ASSERT_TRUE(log.LoadFromFile(game, "Sample_"));
  EXPECT_EQ(log.Files().size(), kModFiles.size() + 1);
  for (const std::string& name : kModFiles) EXPECT_TRUE(log.HasFile("$INSTDIR\\" + name)) << name;
  EXPECT_TRUE(log.HasFile("$INSTDIR\\Sample_install.owner")) << "the mark that says whose log it is";
  ASSERT_FALSE(log.Dirs().empty());
  EXPECT_EQ(log.Dirs().front(), "$INSTDIR\\") << "the install folder first, as the folder page gives it";
  EXPECT_EQ(log.RegEntries(), (std::vector<std::string>{"\"HKCU\" \"" + kModKey + "\" \"Path\" \"$INSTDIR\""}));

  // The uninstaller: this program with the uninstall items.
  const std::string uninstaller = game + "\\Sample_Uninstall.exe";
  {
    TPak pak(uninstaller, false, false);
    std::vector<std::string> names;
    for (const TPakFile& e : pak.Entries) names.push_back(e.Name);
    EXPECT_EQ(names, (std::vector<std::string>{"LANGUAGE-English", "finish.txt", "Pages.txt", "welcome.txt", "work.txt",
                                               "FINALISE.EXE", "SetupInfo"}));
  }
  bool found = false;
  EXPECT_EQ(testing_support::Resources(setup).Icon1(testing_support::kUkEnglish, found), installIcon);
  EXPECT_EQ(testing_support::Resources(uninstaller).Icon1(testing_support::kUkEnglish, found), uninstallIcon)
      << "the uninstall layout's icon";
  EXPECT_TRUE(found);

  ASSERT_EQ(RunAndWait(Quoted(uninstaller) + " -silent -id " + Quoted(game)), 0);
  for (const std::string& name : kModFiles) EXPECT_FALSE(platform::FileExists(game + "\\" + name)) << name;
  for (const char* folder : {"\\data", "\\scripts", "\\sounds", "\\saves"})
    EXPECT_FALSE(platform::DirectoryExists(game + folder)) << folder;
  EXPECT_FALSE(platform::FileExists(game + "\\Sample_install.log"));
  reg.SetRoot(kHKCU);
  ASSERT_TRUE(reg.OpenKeyReadOnly(kModKey)) << "values go, keys stay";
  EXPECT_FALSE(reg.ReadString("Path", value));
  reg.CloseKey();
  reg.SetRoot(kHKLM);
  EXPECT_FALSE(reg.KeyExists(kUninstallKey));

  // The finaliser was started with the uninstaller's quoted path.
  const std::string marker = uninstaller + ".finalised";
  auto end = std::chrono::steady_clock::now() + testing_support::kPatience;
  while (!platform::FileExists(marker) && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(platform::FileExists(marker));
  EXPECT_NE(Text(marker).find(Quoted(uninstaller)), std::string::npos) << Text(marker);
}

// Every byte of the installer archive's trailer and table that the format
// checks, a spread of its data bytes and a few truncations, each changed
// alone: the program refuses every such installer before anything is
// installed. Each damaged archive is read by the unchanged program as its
// first argument, in a file whose part in front of the archive is left
// empty (the reader never looks there), so a run costs no copy of the
// program. A changed byte of an entry's name or group, or of the version,
// has no check in this format and is not swept.
TEST_F(SetupProgramTest, DamagedInstallersAreRefusedBeforeAnythingIsInstalled) {
  std::vector<std::string> script = Script();
  // Without an uninstaller: the archive holds just what the installation uses.
  script.erase(std::remove_if(script.begin(), script.end(),
                              [](const std::string& line) { return line.rfind("uninstall", 0) == 0; }),
               script.end());
  const std::string setup = Build(script);
  const std::vector<uint8_t> whole = testing_support::ReadFileBytes(setup);
  const size_t trailer = whole.size() - 16;
  struct Change {
    size_t at;   // the byte flipped
    size_t cut;  // or the length the file is cut to (0: none)
  };
  std::vector<Change> changes;
  for (size_t i : {0, 1, 2, 3, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15})
    changes.push_back({trailer + i, 0});  // but the version
  size_t base = 0;
  {
    TPak pak(setup, false, false);
    ASSERT_GT(pak.EntryCount, 10);
    base = pak.Base;
    size_t at = pak.TableOffset;
    for (const TPakFile& e : pak.Entries) {
      const size_t name = e.Name.size();
      for (size_t i = 0; i < 2; ++i) changes.push_back({at + i, 0});                     // name length
      for (size_t i = 2 + name; i < 2 + name + 16; ++i) changes.push_back({at + i, 0});  // the four numbers
      at += 2 + name + 18;
      const uint32_t stored = e.StoredSize ? e.StoredSize : e.OriginalSize;
      if (stored) changes.push_back({e.Offset + stored / 2, 0});
    }
    ASSERT_EQ(at, trailer);
    for (size_t cut : {whole.size() - 1, trailer, size_t{pak.TableOffset}, base + 1}) changes.push_back({0, cut});
  }

  // Nobody answers a box: a refused run says why on its error stream and
  // ends by itself.
  const std::string root = DrivePath(dir.Path());
  std::vector<long> codes(changes.size(), -1);
  std::vector<char> written(changes.size(), 0), installed(changes.size(), 1);
  std::atomic<size_t> next{0};
  std::vector<std::thread> workers;
  // Most of a run's time is the process starting and ending, not work.
  for (int w = 0; w < 8; ++w) {
    workers.emplace_back([&] {
      for (size_t i; (i = next++) < changes.size();) {
        const Change& c = changes[i];
        const std::string file = root + "\\damaged" + std::to_string(i) + ".exe";
        std::vector<uint8_t> archive(whole.begin() + base, whole.begin() + (c.cut ? c.cut : whole.size()));
        if (!c.cut) archive[c.at - base] ^= 1;
        {
          const int64_t front = static_cast<int64_t>(base);
          platform::File out(file, platform::OpenMode::Create);
          written[i] = out.Seek(front, platform::SeekOrigin::Begin) == front && out.Truncate() &&
                       out.Write(archive.data(), archive.size());
        }
        const std::string folder = root + "\\run" + std::to_string(i);
        codes[i] = RunAndWait(Quoted(setup) + " " + Quoted(file) + " -silent -id " + Quoted(folder));
        installed[i] = platform::DirectoryExists(folder);
        platform::RemoveFile(file);
      }
    });
  }
  for (std::thread& t : workers) t.join();

  for (size_t i = 0; i < changes.size(); ++i) {
    const Change& c = changes[i];
    const std::string what = c.cut ? "cut to " + std::to_string(c.cut) : "byte " + std::to_string(c.at);
    ASSERT_TRUE(written[i]) << what;
    EXPECT_EQ(codes[i], 1) << what << " of " << whole.size();
    EXPECT_FALSE(installed[i]) << what << " of " << whole.size();
  }
}

TEST_F(SetupProgramTest, WithoutSwitchesItShowsTheWizard) {
  const std::string setup = Build(Script());
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::string line = Quoted(setup);
  ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  // The verification window comes and goes; the wizard stays, captioned
  // with a blank and the setup's name.
  HWND wizard = nullptr;
  auto end = std::chrono::steady_clock::now() + testing_support::kPatience;
  while (!wizard && std::chrono::steady_clock::now() < end) {
    wizard = FindWindowW(nullptr, L" Sample Mod");
    if (!wizard || !IsWindowVisible(wizard)) {
      wizard = nullptr;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  EXPECT_NE(wizard, nullptr);
  if (wizard) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // let it paint
    testing_support::WriteFileBytes("setup-wizard.bmp", gui::EncodeBmp(ScreenShot(wizard)));
  }
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "it waits for the user";
  TerminateProcess(pi.hProcess, 0);
  WaitForSingleObject(pi.hProcess, 10000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  EXPECT_FALSE(platform::FileExists(game + "\\readme.txt")) << "nothing is installed before the user says so";
}

namespace {

// Starts a program and answers each of its message boxes with Cancel (an
// OK-only box takes it as OK), recording "caption: text" of each in UTF-8;
// its exit code, or -1 when it could not start or did not end within a
// minute. `started` (may be empty) is called with the process once it is
// started.
long RunAnsweringBoxes(const std::u16string& commandLine, std::vector<std::string>& boxes,
                       const std::function<void(const PROCESS_INFORMATION&)>& started = nullptr) {
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!StartProgram(commandLine, false, si, pi)) return -1;
  if (started) started(pi);
  std::set<HWND> answered;
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (WaitForSingleObject(pi.hProcess, 50) == WAIT_TIMEOUT && std::chrono::steady_clock::now() < end) {
    for (HWND box = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); box;
         box = FindWindowExW(nullptr, box, L"#32770", nullptr)) {
      DWORD owner = 0;
      GetWindowThreadProcessId(box, &owner);
      if (owner != pi.dwProcessId || !IsWindowVisible(box) || !answered.insert(box).second) continue;
      wchar_t caption[256] = {}, text[1024] = {};
      GetWindowTextW(box, caption, std::size(caption));
      GetDlgItemTextW(box, 0xFFFF, text, std::size(text));
      boxes.push_back(Utf8(reinterpret_cast<const char16_t*>(caption)) + ": " +
                      Utf8(reinterpret_cast<const char16_t*>(text)));
      PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
    }
  }
  DWORD exit = 0;
  long code = WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0 && GetExitCodeProcess(pi.hProcess, &exit)
                  ? static_cast<long>(exit)
                  : -1;
  if (code == -1) TerminateProcess(pi.hProcess, 99);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code;
}

long RunAnsweringBoxes(const std::string& commandLine, std::vector<std::string>& boxes,
                       const std::function<void(const PROCESS_INFORMATION&)>& started = nullptr) {
  return RunAnsweringBoxes(platform::AnsiToWide(commandLine), boxes, started);
}

// Every file and folder below a folder (folders end in a backslash), with
// the files' contents; names lower-cased, as the system compares them.
void Snapshot(const std::string& folder, const std::string& relative, std::map<std::string, std::string>& out) {
  std::vector<platform::DirEntry> entries;
  platform::ListDirectory(folder + "\\" + relative, entries);
  for (const platform::DirEntry& e : entries) {
    std::string name = relative + e.Name;
    std::string key = name;
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::tolower(c); });
    if (e.IsDirectory) {
      out[key + "\\"] = "";
      Snapshot(folder, name + "\\", out);
    } else {
      out[key] = Text(folder + "\\" + name);
    }
  }
}

std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> out;
  Snapshot(folder, "", out);
  return out;
}

// The command the list of installed programs starts the setup's
// uninstaller with; empty when the setup has no entry.
std::string RegisteredUninstaller() {
  platform::Registry reg;
  reg.SetRoot(kHKLM);
  std::string command;
  if (reg.OpenKeyReadOnly(kUninstallKey)) reg.ReadString("UninstallString", command);
  return command;
}

// What differs between two snapshots, by name: "+" added, "-" gone, "*"
// changed; empty when they are equal.
std::string Changes(const std::map<std::string, std::string>& before, const std::map<std::string, std::string>& after) {
  std::string changes;
  for (const auto& [name, content] : after)
    if (!before.count(name))
      changes += " +" + name;
    else if (before.at(name) != content)
      changes += " *" + name;
  for (const auto& [name, content] : before)
    if (!after.count(name)) changes += " -" + name;
  return changes;
}

// A game archive holding old.txt, with a password; a damaged one has a
// table that is no zlib stream.
std::string GameArchive(const std::string& password, bool damaged) {
  Bytes out = {'o', 'l', 'd'}, table;
  TQXPEntry e;
  e.Name = "old.txt";
  e.StoredSize = e.OriginalSize = 3;
  e.WriteTo(table);
  Bytes stored = damaged ? Bytes(40, 0xEE) : ZCompress(table.data(), table.size());
  out.insert(out.end(), stored.begin(), stored.end());
  TQXPHeader{static_cast<int32_t>(stored.size()), static_cast<int32_t>(table.size()), kQXPVersion, 1, 0}.WriteTo(out);
  Bytes trailer = MakeLongTrailer(1, '2', 3, 4, password, 0);
  out.insert(out.end(), trailer.begin(), trailer.end());
  return std::string(out.begin(), out.end());
}

// The load address of a process's program.
uintptr_t ProgramBase(HANDLE process) {
  HMODULE program = nullptr;
  DWORD needed = 0;
  return EnumProcessModules(process, &program, sizeof program, &needed) ? reinterpret_cast<uintptr_t>(program) : 0;
}

// An undefined instruction (0F 0B) in the code of a program file, at a place
// its own map names a unit and line for (anywhere without a map): a thread
// sent there faults in the program's own code at once. Its offset from the
// program's start, or 0 when there is none.
uint32_t TrapInCode(const std::string& program, const TEXEMap* map = nullptr) {
  const std::vector<uint8_t> file = testing_support::ReadFileBytes(program);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(file.data());
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(file.data() + dos->e_lfanew);
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (WORD s = 0; s < nt->FileHeader.NumberOfSections; ++s, ++section) {
    if (!(section->Characteristics & IMAGE_SCN_CNT_CODE)) continue;
    for (DWORD i = 0; i + 1 < section->SizeOfRawData; ++i) {
      const size_t at = section->PointerToRawData + i;
      const uint32_t offset = section->VirtualAddress + i;
      if (file[at] == 0x0F && file[at + 1] == 0x0B && (!map || !map->GetAddressInfo(kEXEMapImageBase + offset).empty()))
        return offset;
    }
  }
  return 0;
}

// The address range of a DLL in another process; empty when it is not loaded.
std::pair<uintptr_t, uintptr_t> ModuleRange(HANDLE process, const std::string& dll) {
  HMODULE modules[512];
  DWORD needed = 0;
  if (!EnumProcessModules(process, modules, sizeof modules, &needed)) return {};
  for (DWORD i = 0; i < std::min<DWORD>(needed / sizeof(HMODULE), 512); ++i) {
    char name[MAX_PATH] = {};
    MODULEINFO info{};
    if (GetModuleBaseNameA(process, modules[i], name, MAX_PATH) && _stricmp(name, dll.c_str()) == 0 &&
        GetModuleInformation(process, modules[i], &info, sizeof info))
      return {reinterpret_cast<uintptr_t>(info.lpBaseOfDll),
              reinterpret_cast<uintptr_t>(info.lpBaseOfDll) + info.SizeOfImage};
  }
  return {};
}

// Sends the setup thread of a running Setup to an undefined instruction of
// its program, as a fault of a run step would take it there. The setup
// thread is Setup's one thread that its C runtime started; the system's own
// threads start elsewhere.
void CrashSetupThread(const PROCESS_INFORMATION& pi, const std::string& program) {
  const uint32_t trap = TrapInCode(program);
  const uintptr_t base = ProgramBase(pi.hProcess);
  const auto runtime = ModuleRange(pi.hProcess, "msvcrt.dll");
  ASSERT_TRUE(trap && base && runtime.second);
  using QueryThread = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  const auto query = reinterpret_cast<QueryThread>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationThread")));
  constexpr int kStartAddress = 9;  // ThreadQuerySetWin32StartAddress
  std::vector<HANDLE> started;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != pi.dwProcessId || entry.th32ThreadID == pi.dwThreadId) continue;
    HANDLE thread = OpenThread(THREAD_ALL_ACCESS, FALSE, entry.th32ThreadID);
    uintptr_t start = 0;
    if (thread && query(thread, kStartAddress, &start, sizeof start, nullptr) == 0 && start >= runtime.first &&
        start < runtime.second)
      started.push_back(thread);
    else if (thread)
      CloseHandle(thread);
  }
  CloseHandle(snapshot);
  ASSERT_EQ(started.size(), 1u) << "threads the runtime started";
  HANDLE thread = started[0];
  SuspendThread(thread);
  CONTEXT context{};
  context.ContextFlags = CONTEXT_CONTROL;
  EXPECT_TRUE(GetThreadContext(thread, &context));
#ifdef _WIN64
  context.Rip = base + trap;
#else
  context.Eip = base + trap;
#endif
  EXPECT_TRUE(SetThreadContext(thread, &context));
  ResumeThread(thread);
  CloseHandle(thread);
}

// A container with room for one file of the sample mod's data, not all.
std::string SmallContainer() {
  vfs_test::Layout layout;
  layout.blockSize = 512;
  layout.blockCount = 4;
  Bytes bytes = layout.Build();
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace

// The bare program carries no archive. A person who started it reads why
// in a box; started as a mod manager starts it, with the install folder
// named, it says so on its error stream and ends by itself.
TEST_F(SetupProgramTest, AStartUpErrorIsShownOrWrittenAndEndsNonZero) {
  const std::vector<std::string> said = {"Error: Invalid Setup Header. No Contents or Corrupted Contents."};
  struct Row {
    std::string switches;
    bool watched;
  } rows[] = {{" -silent", true}, {" -id " + Quoted(game), true}, {" -silent -id " + Quoted(game), false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.switches);
    std::vector<std::string> boxes, errors;
    if (row.watched) {
      EXPECT_EQ(RunAnsweringBoxes(Quoted(SETUP_EXE) + row.switches, boxes), 1);
    } else {
      EXPECT_EQ(RunUnwatched(Quoted(SETUP_EXE) + row.switches, errors), 1);
    }
    EXPECT_EQ(boxes, row.watched ? said : std::vector<std::string>{});
    EXPECT_EQ(errors, row.watched ? std::vector<std::string>{} : said);
    EXPECT_FALSE(platform::DirectoryExists(game));
  }
}

// Run as a mod manager runs it, with the install folder named and nobody
// to answer a box: each ending comes by itself (a box would keep the run
// from ending) and says what happened on the error stream.
TEST_F(SetupProgramTest, EveryEndingLeavesALogAndAnUninstallerForWhatWasDone) {
  const std::string failed = "Error: The installation failed.";
  struct Case {
    const char* what;
    std::string line;                           // after the sample script
    std::map<std::string, std::string> placed;  // the player's own files, before the installation
    long exitCode;
    std::vector<std::string> errors;  // how each line on the error stream begins
    std::function<void(const PROCESS_INFORMATION&)> probe = nullptr;
  } cases[] = {
      {"a script failure", "failure", {}, 1, {failed}},
      {"a wrong archive password",
       "qxpupdate sample-mod\\scripts wrong game.qxp",
       {{"game.qxp", GameArchive("right", false)}},
       1,
       {"Error: Error Incorrect Password File: game.qxp", failed}},
      {"a missing archive, its question cancelled",
       "qxpupdate sample-mod\\scripts pw missing.qxp",
       {},
       1,
       {"Error: File not found: \"" + game + "\\missing.qxp\".", failed}},
      {"a missing container",
       "vfsupdate sample-mod\\scripts missing.vfs",
       {},
       1,
       {"VFS Error: Error: Unable to find <missing.vfs>", failed}},
      {"a registry key that cannot be opened",
       "writeregstr_url " + std::string(300, 'k') + " icon.ico run.exe",
       {},
       0,
       {}},
      {"a program that exits with the still-active code", "execute cmd.exe \"/c exit 259\"", {}, 0, {}},
      {"a program that does not exist, without the shell's box", "execute \"$INSTDIR\\missing.exe\"", {}, 0, {}},
      {"a game archive whose table is no zlib stream",
       "qxpupdate sample-mod\\scripts pw damaged.qxp",
       {{"damaged.qxp", GameArchive("pw", true)}},
       1,
       {"Error: File " + game + "\\damaged.qxp has corrupted header.", failed}},
      {"a container without room for the group, left as it was",
       "vfsupdate sample-mod\\data small.vfs",
       {{"small.vfs", SmallContainer()}},
       1,
       {"VFS Error: Error: Not enough room in <small.vfs>: the update needs ", failed}},
      {"a file renamed", "rename \"$INSTDIR\\readme.txt\" \"$INSTDIR\\readme-renamed.txt\"", {}, 0, {}},
      {"a write that fails: a file where the mod's folder goes",
       "",
       {{"data", "the player's own"}},
       1,
       {"Error: Cannot write file \"" + game + "\\data\\items.ini\"", failed}},
      {"a crash of the setup thread while a program runs",
       "execute ping.exe \"-n 10 127.0.0.1\"",
       {},
       1,
       {"Error Report: Setup Thread Error: Illegal instruction Error Log Created. Please Include \""},
       [&](const PROCESS_INFORMATION& pi) {
         // The line before it made this folder.
         ASSERT_TRUE(testing_support::Eventually([&] { return platform::DirectoryExists(game + "\\saves"); }));
         std::this_thread::sleep_for(std::chrono::milliseconds(500));
         CrashSetupThread(pi, kit + "\\compiled\\SampleSetup.exe");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Cleanup();
    platform::MakeDir(game);
    Write(game + "\\player.cfg", "the player's own");
    for (const auto& [name, content] : c.placed) Write(game + "\\" + name, content);
    const std::map<std::string, std::string> before = Snapshot(game);
    const std::string setup = Build(Script(c.line));

    std::vector<std::string> errors;
    EXPECT_EQ(RunUnwatched(Quoted(setup) + " -silent -id " + Quoted(game), errors, c.probe), c.exitCode);
    ASSERT_EQ(errors.size(), c.errors.size()) << testing::PrintToString(errors);
    for (size_t i = 0; i < errors.size(); ++i) EXPECT_EQ(errors[i].rfind(c.errors[i], 0), 0u) << errors[i];
    // The error report it names is there.
    for (const std::string& e : errors) {
      const std::string named = "Please Include \"";
      if (e.find(named) == std::string::npos) continue;
      const std::string report = e.substr(e.find(named) + named.size(), e.rfind('"') - e.find(named) - named.size());
      EXPECT_TRUE(platform::FileExists(report)) << report;
      platform::RemoveFile(report);
    }

    // The log lists exactly the files the run added.
    TUninstallList log;
    ASSERT_TRUE(log.LoadFromFile(game, "Sample_"));
    std::set<std::string> logged;
    for (std::string file : log.Files()) {
      ASSERT_EQ(file.rfind("$INSTDIR\\", 0), 0u) << file;
      std::transform(file.begin(), file.end(), file.begin(), [](unsigned char ch) { return std::tolower(ch); });
      logged.insert(file.substr(9));
    }
    std::set<std::string> added;
    for (const auto& [name, content] : Snapshot(game))
      if (name.back() != '\\' && !before.count(name) && name != "sample_install.log" && name != "sample_uninstall.exe")
        added.insert(name);
    EXPECT_EQ(added, logged);

    // Registered with its quoted path, which the uninstaller is started
    // from as the list of installed programs starts it.
    platform::Registry reg;
    reg.SetRoot(kHKLM);
    std::string command;
    ASSERT_TRUE(reg.OpenKeyReadOnly(kUninstallKey));
    EXPECT_TRUE(reg.ReadString("UninstallString", command));
    reg.CloseKey();
    const std::string uninstaller = game + "\\Sample_Uninstall.exe";
    EXPECT_EQ(command, Quoted(uninstaller));
    // Started by a person, it still shows its boxes.
    std::vector<std::string> boxes;
    EXPECT_EQ(RunAnsweringBoxes(command + " -silent", boxes), 0);
    EXPECT_EQ(boxes, std::vector<std::string>{"Information: Completed"});
    EXPECT_TRUE(testing_support::Eventually([&] { return platform::FileExists(uninstaller + ".finalised"); }));
    platform::RemoveFile(uninstaller + ".finalised");
    platform::RemoveFile(uninstaller);
    EXPECT_EQ(Snapshot(game), before) << "the folder as it was before the installation";
    EXPECT_FALSE(reg.KeyExists(kUninstallKey));
    platform::RemoveFile(game + "\\player.cfg");
    for (const auto& [name, content] : c.placed) platform::RemoveFile(game + "\\" + name);
  }
}

// An installer archive is read by the player's machine as it stands in a
// folder others can write: each row changes the table of an installer the
// setup builder made as no builder would, and the installer, run as a mod
// manager runs it, ends by itself within seconds with a clear error on its
// error stream, leaving the log and the uninstaller for what it did, or
// refusing at start-up with nothing installed.
TEST_F(SetupProgramTest, EntriesNoBuilderWritesEndInAClearErrorWithinSeconds) {
  auto rename = [](const std::string& from, const std::string& to) {
    return [from, to](TPak& pak) {
      for (TPakFile& e : pak.Entries)
        if (e.Group == 1 && e.Name == from) e.Name = to;
    };
  };
  // readme.txt's contents replaced by a stream of 100 MiB of zeros, of which
  // the table claims `claimed` bytes; its checksum matches.
  auto bomb = [](uint32_t claimed) {
    return [claimed](TPak& pak) {
      const Bytes zeros(100 << 20);
      const Bytes stream = ZCompress(zeros.data(), zeros.size(), 1);
      for (size_t i = 0; i < pak.Entries.size(); ++i) {
        if (pak.Entries[i].Group != 1 || pak.Entries[i].Name != "readme.txt") continue;
        TPakFile packed;
        packed.StoredSize = static_cast<uint32_t>(stream.size());
        packed.OriginalSize = claimed;
        packed.Crc = UpdateCRC32(0, stream.data(), stream.size());
        ASSERT_TRUE(pak.WriteStoredBlock(static_cast<int>(i), packed, stream)) << pak.LastError();
      }
    };
  };
  struct Case {
    const char* what;
    std::function<void(TPak&)> change;
    std::string error;  // how the run's first line on the error stream begins
    bool installs;      // whether it installs anything before it ends
  } cases[] = {
      {"a folder named after a device, the last entry", rename("sounds\\effects\\click.wav", "sounds\\AUX\\click.wav"),
       "Error: Refused to extract \"sounds\\AUX\\click.wav\": \"AUX\" is a device name", true},
      {"a file named after a device, with an extension and a trailing dot",
       rename("data\\levels\\level1.dat", "data\\levels\\Lpt1.dat."),
       "Error: Refused to extract \"data\\levels\\Lpt1.dat.\": \"Lpt1.dat.\" is a device name", true},
      {"a small entry claiming 100 MiB", bomb(100 << 20),
       "Error: Invalid Setup Header. No Contents or Corrupted Contents.", false},
      {"a small entry claiming little that inflates to 100 MiB", bomb(1000),
       "Verification Error: Error: Verification Failed. Setup is corrupt. ID: ", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Cleanup();
    platform::MakeDir(game);
    Write(game + "\\player.cfg", "the player's own");
    const std::map<std::string, std::string> before = Snapshot(game);
    const std::string setup = Build(Script());
    {
      uint32_t base = 0;
      std::vector<TPakFile> entries;
      {
        TPak built(setup, false, false);
        base = built.Base;
        entries = built.Entries;
      }
      // The new table goes behind the old one, which the reader no longer sees.
      TPak pak(setup, true, false);
      pak.Entries = entries;
      pak.Base = base;
      c.change(pak);
      ASSERT_TRUE(pak.WriteTable());
    }

    std::vector<std::string> errors;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunUnwatched(Quoted(setup) + " -silent -id " + Quoted(game), errors), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    // An installation that began ends with its outcome too.
    ASSERT_EQ(errors.size(), c.installs ? 2u : 1u) << testing::PrintToString(errors);
    EXPECT_EQ(errors[0].rfind(c.error, 0), 0u) << errors[0];

    const std::string uninstaller = game + "\\Sample_Uninstall.exe";
    if (!c.installs) {
      EXPECT_EQ(Snapshot(game), before) << "nothing installed";
      platform::Registry reg;
      reg.SetRoot(kHKLM);
      EXPECT_FALSE(reg.KeyExists(kUninstallKey));
      platform::RemoveFile(game + "\\player.cfg");
      continue;
    }
    // The log lists exactly the files the run added, the files before the
    // refused one among them; its uninstaller takes them away again.
    TUninstallList log;
    ASSERT_TRUE(log.LoadFromFile(game, "Sample_"));
    EXPECT_FALSE(log.Files().empty());
    std::set<std::string> logged, added;
    for (std::string file : log.Files()) {
      std::transform(file.begin(), file.end(), file.begin(), [](unsigned char ch) { return std::tolower(ch); });
      logged.insert(file.substr(9));
    }
    for (const auto& [name, content] : Snapshot(game))
      if (name.back() != '\\' && !before.count(name) && name != "sample_install.log" && name != "sample_uninstall.exe")
        added.insert(name);
    EXPECT_EQ(added, logged);
    std::vector<std::string> boxes;
    EXPECT_EQ(RunAnsweringBoxes(Quoted(uninstaller) + " -silent", boxes), 0);
    EXPECT_TRUE(testing_support::Eventually([&] { return platform::FileExists(uninstaller + ".finalised"); }));
    platform::RemoveFile(uninstaller + ".finalised");
    platform::RemoveFile(uninstaller);
    EXPECT_EQ(Snapshot(game), before) << "the folder as it was before the installation";
    platform::RemoveFile(game + "\\player.cfg");
  }
}

namespace {

// What Windows is to remove or rename when it next starts: the paths of the
// list, each behind "\\??\\".
std::string PendingRemovals() {
  HKEY key = nullptr;
  std::string list;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return list;
  DWORD size = 0;
  if (RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
    list.resize(size);
    if (RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr, reinterpret_cast<BYTE*>(list.data()),
                         &size) != ERROR_SUCCESS)
      list.clear();
  }
  RegCloseKey(key);
  return list;
}

// The entry of another program under the key the sample mod would use.
const std::map<std::string, std::string> kForeignEntry = {
    {"DisplayName", "Another Program"}, {"UninstallString", "\"C:\\Other\\uninstall.exe\""}, {"Publisher", "Someone"}};

std::map<std::string, std::string> UninstallEntry() {
  platform::Registry reg;
  reg.SetRoot(kHKLM);
  std::map<std::string, std::string> values;
  if (!reg.OpenKeyReadOnly(kUninstallKey)) return values;
  for (const auto& [name, text] : kForeignEntry)
    if (std::string value; reg.ReadString(name, value)) values[name] = value;
  return values;
}

}  // namespace

// Installing twice, over an earlier version, after a run that was killed,
// over the player's own files of the names the mod writes, into a folder
// the installer makes; an uninstallation that finds a file or a folder held
// open, a read-only installed file or a damaged log; a page after the
// uninstaller's finish page; another program's entry under the setup's key.
// Whatever comes first, the last, successful uninstallation leaves the
// folder as it was before the first installation, byte for byte, and only
// then is the entry gone.
TEST_F(SetupProgramTest, NoSequenceOfRunsLeavesAnythingBehind) {
  namespace fs = std::filesystem;
  const std::string root = DrivePath(dir.Path());
  // The sources: the sample mod (which a later version changes) and a mod
  // of many files in several folders, whose extraction takes a while.
  const std::string src = root + "\\src";
  fs::create_directories(src + "\\bulk");
  fs::copy(std::string(EXAMPLES) + "\\sample-mod", src + "\\sample-mod", fs::copy_options::recursive);
  for (int f = 0; f < 8; ++f) {
    platform::MakeDir(src + "\\bulk\\f" + std::to_string(f));
    for (int i = 100; i < 250; ++i)
      Write(src + "\\bulk\\f" + std::to_string(f) + "\\" + std::to_string(i) + ".txt", "x");
  }
  const std::string log = "Sample_install.log", uninstallerName = "Sample_Uninstall.exe";
  auto install = [](const std::string& setup, const std::string& folder) {
    std::vector<std::string> boxes;
    EXPECT_EQ(RunAnsweringBoxes(Quoted(setup) + " -silent -id " + Quoted(folder), boxes), 0);
    EXPECT_EQ(boxes, std::vector<std::string>{});
  };
  auto registered = RegisteredUninstaller;
  // An uninstallation while another program holds a file or folder open
  // without sharing: it fails, naming what it could not remove.
  auto uninstallWhileHeld = [&](const std::string& path, DWORD flags, const std::string& named) {
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, flags, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE) << path;
    std::vector<std::string> boxes;
    EXPECT_EQ(RunAnsweringBoxes(registered() + " -silent", boxes), 1);
    CloseHandle(held);
    EXPECT_EQ(boxes,
              std::vector<std::string>{"Error: Error: These installed items could not be removed; they may be "
                                       "in use:\r" +
                                       named + "\rClose the programs that use them and run the uninstaller again."});
  };
  // Killed as a crash kills it, part way through a group of many files: the
  // saved log already names every file on disk.
  auto killWhileExtracting = [&](const std::string& setup, const std::string& folder) {
    std::vector<std::string> boxes;
    RunAnsweringBoxes(Quoted(setup) + " -silent -id " + Quoted(folder), boxes, [&](const PROCESS_INFORMATION& pi) {
      testing_support::Eventually([&] { return platform::FileExists(folder + "\\f2\\100.txt"); },
                                  std::chrono::seconds(30));
      TerminateProcess(pi.hProcess, 9);
    });
    ASSERT_FALSE(platform::FileExists(folder + "\\f7\\249.txt")) << "killed before the group was whole";
    TUninstallList saved;
    ASSERT_TRUE(saved.LoadFromFile(folder, "Sample_")) << "a killed run leaves its log";
    EXPECT_TRUE(saved.HasFile("$INSTDIR\\readme.txt"));
    for (const auto& [name, content] : Snapshot(folder))
      if (name.back() != '\\' && name.rfind("f", 0) == 0) EXPECT_TRUE(saved.HasFile("$INSTDIR\\" + name)) << name;
  };
  struct Row {
    const char* what;
    std::function<void(const std::string& folder)> runs;  // up to the last uninstallation
    bool foreignEntry = false;
    std::map<std::string, std::string> placed = {};  // the player's own files, besides player.cfg
    bool folderMade = false;                         // the folder is not there before the first installation
  } rows[] = {
      {"a repair",
       [&](const std::string& folder) {
         const std::string setup = Build(Script(), src);
         install(setup, folder);
         install(setup, folder);
       }},
      {"an upgrade that drops a file",
       [&](const std::string& folder) {
         install(Build(Script(), src), folder);
         const std::string intro = src + "\\sample-mod\\scripts\\intro.txt", kept = Text(intro);
         platform::RemoveFile(intro);
         platform::RemoveEmptyDir(src + "\\sample-mod\\scripts");
         const std::string v2 = Build(Script(), src);
         platform::MakeDir(src + "\\sample-mod\\scripts");
         Write(intro, kept);
         install(v2, folder);
         TUninstallList merged;
         ASSERT_TRUE(merged.LoadFromFile(folder, "Sample_"));
         EXPECT_TRUE(merged.HasFile("$INSTDIR\\scripts\\intro.txt")) << "the earlier version's file";
       }},
      {"a run killed while it extracts, then a whole one",
       [&](const std::string& folder) {
         const std::string setup = Build(Script("file bulk"), src);
         killWhileExtracting(setup, folder);
         EXPECT_FALSE(platform::FileExists(folder + "\\" + uninstallerName));
         install(setup, folder);
       }},
      {"an upgrade killed while it extracts, then the earlier version's uninstaller",
       [&](const std::string& folder) {
         install(Build(Script(), src), folder);
         killWhileExtracting(Build(Script("file bulk"), src), folder);
       }},
      {"a file held open while it uninstalls, then released",
       [&](const std::string& folder) {
         install(Build(Script(), src), folder);
         const std::string readme = folder + "\\readme.txt", uninstaller = folder + "\\" + uninstallerName;
         uninstallWhileHeld(readme, 0, readme);
         TUninstallList left;
         ASSERT_TRUE(left.LoadFromFile(folder, "Sample_"));
         EXPECT_EQ(left.Files(), std::vector<std::string>{"$INSTDIR\\readme.txt"}) << "exactly what is left";
         EXPECT_TRUE(left.RegEntries().empty());
         EXPECT_FALSE(platform::FileExists(folder + "\\data\\items.ini")) << "the rest went";
         EXPECT_EQ(registered(), Quoted(uninstaller)) << "the entry stays for the next run";
         EXPECT_FALSE(testing_support::Eventually([&] { return platform::FileExists(uninstaller + ".finalised"); },
                                                  std::chrono::seconds(2)))
             << "the uninstaller stays too";
       }},
      {"a log cut short, then put back",
       [&](const std::string& folder) {
         install(Build(Script(), src), folder);
         const std::vector<uint8_t> whole = testing_support::ReadFileBytes(folder + "\\" + log);
         // The three counts, two file names whole, one byte of the third.
         size_t cut = 6;
         for (int i = 0; i < 2; ++i) cut += 2 + (whole[cut] | whole[cut + 1] << 8);
         testing_support::WriteFileBytes(folder + "\\" + log, {whole.begin(), whole.begin() + cut + 1});
         const auto installed = Snapshot(folder);
         std::vector<std::string> boxes;
         EXPECT_EQ(RunAnsweringBoxes(registered() + " -silent", boxes), 1);
         EXPECT_EQ(boxes, std::vector<std::string>{"Setup Error: Error: The install log is damaged: " + folder + "\\" +
                                                   log + "\rThe log ends in its list of 7 files at entry 2"});
         EXPECT_EQ(Changes(installed, Snapshot(folder)), "") << "nothing removed";
         EXPECT_FALSE(registered().empty());
         testing_support::WriteFileBytes(folder + "\\" + log, whole);
       }},
      {"a page after the uninstaller's finish page",
       [&](const std::string& folder) {
         const std::string layout = kit + "\\layout\\uninstall\\", usual = Text(layout + "Pages.txt");
         Write(layout + "Pages.txt",
               "[pages]\r\nwelcome.txt\r\nwork.txt\r\nfinish.txt\r\nafter.txt\r\n"
               "[pagetypes]\r\nwelcome\r\nuninstall\r\nfinish\r\nwelcome\r\n");
         Write(layout + "after.txt", "[after]\r\ntype=tlabel\r\ncaption=After the end.\r\n");
         const std::string setup = Build(Script(), src);
         Write(layout + "Pages.txt", usual);
         platform::RemoveFile(layout + "after.txt");
         install(setup, folder);
       }},
      {"the player's own files of names the mod writes, through a repair and an upgrade",
       [&](const std::string& folder) {
         const std::string copy = "copyfile \"$INSTDIR\\readme.txt\" \"$INSTDIR\\notes.txt\"";
         const std::string setup = Build(Script(copy), src);
         install(setup, folder);
         install(setup, folder);
         const std::string readme = src + "\\sample-mod\\readme.txt", kept = Text(readme);
         Write(readme, "version 2");
         const std::string v2 = Build(Script(copy), src);
         Write(readme, kept);
         install(v2, folder);
         EXPECT_EQ(Text(folder + "\\readme.txt"), "version 2");
         EXPECT_EQ(Text(folder + "\\notes.txt"), "version 2");
       },
       false,
       {{"readme.txt", "the player's readme"}, {"notes.txt", "the player's notes"}}},
      {"an installed file made read-only",
       [&](const std::string& folder) {
         install(Build(Script(), src), folder);
         ASSERT_TRUE(SetFileAttributesA((folder + "\\readme.txt").c_str(), FILE_ATTRIBUTE_READONLY));
       }},
      {"a folder held open without sharing while it uninstalls, then released",
       [&](const std::string& folder) {
         install(Build(Script(), src), folder);
         const std::string effects = folder + "\\sounds\\effects";
         uninstallWhileHeld(effects, FILE_FLAG_BACKUP_SEMANTICS, effects + "\\");
         EXPECT_FALSE(registered().empty()) << "the entry stays for the next run";
       }},
      {"an install folder the installation made",
       [&](const std::string& folder) { install(Build(Script(), src), folder); },
       false,
       {},
       true},
      {"another program's entry under the setup's key",
       [&](const std::string& folder) {
         install(Build(Script(), src), folder);
         EXPECT_EQ(UninstallEntry(), kForeignEntry) << "not taken over";
       },
       true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Cleanup();
    if (row.foreignEntry) {
      platform::Registry reg;
      reg.SetRoot(kHKLM);
      ASSERT_TRUE(reg.OpenKey(kUninstallKey, true));
      for (const auto& [name, text] : kForeignEntry) ASSERT_TRUE(reg.WriteString(name, text));
    }
    const std::string folder = root + "\\" + row.what;
    if (!row.folderMade) {
      platform::MakeDir(folder);
      Write(folder + "\\player.cfg", "the player's own");
      for (const auto& [name, content] : row.placed) Write(folder + "\\" + name, content);
    }
    const std::map<std::string, std::string> before = Snapshot(folder);
    row.runs(folder);

    // The last uninstallation, started as the list of programs starts it.
    const std::string uninstaller = folder + "\\" + uninstallerName;
    std::vector<std::string> boxes;
    EXPECT_EQ(RunAnsweringBoxes((row.foreignEntry ? Quoted(uninstaller) : registered()) + " -silent", boxes), 0);
    EXPECT_EQ(boxes, std::vector<std::string>{"Information: Completed"});
    EXPECT_TRUE(testing_support::Eventually([&] { return platform::FileExists(uninstaller + ".finalised"); }))
        << "the finaliser was started";
    platform::RemoveFile(uninstaller + ".finalised");
    platform::RemoveFile(uninstaller);
    if (row.folderMade) {
      EXPECT_NE(PendingRemovals().find("\\??\\" + folder + '\0'), std::string::npos)
          << "Windows removes the folder when it next starts";
      EXPECT_TRUE(platform::RemoveEmptyDir(folder)) << "as it then can: nothing is left in it";
    }
    EXPECT_EQ(Changes(before, Snapshot(folder)), "") << "the folder as it was before the first installation";
    EXPECT_EQ(UninstallEntry(), (row.foreignEntry ? kForeignEntry : std::map<std::string, std::string>{}));
    platform::Registry reg;
    reg.SetRoot(kHKLM);
    EXPECT_EQ(reg.KeyExists(kUninstallKey), row.foreignEntry);
  }
}

namespace {

// A file's bytes read to its end (the system's own files under Z:\\proc
// report no size).
std::string Contents(const std::string& path) {
  platform::File file(path, platform::OpenMode::Read);
  std::string text;
  char piece[4096];
  for (size_t n; file.IsOpen() && (n = file.Read(piece, sizeof piece)) > 0;) text.append(piece, n);
  return text;
}

// kill(2) of the host's system: Wine runs the test on the host's processor,
// so a system call goes straight to the host's kernel.
long HostKill(long pid, long signal) {
  long result;
#if defined(__x86_64__)
  asm volatile("syscall" : "=a"(result) : "a"(62L), "D"(pid), "S"(signal) : "rcx", "r11", "memory");
#else
  asm volatile("int $0x80" : "=a"(result) : "a"(37L), "b"(pid), "c"(signal) : "memory");
#endif
  return result;
}

// The host's process of a program started under Wine, found by its path
// (Wine lists the program's arguments as the process's own); 0 when there
// is none.
long HostProcessOf(const std::string& program) {
  std::vector<platform::DirEntry> processes;
  platform::ListDirectory("Z:\\proc\\", processes);
  for (const platform::DirEntry& p : processes)
    if (p.Name.find_first_not_of("0123456789") == std::string::npos &&
        Contents("Z:\\proc\\" + p.Name + "\\cmdline").rfind(program + '\0', 0) == 0)
      return std::stol(p.Name);
  return 0;
}

// Ends a program started under Wine as a crash or a power cut would, as
// soon as `reached` holds: kill -9 of its own process on the host, which
// stops a write at whatever page it has reached and runs nothing of the
// program's.
void KillHardWhen(const std::string& program, const PROCESS_INFORMATION& pi, const std::function<bool()>& reached) {
  long pid = 0;
  ASSERT_TRUE(testing_support::Eventually([&] { return (pid = HostProcessOf(program)) != 0; })) << program;
  // Looked at without a pause: a state may last only milliseconds.
  const auto until = std::chrono::steady_clock::now() + testing_support::kPatience;
  while (!reached()) {
    ASSERT_EQ(WaitForSingleObject(pi.hProcess, 0), WAIT_TIMEOUT) << "ended before it was killed";
    ASSERT_LT(std::chrono::steady_clock::now(), until) << "never reached";
  }
  ASSERT_EQ(HostKill(pid, 9), 0);
  ASSERT_EQ(WaitForSingleObject(pi.hProcess, 30000), WAIT_OBJECT_0);
}

// A game archive as the game ships it: `count` small files stored as they
// are, and the table, header and trailer of the packer.
std::string ShippedArchive(const std::map<std::string, Bytes>& files) {
  Bytes out, table;
  for (const auto& [name, data] : files) {
    TQXPEntry e;
    e.Name = name;
    e.StoredSize = e.OriginalSize = static_cast<int32_t>(data.size());
    e.Offset = static_cast<int32_t>(out.size());
    e.WriteTo(table);
    out.insert(out.end(), data.begin(), data.end());
  }
  Bytes z = ZCompress(table.data(), table.size());
  out.insert(out.end(), z.begin(), z.end());
  TQXPHeader{static_cast<int32_t>(z.size()), static_cast<int32_t>(table.size()), kQXPVersion,
             static_cast<int32_t>(files.size()), 0}
      .WriteTo(out);
  Bytes trailer = MakeLongTrailer(0, '3', 17, 99, "", 0);
  out.insert(out.end(), trailer.begin(), trailer.end());
  return std::string(out.begin(), out.end());
}

// What a game archive holds by both readers' rules (name and contents), or
// nothing when either does not read it.
std::map<std::string, Bytes> ArchiveContents(const std::string& path) {
  std::map<std::string, Bytes> held[2];
  const TQXPTrailerRules rules[] = {TQXPTrailerRules::Setup, TQXPTrailerRules::Packer};
  const std::string bytes = Text(path);
  const Bytes file(bytes.begin(), bytes.end());
  for (int r = 0; r < 2; ++r) {
    platform::File f(path, platform::OpenMode::Read);
    TQXPTail tail;
    if (ReadQXPTail(f, rules[r], tail) != TQXPReadStatus::Ok) return {};
    for (const TQXPEntry& e : tail.Entries) held[r][e.Name] = testing_support::QXPContents(file, e);
  }
  return held[0] == held[1] ? held[0] : std::map<std::string, Bytes>{};
}

}  // namespace

// Killed (kill -9 of its Wine process, as a player ends an installer that
// seems stuck or the machine loses power) at points chosen by what it has
// written, an installation leaves each game archive and container reading
// as it was or as it is meant to be, with no repair, and no file in the
// folder that its log does not name; run again and uninstalled, it leaves
// the folder as it was, but for the game's files it updated. One row per
// kind of work a kill can cut, each killed at a few points; a kill while
// files go into the folder is in the lifecycle table above.
TEST_F(SetupProgramTest, AKillLeavesEveryGameFileReadableAndEveryFileLogged) {
  namespace fs = std::filesystem;
  const std::string root = DrivePath(dir.Path()), src = root + "\\src";
  fs::create_directories(src);
  fs::copy(std::string(EXAMPLES) + "\\sample-mod", src + "\\sample-mod", fs::copy_options::recursive);
  // Many small files in folders, and one large file, that do not compress:
  // the installer codes them itself, the large one for seconds.
  for (int f = 0; f < 8; ++f) {
    fs::create_directories(src + "\\many\\f" + std::to_string(f));
    for (int i = 100; i < 350; ++i) {
      const Bytes bytes = testing_support::Random(1024, f * 1000 + i);
      Write(src + "\\many\\f" + std::to_string(f) + "\\" + std::to_string(i) + ".txt",
            std::string(bytes.begin(), bytes.end()));
    }
  }
  platform::MakeDir(src + "\\large");
  const Bytes noise = testing_support::Random(48 << 20, 7);
  Write(src + "\\large\\noise.bin", std::string(noise.begin(), noise.end()));
  // The game's archive: twenty thousand files, fifty of them among those
  // the update replaces.
  std::map<std::string, Bytes> shipped;
  for (int i = 0; i < 20000; ++i) shipped["textures\\t" + std::to_string(i) + ".dds"] = Bytes(16, i % 251);
  for (int i = 100; i < 150; ++i) shipped["f0\\" + std::to_string(i) + ".txt"] = testing_support::Text("shipped");
  const std::string archive = ShippedArchive(shipped);
  // The game's container with its side file, 16 MiB of 512-byte blocks
  // holding 20 files in data; the update replaces them and adds 580, raw.
  auto modFile = [](int i) { return "data\\f" + std::to_string(i) + ".dat"; };
  fs::create_directories(src + "\\vfsmod\\data");
  for (int i = 0; i < 600; ++i) {
    const Bytes data = vfs_test::Random(3000, 1000 + i);
    Write(src + "\\vfsmod\\" + modFile(i), std::string(data.begin(), data.end()));
  }
  std::map<std::string, std::string> container;
  {
    const std::string made = root + "\\container";
    platform::MakeDir(made);
    vfs_test::Layout layout;
    layout.blockSize = 512;
    layout.blockCount = 32 * 1024;
    layout.entryCount = 16;
    testing_support::WriteFileBytes(made + "\\game.vfs", layout.Build());
    {
      TVFSFile vfs;
      vfs.Open(made + "\\game.vfs", true);
      for (int i = 0; i < 20; ++i) vfs.Tree().AddVFSFile(modFile(i), vfs_test::Random(3000, i).data(), 3000);
      vfs.Save(false);
    }
    for (const char* name : {"game.vfs", "game.ht"}) container[name] = Text(made + "\\" + name);
  }
  auto pair = [](const std::string& folder) { return Text(folder + "\\game.vfs") + "|" + Text(folder + "\\game.ht"); };
  const std::string oldPair = container["game.vfs"] + "|" + container["game.ht"];
  // The pair a whole run makes today: entries carry the day they were
  // written, so a run after midnight makes other bytes than one before it.
  uint32_t referenceDay = 0;
  auto reference = [&] {
    referenceDay = TodayDosDate();
    const std::string folder = root + "\\reference " + std::to_string(referenceDay);
    platform::MakeDir(folder);
    for (const auto& [name, content] : container) Write(folder + "\\" + name, content);
    std::vector<std::string> boxes;
    EXPECT_EQ(RunAnsweringBoxes(
                  Quoted(Build(Script("vfsupdate vfsmod game.vfs"), src)) + " -silent -id " + Quoted(folder), boxes),
              0);
    Cleanup();
    return pair(folder);
  };
  std::string newPair = reference();
  ASSERT_NE(newPair, oldPair);
  std::vector<std::pair<std::string, std::string>> neither;  // folder and pair, looked at again at the end
  // The bytes at `offset` of the container as the run has changed it so far
  // (in its copy, once there is one), or nothing while a copy is shorter.
  auto changed = [&](const std::string& folder, int64_t offset, size_t n) {
    const std::string copy = folder + "\\game.vfs.new";
    platform::File file(platform::FileExists(copy) ? copy : folder + "\\game.vfs", platform::OpenMode::Read);
    std::string bytes(n, '\0');
    bool read = file.IsOpen() && file.Size() == static_cast<int64_t>(container["game.vfs"].size()) &&
                file.Seek(offset, platform::SeekOrigin::Begin) == offset && file.Read(bytes.data(), n) == n;
    return read ? bytes : std::string();
  };
  auto containerChanged = [&](int64_t offset, size_t n) {
    return [&, offset, n](const std::string& folder) {
      const std::string now = changed(folder, offset, n);
      return !now.empty() && now != container["game.vfs"].substr(static_cast<size_t>(offset), n);
    };
  };
  // The archive as it was, or with the files of a source folder added.
  auto oldOrNew = [&](const std::string& source) {
    return [&, source](const std::string& folder) {
      std::map<std::string, Bytes> updated = shipped;
      for (const auto& [name, content] : Snapshot(src + "\\" + source))
        if (name.back() != '\\') updated[name] = Bytes(content.begin(), content.end());
      const std::map<std::string, Bytes> now = ArchiveContents(folder + "\\game.qxp");
      EXPECT_TRUE(now == shipped || now == updated) << "game.qxp reads as neither";
    };
  };
  // Looked at without opening it, which the installer does not share.
  auto archiveBeyond = [&](int64_t more) {
    return [&, more](const std::string& folder) {
      WIN32_FILE_ATTRIBUTE_DATA data;
      return GetFileAttributesExA((folder + "\\game.qxp").c_str(), GetFileExInfoStandard, &data) &&
             (static_cast<int64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow) >
                 static_cast<int64_t>(archive.size()) + more;
    };
  };
  using Point = std::pair<const char*, std::function<bool(const std::string& folder)>>;
  struct Row {
    const char* what;
    std::string line;                                      // after the sample script's
    std::map<std::string, std::string> placed;             // in the folder before the installation
    std::vector<Point> points;                             // each a run killed once it holds
    std::function<void(const std::string& folder)> check;  // what a kill may leave, and the last run
  } rows[] = {
      {"a large file into the game's archive",
       "qxpupdate large pw game.qxp",
       {{"game.qxp", archive}},
       {{"once the archive has grown", archiveBeyond(0)}, {"after 20 MiB of it", archiveBeyond(20 << 20)}},
       oldOrNew("large")},
      {"two thousand files into the game's archive",
       "qxpupdate many pw game.qxp",
       {{"game.qxp", archive}},
       {{"once the archive has grown", archiveBeyond(0)}, {"after 1 MiB of it", archiveBeyond(1 << 20)}},
       oldOrNew("many")},
      {"six hundred files into the game's container",
       "vfsupdate vfsmod game.vfs",
       container,
       {{"while its copy is written",
         [](const std::string& folder) {
           return platform::File(folder + "\\game.vfs.new", platform::OpenMode::Read).Size() > 0;
         }},
        // The chain table changes as the first replaced file's blocks go;
        // the used-block count is written as the save begins.
        {"while the files go in", containerChanged(0, 64 * 1024)},
        {"as the container is saved", containerChanged(48 + 256, 4)}},
       [&](const std::string& folder) {
         const std::string now = pair(folder);
         if (now != oldPair && now != newPair) neither.emplace_back(folder, now);
       }},
  };
  const std::string log = "Sample_install.log", uninstallerName = "Sample_Uninstall.exe";
  for (const Row& row : rows) {
    const std::string setup = Build(Script(row.line), src);
    for (const auto& [when, reached] : row.points) {
      SCOPED_TRACE(std::string(row.what) + ", killed " + when);
      Cleanup();
      const std::string folder = root + "\\" + row.what + " " + when;
      platform::MakeDir(folder);
      Write(folder + "\\player.cfg", "the player's own");
      for (const auto& [name, content] : row.placed) Write(folder + "\\" + name, content);
      const std::map<std::string, std::string> before = Snapshot(folder);

      std::vector<std::string> boxes;
      RunAnsweringBoxes(Quoted(setup) + " -silent -id " + Quoted(folder), boxes, [&](const PROCESS_INFORMATION& pi) {
        KillHardWhen(setup, pi, [&] { return reached(folder); });
      });
      // Nothing else run: the game's files read as they were or as they
      // are meant to be, and the log names every file the run put there but
      // a copy in the making: its own, which the uninstaller removes with
      // it, and a game file's, which the next run completes or clears.
      row.check(folder);
      TUninstallList saved;
      saved.LoadFromFile(folder, "Sample_");
      for (const auto& [name, content] : Snapshot(folder)) {
        const bool aside = name.size() > 4 && name.compare(name.size() - 4, 4, ".new") == 0 &&
                           row.placed.count(name.substr(0, name.size() - 4));
        if (name.back() != '\\' && !before.count(name) && name.rfind(platform::AnsiLowerCase(log), 0) != 0 && !aside) {
          EXPECT_TRUE(saved.HasFile("$INSTDIR\\" + name)) << name << " is in no log";
        }
      }
      EXPECT_FALSE(platform::FileExists(folder + "\\" + uninstallerName)) << "killed before the end";

      // A whole run, then the uninstaller.
      boxes.clear();
      EXPECT_EQ(RunAnsweringBoxes(Quoted(setup) + " -silent -id " + Quoted(folder), boxes), 0);
      EXPECT_EQ(boxes, std::vector<std::string>{});
      row.check(folder);
      const std::string uninstaller = folder + "\\" + uninstallerName;
      EXPECT_EQ(RunAnsweringBoxes(Quoted(uninstaller) + " -silent", boxes), 0);
      EXPECT_EQ(boxes, std::vector<std::string>{"Information: Completed"});
      EXPECT_TRUE(testing_support::Eventually([&] { return platform::FileExists(uninstaller + ".finalised"); }));
      platform::RemoveFile(uninstaller + ".finalised");
      platform::RemoveFile(uninstaller);
      std::map<std::string, std::string> after = Snapshot(folder);
      for (const auto& [name, content] : row.placed) after[name] = before.at(name);  // updated for good
      EXPECT_EQ(Changes(before, after), "") << "the folder as it was, but for the game's files";
    }
  }
  if (!neither.empty() && referenceDay != TodayDosDate()) newPair = reference();
  for (const auto& [folder, now] : neither)
    EXPECT_TRUE(now == newPair) << folder << ": the old container and side file or the new ones";
}

// Folders whose names the system code page cannot hold (the code page here
// is Windows-1252): the installer started from one, -id and the registry
// naming one, and a registry folder with a "." in it. Each is used as the
// very folder it names, by its short name, or refused with a box that shows
// it as given; the best-fit neighbour ("Lukasz" for "Łukasz") never appears.
// What went in comes out again by the uninstaller in that folder.
TEST_F(SetupProgramTest, FoldersNamedOutsideTheCodePageAreTakenAsTheyAreOrRefused) {
  const std::u16string root = platform::AnsiToWide(DrivePath(dir.Path()));
  const std::string setup = Build(Script("installdirregkey HKCU \"" + kModKey + "\" Game"));
  struct Row {
    const char* what;
    std::u16string from;      // the installer's folder below the test's, made first; empty: where it was built
    std::u16string id;        // -id below the test's folder, or nothing
    std::u16string registry;  // the registry's folder below the test's, or nothing
    std::u16string made;      // a folder made first, below the test's
    std::u16string target;    // where the mod lands, below the test's; empty: refused with `box`
    std::string box = "";
  } rows[] = {
      {"the installer in a folder named with \u0141", u"\\\u0141ukasz", u"\\Game Folder", u"", u"", u"\\Game Folder"},
      {"the installer in a folder named \u30B2\u30FC\u30E0, -id a folder named with \u0141", u"\\\u30B2\u30FC\u30E0",
       u"\\\u0141\u00F3d\u017A", u"", u"\\\u0141\u00F3d\u017A", u"\\\u0141\u00F3d\u017A"},
      {"a registry folder named with \u0141", u"", u"", u"\\users\\\u0141ukasz\\Games\\Quexar",
       u"\\users\\\u0141ukasz\\Games\\Quexar", u"\\users\\\u0141ukasz\\Games\\Quexar"},
      {"a registry folder with a dot", u"", u"", u"\\QuexarDot\\.\\", u"", u"\\QuexarDot"},
      {"-id a new folder of a name outside the code page", u"", u"\\\u0418\u0433\u0440\u0430", u"", u"", u"",
       "Setup Error: Error: The install folder named by -id cannot be used: " + Utf8(root) +
           "\\\u0418\u0433\u0440\u0430 It holds characters the system's code page does not have, and no short (8.3) "
           "name stands for it."},
  };
  auto exists = [&](const std::u16string& below) {
    return GetFileAttributesW(reinterpret_cast<const wchar_t*>((root + below).c_str())) != INVALID_FILE_ATTRIBUTES;
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Cleanup();
    for (const std::u16string& folder : {row.from, row.made}) {
      for (size_t at = folder.find(u'\\', 1); !folder.empty(); at = folder.find(u'\\', at + 1)) {
        CreateDirectoryW(reinterpret_cast<const wchar_t*>((root + folder.substr(0, at)).c_str()), nullptr);
        if (at == std::u16string::npos) break;
      }
    }
    std::u16string installer = platform::AnsiToWide(setup);
    if (!row.from.empty()) {
      installer = root + row.from + u"\\SampleSetup.exe";
      ASSERT_TRUE(CopyFileW(reinterpret_cast<const wchar_t*>(platform::AnsiToWide(setup).c_str()),
                            reinterpret_cast<const wchar_t*>(installer.c_str()), FALSE));
    }
    if (!row.registry.empty()) {
      const std::u16string value = root + row.registry;
      HKEY key = nullptr;
      ASSERT_EQ(
          RegCreateKeyExW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t*>(platform::AnsiToWide(kModKey).c_str()), 0,
                          nullptr, 0, KEY_WRITE | KEY_WOW64_32KEY, nullptr, &key, nullptr),
          ERROR_SUCCESS);
      RegSetValueExW(key, L"Game", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * 2));
      RegCloseKey(key);
    }
    std::vector<platform::DirEntry> before, after;
    platform::ListDirectory(DrivePath(dir.Path()) + "\\", before);

    // With -id as a mod manager runs it, nobody watching: what it has to
    // say goes to its error stream, as given.
    std::vector<std::string> said;
    const std::u16string line = u"\"" + installer + u"\" -silent";
    if (row.id.empty())
      EXPECT_EQ(RunAnsweringBoxes(line, said), 0);
    else
      EXPECT_EQ(RunUnwatched(line + u" -id \"" + root + row.id + u"\"", said), row.target.empty() ? 1 : 0);
    EXPECT_EQ(said, row.target.empty() ? std::vector<std::string>{row.box}
                    : row.id.empty()   ? std::vector<std::string>{"Information: Completed"}
                                       : std::vector<std::string>{});
    platform::ListDirectory(DrivePath(dir.Path()) + "\\", after);
    std::set<std::u16string> added;
    for (const platform::DirEntry& e : after)
      if (std::none_of(before.begin(), before.end(), [&](const platform::DirEntry& b) { return b.Name == e.Name; }))
        added.insert(u"\\" + (e.WideName.empty() ? platform::AnsiToWide(e.Name) : e.WideName));
    const std::u16string first = row.target.substr(0, row.target.find(u'\\', 1));
    EXPECT_TRUE(added.empty() || added == std::set<std::u16string>{first}) << "no other folder, no look-alike";
    if (row.target.empty()) continue;
    EXPECT_TRUE(exists(row.target + u"\\readme.txt"));

    // Removed again by the uninstaller the installation registered, which
    // lies in that folder.
    std::vector<std::string> boxes;
    EXPECT_EQ(RunAnsweringBoxes(RegisteredUninstaller() + " -silent", boxes), 0);
    EXPECT_EQ(boxes, std::vector<std::string>{"Information: Completed"});
    EXPECT_FALSE(exists(row.target + u"\\readme.txt"));
    EXPECT_FALSE(exists(row.target + u"\\Sample_install.log"));
    EXPECT_EQ(RegisteredUninstaller(), "");
  }
}

// The kit's base installer carries its address map, so an installer built
// from the kit and its uninstaller name the unit and line of a fault in their
// own reports, with the module offset that stays the same from run to run.
TEST_F(SetupProgramTest, AReportOfAnInstallerBuiltFromTheKitNamesUnitAndLine) {
  EXPECT_LT(testing_support::ReadFileBytes(KIT_SETUP_EXE).size(), testing_support::ReadFileBytes(SETUP_EXE).size() / 4)
      << "the kit's base goes without the debug sections of this build";
  ASSERT_TRUE(CopyFileA(KIT_SETUP_EXE, (kit + "\\base\\setup.exe").c_str(), FALSE));
  const std::string setup = Build(Script());
  ASSERT_EQ(RunAndWait(Quoted(setup) + " -silent -id " + Quoted(game)), 0);
  TEXEMap map;
  EXPECT_TRUE(TEXEMap().LoadEmbedded(game + "\\Sample_Uninstall.exe")) << "the uninstaller carries it too";
  ASSERT_TRUE(map.LoadEmbedded(setup)) << "in front of the installer archive, after the icon was changed";
  const uint32_t trap = TrapInCode(setup, &map);
  ASSERT_NE(trap, 0u);

  std::vector<std::string> boxes;
  uintptr_t base = 0;
  const long code = RunAnsweringBoxes(Quoted(setup), boxes, [&](const PROCESS_INFORMATION& pi) {
    testing_support::Eventually([&] { return FindWindowW(nullptr, L" Sample Mod") != nullptr; });
    base = ProgramBase(pi.hProcess);
    HANDLE thread = CreateRemoteThread(pi.hProcess, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(base + trap),
                                       nullptr, 0, nullptr);
    if (thread) CloseHandle(thread);
  });
  EXPECT_EQ(code, 1);
  ASSERT_EQ(boxes.size(), 1u) << testing::PrintToString(boxes);
  const std::string created = "Error Log Created. Please Include \"";
  const size_t path = boxes[0].find(created);
  ASSERT_EQ(boxes[0].rfind("Error Report: Unknown Error: Illegal instruction\r\r", 0), 0u) << boxes[0];
  ASSERT_NE(path, std::string::npos) << boxes[0];
  const std::string report =
      boxes[0].substr(path + created.size(), boxes[0].find('"', path + created.size()) - path - created.size());
  const std::string text = Text(report);
  platform::RemoveFile(report);
  char offset[16];
  std::snprintf(offset, sizeof offset, "+%08X", trap);
  const std::string unitAndLine = map.GetAddressInfo(kEXEMapImageBase + trap);
  EXPECT_NE(text.find(FormatTraceAddress(base + trap) + " SampleSetup.exe" + offset + unitAndLine + unitAndLine),
            std::string::npos)
      << "once from the module's map, once from the program's\n"
      << text;
}

namespace {

// Has Wine look for the given DLLs beside the given programs first, as
// Windows does for every DLL that is no known one, for one scope: Wine's
// own setting for programs of those names (its environment variable is
// read from the host's environment, which a Windows program cannot pass).
class NativeDllsFirst {
 public:
  NativeDllsFirst(std::vector<std::string> programs, const std::vector<std::string>& dlls)
      : programs_(std::move(programs)) {
    for (const std::string& program : programs_) {
      HKEY key = nullptr;
      if (RegCreateKeyExA(HKEY_CURRENT_USER, Key(program).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr))
        continue;
      for (const std::string& dll : dlls)
        RegSetValueExA(key, dll.substr(0, dll.rfind('.')).c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>("native,builtin"), sizeof "native,builtin");
      RegCloseKey(key);
    }
  }
  ~NativeDllsFirst() {
    for (const std::string& program : programs_) {
      RegDeleteKeyA(HKEY_CURRENT_USER, Key(program).c_str());
      RegDeleteKeyA(HKEY_CURRENT_USER, Key(program).substr(0, Key(program).rfind('\\')).c_str());
    }
  }
  NativeDllsFirst(const NativeDllsFirst&) = delete;
  NativeDllsFirst& operator=(const NativeDllsFirst&) = delete;

 private:
  static std::string Key(const std::string& program) {
    return "Software\\Wine\\AppDefaults\\" + program + "\\DllOverrides";
  }
  std::vector<std::string> programs_;
};

// The DLLs that Windows would look for in a program's own folder first: those
// the programs import that are no known DLLs (ProgramFiles checks there are
// none), and those they load while running, or imported before, by name: the
// common controls and the visual styles they load, the rich edit, the
// module list, the transparent copy. The version API is left out
// (ProgramFiles checks it is not imported; it is loaded as the rich edit
// is): Wine's own user32 imports it, and Wine, which has no known DLLs,
// looks for the imports of its system DLLs beside the program too, where
// Windows takes a known DLL's imports from the system folder.
std::vector<std::string> DllsSearchedBeside(const std::string& program) {
  std::set<std::string> names = {"comctl32.dll", "msimg32.dll", "psapi.dll", "riched20.dll", "uxtheme.dll"};
  for (const std::string& dll : testing_support::ImportedDlls(testing_support::ReadFileBytes(program)))
    if (!testing_support::kKnownDlls.count(dll)) names.insert(dll);
  return {names.begin(), names.end()};
}

}  // namespace

// A player starts the installer from a folder that other programs can
// write (Downloads), as administrator, and its uninstaller later: nothing
// put there or into the temporary folder beforehand is run, and nothing of
// the user's in the temporary folder is touched. Each row installs and
// uninstalls from its own Downloads folder, with a temporary folder of its own.
TEST_F(SetupProgramTest, NothingPlantedBesideTheInstallerOrInTheTemporaryFolderRuns) {
  const std::string setup = Build(Script());
  const std::string uninstaller = game + "\\Sample_Uninstall.exe", finalised = uninstaller + ".finalised";
  struct Row {
    const char* what;
    std::vector<std::string> nativeFirst;  // DLLs looked for beside the programs first
    std::function<void(const std::string&downloads, const std::string&temp)> plant, check;
  };
  const std::vector<std::string> dlls = DllsSearchedBeside(setup);
  const Row rows[] = {
      {"DLLs of every name the programs import or load, beside the installer and the packer", dlls,
       [&](const std::string& downloads, const std::string&) {
         for (const std::string& dll : dlls)
           ASSERT_TRUE(CopyFileA(MARKER_DLL, (downloads + "\\" + dll).c_str(), FALSE)) << dll;
         ASSERT_TRUE(CopyFileA(VESSOK_EXE, (downloads + "\\Vessok.exe").c_str(), FALSE));
       },
       [&](const std::string& downloads, const std::string&) {
         EXPECT_EQ(RunAndWait(Quoted(downloads + "\\Vessok.exe")), 2) << "its usage";
         std::vector<platform::DirEntry> entries;
         platform::ListDirectory(downloads + "\\", entries);
         for (const platform::DirEntry& e : entries) EXPECT_EQ(e.Name.find(".loaded"), std::string::npos) << e.Name;
       }},
      {"files of the fixed names in the temporary folder",
       {},
       [&](const std::string&, const std::string& temp) {
         Write(temp + "\\icon.ico", "the user's icon");
         Write(temp + "\\FINALISE.exe", "the user's program");
       },
       [&](const std::string&, const std::string& temp) {
         EXPECT_TRUE(Text(temp + "\\icon.ico") == "the user's icon") << "the user's icon.ico";
         EXPECT_TRUE(Text(temp + "\\FINALISE.exe") == "the user's program") << "the user's FINALISE.exe";
         // The finaliser ran from a folder made for it in the temporary
         // folder, which goes with its file when Windows next starts.
         const std::string ran = Text(finalised).substr(Text(finalised).find('\n') + 1);
         const std::string folder = ran.substr(0, ran.rfind('\\'));
         EXPECT_EQ(ran.substr(folder.size()), "\\FINALISE.exe");
         EXPECT_TRUE(platform::SameFile(folder.substr(0, folder.rfind('\\')), temp)) << ran;
         const std::string pending = PendingRemovals();
         for (const std::string& path : {ran, folder})
           EXPECT_NE(pending.find("\\??\\" + path + '\0'), std::string::npos) << path;
       }},
  };
  for (size_t i = 0; i < std::size(rows); ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(row.what);
    Cleanup();
    platform::RemoveFile(finalised);
    const std::string folder = DrivePath(dir.Path()) + "\\row" + std::to_string(i);
    const std::string downloads = folder + "\\Downloads", temp = folder + "\\Temp";
    for (const std::string& f : {folder, downloads, temp}) platform::MakeDir(f);
    testing_support::EnvironmentOverride tmp("TMP", temp), tempToo("TEMP", temp);
    NativeDllsFirst order({"SampleSetup.exe", "Sample_Uninstall.exe", "Vessok.exe"}, row.nativeFirst);
    row.plant(downloads, temp);
    ASSERT_TRUE(CopyFileA(setup.c_str(), (downloads + "\\SampleSetup.exe").c_str(), FALSE));
    EXPECT_EQ(RunAndWait(Quoted(downloads + "\\SampleSetup.exe") + " -silent -id " + Quoted(game)), 0);
    EXPECT_EQ(RunAndWait(Quoted(uninstaller) + " -silent -id " + Quoted(game)), 0);
    EXPECT_TRUE(testing_support::Eventually([&] { return platform::FileExists(finalised); }));
    row.check(downloads, temp);
  }
}
