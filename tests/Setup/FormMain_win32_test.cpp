// The wizard and verification windows on a real display, as the user sees
// them; the pictures are written beside the test for a look.
#include <windows.h>
#include <gtest/gtest.h>

#include "Setup/FormMain_win32.h"
#include "Setup/Ggauge.h"
#include "Setup/VerifyForm_win32.h"
#include "platform/gui/Application.h"
#include "platform/gui/Picture.h"
#include "tests/Setup/WizardFixture.h"

namespace {

class WizardWindowTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    gui::InitApplication();
    AddLanguage(kWizardEnglish);
    SetupInfoFile.SetupName = "Cool Mod";
    Silent = false;
  }
  void TearDown() override {
    wizard.reset();
    // A closed main window asks the message loop to end; the next test's
    // windows must still get their messages.
    MSG quit;
    while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    RuntimeTest::TearDown();
  }

  void Open(const std::vector<ArchiveItem>& items) {
    OpenArchive(WriteArchiveFile("setup.exe", items, "MZ"));
    wizard = std::make_unique<TFrmMainWindow>();
    wizard->Form().SetPagesUp();
    wizard->Show();
  }

  static gui::Bitmap Shot(gui::Window& window, const char* file) {
    for (int i = 0; i < 3; ++i) {
      gui::ProcessMessages();
      Sleep(5);
    }
    RedrawWindow(static_cast<HWND>(window.Handle()), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    gui::Bitmap shot = gui::CaptureClient(window);
    testing_support::WriteFileBytes(file, gui::EncodeBmp(shot));
    return shot;
  }

  // The window's button of that caption, or null.
  struct ButtonSearch {
    std::u16string caption;
    HWND found = nullptr;
  };
  static BOOL CALLBACK MatchButton(HWND child, LPARAM data) {
    auto* search = reinterpret_cast<ButtonSearch*>(data);
    wchar_t text[64] = L"";
    GetWindowTextW(child, text, 64);
    if (reinterpret_cast<const char16_t*>(text) != search->caption) return TRUE;
    search->found = child;
    return FALSE;
  }
  HWND Button(const std::u16string& caption) {
    ButtonSearch search{caption};
    EnumChildWindows(static_cast<HWND>(wizard->Window().Handle()), MatchButton, reinterpret_cast<LPARAM>(&search));
    return search.found;
  }

  static int CountColour(const gui::Bitmap& shot, const gui::Rect& r, uint32_t rgb) {
    int n = 0;
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x) n += shot.Pixel(x, y) == rgb;
    return n;
  }

  std::unique_ptr<TFrmMainWindow> wizard;
};

const char kWelcome[] =
    "[Title]\r\ntype=tlabel\r\nleft=20\r\ntop=20\r\ncaption=<LANG20> to <%SETUPTITLE%>\r\nfontsize=14\r\n"
    "fontbold=true\r\nfontcolour=$0000C0\r\n";
const char kWork[] =
    "[patching_statuslabel]\r\ntype=tlabel\r\nleft=20\r\ntop=100\r\n"
    "[patching_progressbar]\r\ntype=tprogressbar\r\nleft=20\r\ntop=130\r\nwidth=400\r\nheight=30\r\n"
    "forecolour=$00A000\r\nbackcolour=$E0E0E0\r\n";
const char kFinish[] = "[finishtext]\r\ntype=tlabel\r\nleft=20\r\ntop=20\r\ncaption=All done\r\n";

}  // namespace

