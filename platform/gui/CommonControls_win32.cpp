#include "platform/gui/CommonControls.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>

#include "platform/gui/CommonControlsLibrary_win32.h"
#include "platform/gui/ControlWindows_win32.h"

namespace gui {

namespace {

wchar_t* WMutable(std::u16string& s) { return reinterpret_cast<wchar_t*>(s.data()); }

}  // namespace

// ---------------------------------------------------------------- page control

class PageControl::Tabs : public WinControl {
 public:
  explicit Tabs(PageControl* owner) : WinControl(owner), owner_(owner) {
    CreateHandle(u"SysTabControl32", WS_TABSTOP | TCS_FOCUSNEVER, 0);
  }
  bool OnNotify(void* header, intptr_t& result) override {
    auto* h = static_cast<NMHDR*>(header);
    if (h->code != TCN_SELCHANGE) return false;
    owner_->TabPicked(static_cast<int>(SendMessageW(H(handle_), TCM_GETCURSEL, 0, 0)));
    result = 0;
    return true;
  }

 private:
  PageControl* owner_;
};

PageControl::PageControl(Container* parent) : Container(parent) {
  CreateContainer(WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, u"");
  tabs_ = std::make_unique<Tabs>(this);
}

PageControl::~PageControl() {
  // The sheets and the tab strip are windows inside this one: destroy them
  // while this container still exists.
  sheets_.clear();
  tabs_.reset();
}

Panel* PageControl::AddSheet(const std::u16string& caption) {
  auto sheet = std::make_unique<Panel>(this);
  sheet->SetBevel(BevelKind::None);
  sheet->SetVisible(false);
  sheet->BringToFront();
  sheets_.push_back(SheetEntry{caption, std::move(sheet), true});
  RebuildTabs();
  PlaceSheets();
  if (active_ < 0) SetActivePage(0);
  return sheets_.back().Sheet.get();
}

Panel* PageControl::Sheet(int index) const {
  return index >= 0 && index < SheetCount() ? sheets_[static_cast<size_t>(index)].Sheet.get() : nullptr;
}

bool PageControl::TabVisible(int index) const {
  return index >= 0 && index < SheetCount() && sheets_[static_cast<size_t>(index)].TabVisible;
}

void PageControl::SetTabVisible(int index, bool visible) {
  if (index < 0 || index >= SheetCount() || sheets_[static_cast<size_t>(index)].TabVisible == visible) return;
  sheets_[static_cast<size_t>(index)].TabVisible = visible;
  RebuildTabs();
}

void PageControl::SetActivePage(int index) {
  if (index < 0 || index >= SheetCount()) return;
  active_ = index;
  for (int i = 0; i < SheetCount(); ++i) sheets_[static_cast<size_t>(i)].Sheet->SetVisible(i == index);
  RebuildTabs();
}

void PageControl::SetBounds(int left, int top, int width, int height) {
  Container::SetBounds(left, top, width, height);
  PlaceSheets();
}

// The tab strip lists the sheets whose tab is visible; the selected tab is
// the active sheet's, or none when its tab is hidden.
void PageControl::RebuildTabs() {
  HWND tabs = H(tabs_->Handle());
  SendMessageW(tabs, TCM_DELETEALLITEMS, 0, 0);
  int selected = -1, count = 0;
  for (int i = 0; i < SheetCount(); ++i) {
    SheetEntry& entry = sheets_[static_cast<size_t>(i)];
    if (!entry.TabVisible) continue;
    TCITEMW item{};
    item.mask = TCIF_TEXT | TCIF_PARAM;
    std::u16string caption = entry.Caption;
    item.pszText = WMutable(caption);
    item.lParam = i;
    SendMessageW(tabs, TCM_INSERTITEMW, count, reinterpret_cast<LPARAM>(&item));
    if (i == active_) selected = count;
    ++count;
  }
  SendMessageW(tabs, TCM_SETCURSEL, selected, 0);
  PlaceSheets();
}

void PageControl::PlaceSheets() {
  int width = bounds_.Width(), height = bounds_.Height();
  tabs_->SetBounds(0, 0, width, height);
  RECT area{0, 0, width, height};
  SendMessageW(H(tabs_->Handle()), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
  for (SheetEntry& entry : sheets_)
    entry.Sheet->SetBounds(area.left, area.top, std::max<int>(area.right - area.left, 0),
                           std::max<int>(area.bottom - area.top, 0));
}

void PageControl::TabPicked(int tab) {
  TCITEMW item{};
  item.mask = TCIF_PARAM;
  if (tab < 0 || !SendMessageW(H(tabs_->Handle()), TCM_GETITEMW, tab, reinterpret_cast<LPARAM>(&item))) return;
  SetActivePage(static_cast<int>(item.lParam));
  if (OnChange) OnChange();
}

// ---------------------------------------------------------------- combo box

ComboBox::ComboBox(Container* parent) : WinControl(parent) {
  color_ = clWindow;
  CreateHandle(u"COMBOBOX", CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, 0);
}

void ComboBox::SetItems(const std::vector<std::u16string>& items) {
  std::u16string text = Text();
  SendMessageW(H(handle_), CB_RESETCONTENT, 0, 0);
  for (const std::u16string& item : items) SendMessageW(H(handle_), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(item)));
  SetText(text);
}

void ComboBox::SetItemIndex(int index) { SendMessageW(H(handle_), CB_SETCURSEL, index, 0); }

int ComboBox::ItemIndex() const { return static_cast<int>(SendMessageW(H(handle_), CB_GETCURSEL, 0, 0)); }

bool ComboBox::OnCommand(unsigned code) {
  if (code != CBN_EDITCHANGE && code != CBN_SELCHANGE) return false;
  if (OnChange) OnChange();
  return true;
}

// ---------------------------------------------------------------- value list

class ValueListEditor::List : public WinControl {
 public:
  explicit List(ValueListEditor* owner) : WinControl(owner), owner_(owner) {
    CreateHandle(u"SysListView32", LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER | WS_TABSTOP,
                 WS_EX_CLIENTEDGE);
    SendMessageW(H(handle_), LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    for (int column = 0; column < 2; ++column) {
      LVCOLUMNW c{};
      c.mask = LVCF_WIDTH;
      c.cx = 100;
      SendMessageW(H(handle_), LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&c));
    }
  }

