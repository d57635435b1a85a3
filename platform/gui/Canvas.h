// A drawing surface with a pen, a brush and a font, as controls that paint
// themselves use it. Portable painting code draws through this interface;
// the windowing layer realises it on a device context, and tests record it.
#pragma once

#include <string>

#include "platform/gui/Bitmap.h"
#include "platform/gui/Color.h"

namespace gui {

// Rectangles include their left and top coordinates and exclude their right
// and bottom ones.
struct Rect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool operator==(const Rect&) const = default;
};

struct Font {
  std::string Name = "MS Shell Dlg 2";
  int Size = 8;  // points
  TColor Color = clWindowText;
  bool Bold = false;
  bool operator==(const Font&) const = default;
};

enum class PenStyle { Solid, Clear };
enum class BrushStyle { Solid, Clear };

struct Pen {
  TColor Color = clBlack;
  int Width = 1;
  PenStyle Style = PenStyle::Solid;
};

struct Brush {
  TColor Color = clWhite;
  BrushStyle Style = BrushStyle::Solid;
};

// Text placement flags of TextRect.
enum TextFormat : unsigned {
  kTextSingleLine = 1,
  kTextCenter = 2,
  kTextVCenter = 4,
};

class Canvas {
 public:
  virtual ~Canvas() = default;

  Pen pen;
  Brush brush;
  Font font;

  virtual void MoveTo(int x, int y) = 0;
  // A line with the pen from the current position to (x, y), excluding the
  // end point, which becomes the current position.
  virtual void LineTo(int x, int y) = 0;
  // Outline with the pen, interior with the brush (each unless clear).
  virtual void Rectangle(const Rect& r) = 0;
  // Interior only, with the brush colour.
  virtual void FillRect(const Rect& r) = 0;
  // The whole picture, stretched or squeezed into r.
  virtual void StretchDraw(const Rect& r, const Bitmap& picture) = 0;
  // 8-bit text in the system code page, with the font, placed in r.
  virtual void TextRect(const std::string& text, const Rect& r, unsigned format) = 0;
};

}  // namespace gui
