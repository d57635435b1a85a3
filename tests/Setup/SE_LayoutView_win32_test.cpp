// Layout pages on a real display, as the user sees them: built from an
// installer archive, shown in a window of the wizard's size, read back from
// the screen.
#include <windows.h>
// (the control headers build on windows.h)
#include <gtest/gtest.h>
#include <richedit.h>

#include <algorithm>

#include "Setup/Ggauge.h"
#include "Setup/SE_LayoutView.h"
#include "Setup/SE_ShellTreeView.h"
#include "platform/gui/Application.h"
#include "platform/gui/Picture.h"
#include "tests/Setup/LayoutFixture.h"

namespace {

std::string Stripes(int w, int h) {
  gui::Bitmap picture(w, h);
  for (int x = 0; x < w; ++x) picture.FillRect(x, 0, x + 1, h, x % 8 < 4 ? 0x3080F0 : 0x804020);
  auto bytes = gui::EncodeBmp(picture);
  return std::string(bytes.begin(), bytes.end());
}

class LayoutViewTest : public LayoutTest {
 protected:
  static void SetUpTestSuite() {
    gui::InitApplication();
    window = new gui::Window(u" Cool Mod v2.0", 578, 413);
    window->Show();
  }
  static void TearDownTestSuite() { delete window; }

  void SetUp() override {
    LayoutTest::SetUp();
    panel = std::make_unique<gui::Panel>(window);
    panel->SetBounds(0, 0, 578, 375);
    panel->SetBevel(gui::BevelKind::None);
    view = std::make_unique<TLayoutView>(*page, *panel);
  }

  void TearDown() override {
    pages.reset();  // the models go first, and tell the view
    view.reset();
    panel.reset();
    LayoutTest::TearDown();
  }

  gui::Bitmap Shot() {
    for (int i = 0; i < 3; ++i) {
      gui::ProcessMessages();
      Sleep(5);
    }
    RedrawWindow(static_cast<HWND>(window->Handle()), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    return gui::CaptureClient(*panel);
  }

  static int CountColour(const gui::Bitmap& shot, const gui::Rect& r, uint32_t rgb) {
    int n = 0;
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x) n += shot.Pixel(x, y) == rgb;
    return n;
  }

  static gui::Window* window;
  std::unique_ptr<gui::Panel> panel;
  std::unique_ptr<TLayoutView> view;
};

gui::Window* LayoutViewTest::window = nullptr;

const char kWelcome[] =
    "[Banner]\r\ntype=timage\r\nleft=0\r\ntop=0\r\nwidth=164\r\nheight=375\r\nfile=stripes.bmp\r\ntile=true\r\n"
    "[Title]\r\ntype=tlabel\r\nleft=180\r\ntop=20\r\ncaption=Welcome to <%SETUPTITLE%>\r\nfontsize=14\r\n"
    "fontbold=true\r\nfontcolour=$0000C0\r\ntransparent=true\r\n"
    "[Body]\r\ntype=tlabel\r\nleft=180\r\ntop=70\r\nautosize=false\r\nwidth=250\r\nheight=60\r\nwordwrap=true\r\n"
    "caption=This wizard installs the mod into your game folder.<BR><BR><LANG13> continues.\r\n"
    "[installdir_edit]\r\ntype=tedit\r\nleft=180\r\ntop=140\r\nwidth=300\r\ntext=C:\\Games\\Quexar\r\n"
    "[Choice1]\r\ntype=tradio\r\nleft=180\r\ntop=175\r\ncaption=English\r\nchecked=true\r\n"
    "[Choice2]\r\ntype=tradio\r\nleft=180\r\ntop=195\r\ncaption=Deutsch\r\n"
    "[Box]\r\ntype=tpanel\r\nleft=180\r\ntop=225\r\nwidth=180\r\nheight=30\r\ncaption=Panel <LANG14>\r\n"
    "[Line]\r\ntype=tbevel\r\nleft=180\r\ntop=265\r\nwidth=380\r\nheight=2\r\n"
    "[patching_progressbar]\r\ntype=tprogressbar\r\nleft=180\r\ntop=280\r\nwidth=380\r\nheight=30\r\n"
    "forecolour=$00A000\r\nbackcolour=$E0E0E0\r\n"
    "[Notes]\r\ntype=tmemo\r\nleft=370\r\ntop=175\r\nwidth=190\r\nheight=80\r\ntext=Line one<br>Line two\r\n";

}  // namespace

