// The system's progress bar, drawn as one smooth bar. Windows only.
#pragma once

#include "platform/gui/Controls.h"

namespace gui {

class ProgressBar : public WinControl {
 public:
  explicit ProgressBar(Container* parent);
  void SetRange(int minimum, int maximum);
  void SetPosition(int position);
  int Position() const;
};

}  // namespace gui
