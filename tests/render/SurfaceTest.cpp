// Surfaces: size limits, stretched copies, pen lines and text bounds.
#include <gtest/gtest.h>

#include "render/device/Surface.h"

namespace ixoral {
namespace {

TEST(Surface, SizeLimitsGiveAnEmptySurface) {
  EXPECT_FALSE(TSurface(0, 10).Valid());
  EXPECT_FALSE(TSurface(-5, 10).Valid());
  EXPECT_FALSE(TSurface(16385, 1).Valid());
  EXPECT_FALSE(TSurface(16384, 16384).Valid());  // beyond 64 Mpixels
  EXPECT_TRUE(TSurface(16384, 2).Valid());
}

TEST(Surface, BltCopiesAndStretchesWithinBothSurfaces) {
  TSurface src(2, 2), dst(8, 8);
  src.SetPixel(0, 0, 1), src.SetPixel(1, 0, 2), src.SetPixel(0, 1, 3), src.SetPixel(1, 1, 4);
  dst.Fill(0xFF000000);
  dst.Blt({0, 0, 4, 4}, src, {0, 0, 2, 2});
  EXPECT_EQ(dst.Pixel(0, 0), 1u);
  EXPECT_EQ(dst.Pixel(1, 1), 1u);
  EXPECT_EQ(dst.Pixel(3, 0), 2u);
  EXPECT_EQ(dst.Pixel(3, 3), 4u);
  EXPECT_EQ(dst.Pixel(4, 4), 0xFF000000u);
  // Rectangles reaching outside either surface are cut, never read or written out of bounds.
  dst.Blt({-100, -100, 100000, 100000}, src, {-5, -5, 7, 7});
  dst.Blt({6, 6, 2, 2}, src, {0, 0, 2, 2});
  EXPECT_EQ(dst.Pixel(7, 7) == 0xFF000000u || dst.Pixel(7, 7) <= 4u, true);
}

TEST(Canvas, LineToExcludesItsLastPointAndClipsFarLines) {
  TSurface s(10, 10);
  s.Fill(0);
  TCanvas c(s);
  c.SetPen({1, 0xFF0000});
  c.MoveTo(1, 1);
  c.LineTo(5, 1);
  EXPECT_EQ(s.Pixel(1, 1), 0xFFFF0000u);
  EXPECT_EQ(s.Pixel(4, 1), 0xFFFF0000u);
  EXPECT_EQ(s.Pixel(5, 1), 0u);
  c.SetPen({2, 0x00FF00});
  c.MoveTo(3, 5);
  c.LineTo(3, 7);
  EXPECT_EQ(s.Pixel(3, 5), 0xFF00FF00u);
  EXPECT_EQ(s.Pixel(4, 6), 0xFF00FF00u);  // two pixels wide
  c.MoveTo(-2000000000, 5);
  c.LineTo(2000000000, 5);  // refused as absurd, quickly
  c.MoveTo(-50, -50);
  c.LineTo(60, 60);
  EXPECT_EQ(s.Pixel(9, 9), 0xFF00FF00u);
}

TEST(Canvas, TextStaysInTheSurfaceAndKeepsTheBackground) {
  TSurface s(30, 12);
  s.Fill(0xFF112233);
  TCanvas c(s);
  c.SetTextColor(0xFFFFFF);
  c.TextOut(-5, -3, "Haut gauche vue");
  c.TextOut(25, 8, "Ω ok \xff\xfe");  // malformed UTF-8 is shown as replacement characters
  int changed = 0;
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 30; ++x) changed += s.Pixel(x, y) != 0xFF112233u;
  EXPECT_GT(changed, 10);
  EXPECT_GT(TScreenFont::Default().TextWidth("Perspective"), 40);
  EXPECT_EQ(TScreenFont::Default().TextWidth(""), 0);
  EXPECT_FALSE(TScreenFont::FindFontFile("Liberation Sans").empty());
  TScreenFont missing("/nonexistent/font.ttf", 12);
  EXPECT_FALSE(missing.Valid());
  c.SetFont(&missing);
  c.TextOut(0, 0, "rien");  // no font: nothing drawn, no crash
}

}  // namespace
}  // namespace ixoral
