#include "Setup/Ggauge.h"

#include <gtest/gtest.h>

#include "tests/Setup/RecordingCanvas.h"

namespace {

struct Painted {
  RecordingCanvas canvas;
  const DrawOp* bar = nullptr;         // the filled part, flat or stretched
  const DrawOp* background = nullptr;  // the unfilled rest
  const DrawOp* text = nullptr;
};

Painted PaintOf(TGradGauge& gauge) {
  Painted p;
  gauge.Paint(p.canvas);
  for (const DrawOp& op : p.canvas.ops) {
    if (op.What == "FillRect" || op.What == "StretchDraw") p.bar = &op;
    if (op.What == "Rectangle" && op.Pen.Style == gui::PenStyle::Clear) p.background = &op;
    if (op.What == "Text") p.text = &op;
  }
  return p;
}

}  // namespace

TEST(GradGaugeTest, NewGaugeIsAFlatBarOnWhiteWithASolidBorder) {
  TGradGauge gauge(nullptr);
  EXPECT_EQ(gauge.Width(), 200);
  EXPECT_EQ(gauge.Height(), 40);
  EXPECT_EQ(gauge.Caption(), "0%");
  EXPECT_EQ(gauge.Bitmap().Width(), 200);
  EXPECT_EQ(gauge.Bitmap().Height(), 35);
  EXPECT_EQ(gauge.Bitmap().Pixel(0, 34), 0xD1AA94u) << "equal colours render flat";

  Painted p = PaintOf(gauge);
  const DrawOp* border = p.canvas.Find("Rectangle");
  ASSERT_NE(border, nullptr);
  EXPECT_EQ(border->Area, (gui::Rect{1, 1, 200, 40}));
  EXPECT_EQ(border->Pen.Color, 0x876E5A);
  EXPECT_EQ(border->Brush.Style, gui::BrushStyle::Clear) << "outline only";
  EXPECT_EQ(p.bar, nullptr) << "nothing filled at 0 %";
  ASSERT_NE(p.background, nullptr);
  EXPECT_EQ(p.background->Area, (gui::Rect{2, 2, 200, 40}));
  EXPECT_EQ(p.background->Brush.Color, gui::clWhite);
  ASSERT_NE(p.text, nullptr);
  EXPECT_EQ(p.text->Text, "0%");
  EXPECT_EQ(p.text->Area, (gui::Rect{0, 0, 200, 40}));
  EXPECT_EQ(p.text->Format, gui::kTextSingleLine | gui::kTextCenter | gui::kTextVCenter);
  EXPECT_EQ(p.text->Brush.Style, gui::BrushStyle::Clear);
}

TEST(GradGaugeTest, CaptionTruncatesWhileTheBarRoundsHalvesToEven) {
  struct Case {
    int32_t min, max, progress;
    const char* caption;
    int filled;  // 0 = no bar
    bool background;
  };
  const Case cases[] = {
      {0, 100, 50, "50%", 98, true},      // 197 * 50 div 100
      {0, 3, 2, "66%", 131, true},        // bar at 67 %
      {0, 8, 1, "12%", 23, true},         // 12.5 % rounds to 12
      {0, 8, 3, "37%", 74, true},         // 37.5 % rounds to 38
      {0, 8, 5, "62%", 122, true},        // 62.5 % rounds to 62
      {0, 100, 150, "100%", 197, false},  // clamped; no background at 100 %
      {0, 7, 7, "100%", 197, false},      // exact: not 99 %
      {0, 7, 1, "14%", 27, true},
      {-10, -5, -7, "0%", 118, true},  // caption needs Max above 0; the bar fills by 60 %
      {-100, 100, 0, "50%", 98, true},
      {0, 100, -5, "0%", 0, true},                                    // clamped up to Min
      {-2147483647 - 1, 2147483647, 2147483647, "100%", 197, false},  // no overflow
  };
  for (const Case& c : cases) {
    TGradGauge gauge(nullptr);
    gauge.SetMax(c.max);
    gauge.SetMin(c.min);
    gauge.SetMax(c.max);
    gauge.SetProgress(c.progress);
    SCOPED_TRACE(std::to_string(c.min) + ".." + std::to_string(c.max) + " at " + std::to_string(c.progress));
    EXPECT_EQ(gauge.Caption(), c.caption);
    Painted p = PaintOf(gauge);
    if (c.filled == 0) {
      EXPECT_EQ(p.bar, nullptr);
    } else {
      ASSERT_NE(p.bar, nullptr);
      EXPECT_EQ(p.bar->Area, (gui::Rect{2, 2, c.filled + 2, 39}));
    }
    EXPECT_EQ(p.background != nullptr, c.background);
    if (p.background) {
      EXPECT_EQ(p.background->Area.Left, c.filled + 2);
    }
  }
}

