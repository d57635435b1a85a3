// The windowing layer on a real display: what the user would see, read back
// from the screen.
#include <windows.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>

#include "platform/gui/Application.h"
#include "platform/gui/Controls.h"
#include "platform/gui/Edits.h"
#include "platform/gui/Picture.h"
#include "platform/gui/ProgressBar.h"
#include "platform/gui/ShellTree.h"
#include "tests/support/TempDir.h"

using namespace gui;

namespace {

class GuiTest : public ::testing::Test {
 protected:
  // One window for the suite: showing a window costs seconds under Wine.
  static void SetUpTestSuite() {
    InitApplication();
    window = new Window(u"Controls", 320, 200);
    window->Show();
  }
  static void TearDownTestSuite() { delete window; }

  void SetUp() override {
    panel = std::make_unique<Panel>(window);
    panel->SetBounds(0, 0, 320, 200);
    panel->SetBevel(BevelKind::None);
    panel->SetColor(clWhite);
  }

  // Lets the windows paint, then reads the panel back from the screen.
  Bitmap Shot() {
    for (int i = 0; i < 3; ++i) {
      ProcessMessages();
      Sleep(5);
    }
    RedrawWindow(static_cast<HWND>(window->Handle()), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    return CaptureClient(*panel);
  }

  static Bitmap Filled(int w, int h, uint32_t rgb) {
    Bitmap b(w, h);
    b.FillRect(0, 0, w, h, rgb);
    return b;
  }

  static int CountColour(const Bitmap& shot, const Rect& r, uint32_t rgb) {
    int n = 0;
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x) n += shot.Pixel(x, y) == rgb;
    return n;
  }

  static Window* window;
  std::unique_ptr<Panel> panel;
};

Window* GuiTest::window = nullptr;

}  // namespace

TEST_F(GuiTest, WindowlessControlsPaintInOrderAndFollowVisibility) {
  Image below(panel.get()), above(panel.get());
  below.SetBounds(10, 10, 40, 40);
  below.SetPicture(Filled(40, 40, 0xFF0000));  // blue
  above.SetBounds(30, 30, 40, 40);
  above.SetPicture(Filled(40, 40, 0x00FF00));  // green
  Bitmap shot = Shot();
  EXPECT_EQ(shot.Pixel(15, 15), 0xFF0000u);
  EXPECT_EQ(shot.Pixel(35, 35), 0x00FF00u) << "the later control lies in front";
  EXPECT_EQ(shot.Pixel(100, 100), 0xFFFFFFu) << "panel background";

  above.SendToBack();
  EXPECT_EQ(Shot().Pixel(35, 35), 0xFF0000u);

  below.SetVisible(false);
  shot = Shot();
  EXPECT_EQ(shot.Pixel(15, 15), 0xFFFFFFu);
  EXPECT_EQ(shot.Pixel(35, 35), 0x00FF00u);
}

TEST_F(GuiTest, ImageStretchesCentresAndDropsItsTransparentColour) {
  Bitmap picture = Filled(4, 4, 0x0000FF);
  picture.FillRect(0, 0, 2, 2, 0x00FF00);  // top-left quarter green; the rest red
  Image plain(panel.get()), stretched(panel.get()), centred(panel.get()), transparent(panel.get());
  plain.SetBounds(0, 0, 20, 20);
  plain.SetPicture(picture);
  stretched.SetBounds(30, 0, 20, 20);
  stretched.SetStretch(true);
  stretched.SetPicture(picture);
  centred.SetBounds(60, 0, 20, 20);
  centred.SetCenter(true);
  centred.SetPicture(picture);
  Bitmap keyed = Filled(4, 4, 0x00FF00);
  keyed.FillRect(0, 3, 1, 4, 0x0000FF);  // bottom-left pixel red: red is see-through
  keyed.FillRect(2, 0, 4, 2, 0x0000FF);
  transparent.SetBounds(90, 0, 4, 4);
  transparent.SetTransparent(true);
  transparent.SetPicture(keyed);

  Bitmap shot = Shot();
  EXPECT_EQ(shot.Pixel(0, 0), 0x00FF00u);
  EXPECT_EQ(shot.Pixel(5, 5), 0xFFFFFFu) << "unstretched picture is 4 pixels wide";
  EXPECT_EQ(shot.Pixel(30 + 19, 19), 0x0000FFu) << "stretched to the control";
  EXPECT_EQ(shot.Pixel(30 + 5, 5), 0x00FF00u);
  EXPECT_EQ(shot.Pixel(60 + 8, 8), 0x00FF00u) << "centred: starts at 8";
  EXPECT_EQ(shot.Pixel(60 + 7, 7), 0xFFFFFFu);
  EXPECT_EQ(shot.Pixel(90 + 3, 0), 0xFFFFFFu) << "transparent colour shows the panel";
  EXPECT_EQ(shot.Pixel(90 + 0, 0), 0x00FF00u);
}

