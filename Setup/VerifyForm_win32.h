// The small window that shows the archive being verified at start-up.
// Windows only.
#pragma once

#include "Setup/SE_Startup.h"
#include "platform/gui/Controls.h"
#include "platform/gui/ProgressBar.h"

class TFrmVerify : public TVerifyView {
 public:
  // Shown at once, in the middle of the screen.
  TFrmVerify();
  void Show(const std::string& status, int32_t position, int32_t maximum) override;
  void ProcessMessages() override;
  void Close() override;

  gui::Window Window{u"Verifying Contents", 321, 70, gui::WindowKind::Tool};
  gui::Label Label1{&Window};
  gui::Label StatusLabel{&Window};
  gui::ProgressBar ProgressBar1{&Window};
};
