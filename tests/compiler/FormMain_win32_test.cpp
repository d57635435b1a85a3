// The compiler window on a real display: what its controls show before and
// after the user's actions, read back from the windows and the screen.
#include "compiler/FormMain_win32.h"

#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <richedit.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "compiler/FormSelectDir_win32.h"
#include "compiler/TCompiler.h"
#include "platform/gui/Application.h"
#include "tests/support/BmpFile.h"
#include "tests/support/Eventually.h"
#include "tests/support/TempDir.h"
#include "tests/support/WindowSearch.h"

using testing_support::FindChildByClass;
using testing_support::FindChildById;
using testing_support::TempDir;
using testing_support::WindowText;
using testing_support::WriteFileText;

namespace {

void Pump(int milliseconds) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  do {
    gui::ProcessMessages();
    Sleep(5);
  } while (std::chrono::steady_clock::now() < until);
}

// Answers the next message box of that caption from another thread, as the
// user's OK does, and keeps its text.
class BoxAnswer {
 public:
  explicit BoxAnswer(std::wstring caption)
      : thread_([this, caption] {
          HWND box = nullptr;
          testing_support::Eventually([&] { return done_ || (box = FindWindowW(L"#32770", caption.c_str())); });
          if (!box) return;
          char buffer[512] = {};
          GetDlgItemTextA(box, 0xFFFF, buffer, sizeof buffer);
          text_ = buffer;
          PostMessageW(box, WM_COMMAND, IDOK, 0);
          done_ = true;
        }) {}
  ~BoxAnswer() {
    done_ = true;
    thread_.join();
  }
  std::string Text() {
    done_ = true;
    thread_.join();
    thread_ = std::thread([] {});
    return text_;
  }

 private:
  std::atomic<bool> done_{false};
  std::string text_;
  std::thread thread_;
};

class FormMainWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { gui::InitApplication(); }

  FormMainWindowTest() {
    compiler.ProgramDir = std::filesystem::absolute(program.Path()).string();
    std::filesystem::create_directories(program.File("layout/install/QX1"));
    std::filesystem::create_directories(program.File("layout/install/Blue"));
    std::filesystem::create_directories(program.File("layout/uninstall/QX1"));
    WriteFileText(program.File("layout/install/QX1/Pages.txt"), "page1=welcome\r\n");
    WriteFileText(program.File("layout/uninstall/QX1/Pages.txt"), "page1=uninstall\r\n");
    std::filesystem::create_directories(program.File("files/sub"));
    WriteFileText(program.File("files/a.dat"), "a");
    WriteFileText(program.File("files/sub/b.dat"), "b");
  }

  void Open(std::vector<std::string> parameters = {}) {
    form = std::make_unique<TFrmMainWindow>(compiler, parameters);
    form->Show();
    Pump(50);
    top = static_cast<HWND>(form->Form().Handle());
  }

  // Types the mod files folder and clicks the Compile tool button.
  void Compile(const std::string& modFilesDir) {
    SetWindowTextA(FindChildById(top, kIdModFilesDir), modFilesDir.c_str());
    SendMessageW(FindChildById(top, kIdSpeedButton3), BM_CLICK, 0, 0);
    Pump(50);
  }

  // The picture of the window's client area, also left in the test's folder
  // as a BMP file for a person to look at.
  gui::Bitmap Screenshot(const char* file) {
    RedrawWindow(top, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Pump(50);
    gui::Bitmap shot = gui::CaptureClient(form->Form());
    testing_support::WriteFileBytes(file, testing_support::BmpFile(shot.Width(), shot.Height(), shot.Bits()));
    return shot;
  }

  TempDir program;
  TCompiler compiler;
  std::unique_ptr<TFrmMainWindow> form;
  HWND top = nullptr;
};

// Whether an edit control shows its last line, scrolled away from its first.
bool ScrolledToItsEnd(HWND edit) {
  const LRESULT last = SendMessageW(edit, EM_GETLINECOUNT, 0, 0) - 1;
  POINTL at{};
  SendMessageW(edit, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&at), SendMessageW(edit, EM_LINEINDEX, last, 0));
  RECT client{};
  GetClientRect(edit, &client);
  return SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0) > 0 && at.y >= 0 && at.y < client.bottom;
}

int VisibleTabs(HWND top) {
  HWND tabs = FindChildByClass(top, WC_TABCONTROLW);
  return tabs ? static_cast<int>(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0)) : -1;
}

}  // namespace