  bool OnNotify(void* header, intptr_t& result) override {
    auto* h = static_cast<NMHDR*>(header);
    if (h->code == NM_CLICK || h->code == NM_DBLCLK) {
      auto* item = reinterpret_cast<NMITEMACTIVATE*>(header);
      if (item->iItem >= 0) owner_->EditValue(item->iItem);
      result = 0;
      return true;
    }
    if (h->code == LVN_BEGINSCROLL) owner_->EndEdit(true);
    return false;
  }

  std::u16string CellText(int row, int column) const {
    std::u16string text(1024, u'\0');
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = WMutable(text);
    item.cchTextMax = static_cast<int>(text.size());
    LRESULT n = SendMessageW(H(handle_), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    text.resize(static_cast<size_t>(std::max<LRESULT>(n, 0)));
    return text;
  }

  void SetCellText(int row, int column, const std::u16string& text) {
    std::u16string copy = text;
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = WMutable(copy);
    SendMessageW(H(handle_), LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
  }

  int Count() const { return static_cast<int>(SendMessageW(H(handle_), LVM_GETITEMCOUNT, 0, 0)); }

 private:
  ValueListEditor* owner_;
};

// The single-line editor laid over a value cell. Enter and Escape end the
// edit; so does the focus leaving it.
class ValueListEditor::CellEdit : public WinControl {
 public:
  explicit CellEdit(ValueListEditor* owner) : WinControl(owner), owner_(owner) {
    visible_ = false;
    CreateHandle(u"EDIT", ES_AUTOHSCROLL, WS_EX_CLIENTEDGE);
    if (CommonControls().SetWindowSubclass)
      CommonControls().SetWindowSubclass(H(handle_), &CellEdit::Proc, 1, reinterpret_cast<DWORD_PTR>(this));
  }
  ~CellEdit() override {
    if (handle_ && CommonControls().RemoveWindowSubclass)
      CommonControls().RemoveWindowSubclass(H(handle_), &CellEdit::Proc, 1);
  }
  bool OnCommand(unsigned code) override {
    if (code != EN_KILLFOCUS) return false;
    owner_->EndEdit(true);
    return true;
  }

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<CellEdit*>(data);
    if (message == WM_GETDLGCODE) return DLGC_WANTALLKEYS;
    if (message == WM_KEYDOWN && (wParam == VK_RETURN || wParam == VK_ESCAPE)) {
      self->owner_->EndEdit(wParam == VK_RETURN);
      return 0;
    }
    if (message == WM_CHAR && (wParam == '\r' || wParam == 27)) return 0;  // no beep
    return CommonControls().DefSubclassProc(hwnd, message, wParam, lParam);
  }

  ValueListEditor* owner_;
};

ValueListEditor::ValueListEditor(Container* parent) : Container(parent) {
  CreateContainer(WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, u"");
  list_ = std::make_unique<List>(this);
  edit_ = std::make_unique<CellEdit>(this);
  edit_->BringToFront();
}

ValueListEditor::~ValueListEditor() {
  editRow_ = -1;  // the editor's focus loss during destruction keeps nothing
  edit_.reset();
  list_.reset();
}

void ValueListEditor::SetTitles(const std::u16string& keyTitle, const std::u16string& valueTitle) {
  const std::u16string* titles[] = {&keyTitle, &valueTitle};
  for (int column = 0; column < 2; ++column) {
    std::u16string text = *titles[column];
    LVCOLUMNW c{};
    c.mask = LVCF_TEXT;
    c.pszText = WMutable(text);
    SendMessageW(H(list_->Handle()), LVM_SETCOLUMNW, column, reinterpret_cast<LPARAM>(&c));
  }
}

void ValueListEditor::SetRows(const std::vector<Row>& rows) {
  EndEdit(false);
  HWND list = H(list_->Handle());
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  while (list_->Count() > static_cast<int>(rows.size())) SendMessageW(list, LVM_DELETEITEM, list_->Count() - 1, 0);
  for (size_t i = 0; i < rows.size(); ++i) {
    int row = static_cast<int>(i);
    if (row >= list_->Count()) {
      LVITEMW item{};
      item.mask = LVIF_TEXT;
      item.iItem = row;
      std::u16string key = rows[i].first;
      item.pszText = WMutable(key);
      SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    } else if (list_->CellText(row, 0) != rows[i].first) {
      list_->SetCellText(row, 0, rows[i].first);
    }
    if (list_->CellText(row, 1) != rows[i].second) list_->SetCellText(row, 1, rows[i].second);
  }
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
}

std::vector<ValueListEditor::Row> ValueListEditor::Rows() const {
  std::vector<Row> rows;
  for (int row = 0; row < list_->Count(); ++row)
    rows.emplace_back(list_->CellText(row, 0), row == editRow_ ? edit_->Text() : list_->CellText(row, 1));
  return rows;
}

void ValueListEditor::EditValue(int row) {
  if (row < 0 || row >= list_->Count()) return;
  EndEdit(true);
  HWND list = H(list_->Handle());
  SendMessageW(list, LVM_ENSUREVISIBLE, row, FALSE);
  RECT cell{};
  cell.top = 1;  // the value column
  cell.left = LVIR_BOUNDS;
  if (!SendMessageW(list, LVM_GETSUBITEMRECT, row, reinterpret_cast<LPARAM>(&cell))) return;
  POINT corner{cell.left, cell.top};
  MapWindowPoints(list, H(handle_), &corner, 1);
  editRow_ = row;
  edit_->SetBounds(corner.x, corner.y - 1, cell.right - cell.left, cell.bottom - cell.top + 3);
  edit_->SetText(list_->CellText(row, 1));
  edit_->SetVisible(true);
  edit_->SetFocus();
  SendMessageW(H(edit_->Handle()), EM_SETSEL, 0, -1);
}

void ValueListEditor::EndEdit(bool keep) {
  if (editRow_ < 0) return;
  int row = editRow_;
  editRow_ = -1;  // first: hiding the editor moves the focus, which ends the edit again
  std::u16string text = edit_->Text();
  bool changed = keep && text != list_->CellText(row, 1);
  if (changed) list_->SetCellText(row, 1, text);
  edit_->SetVisible(false);
  if (changed && OnValueChanged) OnValueChanged(row);
}

void ValueListEditor::SetBounds(int left, int top, int width, int height) {
  Container::SetBounds(left, top, width, height);
  list_->SetBounds(0, 0, width, height);
  PlaceColumns();
}

// The key column takes 40% of the width, the value column the rest.
void ValueListEditor::PlaceColumns() {
  HWND list = H(list_->Handle());
  RECT client{};
  GetClientRect(list, &client);
  int keyWidth = client.right * 2 / 5;
  SendMessageW(list, LVM_SETCOLUMNWIDTH, 0, keyWidth);
  SendMessageW(list, LVM_SETCOLUMNWIDTH, 1, std::max<int>(client.right - keyWidth, 0));
}

// ---------------------------------------------------------------- tool button

ToolButton::ToolButton(Container* parent) : Button(parent) {
  SendMessageW(H(handle_), BM_SETSTYLE, BS_PUSHBUTTON | BS_FLAT, TRUE);
}

ToolButton::~ToolButton() {
  if (tip_) DestroyWindow(H(tip_));
}

void ToolButton::SetHint(const std::u16string& hint) {
  hint_ = hint;
  if (!tip_) {
    tip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, H(handle_), nullptr,
                           GetModuleHandleW(nullptr), nullptr);
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V1_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = H(handle_);
    tool.uId = reinterpret_cast<UINT_PTR>(handle_);
    tool.lpszText = WMutable(hint_);
    SendMessageW(H(tip_), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    return;
  }
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V1_SIZE;
  tool.hwnd = H(handle_);
  tool.uId = reinterpret_cast<UINT_PTR>(handle_);
  tool.lpszText = WMutable(hint_);
  SendMessageW(H(tip_), TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

// ---------------------------------------------------------------- menu bar

MenuBar::MenuBar(Window& window) : window_(window), bar_(CreateMenu()) {
  HWND hwnd = H(window_.Handle());
  RECT client{};
  GetClientRect(hwnd, &client);
  SetMenu(hwnd, static_cast<HMENU>(bar_));
  // The bar takes its room from the window's frame, not from its client area.
  DWORD style = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
  DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
  RECT frame = client;
  AdjustWindowRectEx(&frame, style, TRUE, exStyle);
  SetWindowPos(hwnd, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  window_.OnMenu = [this](unsigned id) { Choose(id); };
}

MenuBar::~MenuBar() {
  window_.OnMenu = nullptr;
  if (HWND hwnd = H(window_.Handle())) SetMenu(hwnd, nullptr);
  DestroyMenu(static_cast<HMENU>(bar_));
}

int MenuBar::AddMenu(const std::u16string& caption) {
  HMENU menu = CreatePopupMenu();
  AppendMenuW(static_cast<HMENU>(bar_), MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(menu), W(caption));
  menus_.push_back(menu);
  DrawMenuBar(H(window_.Handle()));
  return static_cast<int>(menus_.size()) - 1;
}

unsigned MenuBar::AddItem(int menu, const std::u16string& caption, std::function<void()> onClick) {
  unsigned id = nextId_++;
  AppendMenuW(static_cast<HMENU>(menus_.at(static_cast<size_t>(menu))), MF_STRING, id, W(caption));
  items_[id] = std::move(onClick);
  return id;
}

void MenuBar::AddSeparator(int menu) {
  AppendMenuW(static_cast<HMENU>(menus_.at(static_cast<size_t>(menu))), MF_SEPARATOR, 0, nullptr);
}

void MenuBar::Choose(unsigned id) {
  auto found = items_.find(id);
  if (found != items_.end() && found->second) found->second();
}

}  // namespace gui
