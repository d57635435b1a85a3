#include <windows.h>
// (the shell and control headers build on windows.h)
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include "platform/WidePath.h"
#include "platform/gui/ControlWindows_win32.h"
#include "platform/gui/ShellTree.h"

namespace gui {

// The programs are not built with UNICODE, so the tree's text messages are
// named with their W forms rather than through the generic macros.

namespace {

HTREEITEM T(void* item) { return static_cast<HTREEITEM>(item); }

// What each item carries: its folder's absolute identifier list and whether
// its children have been listed yet.
struct Node {
  PIDLIST_ABSOLUTE idList;
  bool populated;
};

Node* NodeOf(HWND tree, HTREEITEM item) {
  TVITEMW tv{};
  tv.mask = TVIF_PARAM | TVIF_HANDLE;
  tv.hItem = item;
  if (!item || !SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv))) return nullptr;
  return reinterpret_cast<Node*>(tv.lParam);
}

IShellFolder* BindFolder(PCIDLIST_ABSOLUTE idList) {
  IShellFolder* desktop = nullptr;
  if (FAILED(SHGetDesktopFolder(&desktop))) return nullptr;
  if (!idList || idList->mkid.cb == 0) return desktop;
  IShellFolder* folder = nullptr;
  desktop->BindToObject(idList, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&folder));
  desktop->Release();
  return folder;
}

int CALLBACK CompareInFolder(LPARAM a, LPARAM b, LPARAM folder) {
  auto* first = reinterpret_cast<Node*>(a);
  auto* second = reinterpret_cast<Node*>(b);
  HRESULT order =
      reinterpret_cast<IShellFolder*>(folder)->CompareIDs(0, ILFindLastID(first->idList), ILFindLastID(second->idList));
  return static_cast<short>(HRESULT_CODE(order));
}

}  // namespace

ShellTreeView::ShellTreeView(Container* parent) : WinControl(parent) {
  color_ = clWindow;
  CreateHandle(reinterpret_cast<const char16_t*>(WC_TREEVIEWW),
               TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | WS_TABSTOP, WS_EX_CLIENTEDGE);
  if (!handle_) return;
  SHFILEINFOW info{};
  auto images = reinterpret_cast<HIMAGELIST>(
      SHGetFileInfoW(L"C:\\", 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
  TreeView_SetImageList(H(handle_), images, TVSIL_NORMAL);
  PIDLIST_ABSOLUTE desktop = nullptr;
  if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &desktop))) {
    Item root = AddItem(nullptr, desktop);
    Expand(root);
  }
}

ShellTreeView::~ShellTreeView() {
  // Removing the items frees their nodes (TVN_DELETEITEM) while the
  // notifications can still reach this object.
  if (handle_) TreeView_DeleteAllItems(H(handle_));
}

