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
#include "tests/support/WindowSearch.h"

using testing_support::FindShownChildByClass;

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

namespace {

// The window keys go to. The window tests of other programs share the
// display, and one of them may take the foreground meanwhile; the window
// is brought back, as a user would click it, and gives the focus back to
// the control that had it.
HWND typingInto = nullptr;

void KeepTypingWindowInFront() {
  if (typingInto && IsWindow(typingInto) && GetForegroundWindow() != typingInto) SetForegroundWindow(typingInto);
}

// Handles the window's messages until the condition holds; false when it
// still does not after a while.
template <class Condition>
bool PumpUntil(Condition condition) {
  for (int i = 0; i < 400 && !condition(); ++i) {
    KeepTypingWindowInFront();
    gui::ProcessMessages();
    Sleep(5);
  }
  return condition();
}

// A key as the keyboard sends it, with a modifier (Alt, Shift) held when
// asked.
void Type(WORD key, WORD modifier = 0) {
  if (typingInto && IsWindow(typingInto)) PumpUntil([] { return GetForegroundWindow() == typingInto; });
  std::vector<INPUT> keys;
  auto add = [&](WORD vk, DWORD flags) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = flags;
    keys.push_back(in);
  };
  if (modifier) add(modifier, 0);
  add(key, 0);
  add(key, KEYEVENTF_KEYUP);
  if (modifier) add(modifier, KEYEVENTF_KEYUP);
  SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT));
}

}  // namespace

TEST_F(WizardWindowTest, TheKeyboardAloneGoesThroughEveryPage) {
  Languages = TLanguages();
  AddLanguage(
      u"English\r\n409;\r\n12 < &Back\r\n13 &Next >\r\n14 Cancel\r\n15 &Install\r\n16 &Finish\r\n"
      u"27 Really quit?\r\n28 Quit\r\n");
  answer = platform::kIdNo;  // to the question that Esc asks
  Open(WizardLayout({{"welcome", "[name_edit]\r\ntype=tedit\r\nleft=20\r\ntop=20\r\n"},
                     {"installdir",
                      "[installdir_edit]\r\ntype=tedit\r\nleft=20\r\ntop=20\r\nwidth=400\r\n"
                      "[licence]\r\ntype=trichedit\r\nleft=20\r\ntop=60\r\ntext=Terms\r\n"
                      "[ready]\r\ntype=tmemo\r\nleft=220\r\ntop=60\r\ntext=Ready<BR>Set\r\n"},
                     {"patch", kWelcome},
                     {"patching", kWork},
                     {"finish", kFinish}}));
  HWND window = static_cast<HWND>(wizard->Window().Handle());
  typingInto = window;
  SetForegroundWindow(window);
  HWND next = Button(u"&Next >"), cancel = Button(u"Cancel");
  HWND name = FindShownChildByClass(window, L"Edit");
  ASSERT_TRUE(next && cancel && name);
  EXPECT_TRUE(PumpUntil([&] { return GetFocus() == next; })) << "the wizard starts on Next";

  // Tab goes from Next to Cancel and round to the page's edit, which takes
  // what is typed; the button Enter would press is drawn as the default.
  auto isDefault = [](HWND button) { return (GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON; };
  Type(VK_TAB);
  EXPECT_TRUE(PumpUntil([&] { return GetFocus() == cancel; }));
  EXPECT_TRUE(isDefault(cancel) && !isDefault(next));
  Type(VK_TAB);
  EXPECT_TRUE(PumpUntil([&] { return GetFocus() == name; }));
  EXPECT_TRUE(isDefault(next) && !isDefault(cancel));
  for (WORD key : {'M', 'O', 'D'}) Type(key);
  TTntEdit* typed = nullptr;
  for (auto& control : WizardPages->Pages[0]->Controls)
    if (control->Name() == "name_edit") typed = dynamic_cast<TTntEdit*>(control.get());
  ASSERT_NE(typed, nullptr);
  EXPECT_TRUE(PumpUntil([&] { return typed->Text() == u"mod"; }))
      << std::string(typed->Text().begin(), typed->Text().end());
  Shot(wizard->Window(), "wizard-keys.bmp");

  // Enter in the edit presses Next; the focus goes from the hidden edit to
  // Next.
  Type(VK_RETURN);
  EXPECT_TRUE(PumpUntil([&] { return WizardPages->Current == 1; }));
  EXPECT_TRUE(PumpUntil([&] { return GetFocus() == next; }));
  // Tab goes into the licence (a rich edit) and the memo and out again.
  HWND licence = FindShownChildByClass(window, L"RichEdit20W");
  for (HWND stop : {cancel, FindShownChildByClass(window, L"Edit"), licence}) {
    Type(VK_TAB);
    EXPECT_TRUE(PumpUntil([&] { return GetFocus() == stop; }));
  }
  // Esc, there as anywhere, is Cancel, which asks first; the answer No
  // keeps the wizard.
  Type(VK_ESCAPE);
  EXPECT_TRUE(PumpUntil([&] { return !boxes.empty(); }));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Text, "Really quit?");
  EXPECT_TRUE(IsWindow(window));
  // What the licence and the memo show is there to read: arriving by Tab
  // selects none of it, and no key changes it. Tab and Shift+Tab move on,
  // a letter does nothing, and Enter presses Next.
  auto text = [](HWND control) {
    wchar_t buffer[64] = L"";
    GetWindowTextW(control, buffer, 64);
    return std::u16string(reinterpret_cast<const char16_t*>(buffer));
  };
  auto nothingSelected = [](HWND control) {
    DWORD from = 0, to = 0;
    SendMessageW(control, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    return from == to;
  };
  EXPECT_TRUE(nothingSelected(licence));
  Type('X');
  Type(VK_TAB);
  EXPECT_TRUE(PumpUntil([&] { return GetFocus() != licence; }));
  HWND memo = GetFocus();
  EXPECT_EQ(text(memo), u"Ready\r\nSet");
  EXPECT_TRUE(nothingSelected(memo));
  Type('X');
  Type(VK_TAB);
  EXPECT_TRUE(PumpUntil([&] { return GetFocus() == Button(u"< &Back"); }));
  Type(VK_TAB, VK_SHIFT);
  EXPECT_TRUE(PumpUntil([&] { return GetFocus() == memo; }));
  Type(VK_TAB, VK_SHIFT);
  EXPECT_TRUE(PumpUntil([&] { return GetFocus() == licence; }));
  Type(VK_RETURN);
  EXPECT_TRUE(PumpUntil([&] { return WizardPages->Current == 2; }));
  // Back and the underlined letter of Next: the texts are as they were.
  Type('B', VK_MENU);
  EXPECT_TRUE(PumpUntil([&] { return WizardPages->Current == 1; }));
  EXPECT_EQ(text(licence), u"Terms");
  EXPECT_EQ(text(memo), u"Ready\r\nSet");
  // The underlined letters of Next and Install press them; the installation
  // runs and the finish page follows.
  Type('N', VK_MENU);
  EXPECT_TRUE(PumpUntil([&] { return WizardPages->Current == 2; }));
  EXPECT_NE(Button(u"&Install"), nullptr);
  Type('I', VK_MENU);
  EXPECT_TRUE(PumpUntil([&] { return WizardPages->Current == 4; }));
  // On the finish page Enter presses Finish, which closes without asking.
  Type(VK_RETURN);
  EXPECT_TRUE(PumpUntil([&] { return !IsWindow(window); }));
  EXPECT_EQ(boxes.size(), 1u);
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
