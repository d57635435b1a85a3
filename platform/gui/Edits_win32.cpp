#include "platform/gui/Edits.h"

#include <windows.h>
// (the rich edit's header builds on windows.h)
#include <richedit.h>

#include <algorithm>
#include <string_view>

#include "platform/Text.h"
#include "platform/TextFile.h"
#include "platform/gui/CommonControlsLibrary_win32.h"
#include "platform/gui/ControlWindows_win32.h"

namespace gui {

Edit::Edit(Container* parent) : WinControl(parent) {
  color_ = clWindow;
  CreateHandle(u"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE);
}

bool Edit::OnCommand(unsigned code) {
  if (code != EN_CHANGE) return false;
  if (OnChange) OnChange();
  return true;
}

int Edit::FittingHeight() {
  HDC dc = GetDC(H(handle_));
  HGDIOBJ old = SelectObject(dc, fontHandle_);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(H(handle_), dc);
  bool border = GetWindowLongPtrW(H(handle_), GWL_EXSTYLE) & WS_EX_CLIENTEDGE;
  return metrics.tmHeight + (border ? GetSystemMetrics(SM_CYEDGE) * 2 + 4 : 2);
}

namespace {
// The edit controls break lines only at CR LF.
std::u16string WithCrLf(const std::u16string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c == u'\r') {
      out += u"\r\n";
      if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    } else if (c == u'\n') {
      out += u"\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

// How a multi-line edit answers the dialog keys: its own answer, without
// the selection of all its text on arriving by Tab, without Tab, and when
// it is read-only without Enter.
LRESULT CALLBACK MultiLineKeys(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  LRESULT code = CommonControls().DefSubclassProc(hwnd, message, wParam, lParam);
  if (message != WM_GETDLGCODE) return code;
  code &= ~(DLGC_HASSETSEL | DLGC_WANTTAB);
  const auto* key = reinterpret_cast<const MSG*>(lParam);
  if (key && key->message == WM_KEYDOWN &&
      (key->wParam == VK_TAB || (key->wParam == VK_RETURN && reinterpret_cast<MultiLineEdit*>(data)->ReadOnly())))
    code &= ~DLGC_WANTMESSAGE;
  return code;
}

}  // namespace

MultiLineEdit::~MultiLineEdit() {
  if (handle_ && CommonControls().RemoveWindowSubclass)
    CommonControls().RemoveWindowSubclass(H(handle_), MultiLineKeys, 0);
}

void MultiLineEdit::CreateEdit(const char16_t* className, unsigned long style) {
  color_ = clWindow;
  CreateHandle(className, style | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_TABSTOP, WS_EX_CLIENTEDGE);
  if (handle_ && CommonControls().SetWindowSubclass)
    CommonControls().SetWindowSubclass(H(handle_), MultiLineKeys, 0, reinterpret_cast<DWORD_PTR>(this));
}

void MultiLineEdit::SetReadOnly(bool on) {
  readOnly_ = on;
  if (handle_) SendMessageW(H(handle_), EM_SETREADONLY, on, 0);
}

Memo::Memo(Container* parent) : MultiLineEdit(parent) { CreateEdit(u"EDIT", 0); }

void Memo::SetLines(const std::u16string& text) { SetText(WithCrLf(text)); }

bool Memo::OnCommand(unsigned code) {
  if (code != EN_CHANGE) return false;
  if (OnChange) OnChange();
  return true;
}

namespace {
struct StreamSource {
  std::string_view bytes;
  size_t at;
};

DWORD CALLBACK StreamOut(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* got) {
  auto* s = reinterpret_cast<StreamSource*>(cookie);
  size_t n = std::min(static_cast<size_t>(std::max<LONG>(wanted, 0)), s->bytes.size() - s->at);
  std::copy_n(s->bytes.data() + s->at, n, buffer);
  s->at += n;
  *got = static_cast<LONG>(n);
  return 0;
}
}  // namespace

RichEdit::RichEdit(Container* parent) : MultiLineEdit(parent) {
  CreateEdit(u"RichEdit20W", ES_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL | ES_DISABLENOSCROLL);
  // The control's own limit (32,767 characters) would cut a long licence
  // when it is streamed in.
  if (handle_) SendMessageW(H(handle_), EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
}

void RichEdit::SetColor(TColor color) {
  Control::SetColor(color);
  if (handle_) SendMessageW(H(handle_), EM_SETBKGNDCOLOR, 0, ColorToRGB(color == clNone ? clWindow : color));
}

// The font goes in as a character format, never as WM_SETFONT: the control
// applies that to all of its text, a rich text's own formatting included.
void RichEdit::SetFont(const Font& font) {
  Control::SetFont(font);
  if (!handle_) return;
  ApplyCharFormat(false);
  if (!rich_) ApplyCharFormat(true);
}

void RichEdit::ApplyCharFormat(bool allText) {
  CHARFORMAT2W format{};
  format.cbSize = sizeof format;
  format.dwMask = CFM_FACE | CFM_SIZE | CFM_COLOR | CFM_BOLD;
  format.yHeight = font_.Size * 20;  // twips
  format.crTextColor = ColorToRGB(font_.Color);
  format.dwEffects = font_.Bold ? CFE_BOLD : 0;
  std::u16string face = platform::AnsiToWide(font_.Name).substr(0, LF_FACESIZE - 1);
  std::copy(face.begin(), face.end(), format.szFaceName);
  SendMessageW(H(handle_), EM_SETCHARFORMAT, allText ? SCF_ALL : SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
}

void RichEdit::LoadContent(const std::string& bytes) {
  if (!handle_) return;
  rich_ = bytes.rfind("{\\rtf", 0) == 0;
  // Plain text takes the default format as it comes in; a rich text takes
  // it where it names no font of its own.
  ApplyCharFormat(false);
  // Plain text goes in as the 16-bit text its encoding gives.
  const std::u16string text = rich_ ? std::u16string() : platform::DecodeTextFile(bytes);
  StreamSource source{
      rich_ ? std::string_view(bytes) : std::string_view(reinterpret_cast<const char*>(text.data()), text.size() * 2),
      0};
  EDITSTREAM stream{};
  stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
  stream.pfnCallback = StreamOut;
  SendMessageW(H(handle_), EM_STREAMIN, rich_ ? SF_RTF : SF_TEXT | SF_UNICODE, reinterpret_cast<LPARAM>(&stream));
}

void RichEdit::SetLines(const std::u16string& text) {
  rich_ = false;
  SetText(WithCrLf(text));
}

}  // namespace gui