TEST_F(LayoutViewTest, WelcomePageShowsWhatTheLayoutSays) {
  Archive({{"Pages.txt", "[pages]\r\nwelcome.txt\r\n[settings]\r\ncolour=$F8F0E8\r\n"},
           {"welcome.txt", kWelcome},
           {"stripes.bmp", Stripes(16, 40)}});
  pages->LoadFromFile("Pages.txt");
  page->SetColor(pages->Colour);
  auto& gauge = Control<TGradGauge>(0, "patching_progressbar");
  gauge.SetMax(4);
  gauge.SetProgress(2);
  gui::Bitmap shot = Shot();
  testing_support::WriteFileBytes("welcome-page.bmp", gui::EncodeBmp(shot));

  EXPECT_EQ(shot.Pixel(570, 370), 0xF8F0E8u) << "page colour from the index";
  EXPECT_EQ(shot.Pixel(1, 1), 0x3080F0u) << "tiled banner";
  EXPECT_EQ(shot.Pixel(17, 300), 0x3080F0u) << "tiles repeat across and down";
  EXPECT_EQ(shot.Pixel(21, 300), 0x804020u);
  EXPECT_GT(CountColour(shot, gui::Rect{180, 20, 560, 60}, 0x0000C0), 30) << "title in its font colour";
  // Gauge at 50 %: filled in flat green up to 2 + 377 * 50 / 100, then the
  // background colour.
  EXPECT_EQ(shot.Pixel(180 + 10, 280 + 25), 0x00A000u);
  EXPECT_EQ(shot.Pixel(180 + 190, 280 + 25), 0xE0E0E0u);
  EXPECT_EQ(shot.Pixel(180 + 1, 280 + 10), 0x876E5Au) << "solid border";

  // The user's typing reaches the model.
  auto& edit = Control<TTntEdit>(0, "installdir_edit");
  auto* editWindow = dynamic_cast<gui::Edit*>(view->WidgetOf(edit));
  ASSERT_NE(editWindow, nullptr);
  EXPECT_EQ(editWindow->Text(), u"C:\\Games\\Quexar");
  editWindow->SetText(u"D:\\Spiele");
  EXPECT_EQ(edit.Text(), u"D:\\Spiele");
  // So does a click on a radio button, which clears the page's other one.
  auto& second = Control<TTntRadioButton>(0, "Choice2");
  SendMessageW(static_cast<HWND>(dynamic_cast<gui::WinControl*>(view->WidgetOf(second))->Handle()), BM_CLICK, 0, 0);
  EXPECT_TRUE(second.Checked());
  EXPECT_FALSE(Control<TTntRadioButton>(0, "Choice1").Checked());
  EXPECT_FALSE(dynamic_cast<gui::RadioButton*>(view->WidgetOf(Control<TTntRadioButton>(0, "Choice1")))->Checked());
}

TEST_F(LayoutViewTest, HiddenPagesLeaveNothingOnTheScreen) {
  Archive({{"Pages.txt", "[pages]\r\na.txt\r\nb.txt\r\n[settings]\r\ncolour=$FFFFFF\r\n"},
           {"a.txt", "[Red]\r\ntype=tprogressbar\r\nleft=10\r\ntop=10\r\nforecolour=$0000FF\r\n"},
           {"b.txt", "[Edit]\r\ntype=tedit\r\nleft=10\r\ntop=10\r\n"}});
  pages->LoadFromFile("Pages.txt");
  auto& red = Control<TGradGauge>(0, "Red");
  red.SetProgress(100);
  EXPECT_EQ(Shot().Pixel(50, 30), 0x0000FFu);
  pages->ShowPage(1);
  gui::Bitmap shot = Shot();
  EXPECT_EQ(CountColour(shot, gui::Rect{10, 10, 210, 50}, 0x0000FF), 0) << "the gauge went with its page";
  auto* edit = dynamic_cast<gui::WinControl*>(view->WidgetOf(Control<TTntEdit>(1, "Edit")));
  EXPECT_TRUE(IsWindowVisible(static_cast<HWND>(edit->Handle())));
}

