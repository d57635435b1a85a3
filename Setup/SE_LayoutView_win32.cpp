#include <windows.h>
// (the shell and control headers build on windows.h)
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>

#include "Setup/Ggauge.h"
#include "Setup/SE_LayoutView.h"
#include "Setup/SE_ShellTreeView.h"
#include "platform/Text.h"
#include "platform/gui/ShellTree.h"

namespace {

// The gauge paints itself; its screen control only hands it the canvas.
class GaugeWidget : public gui::GraphicControl {
 public:
  GaugeWidget(gui::Container* parent, TGradGauge& model) : GraphicControl(parent), model_(model) {}
  void Paint(gui::DcCanvas& canvas) override { model_.Paint(canvas); }

 private:
  TGradGauge& model_;
};

std::u16string Wide(const std::string& ansi) { return platform::AnsiToWide(ansi); }

// A dotted frame in the colour of the item's text, as the system frames
// the item that has the keyboard. The system's own frame inverts with the
// window text colour on some systems, which with black changes nothing.
void DrawFocusFrame(HDC dc, const gui::Rect& r, gui::TColor colour) {
  const COLORREF rgb = gui::ColorToRGB(colour);
  for (int x = r.Left; x < r.Right; x += 2) {
    SetPixelV(dc, x, r.Top, rgb);
    SetPixelV(dc, x, r.Bottom - 1, rgb);
  }
  for (int y = r.Top; y < r.Bottom; y += 2) {
    SetPixelV(dc, r.Left, y, rgb);
    SetPixelV(dc, r.Right - 1, y, rgb);
  }
}

}  // namespace

void* GetShellIcon(const void* idList, bool large, bool open) {
  SHFILEINFOA info{};
  UINT flags = SHGFI_PIDL | SHGFI_ICON | SHGFI_SYSICONINDEX | (large ? SHGFI_LARGEICON : SHGFI_SMALLICON);
  if (open) flags |= SHGFI_OPENICON;
  if (!idList || !SHGetFileInfoA(static_cast<LPCSTR>(idList), 0, &info, sizeof info, flags)) return nullptr;
  return info.hIcon;
}

void DrawShellTreeItem(const TSE_ShellTreeView& tree, gui::ShellTreeView& view, gui::DcCanvas& canvas,
                       const void* item) {
  RECT text{}, row{};
  auto handle = static_cast<HWND>(view.Handle());
  auto treeItem = static_cast<HTREEITEM>(const_cast<void*>(item));
  std::memcpy(&text, &treeItem, sizeof treeItem);  // the item goes in, the rectangle comes out
  if (!SendMessageW(handle, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&text))) return;
  std::memcpy(&row, &treeItem, sizeof treeItem);
  SendMessageW(handle, TVM_GETITEMRECT, FALSE, reinterpret_cast<LPARAM>(&row));
  gui::Rect area{text.left, text.top, row.right, text.bottom};
  bool selected = view.Selected() == item;
  tree.ApplyItemColors(selected, canvas);
  canvas.FillRect(area);
  gui::Rect at{area.Left + 2, area.Top + 2, area.Right, area.Bottom + 2};
  canvas.TextRectW(view.ItemText(const_cast<void*>(item)), at, DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
  // The keyboard's place: the selected item of a tree that has the focus
  // is framed, so that a move of the focus into the tree shows.
  if (selected && GetFocus() == handle) DrawFocusFrame(static_cast<HDC>(canvas.Dc()), area, canvas.font.Color);
  if (const void* idList = view.ItemIdList(const_cast<void*>(item))) {
    if (HICON icon = static_cast<HICON>(GetShellIcon(idList, false, view.Expanded(const_cast<void*>(item))))) {
      DrawIconEx(static_cast<HDC>(canvas.Dc()), area.Left - 18, area.Top, icon, 16, 16, 0, nullptr, DI_NORMAL);
      DestroyIcon(icon);
    }
  }
}

TLayoutView::TLayoutView(TPanel& page, gui::Container& pageWindow) : page_(page), pageWindow_(pageWindow) {
  page_.SetView(this);
  page_.OnControlCreated = [this](TControl& control) { Create(control); };
  pageWindow_.SetColor(page_.Color());
}

TLayoutView::~TLayoutView() {
  page_.OnControlCreated = nullptr;
  if (page_.View() == this) page_.SetView(nullptr);
  for (auto& [model, widget] : widgets_) const_cast<TControl*>(model)->SetView(nullptr);
}

gui::Control* TLayoutView::WidgetOf(const TControl& control) const {
  auto found = widgets_.find(&control);
  return found == widgets_.end() ? nullptr : found->second.get();
}

