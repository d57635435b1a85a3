// Tabbed sheets, combo box, value grid, tool button and menu bar on a real
// display, driven through the messages the user's actions send.
#include "platform/gui/CommonControls.h"

#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>

#include "platform/gui/Application.h"

using namespace gui;

namespace {

class CommonControlsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitApplication();
    window = new Window(u"Common controls", 400, 300);
    window->Show();
  }
  static void TearDownTestSuite() { delete window; }

  static void Pump() {
    for (int i = 0; i < 3; ++i) {
      ProcessMessages();
      Sleep(5);
    }
  }

  static HWND Child(const void* parent, const wchar_t* className) {
    return FindWindowExW(static_cast<HWND>(const_cast<void*>(parent)), nullptr, className, nullptr);
  }

  static Window* window;
};

Window* CommonControlsTest::window = nullptr;

BOOL CALLBACK OwnedTooltip(HWND hwnd, LPARAM out) {
  wchar_t name[64];
  GetClassNameW(hwnd, name, 64);
  if (lstrcmpiW(name, TOOLTIPS_CLASSW) == 0 && GetWindow(hwnd, GW_OWNER)) *reinterpret_cast<HWND*>(out) = hwnd;
  return TRUE;
}

}  // namespace

TEST_F(CommonControlsTest, PageControlListsVisibleTabsAndShowsTheActiveSheet) {
  PageControl pages(window);
  pages.SetBounds(0, 0, 400, 300);
  Panel* first = pages.AddSheet(u"First");
  Panel* hidden = pages.AddSheet(u"Hidden");
  Panel* third = pages.AddSheet(u"Third");
  pages.SetTabVisible(1, false);
  HWND tabs = Child(pages.Handle(), WC_TABCONTROLW);
  ASSERT_NE(tabs, nullptr);
  EXPECT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 2);
  EXPECT_EQ(pages.ActivePage(), 0);
  EXPECT_TRUE(first->Visible() && !hidden->Visible() && !third->Visible());

  // A sheet without a tab is shown with no tab selected.
  pages.SetActivePage(1);
  EXPECT_TRUE(hidden->Visible() && !first->Visible());
  EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), -1);
  EXPECT_GT(hidden->Bounds().Top, 0) << "sheets lie below the tabs";

  // Clicking the second visible tab picks the third sheet.
  int changes = 0;
  pages.OnChange = [&] { ++changes; };
  SendMessageW(tabs, TCM_SETCURSEL, 1, 0);
  NMHDR notify{tabs, 0, static_cast<UINT>(TCN_SELCHANGE)};
  SendMessageW(static_cast<HWND>(pages.Handle()), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&notify));
  EXPECT_EQ(pages.ActivePage(), 2);
  EXPECT_TRUE(third->Visible() && !hidden->Visible());
  EXPECT_EQ(changes, 1);

  pages.SetTabVisible(1, true);
  EXPECT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 3);
  EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), 2);
}

TEST_F(CommonControlsTest, ComboBoxKeepsTypedTextAndSelectsItems) {
  ComboBox combo(window);
  combo.SetBounds(10, 10, 150, 200);
  int changes = 0;
  combo.OnChange = [&] { ++changes; };
  combo.SetText(u"typed");
  combo.SetItems({u"QX1", u"Blue"});
  EXPECT_EQ(combo.Text(), u"typed");
  EXPECT_EQ(combo.ItemIndex(), -1);
  combo.SetItemIndex(1);
  EXPECT_EQ(combo.Text(), u"Blue");
  EXPECT_EQ(combo.ItemIndex(), 1);
  combo.SetItems({});
  EXPECT_EQ(combo.ItemIndex(), -1);
  EXPECT_EQ(combo.Text(), u"Blue");
}

