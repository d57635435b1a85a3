#include "Setup/VerifyForm_win32.h"

#include "platform/Text.h"
#include "platform/gui/Application.h"

TFrmVerify::TFrmVerify() {
  Label1.SetBounds(8, 8, 156, 13);
  Label1.SetCaption(u"Verifying contents please wait...");
  StatusLabel.SetBounds(8, 32, 150, 13);
  StatusLabel.SetCaption(u"Status: 0 out of 0 files verifyed");
  ProgressBar1.SetBounds(8, 48, 305, 16);
  ProgressBar1.SetRange(0, 100);
  Window.Show();
}

void TFrmVerify::Show(const std::string& status, int32_t position, int32_t maximum) {
  StatusLabel.SetCaption(platform::AnsiToWide(status));
  ProgressBar1.SetRange(0, maximum);
  ProgressBar1.SetPosition(position);
  StatusLabel.Repaint();
}

void TFrmVerify::ProcessMessages() { gui::ProcessMessages(); }

void TFrmVerify::Close() { Window.SetVisible(false); }