TEST(GradGaugeTest, BoundsThatWouldCrossAreIgnored) {
  TGradGauge gauge(nullptr);
  gauge.SetMax(0);  // not above Min 0
  EXPECT_EQ(gauge.Max(), 100);
  gauge.SetMin(100);  // not below Max 100
  EXPECT_EQ(gauge.Min(), 0);
  gauge.SetProgress(80);
  gauge.SetMax(50);  // Progress follows the new bound down
  EXPECT_EQ(gauge.Progress(), 50);
  EXPECT_EQ(gauge.Caption(), "100%");
  gauge.SetMin(60);
  EXPECT_EQ(gauge.Min(), 0) << "not below Max 50";
  gauge.SetMin(20);
  EXPECT_EQ(gauge.Progress(), 50);
  EXPECT_EQ(gauge.Caption(), "100%");
}

TEST(GradGaugeTest, SameProgressPaintsOnlyAfterAForcedRefresh) {
  CountingView view;  // outlives the gauge, which tells it of its end
  TGradGauge gauge(nullptr);
  gauge.SetView(&view);
  gauge.SetProgress(10);
  EXPECT_EQ(view.Count(TChange::Paint), 1);
  gauge.SetProgress(10);
  EXPECT_EQ(view.Count(TChange::Paint), 1) << "the same value does nothing";
  gauge.SetMax(20);  // forces a refresh: caption and picture are renewed
  EXPECT_EQ(gauge.Caption(), "50%");
  EXPECT_EQ(view.Count(TChange::Paint), 2);
  gauge.SetProgress(10);
  EXPECT_EQ(view.Count(TChange::Paint), 2) << "the force lasts for one refresh only";

  // Without automatic caption the caption stays as set, and setting it
  // paints at once; switching back on renews it.
  gauge.SetAutocaption(false);
  gauge.SetProgress(15);
  EXPECT_EQ(gauge.Caption(), "50%");
  gauge.SetCaption("Working");
  EXPECT_EQ(gauge.Caption(), "Working");
  int paints = view.Count(TChange::Paint);
  gauge.SetCaption("Working");
  EXPECT_EQ(view.Count(TChange::Paint), paints);
  gauge.SetMax(30);  // no forced refresh without automatic caption
  EXPECT_EQ(gauge.Caption(), "Working");
  gauge.SetAutocaption(true);
  EXPECT_EQ(gauge.Caption(), "50%");

  // Colour and border changes wait for the next repaint.
  view.changes.clear();
  gauge.SetBackcolor(0x00FF00);
  gauge.SetBorderStyle(ggRaised);
  EXPECT_EQ(view.Count(TChange::Paint), 0);
  EXPECT_EQ(view.Count(TChange::Invalidate), 2);
}

TEST(GradGaugeTest, DifferentColoursSqueezeTheGradientIntoTheBar) {
  TGradGauge gauge(nullptr);
  gauge.SetColor1(0x0000FF);  // red at the top
  gauge.SetColor2(0x000000);
  gauge.SetProgress(50);
  Painted p = PaintOf(gauge);
  ASSERT_NE(p.bar, nullptr);
  EXPECT_EQ(p.bar->What, "StretchDraw");
  EXPECT_EQ(p.bar->Area, (gui::Rect{2, 2, 100, 39}));
  EXPECT_EQ(p.bar->PictureWidth, 200);
  EXPECT_EQ(p.bar->PictureHeight, 35);
  // Top row is colour 1; the last stops one step short of colour 2.
  const gui::Bitmap& b = gauge.Bitmap();
  EXPECT_EQ(b.Pixel(0, 0), 0x0000FFu);
  EXPECT_EQ(b.Pixel(199, 1), 0x0000F8u) << "255 - 255/35, fraction dropped towards zero";
  EXPECT_EQ(b.Pixel(0, 34), 0x000008u);

  gauge.SetColor2(0x0000FF);  // equal again: flat
  p = PaintOf(gauge);
  ASSERT_NE(p.bar, nullptr);
  EXPECT_EQ(p.bar->What, "FillRect");
  EXPECT_EQ(p.bar->Brush.Color, 0x0000FF);
}