TEST_F(FormMainWindowTest, ShowsTheDefaultSettingsAndTheGradient) {
  Open();
  EXPECT_EQ(WindowText(top), " Torvane v1.0");
  EXPECT_EQ(WindowText(FindChildById(top, kIdSetupShortName)), "MySetup");
  EXPECT_EQ(WindowText(FindChildById(top, kIdSetupName)), "MySetup v1.0");
  EXPECT_EQ(WindowText(FindChildById(top, kIdSetupExeName)), "mysetup.exe");
  EXPECT_EQ(WindowText(FindChildById(top, kIdModFilesDir)), "");
  HWND install = FindChildById(top, kIdInstLayout);
  EXPECT_EQ(SendMessageW(install, CB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(WindowText(install), "Blue");
  EXPECT_EQ(WindowText(FindChildById(top, kIdUninstLayout)), "QX1");
  EXPECT_EQ(SendMessageW(FindChildById(top, kIdHasUninstallCheck), BM_GETCHECK, 0, 0), BST_CHECKED);
  HWND grid = FindWindowExW(FindChildById(top, kIdModInfo), nullptr, WC_LISTVIEWW, nullptr);
  EXPECT_EQ(SendMessageW(grid, LVM_GETITEMCOUNT, 0, 0), 11);
  EXPECT_EQ(VisibleTabs(top), 2) << "Setup Info and Compile Information";

  gui::Bitmap shot = Screenshot("torvane-start.bmp");
  EXPECT_EQ(shot.Pixel(0, 25), static_cast<uint32_t>(gui::RGBColor(153, 198, 241))) << "gradient's left edge";
  EXPECT_EQ(shot.Pixel(0, shot.Height() - 25), static_cast<uint32_t>(gui::RGBColor(153, 198, 241)));
}

TEST_F(FormMainWindowTest, CompileWithoutTheModFolderShowsOnlyTheBox) {
  Open();
  BoxAnswer box(L"Compile error");
  Compile("");
  EXPECT_EQ(box.Text(), "Error: You need to specify where your mod`s files are stored");
  EXPECT_EQ(VisibleTabs(top), 2);
  EXPECT_FALSE(std::filesystem::exists(program.File("compiled")));
}

TEST_F(FormMainWindowTest, CompileErrorFlashesThePanelAndSelectsTheFailingLine) {
  Open();
  TCommandList few;
  for (const char* k : {"name", "shortname", "outfile", "prefix", "installdir"})
    few.Add(std::make_unique<TCommandClass>(k, 0));
  compiler.Commands = &few;
  Compile(program.File("files"));
  compiler.Commands = &form->Model().Commands;

  EXPECT_EQ(form->Model().ErrorStringLabel, u"Error: Unknown Command \"InstallDirRegKey\"");
  EXPECT_EQ(VisibleTabs(top), 3) << "the script's sheet can be opened now";
  CHARRANGE selection{};
  SendMessageW(FindChildById(top, kIdSourceFile), EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
  const std::string line = "InstallDirRegKey HKLM \"Software\\Venmark\\Quexar\\\" \"Path\"";
  EXPECT_EQ(selection.cpMin, form->Model().SourceSelStart);
  EXPECT_EQ(selection.cpMax - selection.cpMin, static_cast<LONG>(line.size()));

  // The panel flashes red every 350 ms for 2.5 s, then keeps its last state.
  gui::Bitmap first = Screenshot("torvane-error.bmp");
  bool sawRed = false, sawGradient = false;
  for (int i = 0; i < 8; ++i) {
    Pump(120);
    uint32_t pixel = gui::CaptureClient(form->Form()).Pixel(2, first.Height() - 3);
    sawRed |= pixel == static_cast<uint32_t>(gui::RGBColor(255, 0, 0));
    sawGradient |= pixel == static_cast<uint32_t>(gui::RGBColor(153, 198, 241));
  }
  EXPECT_TRUE(sawRed && sawGradient);
  Pump(1800);
  EXPECT_FALSE(form->Model().ErrorFlashTimerEnabled || form->Model().ErrorTimerStopEnabled);
  uint32_t settled = gui::CaptureClient(form->Form()).Pixel(2, first.Height() - 3);
  Pump(500);
  EXPECT_EQ(gui::CaptureClient(form->Form()).Pixel(2, first.Height() - 3), settled);
}

TEST_F(FormMainWindowTest, CompileAndBuildFillTheLogAndTheDebugListing) {
  std::filesystem::create_directories(program.File("base"));
  WriteFileText(program.File("base/setup.exe"), "MZ base program");
  // More files than the log has lines on the screen.
  for (int i = 0; i < 60; ++i) WriteFileText(program.File("files/f" + std::to_string(i) + ".dat"), "f");
  Open({"-debug"});
  SendMessageW(FindChildById(top, kIdInstLayout), CB_SETCURSEL, 1, 0);  // QX1, with its pages
  Compile(program.File("files"));

  HWND logWindow = FindChildById(top, kIdCompiledInformation);
  std::string log = WindowText(logWindow);
  EXPECT_NE(log.find("Adding Files:"), std::string::npos);
  EXPECT_EQ(log.substr(log.size() - 8), "Finished");
  EXPECT_TRUE(ScrolledToItsEnd(logWindow)) << "the build's result is in view";
  EXPECT_FALSE(form->Model().ErrorLabelsVisible);
  EXPECT_TRUE(std::filesystem::exists(program.File("compiled/mysetup.exe")));
  // The listing shows on the script's sheet, whose tab appears.
  EXPECT_TRUE(GetWindowLongPtrW(FindChildById(top, kIdCompiledVer), GWL_STYLE) & WS_VISIBLE);
  EXPECT_EQ(WindowText(FindChildById(top, kIdCompiledVer)).rfind("name \"MySetup v1.0\"\r", 0), 0u);
  EXPECT_EQ(VisibleTabs(top), 3);
  Screenshot("torvane-built.bmp");
}

// A build that fails ends its log with the error, in view, and the error
// panel flashes with it: here the first layout, Blue, has no pages.
TEST_F(FormMainWindowTest, AFailedBuildShowsItsErrorInTheLogAndThePanel) {
  std::filesystem::create_directories(program.File("base"));
  WriteFileText(program.File("base/setup.exe"), "MZ base program");
  Open();
  Compile(program.File("files"));

  const std::string error =
      "Error: The install layout " + compiler.ProgramDir + "\\layout\\Install\\Blue\\ has no Pages.txt";
  HWND logWindow = FindChildById(top, kIdCompiledInformation);
  std::string log = WindowText(logWindow);
  EXPECT_EQ(log.substr(log.find_last_of("\r\n") + 1), error);
  EXPECT_EQ(form->Model().ErrorStringLabel, platform::AnsiToWide(error));
  EXPECT_EQ(form->Model().ErrorLineNumberLabel, "Line Num: None");
  EXPECT_TRUE(form->Model().ErrorLabelsVisible && form->Model().ErrorFlashTimerEnabled);
  EXPECT_EQ(VisibleTabs(top), 2) << "still on the log";
  EXPECT_TRUE(IsWindowVisible(logWindow));
  Screenshot("torvane-build-error.bmp");
}

TEST_F(FormMainWindowTest, SelectDirectoryGivesTheTreeFolderOnlyThroughItsButton) {
  Open();
  TFrmSelectDir picker;
  std::string folder = std::filesystem::absolute(program.File("files")).string();
  for (char& c : folder)
    if (c == '/') c = '\\';
  ASSERT_TRUE(picker.ShellTreeView1->SetPath(folder));
  const gui::Rect& button = picker.Button1->Bounds();
  EXPECT_EQ(button.Left, 300 / 2 - button.Width() / 2) << "centred";

  std::string path;
  std::thread click([&] {
    HWND selectWindow = nullptr;
    testing_support::Eventually([&] {
      selectWindow = FindWindowW(nullptr, L"Select Directory");
      return selectWindow && IsWindowVisible(selectWindow);
    });
    PostMessageW(static_cast<HWND>(picker.Button1->Handle()), BM_CLICK, 0, 0);
  });
  EXPECT_TRUE(picker.ShowModal(form->Form(), path));
  click.join();
  EXPECT_EQ(path, folder);
  EXPECT_TRUE(IsWindowEnabled(top));

  std::thread close([&] {
    HWND selectWindow = nullptr;
    testing_support::Eventually([&] {
      selectWindow = FindWindowW(nullptr, L"Select Directory");
      return selectWindow && IsWindowVisible(selectWindow);
    });
    PostMessageW(selectWindow, WM_CLOSE, 0, 0);
  });
  path = "untouched";
  EXPECT_FALSE(picker.ShowModal(form->Form(), path));
  close.join();
  EXPECT_EQ(path, "untouched");
  EXPECT_FALSE(picker.DirSelected);
}