TEST_F(CommonControlsTest, ValueListEditsValuesInPlace) {
  ValueListEditor grid(window);
  grid.SetBounds(0, 0, 300, 200);
  grid.SetTitles(u"Property", u"Value");
  const std::vector<ValueListEditor::Row> rows = {{u"Mod", u"MyMod"}, {u"Mod Dir", u"MyMod"}, {u"Multi_Name", u""}};
  grid.SetRows(rows);
  EXPECT_EQ(grid.Rows(), rows);
  std::vector<int> changed;
  grid.OnValueChanged = [&](int row) { changed.push_back(row); };

  grid.EditValue(1);
  ASSERT_TRUE(grid.Editing());
  HWND edit = Child(grid.Handle(), L"Edit");
  ASSERT_NE(edit, nullptr);
  SetWindowTextW(edit, L"Cool Mod");
  EXPECT_EQ(grid.Rows()[1].second, u"Cool Mod") << "an edit in progress counts";
  SendMessageW(edit, WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_FALSE(grid.Editing());
  EXPECT_EQ(grid.Rows()[1], (ValueListEditor::Row{u"Mod Dir", u"Cool Mod"}));
  EXPECT_EQ(changed, std::vector<int>{1});

  grid.EditValue(0);
  SetWindowTextW(edit, L"dropped");
  SendMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_FALSE(grid.Editing());
  EXPECT_EQ(grid.Rows()[0].second, u"MyMod");

  // Opening another cell keeps the text of the one being edited.
  grid.EditValue(2);
  SetWindowTextW(edit, L"Name");
  grid.EditValue(0);
  EXPECT_EQ(grid.Rows()[2].second, u"Name");
  EXPECT_EQ(changed, (std::vector<int>{1, 2}));
  grid.EndEdit(false);

  grid.SetRows({{u"Only", u"1"}});
  EXPECT_EQ(grid.Rows(), (std::vector<ValueListEditor::Row>{{u"Only", u"1"}}));
}

TEST_F(CommonControlsTest, ToolButtonHasItsHint) {
  ToolButton button(window);
  button.SetBounds(10, 10, 60, 30);
  button.SetHint(u"Open");
  button.SetHint(u"Save");
  HWND tip = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), OwnedTooltip, reinterpret_cast<LPARAM>(&tip));
  ASSERT_NE(tip, nullptr);
  EXPECT_EQ(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0), 1);
  wchar_t text[80] = {};
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V1_SIZE;
  tool.hwnd = static_cast<HWND>(button.Handle());
  tool.uId = reinterpret_cast<UINT_PTR>(button.Handle());
  tool.lpszText = text;
  SendMessageW(tip, TTM_GETTEXTW, 80, reinterpret_cast<LPARAM>(&tool));
  EXPECT_STREQ(text, L"Save");
  int clicks = 0;
  button.OnClick = [&] { ++clicks; };
  SendMessageW(static_cast<HWND>(button.Handle()), BM_CLICK, 0, 0);
  EXPECT_EQ(clicks, 1);
}

TEST_F(CommonControlsTest, MenuBarRunsItsItemsAndKeepsTheClientSize) {
  Window frame(u"Menu", 300, 200);
  frame.Show();
  RECT before{}, after{};
  GetClientRect(static_cast<HWND>(frame.Handle()), &before);
  std::vector<std::string> chosen;
  {
    MenuBar bar(frame);
    int file = bar.AddMenu(u"File");
    unsigned load = bar.AddItem(file, u"Load", [&] { chosen.push_back("load"); });
    bar.AddSeparator(file);
    unsigned exit = bar.AddItem(file, u"Exit", [&] { chosen.push_back("exit"); });
    Pump();
    GetClientRect(static_cast<HWND>(frame.Handle()), &after);
    EXPECT_EQ(after.right, before.right);
    EXPECT_EQ(after.bottom, before.bottom);
    HMENU menu = GetSubMenu(GetMenu(static_cast<HWND>(frame.Handle())), 0);
    EXPECT_EQ(GetMenuItemCount(menu), 3);
    SendMessageW(static_cast<HWND>(frame.Handle()), WM_COMMAND, MAKEWPARAM(exit, 0), 0);
    SendMessageW(static_cast<HWND>(frame.Handle()), WM_COMMAND, MAKEWPARAM(load, 0), 0);
    SendMessageW(static_cast<HWND>(frame.Handle()), WM_COMMAND, MAKEWPARAM(999, 0), 0);
  }
  EXPECT_EQ(chosen, (std::vector<std::string>{"exit", "load"}));
  EXPECT_EQ(GetMenu(static_cast<HWND>(frame.Handle())), nullptr);
}
