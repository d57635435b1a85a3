#include "platform/gui/ControlWindows_win32.h"

namespace gui {

Button::Button(Container* parent) : WinControl(parent) { CreateHandle(u"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0); }

bool Button::OnCommand(unsigned code) {
  if (code != BN_CLICKED) return false;
  Click();
  return true;
}

void Button::Click() {
  // Keys reach buttons the mouse cannot: Enter a hidden default button, a
  // click sent to a disabled one.
  if (!visible_ || !enabled_) return;
  if (OnClick) OnClick();
}

RadioButton::RadioButton(Container* parent) : WinControl(parent) {
  CreateHandle(u"BUTTON", BS_RADIOBUTTON | WS_TABSTOP, 0);
}

bool RadioButton::Checked() const { return handle_ && SendMessageW(H(handle_), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void RadioButton::SetChecked(bool checked) {
  if (handle_) SendMessageW(H(handle_), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool RadioButton::OnCommand(unsigned code) {
  if (code != BN_CLICKED) return false;
  SetChecked(true);
  if (OnClick) OnClick();
  return true;
}

intptr_t RadioButton::OnCtlColor(void* dc) {
  SetBkMode(D(dc), TRANSPARENT);
  return WinControl::OnCtlColor(dc);
}

CheckBox::CheckBox(Container* parent) : WinControl(parent) { CreateHandle(u"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP, 0); }

bool CheckBox::Checked() const { return handle_ && SendMessageW(H(handle_), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void CheckBox::SetChecked(bool checked) {
  if (handle_) SendMessageW(H(handle_), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool CheckBox::OnCommand(unsigned code) {
  if (code != BN_CLICKED) return false;
  if (OnClick) OnClick();
  return true;
}

intptr_t CheckBox::OnCtlColor(void* dc) {
  SetBkMode(D(dc), TRANSPARENT);
  return WinControl::OnCtlColor(dc);
}

}  // namespace gui
