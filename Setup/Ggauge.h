// The wizard's progress bar: a windowless control with a border, a filled
// part whose width follows the progress (one flat colour, or a vertical
// gradient pre-rendered off-screen), the unfilled rest in a background
// colour, and a centred caption that by default shows the percentage.
#pragma once

#include <cstdint>
#include <string>

#include "Setup/SE_Controls.h"
#include "platform/gui/Bitmap.h"
#include "platform/gui/Canvas.h"

enum TggBorderStyle : uint8_t { ggSolid = 0, ggRaised = 1, ggLowered = 2 };

class TGradGauge : public TControl {
 public:
  // 200 by 40, range 0 to 100 at 0, caption "0%", a flat bar of $D1AA94 on
  // white inside a solid $876E5A border.
  explicit TGradGauge(TPanel* parent);
  const char* ClassName() const override { return "TGradGauge"; }

  TColor Backcolor() const { return backcolor_; }
  void SetBackcolor(TColor color);
  TColor BorderColor() const { return borderColor_; }
  void SetBorderColor(TColor color);
  TggBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TggBorderStyle style);
  TColor Color1() const { return color1_; }
  void SetColor1(TColor color);
  TColor Color2() const { return color2_; }
  void SetColor2(TColor color);
  // Min always stays below Max; a value that would break that is ignored.
  int32_t Min() const { return min_; }
  void SetMin(int32_t value);
  int32_t Max() const { return max_; }
  void SetMax(int32_t value);
  // Clamped to Min..Max; the same value again does nothing.
  int32_t Progress() const { return progress_; }
  void SetProgress(int32_t value);
  bool Autocaption() const { return autocaption_; }
  void SetAutocaption(bool on);
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);

  // The rendered gradient: the control's width by its height - 5.
  const gui::Bitmap& Bitmap() const { return bitmap_; }

  // Paints the whole control with its top-left corner at (0, 0).
  void Paint(gui::Canvas& canvas);

  // Each row y of the bitmap: colour 1 plus y / height of the way to colour
  // 2, per channel, the fraction dropped.
  static void RenderGradient(TColor color1, TColor color2, gui::Bitmap& bitmap);

 private:
  void UpdateAutoCaption();
  void ForceRefresh();
  // The gradient's size for the control's size, within what a bitmap holds.
  bool BitmapFits() const;
  void ResizeBitmap();

  gui::Bitmap bitmap_;
  TColor backcolor_ = gui::clWhite;
  TColor borderColor_ = 0x876E5A;
  TColor color1_ = 0xD1AA94;
  TColor color2_ = 0xD1AA94;
  TggBorderStyle borderStyle_ = ggSolid;
  int32_t progress_ = 0;
  int32_t max_ = 100;
  int32_t min_ = 0;
  bool autocaption_ = true;
  std::string caption_;
};