TEST_F(LayoutViewTest, FolderTreeDrawsItsItemsInTheLayoutsColours) {
  Archive({{"Pages.txt", "[pages]\r\ndir.txt\r\n[pagetypes]\r\ninstalldir\r\n"},
           {"dir.txt",
            "[installdir_shelltreeview]\r\ntype=tshelltreeview\r\nleft=10\r\ntop=10\r\nwidth=400\r\nheight=300\r\n"
            "colour=$402010\r\nfontcolour=$00FFFF\r\nselcolour=$0000FF\r\nfontselcolour=$FFFFFF\r\n"}});
  pages->LoadFromFile("Pages.txt");
  auto& tree = Control<TSE_ShellTreeView>(0, "installdir_shelltreeview");
  int changes = 0;
  tree.OnChange = [&] { ++changes; };
  char here[MAX_PATH];
  GetFullPathNameA(dir.Path().c_str(), MAX_PATH, here, nullptr);
  tree.SetPath(here);
  EXPECT_STRCASEEQ(tree.Path().c_str(), here) << "the tree reports the folder it selected";
  EXPECT_GE(changes, 1);
  gui::Bitmap shot = Shot();
  testing_support::WriteFileBytes("folder-tree.bmp", gui::EncodeBmp(shot));
  gui::Rect area{10, 10, 410, 310};
  EXPECT_GT(CountColour(shot, area, 0x402010), 1000) << "tree background";
  EXPECT_GT(CountColour(shot, area, 0x00FFFF), 20) << "item text";
  EXPECT_GT(CountColour(shot, area, 0x0000FF), 50) << "selected item's background";
  // The selected item is framed while the tree has the focus.
  SetFocus(static_cast<HWND>(window->Handle()));
  const int unfocused = CountColour(Shot(), area, 0x0000FF);
  SetFocus(static_cast<HWND>(dynamic_cast<gui::WinControl&>(*view->WidgetOf(tree)).Handle()));
  EXPECT_LT(CountColour(Shot(), area, 0x0000FF), unfocused) << "the focus frame";
}

TEST_F(LayoutViewTest, AutosizedLabelsFitTheirTextWhateverTheOrderOfTheirLines) {
  // Each pair: the caption and font before the place, and after it.
  const std::string text = "caption=This wizard installs the mod into your game folder.\r\nfontsize=14\r\n";
  const std::string wrap =
      "caption=This wizard installs the mod into your game folder. Close the game first.\r\n"
      "wordwrap=true\r\n";
  auto block = [](const char* name, const std::string& lines) {
    return "[" + std::string(name) + "]\r\ntype=tlabel\r\n" + lines;
  };
  Archive({{"p.txt", block("first", text + "left=20\r\ntop=20\r\n") + block("last", "left=20\r\ntop=60\r\n" + text) +
                         block("wrapFirst", wrap + "left=20\r\ntop=100\r\nwidth=300\r\n") +
                         block("wrapLast", "left=20\r\ntop=200\r\nwidth=300\r\nwordwrap=true\r\n" + wrap) +
                         block("marked", "left=20\r\ntop=300\r\ncaption=R&un\r\n") +
                         block("plain", "left=120\r\ntop=300\r\ncaption=Run\r\n") +
                         block("doubled", "left=220\r\ntop=300\r\ncaption=R&&un\r\n")}});
  TControlParser parser(page.get());
  parser.LoadFromFile("p.txt");
  auto label = [&](size_t i) -> TTntLabel& { return dynamic_cast<TTntLabel&>(*parser.Controls.at(i)); };
  auto shown = [&](size_t i) { return view->WidgetOf(label(i))->Bounds(); };
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(shown(i), (gui::Rect{label(i).Left(), label(i).Top(), label(i).Left() + label(i).Width(),
                                   label(i).Top() + label(i).Height()}))
        << label(i).Name() << ": the model keeps the size on the screen";
  }
  EXPECT_EQ(label(0).Width(), label(1).Width());
  EXPECT_EQ(label(0).Height(), label(1).Height());
  EXPECT_GT(label(0).Height(), 20) << "the whole height of 14-point letters";
  EXPECT_GT(label(0).Width(), 300) << "the whole line";
  EXPECT_EQ(label(2).Width(), label(3).Width());
  EXPECT_EQ(label(2).Height(), label(3).Height());
  EXPECT_EQ(label(2).Width(), 300) << "wrapped within the width given";
  EXPECT_GE(label(2).Height(), 2 * 13) << "on more than one line";
  // "&" underlines the next letter and takes no room; "&&" is one "&".
  EXPECT_EQ(label(4).Width(), label(5).Width());
  EXPECT_GT(label(6).Width(), label(5).Width());
  testing_support::WriteFileBytes("labels.bmp", gui::EncodeBmp(Shot()));
}