TEST_F(GuiTest, LabelDrawsItsUnicodeCaptionInItsFontColour) {
  Label label(panel.get());
  label.SetBounds(10, 10, 200, 20);
  Font font = label.GetFont();
  font.Color = clRed;
  font.Size = 14;
  font.Bold = true;
  label.SetFont(font);
  label.SetCaption(u"Gr\u00FC\u00DFe\rZweite Zeile");
  EXPECT_GT(label.Bounds().Height(), 30) << "auto size takes both lines";
  Bitmap shot = Shot();
  Rect area = label.Bounds();
  EXPECT_GT(CountColour(shot, area, 0x0000FF), 20);
  EXPECT_GT(CountColour(shot, area, 0xFFFFFF), 20) << "background of the parent";

  // A transparent label over a picture keeps the picture around its text.
  Image back(panel.get());
  back.SetBounds(10, 100, 100, 40);
  back.SetPicture(Filled(100, 40, 0xFF0000));
  back.SendToBack();
  Label over(panel.get());
  over.SetBounds(10, 100, 100, 40);
  over.SetTransparent(true);
  over.SetCaption(u"x");
  EXPECT_EQ(Shot().Pixel(100, 130), 0xFF0000u);
}

TEST_F(GuiTest, PanelPaintsItsUnicodeCaptionAndColour) {
  Panel inner(panel.get());
  inner.SetBounds(10, 10, 120, 40);
  inner.SetColor(RGBColor(0, 0, 128));
  Font font = inner.GetFont();
  font.Color = clWhite;
  inner.SetFont(font);
  inner.SetCaption(u"\u0414\u0430\u043B\u0435\u0435");
  EXPECT_EQ(inner.Caption(), u"\u0414\u0430\u043B\u0435\u0435");
  Bitmap shot = CaptureClient(inner);
  Shot();
  shot = CaptureClient(inner);
  EXPECT_EQ(shot.Pixel(60, 3), 0x800000u);
  const int letters = CountColour(shot, Rect{20, 5, 100, 35}, 0xFFFFFF);
  EXPECT_GT(letters, 10);
  // Its letters, not the question marks of the code page.
  inner.SetCaption(u"?????");
  Shot();
  EXPECT_NE(CountColour(CaptureClient(inner), Rect{20, 5, 100, 35}, 0xFFFFFF), letters);
}

TEST_F(GuiTest, StandardControlsKeepUnicodeTextAndReportChanges) {
  Edit edit(panel.get());
  edit.SetBounds(10, 10, 150, 22);
  int changes = 0;
  edit.OnChange = [&] { ++changes; };
  edit.SetText(u"C:\\Spiele\\Gr\u00FC\u00DFe \u20AC");
  EXPECT_EQ(edit.Text(), u"C:\\Spiele\\Gr\u00FC\u00DFe \u20AC");
  EXPECT_EQ(changes, 1) << "setting the text is a change too";

  Button button(panel.get());
  int clicks = 0;
  button.OnClick = [&] { ++clicks; };
  button.SetBounds(10, 40, 80, 25);
  button.SetText(u"Next >");
  SendMessageW(static_cast<HWND>(button.Handle()), BM_CLICK, 0, 0);
  EXPECT_EQ(clicks, 1);
  button.SetEnabled(false);
  EXPECT_FALSE(IsWindowEnabled(static_cast<HWND>(button.Handle())));

  RadioButton first(panel.get()), second(panel.get());
  first.SetBounds(10, 70, 100, 20);
  second.SetBounds(10, 90, 100, 20);
  first.SetChecked(true);
  SendMessageW(static_cast<HWND>(second.Handle()), BM_CLICK, 0, 0);
  EXPECT_TRUE(second.Checked());
  EXPECT_TRUE(first.Checked()) << "siblings are the owner's business";

  Memo memo(panel.get());
  memo.SetBounds(170, 10, 140, 60);
  memo.SetLines(u"one\rtwo");
  EXPECT_EQ(memo.Text(), u"one\r\ntwo");
  EXPECT_EQ(SendMessageW(static_cast<HWND>(memo.Handle()), EM_GETLINECOUNT, 0, 0), 2);

  edit.SetVisible(false);
  EXPECT_FALSE(IsWindowVisible(static_cast<HWND>(edit.Handle())));
}

