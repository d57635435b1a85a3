// Runs the real Torvane.exe from a program folder of its own on the display,
// drives its window from outside as a user would (typing into its controls,
// clicking its buttons, answering its message box), checks the installer it
// builds, leaves a screenshot of it, and closes it.
#include <windows.h>
#include <commctrl.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "Global/QXI_PakFile.h"
#include "compiler/FormMain_win32.h"
#include "installer-library/QXI_SetupInfo.h"
#include "platform/Text.h"
#include "platform/WidePath.h"
#include "tests/support/BmpFile.h"
#include "tests/support/Eventually.h"
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

}  // namespace

TEST(TorvaneProgram, CompilesFromItsWindowAndEndsWhenClosed) {
  // Its folder is named outside the code page: it finds its layouts,
  // languages and base program there all the same.
  TempDir temp;
  const std::u16string programWide =
      platform::AnsiToWide(std::filesystem::absolute(temp.Path()).string()) + u"\\\u0141ukasz";
  ASSERT_TRUE(CreateDirectoryW(reinterpret_cast<const wchar_t*>(programWide.c_str()), nullptr));
  const std::string program = platform::NarrowPath(programWide);
  ASSERT_FALSE(program.empty()) << "its short name";
  struct {
    std::string root;
    std::string File(const std::string& name) const { return root + "\\" + name; }
  } dir{program};
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

  // The program carries its icon.
  HMODULE image = LoadLibraryExA(dir.File("Torvane.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(image, nullptr);
  EXPECT_NE(FindResourceA(image, "MAINICON", MAKEINTRESOURCEA(14)), nullptr);  // RT_GROUP_ICON
  FreeLibrary(image);

  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::u16string line = u"\"" + programWide + u"\\Torvane.exe\" -debug";
  ASSERT_TRUE(CreateProcessW(nullptr, reinterpret_cast<wchar_t*>(line.data()), nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &si, &pi));
  HWND top = nullptr;
  ASSERT_TRUE(
      Eventually([&] { return (top = FindProcessWindow(pi.dwProcessId, nullptr, L" Torvane v1.0")) != nullptr; }));
  EXPECT_EQ(WindowText(FindChildById(top, kIdInstLayout)), "QX1");

  // Compile without a mod folder: the box, and nothing else.
  PostMessageW(FindChildById(top, kIdSpeedButton3), BM_CLICK, 0, 0);
  HWND box = nullptr;
  ASSERT_TRUE(
      Eventually([&] { return (box = FindProcessWindow(pi.dwProcessId, L"#32770", L"Compile error")) != nullptr; }));
  char text[256] = {};
  GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
  EXPECT_STREQ(text, "Error: You need to specify where your mod`s files are stored");
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(Eventually([&] { return !IsWindow(box); }));
  EXPECT_FALSE(std::filesystem::exists(dir.File("compiled")));

  // Compile with the mod folder typed in: the log fills and ends the build,
  // and with -debug the listing of the generated script follows.
  const std::u16string typed = programWide + u"\\mod";
  SendMessageW(FindChildById(top, kIdModFilesDir), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
  PostMessageW(FindChildById(top, kIdSpeedButton3), BM_CLICK, 0, 0);
  ASSERT_TRUE(Eventually([&] { return !WindowText(FindChildById(top, kIdCompiledVer)).empty(); }));
  std::string log = WindowText(FindChildById(top, kIdCompiledInformation));
  EXPECT_EQ(log.substr(log.find_last_of("\r\n") + 1), "Finished") << log;
  EXPECT_EQ(WindowText(FindChildById(top, kIdCompiledVer)).rfind("name \"MySetup v1.0\"\r", 0), 0u);
  EXPECT_NE(WindowText(FindChildById(top, kIdSourceFile)).find("File \"" + program + "\\mod\\\" \"mods\\MyMod\\\""),
            std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir.File("initempdir")));

  // The installer: group 0 with the languages, both layouts, the finaliser
  // and the setup information; the mod's settings file, then its files.
  TPak pak(dir.File("compiled/mysetup.exe"), false, false);
  std::vector<std::string> entries;
  for (const TPakFile& e : pak.Entries) entries.push_back(std::to_string(e.Group) + " " + e.Name);
  EXPECT_EQ(entries,
            (std::vector<std::string>{"0 LANGUAGE-install\\English", "0 UNINSTALL_LANGUAGE-uninstall\\UnEnglish",
                                      "0 Pages.txt", "0 UNINSTALL_Pages.txt", "0 UNINSTALL_FINALISE.EXE", "0 SetupInfo",
                                      "0 CompiledLines", "1 MyMod.ini", "2 a.dat", "2 sub\\b.dat"}));
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
  pak.Close();
  WaitForInputIdle(pi.hProcess, 5000);
  Sleep(300);
  Screenshot(top, "torvane-program.bmp");

  // A file whose name the installer's 8-bit names cannot hold ends the
  // compile at the mod's File line, with nothing built: the installer of
  // the last compile stays as it was.
  const std::u16string omega = programWide + u"\\mod\\\u03A9mega.txt";
  CloseHandle(CreateFileW(reinterpret_cast<const wchar_t*>(omega.c_str()), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                          nullptr));
  const auto built = std::filesystem::last_write_time(dir.File("compiled/mysetup.exe"));
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
  EXPECT_EQ(std::filesystem::last_write_time(dir.File("compiled/mysetup.exe")), built);
  Screenshot(top, "torvane-name-outside-the-code-page.bmp");

  PostMessageW(top, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, 0u);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
}