TEST(GradGaugeTest, GradientRowsAreExact) {
  // 1/49 * 49 is just below 1 in floating point; the row must still step.
  gui::Bitmap bitmap(3, 49);
  TGradGauge::RenderGradient(0x000000, 0x000031, bitmap);
  EXPECT_EQ(bitmap.Pixel(0, 1), 0x000001u);
  EXPECT_EQ(bitmap.Pixel(0, 48), 0x000030u);
  // Every channel on its own, upwards and downwards.
  gui::Bitmap two(1, 2);
  TGradGauge::RenderGradient(0x10FF00, 0x900020, two);
  EXPECT_EQ(two.Pixel(0, 1), 0x508010u);
  // A system colour is resolved before rendering.
  gui::Bitmap system(1, 1);
  TGradGauge::RenderGradient(gui::clWindow, gui::clWindow, system);
  EXPECT_EQ(system.Pixel(0, 0), gui::ColorToRGB(gui::clWindow));
}

TEST(GradGaugeTest, RaisedAndLoweredBordersDrawFourLines) {
  struct Case {
    TggBorderStyle style;
    TColor firstTwo, lastTwo;
  };
  for (const Case& c : {Case{ggRaised, gui::clWhite, 0x876E5A}, Case{ggLowered, 0x876E5A, gui::clWhite}}) {
    TGradGauge gauge(nullptr);
    gauge.SetBorderStyle(c.style);
    RecordingCanvas canvas;
    gauge.Paint(canvas);
    std::vector<const DrawOp*> lines;
    for (const DrawOp& op : canvas.ops)
      if (op.What == "LineTo") lines.push_back(&op);
    ASSERT_EQ(lines.size(), 4u);
    ASSERT_EQ(canvas.ops[0].What, "MoveTo");
    EXPECT_EQ(canvas.ops[0].Area, (gui::Rect{1, 40, 1, 40}));
    const gui::Rect ends[] = {{1, 1, 1, 1}, {199, 1, 199, 1}, {199, 39, 199, 39}, {0, 39, 0, 39}};
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(lines[i]->Area, ends[i]) << i;
      EXPECT_EQ(lines[i]->Pen.Color, i < 2 ? c.firstTwo : c.lastTwo) << i;
    }
    EXPECT_EQ(canvas.Count("Rectangle"), 1) << "only the background";
  }
}

TEST(GradGaugeTest, SizeChangesReRenderAtTheNextPaint) {
  TGradGauge gauge(nullptr);
  gauge.SetBounds(0, 0, 120, 25);
  EXPECT_EQ(gauge.Bitmap().Width(), 200) << "not before painting";
  PaintOf(gauge);
  EXPECT_EQ(gauge.Bitmap().Width(), 120);
  EXPECT_EQ(gauge.Bitmap().Height(), 20);

  // Sizes a bitmap cannot hold, or tiny ones, paint without failing.
  for (auto [w, h] : {std::pair{100000, 40}, std::pair{2, 3}, std::pair{0, 0}, std::pair{-5, -5}}) {
    gauge.SetBounds(0, 0, w, h);
    gauge.SetProgress(gauge.Progress() == 100 ? 30 : 100);
    EXPECT_NO_THROW(PaintOf(gauge)) << w << " x " << h;
  }
  gauge.SetBounds(0, 0, 2, 40);
  gauge.SetProgress(100);
  EXPECT_EQ(PaintOf(gauge).bar, nullptr) << "a gauge narrower than its border fills nothing";
}

TEST(GradGaugeTest, HiddenGaugePaintsNothing) {
  TGradGauge gauge(nullptr);
  gauge.SetVisible(false);
  RecordingCanvas canvas;
  gauge.Paint(canvas);
  EXPECT_TRUE(canvas.ops.empty());
}