// What a multi-line edit answers the dialog's keys: Tab is never its own,
// arriving selects nothing, and Enter is its own only while it can be
// edited (read-only, Enter presses the default button).
TEST_F(GuiTest, MultiLineEditsLeaveTabToTheDialogAndEnterWhenReadOnly) {
  Memo memo(panel.get());
  RichEdit rich(panel.get());
  auto answer = [](MultiLineEdit& control, WPARAM key) {
    MSG message{static_cast<HWND>(control.Handle()), WM_KEYDOWN, key, 0, 0, {}};
    return SendMessageW(message.hwnd, WM_GETDLGCODE, key, reinterpret_cast<LPARAM>(&message));
  };
  for (MultiLineEdit* control : {static_cast<MultiLineEdit*>(&memo), static_cast<MultiLineEdit*>(&rich)}) {
    for (bool readOnly : {false, true}) {
      control->SetReadOnly(readOnly);
      const LRESULT tab = answer(*control, VK_TAB), enter = answer(*control, VK_RETURN);
      EXPECT_EQ(tab & (DLGC_WANTTAB | DLGC_WANTMESSAGE | DLGC_HASSETSEL), 0) << readOnly;
      EXPECT_EQ((enter & DLGC_WANTMESSAGE) != 0, !readOnly) << readOnly;
    }
  }
}

TEST_F(GuiTest, RichEditLoadsRichTextAndPlainTextAsEditorsSaveIt) {
  RichEdit rich(panel.get());
  rich.SetBounds(10, 10, 200, 100);
  struct Case {
    const char* name;
    std::string bytes;
    std::u16string text;
  } cases[] = {
      {"rich text", "{\\rtf1\\ansi {\\b Bold} plain}", u"Bold plain"},
      {"plain text", "just text", u"just text"},
      {"UTF-8 without a mark",
       "\xC3\x9C"
       "ber \xD0\x9F",
       u"\u00DCber \u041F"},
      {"UTF-16 little-endian", std::string("\xFF\xFEP\0\x1F\x04", 6), u"P\u041F"},
      {"UTF-16 big-endian", std::string("\xFE\xFF\0P\x04\x1F", 6), u"P\u041F"},
      {"code page",
       "\xDC"
       "ber",
       u"\u00DCber"},
  };
  for (const Case& c : cases) {
    rich.LoadContent(c.bytes);
    EXPECT_EQ(rich.Text(), c.text) << c.name;
  }
}

TEST_F(GuiTest, TimerFiresOnTheMessageLoop) {
  Timer timer(20);
  int ticks = 0;
  timer.OnTimer = [&] { ++ticks; };
  timer.SetEnabled(true);
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (ticks < 2 && std::chrono::steady_clock::now() < end) {
    ProcessMessages();
    Sleep(5);
  }
  EXPECT_GE(ticks, 2);
  timer.SetEnabled(false);
  int stopped = ticks;
  for (int i = 0; i < 10; ++i) {
    ProcessMessages();
    Sleep(10);
  }
  EXPECT_EQ(ticks, stopped);
}

TEST_F(GuiTest, WhatAHandlerRaisesGoesToTheExceptionHandler) {
  Button button(panel.get());
  button.SetBounds(10, 10, 80, 25);
  Timer timer(10);
  struct Case {
    const char* name;
    std::function<void()> raise;
    const char* message;
  } cases[] = {
      {"a standard exception", [] { throw std::runtime_error("click failed"); }, "click failed"},
      {"anything else", [] { throw 42; }, "not a std::exception"},
  };
  for (const Case& c : cases) {
    std::string caught;
    SetExceptionHandler([&](std::exception_ptr error) {
      try {
        std::rethrow_exception(error);
      } catch (const std::exception& e) {
        caught = e.what();
      } catch (...) {
        caught = "not a std::exception";
      }
    });
    button.OnClick = c.raise;
    SendMessageW(static_cast<HWND>(button.Handle()), BM_CLICK, 0, 0);
    EXPECT_EQ(caught, c.message) << c.name << ": from a click";
    caught.clear();
    timer.OnTimer = c.raise;
    timer.SetEnabled(true);
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (caught.empty() && std::chrono::steady_clock::now() < end) {
      ProcessMessages();
      Sleep(5);
    }
    timer.SetEnabled(false);
    EXPECT_EQ(caught, c.message) << c.name << ": from a timer";
  }
  SetExceptionHandler(nullptr);
  EXPECT_TRUE(IsWindow(static_cast<HWND>(window->Handle()))) << "the program goes on";
}