TEST_F(LayoutViewTest, RichTextKeepsItsFormattingAndPlainTextTakesTheLayoutsFont) {
  const std::string rtf =
      "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\froman Times New Roman;}}{\\colortbl;\\red192\\green0\\blue0;}"
      "\\f0\\fs36\\cf1\\b Heading\\b0\\cf0\\par\\fs20 Body text, {\\i italic}.\\par}";
  std::string licence;  // longer than the control's own limit of 32,767
  while (licence.size() < 40000) licence += "Plain licence text of the mod.\r\n";
  const std::string font = "fontface=Courier New\r\nfontsize=9\r\nfontcolour=$00A000\r\nfontbold=false\r\n";
  Archive(
      {{"licence.rtf", rtf},
       {"licence.txt", licence},
       {"p.txt", "[rich]\r\ntype=trichedit\r\nleft=10\r\ntop=10\r\nwidth=400\r\nheight=150\r\nfile=licence.rtf\r\n" +
                     font + "[plain]\r\ntype=trichedit\r\nleft=10\r\ntop=170\r\nwidth=400\r\nheight=150\r\n" +
                     "file=licence.txt\r\n" + font}});
  TControlParser parser(page.get());
  parser.LoadFromFile("p.txt");
  auto handle = [&](size_t i) {
    return static_cast<HWND>(dynamic_cast<gui::WinControl&>(*view->WidgetOf(*parser.Controls.at(i))).Handle());
  };
  // The format of the characters [from, to) of a control.
  auto format = [](HWND edit, LONG from, LONG to) {
    CHARRANGE range{from, to};
    SendMessageW(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    CHARFORMAT2W f{};
    f.cbSize = sizeof f;
    SendMessageW(edit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&f));
    return f;
  };
  HWND rich = handle(0), plain = handle(1);
  CHARFORMAT2W heading = format(rich, 0, 7), body = format(rich, 8, 12), italic = format(rich, 19, 25);
  EXPECT_TRUE(heading.dwEffects & CFE_BOLD) << "the heading stays bold";
  EXPECT_EQ(heading.crTextColor, RGB(192, 0, 0));
  EXPECT_EQ(heading.yHeight, 18 * 20) << "18 points";
  EXPECT_STREQ(heading.szFaceName, L"Times New Roman");
  EXPECT_FALSE(body.dwEffects & CFE_BOLD);
  EXPECT_EQ(body.yHeight, 10 * 20);
  EXPECT_TRUE(italic.dwEffects & CFE_ITALIC);
  CHARFORMAT2W text = format(plain, 0, 5);
  EXPECT_STREQ(text.szFaceName, L"Courier New") << "plain text in the layout's font";
  EXPECT_EQ(text.yHeight, 9 * 20);
  EXPECT_EQ(text.crTextColor, RGB(0, 160, 0));
  GETTEXTLENGTHEX length{GTL_NUMCHARS, 1200};
  const auto lineEnds = std::count(licence.begin(), licence.end(), '\n');
  EXPECT_EQ(SendMessageW(plain, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0), licence.size() - lineEnds)
      << "a long licence shows whole (each line end one character)";
  testing_support::WriteFileBytes("licence-page.bmp", gui::EncodeBmp(Shot()));
}