void TLayoutView::Create(TControl& control) {
  gui::Container* parent = &pageWindow_;
  std::unique_ptr<gui::Control> widget;
  if (dynamic_cast<TTntLabel*>(&control)) {
    widget = std::make_unique<gui::Label>(parent);
  } else if (auto* edit = dynamic_cast<TTntEdit*>(&control)) {
    auto w = std::make_unique<gui::Edit>(parent);
    w->OnChange = [edit, raw = w.get()] { edit->SetText(raw->Text()); };
    widget = std::move(w);
  } else if (auto* tree = dynamic_cast<TSE_ShellTreeView*>(&control)) {
    auto w = std::make_unique<gui::ShellTreeView>(parent);
    gui::ShellTreeView* raw = w.get();
    w->OnChange = [tree, raw] { tree->SelectionChanged(raw->Path()); };
    w->OnDrawItem = [tree, raw](gui::DcCanvas& canvas, const gui::ShellTreeView::ItemDraw& draw) {
      DrawShellTreeItem(*tree, *raw, canvas, draw.item);
    };
    widget = std::move(w);
  } else if (auto* button = dynamic_cast<TTntButton*>(&control)) {
    auto w = std::make_unique<gui::Button>(parent);
    w->OnClick = [button] { button->Click(); };
    widget = std::move(w);
  } else if (dynamic_cast<TImage*>(&control)) {
    widget = std::make_unique<gui::Image>(parent);
  } else if (dynamic_cast<TPanel*>(&control)) {
    widget = std::make_unique<gui::Panel>(parent);
  } else if (dynamic_cast<TBevel*>(&control)) {
    widget = std::make_unique<gui::Bevel>(parent);
  } else if (dynamic_cast<TMemo*>(&control) || dynamic_cast<TRichEdit*>(&control)) {
    // What a page shows in several lines is there to be read: no key of the
    // player's changes it.
    std::unique_ptr<gui::MultiLineEdit> text;
    if (dynamic_cast<TMemo*>(&control))
      text = std::make_unique<gui::Memo>(parent);
    else
      text = std::make_unique<gui::RichEdit>(parent);
    text->SetReadOnly(true);
    widget = std::move(text);
  } else if (auto* gauge = dynamic_cast<TGradGauge*>(&control)) {
    widget = std::make_unique<GaugeWidget>(parent, *gauge);
  } else if (auto* radio = dynamic_cast<TTntRadioButton*>(&control)) {
    auto w = std::make_unique<gui::RadioButton>(parent);
    w->OnClick = [radio] { radio->SetChecked(true); };
    widget = std::move(w);
  }
  if (!widget) return;
  gui::Control& made = *widget;
  widgets_[&control] = std::move(widget);
  control.SetView(this);
  for (TChange change : {TChange::Font, TChange::Color, TChange::Bounds, TChange::Visible, TChange::Enabled,
                         TChange::Style, TChange::Text, TChange::Picture})
    Apply(control, made, change);
  loading_.insert(&control);
}

void TLayoutView::Changed(TControl& control, TChange change) {
  if (&control == &page_) {
    if (change == TChange::Color) pageWindow_.SetColor(page_.Color());
    if (change == TChange::Paint) pageWindow_.Repaint();
    return;
  }
  auto found = widgets_.find(&control);
  if (found == widgets_.end()) return;
  if (change == TChange::Destroyed) {
    loading_.erase(&control);
    widgets_.erase(found);
    return;
  }
  const bool loading = loading_.count(&control) > 0;
  if (loading && (change == TChange::Font || change == TChange::Picture)) return;
  if (change == TChange::Loaded) {
    if (!loading) return;
    loading_.erase(&control);
    Apply(control, *found->second, TChange::Font);
    Apply(control, *found->second, TChange::Picture);
    return;
  }
  Apply(control, *found->second, change);
}

