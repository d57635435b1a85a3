// Runs the real Torvane.exe from a program folder of its own on the display,
// drives its window from outside as a user would (typing into its controls,
// clicking its buttons, answering its message boxes), checks the installer it
// builds and the refusals of files the installer could not use, leaves a
// screenshot of it, and closes it; and makes it crash on purpose.
#include <windows.h>
#include <commctrl.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include "Global/CRC.h"
#include "Global/QXI_PakFile.h"
#include "compiler/FormMain_win32.h"
#include "diagnostics/uExceptionHook.h"
#include "installer-library/QXI_SetupInfo.h"
#include "platform/Text.h"
#include "platform/WidePath.h"
#include "tests/support/BmpFile.h"
#include "tests/support/EnvironmentOverride.h"
#include "tests/support/Eventually.h"
#include "tests/support/LanguageFile.h"
#include "tests/support/TempDir.h"
#include "tests/support/WindowSearch.h"

using testing_support::FindChildByClass;
using testing_support::FindChildById;
using testing_support::FindProcessWindow;
using testing_support::TempDir;
using testing_support::WindowText;
using testing_support::WriteFileText;

namespace {

using testing_support::Eventually;

// The window as it shows on the screen, written as a BMP file.
void Screenshot(HWND window, const std::string& file) {
  RECT r{};
  GetWindowRect(window, &r);
  int width = r.right - r.left, height = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP picture = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, picture);
  BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  testing_support::WriteFileBytes(file, testing_support::BmpFile(width, height, static_cast<const uint32_t*>(bits)));
  SelectObject(memory, old);
  DeleteObject(picture);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

// The text of the process's box with that caption, once it shows; the box
// is then answered with OK. Empty when none came.
std::string AnswerBox(DWORD process, const wchar_t* caption) {
  HWND box = nullptr;
  if (!Eventually([&] { return (box = FindProcessWindow(process, L"#32770", caption)) != nullptr; })) return "";
  std::string text(8192, '\0');
  text.resize(GetDlgItemTextA(box, 0xFFFF, text.data(), static_cast<int>(text.size())));
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  return text;
}

// Holds a file open without sharing it, as an editor or a game may, for one
// scope.
class HeldOpen {
 public:
  explicit HeldOpen(const std::string& path)
      : handle_(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
  ~HeldOpen() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  HeldOpen(const HeldOpen&) = delete;
  HeldOpen& operator=(const HeldOpen&) = delete;
  bool Held() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

// Torvane.exe in a program folder of its own with a base installer, the
// kit's languages, two layouts of one index each and a small mod.
// Its folder is named outside the code page: it finds its layouts,
// languages and base program there all the same.
class TorvaneProgram : public ::testing::Test {
 protected:
  TorvaneProgram()
      : programWide(platform::AnsiToWide(std::filesystem::absolute(temp.Path()).string()) + u"\\\u0141ukasz"),
        program(MakeFolder(programWide)),
        dir{program} {
    std::filesystem::copy_file(TORVANE_EXE, dir.File("Torvane.exe"));
    std::filesystem::create_directories(dir.File("base"));
    std::filesystem::copy_file("SetupBase.exe", dir.File("base/setup.exe"));
    WriteFileText(dir.File("base/Uninstall_Final.exe"), "finaliser");
    for (const char* folder : {"layout/install/QX1", "layout/uninstall/QX1", "mod/sub"})
      std::filesystem::create_directories(dir.File(folder));
    WriteFileText(dir.File("layout/install/QX1/Pages.txt"), "page1=welcome\r\n");
    WriteFileText(dir.File("layout/uninstall/QX1/Pages.txt"), "page1=uninstall\r\n");
    std::filesystem::copy(EXAMPLES "\\kit\\languages", dir.File("languages"), std::filesystem::copy_options::recursive);
    WriteFileText(dir.File("mod/a.dat"), "a");
    WriteFileText(dir.File("mod/sub/b.dat"), "b");
  }
  ~TorvaneProgram() override {
    if (!pi.hProcess) return;
    if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi.hProcess, 99);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }

  // Starts Torvane with the arguments and finds its window; false when it
  // does not show.
  bool Start(const std::string& arguments) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    std::u16string line = u"\"" + programWide + u"\\Torvane.exe\" " + platform::AnsiToWide(arguments);
    if (!CreateProcessW(nullptr, reinterpret_cast<wchar_t*>(line.data()), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi))
      return false;
    return Eventually([&] { return (top = FindProcessWindow(pi.dwProcessId, nullptr, L" Torvane v1.0")) != nullptr; });
  }
  void TypeModFolder() {
    const std::u16string typed = programWide + u"\\mod";
    SendMessageW(FindChildById(top, kIdModFilesDir), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
  }
  // Presses Compile and waits until Torvane has done with it (the press is
  // sent, so it returns once the window's handler has); the log's last line.
  std::string Compile() {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(FindChildById(top, kIdSpeedButton3), BM_CLICK, 0, 0, SMTO_NORMAL, 120000, &result);
    const std::string log = WindowText(FindChildById(top, kIdCompiledInformation));
    return log.substr(log.find_last_of("\r\n") + 1);
  }
  // What is in the output folder and the temporary settings folder: each
  // file with its size and CRC-32.
  std::map<std::string, std::string> Output() const {
    std::map<std::string, std::string> files;
    for (const char* folder : {"compiled", "initempdir"})
      if (std::filesystem::exists(dir.File(folder)))
        for (const auto& e : std::filesystem::directory_iterator(dir.File(folder))) {
          const std::vector<uint8_t> bytes = testing_support::ReadFileBytes(e.path().string());
          files[std::string(folder) + "/" + e.path().filename().string()] =
              std::to_string(bytes.size()) + " bytes, CRC-32 " +
              std::to_string(UpdateCRC32(0, bytes.data(), bytes.size()));
        }
    return files;
  }

  // The folder, made, by its short name.
  static std::string MakeFolder(const std::u16string& wide) {
    EXPECT_TRUE(CreateDirectoryW(reinterpret_cast<const wchar_t*>(wide.c_str()), nullptr));
    const std::string narrow = platform::NarrowPath(wide);
    EXPECT_FALSE(narrow.empty()) << "its short name";
    return narrow;
  }

  TempDir temp;
  const std::u16string programWide;
  const std::string program;
  struct {
    std::string root;
    std::string File(const std::string& name) const { return root + "\\" + name; }
  } dir;
  PROCESS_INFORMATION pi{};
  HWND top = nullptr;
};

}  // namespace

// The first build; then every file an author can get wrong, each refused
// with the file named and what is wrong, while the window stays and nothing
// of the refused build is left; then a build again once all is mended.
TEST_F(TorvaneProgram, CompilesFromItsWindowRefusesWhatTheInstallerCouldNotUseAndEndsWhenClosed) {
  // The program carries its icon.
  HMODULE image = LoadLibraryExA(dir.File("Torvane.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(image, nullptr);
  EXPECT_NE(FindResourceA(image, "MAINICON", MAKEINTRESOURCEA(14)), nullptr);  // RT_GROUP_ICON
  FreeLibrary(image);

  ASSERT_TRUE(Start("-debug"));
  EXPECT_EQ(WindowText(FindChildById(top, kIdInstLayout)), "QX1");

  // Compile without a mod folder: the box, and nothing else.
  PostMessageW(FindChildById(top, kIdSpeedButton3), BM_CLICK, 0, 0);
  EXPECT_EQ(AnswerBox(pi.dwProcessId, L"Compile error"),
            "Error: You need to specify where your mod`s files are stored");
  ASSERT_TRUE(Eventually([&] { return !FindProcessWindow(pi.dwProcessId, L"#32770", L"Compile error"); }));
  EXPECT_FALSE(std::filesystem::exists(dir.File("compiled")));

  // Compile with the mod folder typed in: the log fills and ends the build,
  // and with -debug the listing of the generated script follows.
  TypeModFolder();
  EXPECT_EQ(Compile(), "Finished");
  EXPECT_EQ(WindowText(FindChildById(top, kIdCompiledVer)).rfind("name \"MySetup v1.0\"\r", 0), 0u);
  EXPECT_NE(WindowText(FindChildById(top, kIdSourceFile)).find("File \"" + program + "\\mod\\\" \"mods\\MyMod\\\""),
            std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir.File("initempdir")));

  // The installer: group 0 with the languages, both layouts, the finaliser
  // and the setup information; the mod's settings file, then its files.
  {
    TPak pak(dir.File("compiled/mysetup.exe"), false, false);
    std::vector<std::string> entries;
    for (const TPakFile& e : pak.Entries) entries.push_back(std::to_string(e.Group) + " " + e.Name);
    EXPECT_EQ(entries,
              (std::vector<std::string>{"0 LANGUAGE-install\\English", "0 UNINSTALL_LANGUAGE-uninstall\\UnEnglish",
                                        "0 Pages.txt", "0 UNINSTALL_Pages.txt", "0 UNINSTALL_FINALISE.EXE",
                                        "0 SetupInfo", "0 CompiledLines", "1 MyMod.ini", "2 a.dat", "2 sub\\b.dat"}));
    uint32_t size = 0;
    Bytes stored = pak.FindFile("SetupInfo", 0, size);
    TSetupInfoFile info;
    ASSERT_TRUE(info.LoadFromBuffer(stored.data(), stored.size()));
    EXPECT_EQ(info.SetupName, "MySetup v1.0");
    EXPECT_EQ(info.SetupShortName, "MySetup");
    EXPECT_EQ(info.SetupExeName, "mysetup.exe");
    EXPECT_EQ(info.UninstallExe, "MySetup_Uninstall.exe");
    EXPECT_EQ(info.InstallDir, "$PROGRAMFILES\\Quexar\\");
    EXPECT_EQ(info.InstallDirRegKey[0], (TREGKEY{0, "Software\\Venmark\\Quexar\\", "Path"}));
    EXPECT_EQ(info.Pages, "Install\\QX1");
    EXPECT_EQ(info.UninstallPages, "Uninstall\\QX1");
    EXPECT_EQ(info.HasUninstall, 1);
    Bytes ini = pak.FindFile("MyMod.ini", 1, size);
    EXPECT_EQ(std::string(ini.begin(), ini.end()).rfind("[Main]\r\nMod=MyMod\r\nMod Dir=MyMod\r\n", 0), 0u);
  }
  const auto built = Output();

  const std::string language = dir.File("languages/Install/English.wri");
  const std::vector<uint8_t> english = testing_support::ReadFileBytes(language);
  std::vector<uint8_t> trailingEmptyLine = english;
  trailingEmptyLine.insert(trailingEmptyLine.end(), {'\r', 0, '\n', 0});
  std::unique_ptr<HeldOpen> held;
  struct Row {
    const char* what;
    std::function<void()> arrange;
    std::vector<std::string> says;  // in the log's last line, after "Error: "
  };
  const Row rows[] = {
      {"a language file with LF-only line ends",
       [&] {
         testing_support::WriteFileBytes(language, testing_support::LanguageFileBytes(u"English\n409;\n12 Back\n"));
       },
       {"English.wri cannot be read by the installer: line 1 is missing", "each must end in CR LF"}},
      {"a language file with a trailing empty line",
       [&] { testing_support::WriteFileBytes(language, trailingEmptyLine); },
       {"English.wri cannot be read by the installer: line ", ": '' is not a valid integer value"}},
      {"a language file held open",
       [&] { held = std::make_unique<HeldOpen>(language); },
       {"Cannot open file \"", "English.wri\""}},
      {"a mod file held open",
       [&] { held = std::make_unique<HeldOpen>(dir.File("mod/a.dat")); },
       {"Cannot open file \"", "mod\\a.dat\""}},
      {"a picture the installer cannot decode",
       [&] {
         WriteFileText(dir.File("layout/install/QX1/Pages.txt"), "[pages]\r\nwelcome.txt\r\n");
         WriteFileText(dir.File("layout/install/QX1/welcome.txt"), "[side]\r\ntype=timage\r\nfile=side.bmp\r\n");
         WriteFileText(dir.File("layout/install/QX1/side.bmp"), "\x89PNG\r\n\x1A\n a PNG named .bmp");
       },
       {"layout\\Install\\QX1\\ cannot be shown by the installer: page \"welcome.txt\": Picture \"side.bmp\": "
        "Bitmap image is not valid: no bitmap header"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    row.arrange();
    ASSERT_TRUE(!held || held->Held());
    const std::string last = Compile();
    EXPECT_EQ(last.rfind("Error: ", 0), 0u) << last;
    for (const std::string& part : row.says) EXPECT_NE(last.find(part), std::string::npos) << last;
    EXPECT_TRUE(IsWindow(top)) << "Torvane is still there";
    EXPECT_EQ(Output(), built) << "the earlier installer as it was, nothing else";
    held.reset();
    testing_support::WriteFileBytes(language, english);
    WriteFileText(dir.File("layout/install/QX1/Pages.txt"), "page1=welcome\r\n");
    std::filesystem::remove(dir.File("layout/install/QX1/welcome.txt"));
    std::filesystem::remove(dir.File("layout/install/QX1/side.bmp"));
  }
  // Mended, the same build again.
  EXPECT_EQ(Compile(), "Finished");
  EXPECT_EQ(Output(), built);

  WaitForInputIdle(pi.hProcess, 5000);
  Sleep(300);
  Screenshot(top, "torvane-program.bmp");

  // A file whose name the installer's 8-bit names cannot hold ends the
  // compile at the mod's File line, with nothing built: the installer of
  // the last compile stays as it was.
  const std::u16string omega = programWide + u"\\mod\\\u03A9mega.txt";
  CloseHandle(CreateFileW(reinterpret_cast<const wchar_t*>(omega.c_str()), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                          nullptr));
  const auto builtAt = std::filesystem::last_write_time(dir.File("compiled/mysetup.exe"));
  PostMessageW(FindChildById(top, kIdSpeedButton3), BM_CLICK, 0, 0);
  HWND tabs = FindChildByClass(top, WC_TABCONTROLW), source = FindChildById(top, kIdSourceFile);
  ASSERT_TRUE(Eventually([&] { return SendMessageW(tabs, TCM_GETCURSEL, 0, 0) == 0; })) << "back on the first sheet";
  const auto selected = static_cast<WPARAM>(LOWORD(SendMessageW(source, EM_GETSEL, 0, 0)));
  const auto at = static_cast<size_t>(SendMessageW(source, EM_LINEFROMCHAR, selected, 0));
  std::vector<std::string> lines{""};
  for (char c : WindowText(source))
    if (c == '\r')
      lines.emplace_back();
    else if (c != '\n')
      lines.back() += c;
  ASSERT_LT(at, lines.size());
  EXPECT_EQ(lines[at], "File \"" + program + "\\mod\\\" \"mods\\MyMod\\\"");
  EXPECT_EQ(WindowText(FindChildById(top, kIdCompiledInformation)), "") << "no build";
  EXPECT_EQ(std::filesystem::last_write_time(dir.File("compiled/mysetup.exe")), builtAt);
  Screenshot(top, "torvane-name-outside-the-code-page.bmp");

  PostMessageW(top, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, 0u);
}

// An error no code of Torvane's foresees, raised on purpose during a build:
// the strict box with its stack trace, then the written report, and nothing
// of the build left behind.
TEST_F(TorvaneProgram, ACrashShowsItsBoxWritesItsReportAndLeavesNothingOfTheBuild) {
  std::filesystem::create_directories(dir.File("compiled"));
  std::filesystem::create_directories(dir.File("temp"));
  WriteFileText(dir.File("compiled/mysetup.exe"), "an earlier installer");
  const auto before = Output();
  const std::string temp = program + "\\temp";
  testing_support::EnvironmentOverride raise("TORVANE_TEST_RAISE", "Raised on purpose"), tmp("TMP", temp),
      tempToo("TEMP", temp);
  ASSERT_TRUE(Start(""));
  TypeModFolder();
  PostMessageW(FindChildById(top, kIdSpeedButton3), BM_CLICK, 0, 0);

  const std::string strict = AnswerBox(pi.dwProcessId, L"Error System");
  EXPECT_EQ(strict.rfind("Raised on purpose\r\rStack Trace:\r", 0), 0u) << strict;
  const std::string report = AnswerBox(pi.dwProcessId, L"Error Report");
  const std::string head = "Setup Builder Error: Raised on purpose\r\rError Log Created. Please Include \"";
  ASSERT_EQ(report.rfind(head, 0), 0u) << report;
  const std::string path = report.substr(head.size(), report.find('"', head.size()) - head.size());
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 60000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, kFailureExitCode);

  // The report names the setup and the error.
  const std::vector<uint8_t> bytes = testing_support::ReadFileBytes(path);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_NE(text.find("Setup Name             : MySetup v1.0\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("ErrorText              : Raised on purpose\r\n"), std::string::npos) << text;
  EXPECT_EQ(Output(), before) << "the earlier installer as it was, nothing else";
  // The viewer the report was opened in.
  const std::string name = path.substr(path.find_last_of('\\') + 1);
  HWND viewer = nullptr;
  Eventually(
      [&] {
        for (HWND w = GetTopWindow(nullptr); w && !viewer; w = GetNextWindow(w, GW_HWNDNEXT))
          if (IsWindowVisible(w) && WindowText(w).find(name) != std::string::npos) viewer = w;
        return viewer != nullptr;
      },
      std::chrono::seconds(10));
  if (viewer) PostMessageW(viewer, WM_CLOSE, 0, 0);
}