TEST_F(WizardWindowTest, ThePagesAndButtonsOnTheScreen) {
  Open(WizardLayout({{"welcome", kWelcome}, {"patching", kWork}, {"finish", kFinish}},
                    "[settings]\r\ncolour=$F0F8FF\r\n"));
  gui::Bitmap welcome = Shot(wizard->Window(), "wizard-welcome.bmp");
  EXPECT_EQ(wizard->Window().Text(), u" Cool Mod");
  EXPECT_EQ(welcome.Pixel(570, 360), 0xF0F8FFu) << "the page panel in the layout's colour";
  EXPECT_GT(CountColour(welcome, {20, 20, 400, 50}, 0x0000C0), 30) << "the title in its colour";
  ASSERT_NE(Button(u"Next >"), nullptr);
  ASSERT_NE(Button(u"< Back"), nullptr);
  EXPECT_TRUE(IsWindowVisible(Button(u"Next >")));
  EXPECT_FALSE(IsWindowVisible(Button(u"< Back"))) << "no Back on the first page";
  EXPECT_FALSE(IsWindowVisible(Button(u"English"))) << "one language: no language button";

  // Next, as the user clicks it: the work page runs the (empty) script and
  // moves on to the finish page.
  SendMessageW(Button(u"Next >"), BM_CLICK, 0, 0);
  gui::Bitmap finish = Shot(wizard->Window(), "wizard-finish.bmp");
  EXPECT_EQ(WizardPages->Current, 2);
  ASSERT_NE(Button(u"Finish"), nullptr) << "Cancel reads Finish";
  EXPECT_TRUE(IsWindowVisible(Button(u"Finish")));
  EXPECT_FALSE(IsWindowVisible(Button(u"Next >")));
  EXPECT_EQ(CountColour(finish, {20, 130, 420, 160}, 0x00A000), 0) << "the gauge went with its page";
}

TEST_F(WizardWindowTest, TheWorkPageShowsTheStatusAndGauge) {
  Open(WizardLayout({{"welcome", kWelcome}, {"patching", kWork}, {"finish", kFinish}}));
  WizardPages->ShowPage(1);
  TGradGauge& gauge = *wizard->Form().PatchingProgressBar();
  gauge.SetMax(4);
  gauge.SetProgress(2);
  wizard->Form().PatchingStatusLabel()->SetCaption(u"Status: 2 of 4 files extracted");
  gui::Bitmap work = Shot(wizard->Window(), "wizard-work.bmp");
  EXPECT_EQ(work.Pixel(20 + 10, 130 + 20), 0x00A000u) << "the filled half";
  EXPECT_EQ(work.Pixel(20 + 300, 130 + 20), 0xE0E0E0u) << "the empty half";
  EXPECT_GT(CountColour(work, {20, 100, 300, 115}, 0x000000), 20) << "the status text";
}

TEST_F(WizardWindowTest, TheVerificationWindow) {
  Open(WizardLayout({{"welcome", kWelcome}}));  // the main window comes first
  TFrmVerify verify;
  verify.Show("Status: 3 out of 4 files verifyed", 3, 4);
  gui::Bitmap shot = Shot(verify.Window, "verify.bmp");
  EXPECT_EQ(verify.Window.Text(), u"Verifying Contents");
  EXPECT_EQ(shot.Width(), 321);
  EXPECT_EQ(shot.Height(), 70);
  EXPECT_EQ(verify.StatusLabel.Caption(), u"Status: 3 out of 4 files verifyed");
  EXPECT_EQ(verify.ProgressBar1.Position(), 3);
  EXPECT_GT(CountColour(shot, {8, 32, 200, 45}, 0x000000), 20) << "the status text";
  verify.Close();
  EXPECT_FALSE(IsWindowVisible(static_cast<HWND>(verify.Window.Handle())));
}

TEST_F(WizardWindowTest, ProgramsTheScriptStartsHaveTheWizardAsOwner) {
  // Without an owner the shell's own windows for a start (a consent prompt,
  // the choice of a program) can open behind the wizard, which then seems
  // to hang.
  Open(WizardLayout({{"welcome", kWelcome}}));
  EXPECT_EQ(ApplicationWindow.load(), wizard->Window().Handle());
  wizard.reset();
  EXPECT_EQ(ApplicationWindow.load(), nullptr) << "not left pointing at a window that is gone";
}