void TLayoutView::Apply(TControl& control, gui::Control& widget, TChange change) {
  auto* win = dynamic_cast<gui::WinControl*>(&widget);
  switch (change) {
    case TChange::Bounds: {
      int height = control.Height();
      auto* edit = dynamic_cast<TTntEdit*>(&control);
      if (edit && edit->AutoSize()) height = static_cast<gui::Edit&>(widget).FittingHeight();
      widget.SetBounds(control.Left(), control.Top(), control.Width(), height);
      break;
    }
    case TChange::Visible:
      widget.SetVisible(control.Visible());
      break;
    case TChange::Enabled:
      widget.SetEnabled(control.Enabled());
      break;
    case TChange::Font:
      widget.SetFont(control.Font());
      if (auto* tree = dynamic_cast<gui::ShellTreeView*>(&widget)) tree->SetFontColor(control.Font().Color);
      if (win && !dynamic_cast<gui::Panel*>(&widget)) win->SetTextColor(control.Font().Color);
      if (dynamic_cast<TTntEdit*>(&control)) Apply(control, widget, TChange::Bounds);
      break;
    case TChange::Color:
      widget.SetColor(control.Color());
      break;
    case TChange::Order:
      if (!control.Parent()) break;
      if (control.Parent()->Children().front() == &control)
        widget.SendToBack();
      else
        widget.BringToFront();
      break;
    case TChange::Paint:
      widget.Repaint();
      break;
    case TChange::Invalidate:
      widget.Invalidate();
      break;
    case TChange::Text:
      if (auto* m = dynamic_cast<TTntLabel*>(&control)) {
        static_cast<gui::Label&>(widget).SetCaption(m->Caption());
      } else if (auto* m = dynamic_cast<TTntEdit*>(&control)) {
        if (win->Text() != m->Text()) win->SetText(m->Text());
      } else if (auto* m = dynamic_cast<TTntButton*>(&control)) {
        win->SetText(m->Caption());
      } else if (auto* m = dynamic_cast<TTntRadioButton*>(&control)) {
        win->SetText(m->Caption());
      } else if (auto* m = dynamic_cast<TPanel*>(&control)) {
        static_cast<gui::Panel&>(widget).SetCaption(m->Caption());
      } else if (auto* m = dynamic_cast<TMemo*>(&control)) {
        static_cast<gui::Memo&>(widget).SetLines(Wide(m->Text()));
      } else if (auto* m = dynamic_cast<TRichEdit*>(&control)) {
        static_cast<gui::RichEdit&>(widget).SetLines(Wide(m->Text()));
      } else if (auto* m = dynamic_cast<TSE_ShellTreeView*>(&control)) {
        if (!m->Path().empty()) static_cast<gui::ShellTreeView&>(widget).SetPath(m->Path());
      }
      break;
    case TChange::Style:
      if (auto* m = dynamic_cast<TTntLabel*>(&control)) {
        auto& label = static_cast<gui::Label&>(widget);
        label.SetWordWrap(m->WordWrap());
        label.SetTransparent(m->Transparent());
        label.SetAutoSize(m->AutoSize());
      } else if (auto* m = dynamic_cast<TTntEdit*>(&control)) {
        win->SetBorder(m->Border());
        Apply(control, widget, TChange::Bounds);
      } else if (auto* m = dynamic_cast<TMemo*>(&control)) {
        win->SetBorder(m->Border());
      } else if (auto* m = dynamic_cast<TRichEdit*>(&control)) {
        win->SetBorder(m->Border());
      } else if (auto* m = dynamic_cast<TSE_ShellTreeView*>(&control)) {
        auto& tree = static_cast<gui::ShellTreeView&>(widget);
        tree.SetBorder(m->Border());
        tree.SetShowSelectionAlways(!m->HideSelection());
      } else if (auto* m = dynamic_cast<TTntRadioButton*>(&control)) {
        static_cast<gui::RadioButton&>(widget).SetChecked(m->Checked());
      } else if (auto* m = dynamic_cast<TImage*>(&control)) {
        auto& image = static_cast<gui::Image&>(widget);
        image.SetStretch(m->Stretch());
        image.SetCenter(m->Center());
        image.SetTransparent(m->Transparent());
      } else if (auto* m = dynamic_cast<TPanel*>(&control)) {
        static_cast<gui::Panel&>(widget).SetBevel(m->Bevel() ? gui::BevelKind::Raised : gui::BevelKind::None);
      }
      break;
    case TChange::Picture:
      if (auto* m = dynamic_cast<TImage*>(&control)) {
        static_cast<gui::Image&>(widget).SetPicture(m->Picture());
      } else if (auto* m = dynamic_cast<TRichEdit*>(&control)) {
        if (!m->Content().empty()) static_cast<gui::RichEdit&>(widget).LoadContent(m->Content());
      }
      break;
    case TChange::Loaded:
    case TChange::Destroyed:
      break;
  }
  if (auto* label = dynamic_cast<TTntLabel*>(&control)) {
    // An automatically sized label has the size of its text; the model
    // keeps it, or the next change of the label's place would put the old
    // size back on the screen.
    const gui::Rect& fitted = widget.Bounds();
    label->SetBounds(fitted.Left, fitted.Top, fitted.Width(), fitted.Height());
  }
}