TEST_F(GuiTest, ToolWindowAndProgressBar) {
  Window tool(u"Progress", 200, 40, WindowKind::Tool);
  EXPECT_TRUE(GetWindowLongPtrW(static_cast<HWND>(tool.Handle()), GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  EXPECT_FALSE(GetWindowLongPtrW(static_cast<HWND>(tool.Handle()), GWL_STYLE) & WS_SYSMENU) << "no border icons";
  RECT client{};
  GetClientRect(static_cast<HWND>(tool.Handle()), &client);
  EXPECT_EQ(client.right, 200);
  EXPECT_EQ(client.bottom, 40);
  ProgressBar bar(&tool);
  bar.SetBounds(8, 8, 184, 16);
  bar.SetRange(0, 7);
  bar.SetPosition(3);
  EXPECT_EQ(bar.Position(), 3);
  bar.SetPosition(9);
  EXPECT_EQ(bar.Position(), 7) << "kept within the range";
}

TEST_F(GuiTest, ClosingAsksFirstAndCanBeRefused) {
  Window dialog(u"Closing", 100, 50);
  Panel inside(&dialog);
  Label label(&inside);
  bool allow = false;
  int closed = 0;
  dialog.OnCloseQuery = [&] { return allow; };
  dialog.OnClosed = [&] { ++closed; };
  dialog.Close();
  EXPECT_TRUE(IsWindow(static_cast<HWND>(dialog.Handle())));
  EXPECT_EQ(closed, 0);
  allow = true;
  dialog.Close();
  EXPECT_EQ(closed, 1);
  EXPECT_EQ(dialog.Handle(), nullptr);
  // The controls of a closed window are detached, not left dangling.
  EXPECT_EQ(inside.Handle(), nullptr);
  EXPECT_EQ(inside.Parent(), nullptr);
  EXPECT_EQ(label.Parent(), nullptr);
}

TEST_F(GuiTest, ShellTreeFindsAFolderByPath) {
  testing_support::TempDir dir;
  char full[MAX_PATH];
  GetFullPathNameA(dir.Path().c_str(), MAX_PATH, full, nullptr);
  ShellTreeView tree(panel.get());
  tree.SetBounds(10, 10, 300, 180);
  int changes = 0;
  tree.OnChange = [&] { ++changes; };
  ASSERT_FALSE(tree.Items().empty());
  EXPECT_TRUE(tree.Expanded(tree.Items()[0])) << "the desktop starts expanded";
  ASSERT_TRUE(tree.SetPath(full));
  EXPECT_STRCASEEQ(tree.Path().c_str(), full);
  EXPECT_GE(changes, 1);
  EXPECT_FALSE(tree.SetPath("Q:\\no\\such\\folder"));
  // Every item the path went through is in the item list, parents first.
  auto items = tree.Items();
  auto selected = std::find(items.begin(), items.end(), tree.Selected());
  ASSERT_NE(selected, items.end());
  auto parent = std::find(items.begin(), items.end(), tree.ParentOf(tree.Selected()));
  EXPECT_LT(parent, selected);

  EXPECT_EQ(tree.ItemText(tree.Selected()), std::u16string(dir.Path().begin(), dir.Path().end()))
      << "Unicode item names";
  // Custom drawing replaces the tree's own.
  int drawn = 0;
  tree.OnDrawItem = [&](DcCanvas& canvas, const ShellTreeView::ItemDraw& draw) {
    ++drawn;
    canvas.brush.Color = clRed;
    canvas.FillRect(draw.textRect);
  };
  tree.Invalidate();
  Bitmap shot = Shot();
  EXPECT_GT(drawn, 0);
  EXPECT_GT(CountColour(shot, tree.Bounds(), 0x0000FF), 100);
}