ShellTreeView::Item ShellTreeView::AddItem(Item parent, void* idList) {
  auto absolute = static_cast<PIDLIST_ABSOLUTE>(idList);
  SHFILEINFOW info{};
  info.dwAttributes = SFGAO_HASSUBFOLDER;
  SHGetFileInfoW(reinterpret_cast<LPCWSTR>(absolute), 0, &info, sizeof info,
                 SHGFI_PIDL | SHGFI_DISPLAYNAME | SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_ATTRIBUTES);
  SHFILEINFOW open{};
  SHGetFileInfoW(reinterpret_cast<LPCWSTR>(absolute), 0, &open, sizeof open,
                 SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_OPENICON);
  TVINSERTSTRUCTW insert{};
  insert.hParent = parent ? T(parent) : TVI_ROOT;
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  insert.item.pszText = info.szDisplayName;
  insert.item.iImage = info.iIcon;
  insert.item.iSelectedImage = open.iIcon;
  insert.item.cChildren = (info.dwAttributes & SFGAO_HASSUBFOLDER) || !parent ? 1 : 0;
  insert.item.lParam = reinterpret_cast<LPARAM>(new Node{absolute, false});
  return reinterpret_cast<Item>(SendMessageW(H(handle_), TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

void ShellTreeView::Populate(Item item) {
  Node* node = NodeOf(H(handle_), T(item));
  if (!node || node->populated) return;
  node->populated = true;
  IShellFolder* folder = BindFolder(node->idList);
  if (!folder) return;
  IEnumIDList* list = nullptr;
  if (folder->EnumObjects(H(handle_), SHCONTF_FOLDERS, &list) == S_OK && list) {
    PITEMID_CHILD child = nullptr;
    while (list->Next(1, &child, nullptr) == S_OK) {
      AddItem(item, ILCombine(node->idList, child));
      CoTaskMemFree(child);
    }
    list->Release();
  }
  TVSORTCB sort{T(item), CompareInFolder, reinterpret_cast<LPARAM>(folder)};
  TreeView_SortChildrenCB(H(handle_), &sort, FALSE);
  folder->Release();
}

bool ShellTreeView::Expand(Item item) {
  if (!item) return false;
  Populate(item);
  return TreeView_Expand(H(handle_), T(item), TVE_EXPAND);
}

bool ShellTreeView::Expanded(Item item) const {
  return item && (TreeView_GetItemState(H(handle_), T(item), TVIS_EXPANDED) & TVIS_EXPANDED);
}

std::vector<ShellTreeView::Item> ShellTreeView::Items() const {
  std::vector<Item> items;
  HTREEITEM item = TreeView_GetRoot(H(handle_));
  while (item) {
    items.push_back(item);
    HTREEITEM next = TreeView_GetChild(H(handle_), item);
    while (!next && item) {
      next = TreeView_GetNextSibling(H(handle_), item);
      if (!next) item = TreeView_GetParent(H(handle_), item);
    }
    item = next;
  }
  return items;
}

std::string ShellTreeView::ItemPath(Item item) const {
  Node* node = NodeOf(H(handle_), T(item));
  wchar_t path[MAX_PATH] = L"";
  if (!node || !SHGetPathFromIDListW(node->idList, path)) return "";
  return platform::NarrowPathOrMarked(reinterpret_cast<const char16_t*>(path));
}

std::u16string ShellTreeView::ItemText(Item item) const {
  wchar_t text[MAX_PATH] = L"";
  TVITEMW tv{};
  tv.mask = TVIF_TEXT | TVIF_HANDLE;
  tv.hItem = T(item);
  tv.pszText = text;
  tv.cchTextMax = MAX_PATH;
  if (!item || !SendMessageW(H(handle_), TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv))) return u"";
  return reinterpret_cast<const char16_t*>(text);
}

const void* ShellTreeView::ItemIdList(Item item) const {
  Node* node = NodeOf(H(handle_), T(item));
  return node ? node->idList : nullptr;
}

std::string ShellTreeView::Path() const { return ItemPath(Selected()); }

bool ShellTreeView::SetPath(const std::string& path) {
  std::wstring wide(path.size() + 1, L'\0');
  int n = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
  if (n <= 0) return false;
  PIDLIST_ABSOLUTE target = nullptr;
  if (FAILED(SHParseDisplayName(wide.c_str(), nullptr, &target, 0, nullptr)) || !target) return false;
  bool found = false;
  HTREEITEM item = TreeView_GetRoot(H(handle_));
  while (item) {
    Node* node = NodeOf(H(handle_), item);
    if (ILIsEqual(node->idList, target)) {
      Select(item);
      found = true;
      break;
    }
    Expand(item);
    HTREEITEM child = TreeView_GetChild(H(handle_), item);
    while (child) {
      Node* childNode = NodeOf(H(handle_), child);
      if (ILIsEqual(childNode->idList, target) || ILIsParent(childNode->idList, target, FALSE)) break;
      child = TreeView_GetNextSibling(H(handle_), child);
    }
    item = child;
  }
  ILFree(target);
  return found;
}

ShellTreeView::Item ShellTreeView::Selected() const { return TreeView_GetSelection(H(handle_)); }

void ShellTreeView::Select(Item item) {
  TreeView_SelectItem(H(handle_), T(item));
  if (item) TreeView_EnsureVisible(H(handle_), T(item));
}

ShellTreeView::Item ShellTreeView::ParentOf(Item item) const {
  return item ? TreeView_GetParent(H(handle_), T(item)) : nullptr;
}

ShellTreeView::Item ShellTreeView::FirstChildOf(Item item) const {
  return item ? TreeView_GetChild(H(handle_), T(item)) : nullptr;
}

void ShellTreeView::BeginUpdate() {
  if (updates_++ == 0) SendMessageW(H(handle_), WM_SETREDRAW, FALSE, 0);
}

void ShellTreeView::EndUpdate() {
  if (updates_ > 0 && --updates_ == 0) {
    SendMessageW(H(handle_), WM_SETREDRAW, TRUE, 0);
    InvalidateRect(H(handle_), nullptr, TRUE);
  }
}

void ShellTreeView::SetColor(TColor color) {
  Control::SetColor(color);
  TreeView_SetBkColor(H(handle_), color == clNone ? static_cast<COLORREF>(-1) : ColorToRGB(color));
}

void ShellTreeView::SetFontColor(TColor color) {
  TreeView_SetTextColor(H(handle_), color == clNone ? static_cast<COLORREF>(-1) : ColorToRGB(color));
}

void ShellTreeView::SetShowSelectionAlways(bool on) {
  LONG_PTR style = GetWindowLongPtrW(H(handle_), GWL_STYLE);
  SetWindowLongPtrW(H(handle_), GWL_STYLE,
                    on ? (style | TVS_SHOWSELALWAYS) : (style & ~static_cast<LONG_PTR>(TVS_SHOWSELALWAYS)));
}

bool ShellTreeView::OnNotify(void* header, intptr_t& result) {
  auto* nm = static_cast<NMHDR*>(header);
  switch (nm->code) {
    case TVN_ITEMEXPANDINGW: {
      auto* tv = reinterpret_cast<NMTREEVIEWW*>(header);
      if (tv->action & TVE_EXPAND) Populate(tv->itemNew.hItem);
      result = 0;
      return true;
    }
    case TVN_DELETEITEMW: {
      auto* node = reinterpret_cast<Node*>(reinterpret_cast<NMTREEVIEWW*>(header)->itemOld.lParam);
      if (node) {
        ILFree(node->idList);
        delete node;
      }
      return true;
    }
    case TVN_SELCHANGEDW:
      if (OnChange) OnChange();
      return true;
    case NM_CUSTOMDRAW: {
      if (!OnDrawItem) return false;
      auto* cd = reinterpret_cast<NMTVCUSTOMDRAW*>(header);
      if (cd->nmcd.dwDrawStage == CDDS_PREPAINT) {
        result = CDRF_NOTIFYITEMDRAW;
        return true;
      }
      if (cd->nmcd.dwDrawStage != CDDS_ITEMPREPAINT) return false;
      auto item = reinterpret_cast<HTREEITEM>(cd->nmcd.dwItemSpec);
      ItemDraw draw;
      draw.item = item;
      draw.selected = cd->nmcd.uItemState & CDIS_SELECTED;
      draw.expanded = Expanded(item);
      RECT text{}, row{};
      TreeView_GetItemRect(H(handle_), item, &text, TRUE);
      TreeView_GetItemRect(H(handle_), item, &row, FALSE);
      draw.textRect = Rect{text.left, text.top, text.right, text.bottom};
      draw.rowRect = Rect{row.left, row.top, row.right, row.bottom};
      DcCanvas canvas(cd->nmcd.hdc);
      canvas.font = font_;
      canvas.font.Color = static_cast<TColor>(cd->clrText & 0xFFFFFF);
      canvas.brush.Color = static_cast<TColor>(cd->clrTextBk & 0xFFFFFF);
      OnDrawItem(canvas, draw);
      result = CDRF_SKIPDEFAULT;
      return true;
    }
  }
  return false;
}

}  // namespace gui
