// A canvas that writes down what is drawn on it, with the pen, brush and
// font in force at each call.
#pragma once

#include <string>
#include <vector>

#include "platform/gui/Canvas.h"

struct DrawOp {
  std::string What;  // MoveTo, LineTo, Rectangle, FillRect, StretchDraw, Text
  gui::Rect Area;    // LineTo/MoveTo: Left, Top = the point
  gui::Pen Pen;
  gui::Brush Brush;
  gui::Font Font;
  std::string Text;
  unsigned Format = 0;
  int PictureWidth = 0, PictureHeight = 0;
};

class RecordingCanvas : public gui::Canvas {
 public:
  std::vector<DrawOp> ops;

  void MoveTo(int x, int y) override { Add("MoveTo", gui::Rect{x, y, x, y}); }
  void LineTo(int x, int y) override { Add("LineTo", gui::Rect{x, y, x, y}); }
  void Rectangle(const gui::Rect& r) override { Add("Rectangle", r); }
  void FillRect(const gui::Rect& r) override { Add("FillRect", r); }
  void StretchDraw(const gui::Rect& r, const gui::Bitmap& picture) override {
    Add("StretchDraw", r).PictureWidth = picture.Width();
    ops.back().PictureHeight = picture.Height();
  }
  void TextRect(const std::string& text, const gui::Rect& r, unsigned format) override {
    Add("Text", r).Text = text;
    ops.back().Format = format;
  }

  // The first operation of a kind, or null.
  const DrawOp* Find(const std::string& what) const {
    for (const DrawOp& op : ops)
      if (op.What == what) return &op;
    return nullptr;
  }
  int Count(const std::string& what) const {
    int n = 0;
    for (const DrawOp& op : ops) n += op.What == what;
    return n;
  }

 private:
  DrawOp& Add(const char* what, const gui::Rect& r) {
    ops.push_back(DrawOp{what, r, pen, brush, font, "", 0, 0, 0});
    return ops.back();
  }
};

// Counts what a model tells its view.
#include "Setup/SE_Controls.h"

class CountingView : public TControlView {
 public:
  std::vector<TChange> changes;
  void Changed(TControl&, TChange change) override { changes.push_back(change); }
  int Count(TChange change) const {
    int n = 0;
    for (TChange c : changes) n += c == change;
    return n;
  }
};
