#include "compiler/FormSelectDir_win32.h"

#include <windows.h>
#include <commctrl.h>

#include "platform/gui/Application.h"

namespace {

constexpr int kWidth = 300, kHeight = 360, kButtonWidth = 90, kButtonHeight = 25;

// The shell tree, where a right click selects the folder under the mouse.
class SelectingTree : public gui::ShellTreeView {
 public:
  using ShellTreeView::ShellTreeView;
  bool OnNotify(void* header, intptr_t& result) override {
    auto* h = static_cast<NMHDR*>(header);
    if (h->code == NM_RCLICK) {
      TVHITTESTINFO hit{};
      GetCursorPos(&hit.pt);
      ScreenToClient(h->hwndFrom, &hit.pt);
      if (auto item =
              reinterpret_cast<HTREEITEM>(SendMessageW(h->hwndFrom, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit))))
        Select(item);
      result = 0;
      return true;
    }
    return ShellTreeView::OnNotify(header, result);
  }
};

}  // namespace

TFrmSelectDir::TFrmSelectDir() {
  Form = std::make_unique<gui::Window>(u"Select Directory", kWidth, kHeight);
  HWND hwnd = static_cast<HWND>(Form->Handle());
  SetWindowLongPtrW(hwnd, GWL_EXSTYLE, GetWindowLongPtrW(hwnd, GWL_EXSTYLE) | WS_EX_TOOLWINDOW);
  SetWindowLongPtrW(hwnd, GWL_STYLE, GetWindowLongPtrW(hwnd, GWL_STYLE) & ~static_cast<LONG_PTR>(WS_MINIMIZEBOX));
  SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
  ShellTreeView1 = std::make_unique<SelectingTree>(Form.get());
  ShellTreeView1->SetBounds(4, 4, kWidth - 8, kHeight - kButtonHeight - 16);
  ShellTreeView1->SetShowSelectionAlways(true);
  Button1 = std::make_unique<gui::Button>(Form.get());
  Button1->SetText(u"Select Dir");
  Button1->OnClick = [this] { Button1Click(); };
  // Closing with the window's own button hides the form for the next use.
  Form->OnCloseQuery = [this] {
    open_ = false;
    Form->SetVisible(false);
    return false;
  };
  FormCreate();
}

TFrmSelectDir::~TFrmSelectDir() {
  Form->OnCloseQuery = nullptr;
  Button1.reset();
  ShellTreeView1.reset();
}

void TFrmSelectDir::FormCreate() {
  Button1->SetBounds(kWidth / 2 - kButtonWidth / 2, kHeight - kButtonHeight - 6, kButtonWidth, kButtonHeight);
  DirSelected = false;
}

void TFrmSelectDir::FormShow() { DirSelected = false; }

void TFrmSelectDir::Button1Click() {
  DirSelected = true;
  Form->Close();
}

bool TFrmSelectDir::ShowModal(const gui::Window& owner, std::string& path) {
  HWND self = static_cast<HWND>(Form->Handle()), main = static_cast<HWND>(owner.Handle());
  SetWindowLongPtrW(self, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(main));
  RECT mainRect{}, selfRect{};
  GetWindowRect(main, &mainRect);
  GetWindowRect(self, &selfRect);
  int width = selfRect.right - selfRect.left, height = selfRect.bottom - selfRect.top;
  SetWindowPos(self, nullptr, (mainRect.left + mainRect.right - width) / 2,
               (mainRect.top + mainRect.bottom - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  FormShow();
  EnableWindow(main, FALSE);
  open_ = true;
  Form->Show();
  // The form's own message loop; a quit request ends it too.
  for (MSG quit;;) {
    gui::ProcessMessages();
    if (!open_ || !IsWindow(self) || PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) break;
    MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
  EnableWindow(main, TRUE);
  SetForegroundWindow(main);
  if (DirSelected) path = ShellTreeView1->Path();
  return DirSelected;
}
