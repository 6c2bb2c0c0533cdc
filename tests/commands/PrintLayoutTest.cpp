// The printed picture's place on the page: the page in the preview, margins, sizes with their
// proportions, alignments, handles and drags, and the area the printer receives.
#include "commands/PrintLayout.h"

#include <gtest/gtest.h>

#include <limits>

using namespace ixoral;

namespace {

TPrintMeasures A4(bool landscape = false) {
  TPrintMeasures m;
  m.Aspect = 2;  // a view twice as wide as high
  m.ScreenPerCmX = m.ScreenPerCmY = 40;
  m.PageWidthCm = landscape ? 29.7 : 21;
  m.PageHeightCm = landscape ? 21 : 29.7;
  m.PrinterPerCmX = m.PrinterPerCmY = 236;  // 600 dpi
  m.PreviewWidth = m.PreviewHeight = 360;
  return m;
}

}  // namespace

TEST(PrintLayout, PortraitPagesTakeTheHeightAndLandscapeOnesTheWidth) {
  const TPrintLayout portrait(A4());
  EXPECT_EQ(portrait.Page().Y, 20);
  EXPECT_EQ(portrait.Page().H, 320);
  EXPECT_NEAR(portrait.Page().W, 320 * 21 / 29.7, 1);
  EXPECT_EQ(portrait.Page().X, (360 - portrait.Page().W) / 2);
  const TPrintLayout landscape(A4(true));
  EXPECT_EQ(landscape.Page().X, 20);
  EXPECT_EQ(landscape.Page().W, 320);
  EXPECT_NEAR(landscape.Page().H, 320 * 21 / 29.7, 1);
  // Centimetres and preview pixels agree across the page.
  EXPECT_EQ(portrait.CmToPxY(29.7), portrait.Page().H);
  EXPECT_NEAR(portrait.PxToCmX(portrait.CmToPxX(10)), 10, 0.1);
  // The default picture: 10 cm along the view's longer side.
  EXPECT_DOUBLE_EQ(portrait.Width(), 10);
  EXPECT_DOUBLE_EQ(portrait.Height(), 5);
}

TEST(PrintLayout, MarginsProportionsAndAlignments) {
  TPrintLayout l(A4());
  EXPECT_FALSE(l.SetMargin(-1));
  // A margin must leave some of the page: 12 cm on a 21 cm wide page leaves none, nor does
  // exactly half; just under half is taken. The same bound holds along the height on landscape.
  EXPECT_FALSE(l.SetMargin(12));
  EXPECT_FALSE(l.SetMargin(10.5));
  EXPECT_DOUBLE_EQ(l.Margin(), 2);
  EXPECT_TRUE(l.SetMargin(10.4));
  EXPECT_TRUE(l.MarginRect().W > 0 && l.MarginRect().H > 0);
  TPrintLayout landscape(A4(true));
  EXPECT_FALSE(landscape.SetMargin(11));
  EXPECT_FALSE(landscape.SetMargin(std::numeric_limits<double>::infinity()));
  EXPECT_TRUE(l.SetMargin(1));
  l.SetWidth(8);
  EXPECT_DOUBLE_EQ(l.Height(), 4);
  l.KeepProportions = false;
  l.SetHeight(6);
  EXPECT_DOUBLE_EQ(l.Width(), 8);
  l.AlignX = TAlign::Start;
  l.AlignY = TAlign::End;
  EXPECT_EQ(l.Image().X, l.CmToPxX(1));
  EXPECT_EQ(l.Image().Y + l.Image().H, l.Page().H - l.CmToPxY(1));
  l.AlignX = TAlign::Value;
  l.ValueX = 3;
  EXPECT_EQ(l.Image().X, l.CmToPxX(3));
  // "Remplir la page": the page less its margins, whatever the fields say.
  l.Fill = true;
  EXPECT_EQ(l.Image(), l.MarginRect());
  const TPrintRect print = l.PrintArea();
  EXPECT_NEAR(print.X, 236, 10);
  EXPECT_NEAR(print.W, (21 - 2) * 236, 40);
}

TEST(PrintLayout, HandlesDragsAndTheirLimits) {
  TPrintLayout l(A4());
  l.AlignX = TAlign::Start;  // the left edge is held at the margin
  const TPrintRect r = l.Image();
  EXPECT_EQ(l.HandleAt(r.X, r.Y + r.H / 2), hNone);
  EXPECT_EQ(l.HandleAt(r.X, r.Y), hNone);
  EXPECT_EQ(l.HandleAt(r.X + r.W, r.Y + r.H / 2), hRight);
  EXPECT_EQ(l.HandleAt(r.X + r.W, r.Y + r.H), hBottomRight);
  EXPECT_EQ(l.HandleAt(r.X + r.W / 2, r.Y), hTop);

  // A move: the picture follows the mouse and the groups switch to "Valeur".
  ASSERT_TRUE(l.Press(r.X + r.W / 2 + 20, r.Y + r.H / 2));
  l.Drag(r.X + r.W / 2 + 40, r.Y + r.H / 2 + 30);
  l.Release();
  EXPECT_EQ(l.AlignX, TAlign::Value);
  EXPECT_EQ(l.AlignY, TAlign::Value);
  EXPECT_EQ(l.Image().X, r.X + 20);
  EXPECT_EQ(l.Image().Y, r.Y + 30);

  // A corner resize with the proportions kept: the width governs a wide view.
  const TPrintRect m = l.Image();
  ASSERT_TRUE(l.Press(m.X + m.W, m.Y + m.H));
  l.Drag(m.X + m.W + 40, m.Y + m.H + 3);
  EXPECT_EQ(l.Image().X, m.X);  // the opposite corner stays
  EXPECT_EQ(l.Image().W, m.W + 40);
  EXPECT_NEAR(l.Width() / l.Height(), 2, 0.05);
  l.Release();

  // "Remplir la page": the mouse does nothing.
  l.Fill = true;
  const TPrintRect f = l.Image();
  EXPECT_FALSE(l.Press(f.X + 5, f.Y + 5));
  l.Drag(f.X + 50, f.Y + 50);
  EXPECT_EQ(l.Image(), f);
  EXPECT_EQ(l.HandleAt(f.X, f.Y), hNone);
}

TEST(PrintLayout, APageTooBigToDrawAtOnceIsDrawnSmallerInItsProportions) {
  // A4 less 2 cm margins at 1200 dpi: 8,504 x 12,756 printer pixels.
  const TPrintRect area{945, 945, 8504, 12756};
  const TPrintRect drawn = TPrintLayout::DrawnSize(area);
  EXPECT_LE(static_cast<long long>(drawn.W) * drawn.H, kMaxPrintPixels);
  EXPECT_GT(static_cast<long long>(drawn.W) * drawn.H, kMaxPrintPixels * 99 / 100);
  EXPECT_NEAR(double(drawn.W) / drawn.H, double(area.W) / area.H, 0.001);
  // A picture within the bound is drawn at the printer's own resolution.
  const TPrintRect small{0, 0, 2000, 1500};
  EXPECT_EQ(TPrintLayout::DrawnSize(small), (TPrintRect{0, 0, 2000, 1500}));
  // Degenerate areas still give a picture of one pixel at least.
  EXPECT_EQ(TPrintLayout::DrawnSize({0, 0, 0, -3}), (TPrintRect{0, 0, 1, 1}));
}
