// 3D text: the outline walk, font families, the character mesh, the fill test and the layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <fstream>
#include <set>

#include "scene/LinearEquations.h"
#include "scene/Shapes.h"
#include "scene/Text3D.h"

namespace ixoral {
namespace {

// Builds native outline buffers by hand.
class TOutlineBuilder {
 public:
  std::vector<uint8_t> Bytes;
  void Contour(double sx, double sy, uint32_t type = TT_POLYGON_TYPE) {
    FStart = Bytes.size();
    Put32(0);
    Put32(type);
    PutPoint(sx, sy);
    EndContour();
  }
  void Record(uint16_t type, std::initializer_list<std::pair<double, double>> points, int claimed = -1) {
    Put16(type);
    Put16(static_cast<uint16_t>(claimed >= 0 ? claimed : int(points.size())));
    for (auto [x, y] : points) PutPoint(x, y);
    EndContour();
  }

 private:
  void EndContour() {
    const uint32_t size = static_cast<uint32_t>(Bytes.size() - FStart);
    std::memcpy(Bytes.data() + FStart, &size, 4);
  }
  void Put16(uint16_t v) {
    Bytes.push_back(v & 0xFF);
    Bytes.push_back(v >> 8);
  }
  void Put32(uint32_t v) {
    for (int i = 0; i < 4; ++i) Bytes.push_back((v >> (8 * i)) & 0xFF);
  }
  void PutPoint(double x, double y) {
    Put32(static_cast<uint32_t>(static_cast<int32_t>(std::lround(x * 65536))));
    Put32(static_cast<uint32_t>(static_cast<int32_t>(std::lround(y * 65536))));
  }
  size_t FStart = 0;
};

std::vector<TStroke> StrokesOf(const std::vector<uint8_t>& bytes, int precision = 1) {
  auto c = StrokesFromOutline(bytes, precision);
  return c ? c->Strokes() : std::vector<TStroke>{};
}

TEST(StrokeCollectionTest, GetStrokeAndBounds) {
  TStrokeCollection c;
  EXPECT_EQ(c.GetBounds(), (TGlyphRect{0, 0, 0, 0}));
  c.Add({0, 10, 20, 30, -5});
  c.Add({1, -3, 7, 12, 40});
  // Top is the lowest y, Bottom the highest.
  EXPECT_EQ(c.GetBounds(), (TGlyphRect{-3, -5, 30, 40}));
  TStroke s{9, 9, 9, 9, 9};
  c.GetStroke(2, s);
  c.GetStroke(-1, s);
  EXPECT_EQ(s, (TStroke{9, 9, 9, 9, 9}));
  c.GetStroke(1, s);
  EXPECT_EQ(s, (TStroke{1, -3, 7, 12, 40}));
}

TEST(StrokeCollectionTest, ConverterDefaultsAndPrecisionRange) {
  TTTFToVectorConverter conv;
  EXPECT_EQ(conv.Font.Name, "Arial");
  EXPECT_EQ(conv.Font.Size, 28);
  EXPECT_EQ(conv.Precision(), 8);
  EXPECT_FALSE(conv.UNICODE);
  for (int bad : {0, -3, 101, 1000000}) {
    conv.SetPrecision(bad);
    EXPECT_EQ(conv.Precision(), 8);
  }
  conv.SetPrecision(1);
  EXPECT_EQ(conv.Precision(), 1);
  conv.SetPrecision(100);
  EXPECT_EQ(conv.Precision(), 100);
}

TEST(OutlineWalkTest, LinesContoursAndClosingStroke) {
  TOutlineBuilder b;
  b.Contour(0, 0);
  b.Record(TT_PRIM_LINE, {{100, 0}, {100, 0}, {100, 200}, {0, 200}});  // a repeated point adds nothing
  b.Contour(10, 10);
  b.Record(TT_PRIM_LINE, {{20, 10}, {10, 10}});  // ends on its start: no closing stroke
  const auto s = StrokesOf(b.Bytes);
  ASSERT_EQ(s.size(), 6u);
  EXPECT_EQ(s[0], (TStroke{0, 0, 0, 100, 0}));
  EXPECT_EQ(s[2], (TStroke{0, 100, 200, 0, 200}));
  EXPECT_EQ(s[3], (TStroke{0, 0, 200, 0, 0}));  // closing stroke
  EXPECT_EQ(s[4], (TStroke{1, 10, 10, 20, 10}));
  EXPECT_EQ(s[5], (TStroke{1, 20, 10, 10, 10}));
}

TEST(OutlineWalkTest, NoneUnlessTheFirstHeaderIsAPolygon) {
  EXPECT_EQ(StrokesFromOutline({}, 1), nullptr);
  TOutlineBuilder b;
  b.Contour(0, 0, 25);
  b.Record(TT_PRIM_LINE, {{10, 0}});
  EXPECT_EQ(StrokesFromOutline(b.Bytes, 1), nullptr);
  EXPECT_EQ(StrokesFromOutline(std::vector<uint8_t>(10, 0), 1), nullptr);
}

TEST(OutlineWalkTest, QuadraticSplinesAreFlattened) {
  // Two control points: pieces (0,0) → (0,100) → (50,100) and (50,100) → (100,100) → (100,0).
  TOutlineBuilder b;
  b.Contour(0, 0);
  b.Record(TT_PRIM_QSPLINE, {{0, 100}, {100, 100}, {100, 0}});
  const auto one = StrokesOf(b.Bytes, 1);
  ASSERT_EQ(one.size(), 3u);
  EXPECT_EQ(one[0], (TStroke{0, 0, 0, 50, 100}));
  EXPECT_EQ(one[1], (TStroke{0, 50, 100, 100, 0}));
  EXPECT_EQ(one[2], (TStroke{0, 100, 0, 0, 0}));
  // Precision 2: the curve point at t = 1/2 of the first piece is (12.5, 75) → (12, 75) (ties to even).
  const auto two = StrokesOf(b.Bytes, 2);
  ASSERT_EQ(two.size(), 5u);
  EXPECT_EQ(two[0], (TStroke{0, 0, 0, 12, 75}));
  EXPECT_EQ(two[1], (TStroke{0, 12, 75, 50, 100}));
  EXPECT_EQ(two[2], (TStroke{0, 50, 100, 88, 75}));
}

TEST(OutlineWalkTest, UnknownRecordsAreSkippedAndBadCountsStopTheWalk) {
  TOutlineBuilder b;
  b.Contour(0, 0);
  b.Record(TT_PRIM_CSPLINE, {{5, 5}, {6, 6}, {7, 7}});  // skipped: the pen stays at the start
  b.Record(TT_PRIM_LINE, {{10, 0}});
  const auto s = StrokesOf(b.Bytes);
  ASSERT_EQ(s.size(), 2u);
  EXPECT_EQ(s[0], (TStroke{0, 0, 0, 10, 0}));

  TOutlineBuilder lying;
  lying.Contour(0, 0);
  lying.Record(TT_PRIM_LINE, {{10, 0}, {10, 10}}, 60000);  // claims more points than it holds
  const auto t = StrokesOf(lying.Bytes);
  EXPECT_LE(t.size(), 1u);
  // A contour size running past the buffer ends the walk.
  std::vector<uint8_t> bytes = b.Bytes;
  bytes[0] = 0xFF;
  bytes[1] = 0xFF;
  EXPECT_TRUE(StrokesOf(bytes).empty());
}

TEST(OutlineWalkTest, RandomBuffersAreReadWithinBounds) {
  // Whatever the bytes after a valid first header, the walk stays inside the buffer (the
  // sanitizer build checks every read) and yields bounded strokes.
  uint32_t seed = 777;
  auto next = [&] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  for (int round = 0; round < 2000; ++round) {
    std::vector<uint8_t> bytes(16 + next() % 200);
    for (auto& byte : bytes) byte = static_cast<uint8_t>(next());
    const uint32_t cb = (round % 3 == 0) ? static_cast<uint32_t>(bytes.size()) : next() % 300;
    std::memcpy(bytes.data(), &cb, 4);
    const uint32_t type = TT_POLYGON_TYPE;
    std::memcpy(bytes.data() + 4, &type, 4);
    if (round % 2 == 0 && bytes.size() > 20) {  // a plausible first record
      bytes[16] = static_cast<uint8_t>(1 + next() % 3);
      bytes[17] = 0;
      bytes[18] = static_cast<uint8_t>(next() % 30);
      bytes[19] = 0;
    }
    const auto strokes = StrokesFromOutline(bytes, 1 + static_cast<int>(next() % 100));
    ASSERT_NE(strokes, nullptr);
    EXPECT_LE(strokes->Count(), 100 * 30 + 30);
  }
}

TEST(FontTest, FamiliesResolveThroughFontconfig) {
  EXPECT_EQ(ResolveFontFamily("Arial").Family, "Liberation Sans");
  EXPECT_EQ(ResolveFontFamily("Times New Roman").Family, "Liberation Serif");
  const TFontResolution missing = ResolveFontFamily("No Such Family Qwxz");
  EXPECT_TRUE(missing.Found);  // substituted
  EXPECT_FALSE(missing.Family.empty());
  TTTFToVectorConverter conv;
  conv.Font.Name = "No Such Family Qwxz";
  EXPECT_EQ(conv.UsedFamily(), missing.Family);
  const auto families = ScreenFontFamilies();
  EXPECT_TRUE(std::is_sorted(families.begin(), families.end()));
  EXPECT_EQ(std::adjacent_find(families.begin(), families.end()), families.end());
  for (const char* name : {"Arial", "Times New Roman", "Liberation Sans"})
    EXPECT_NE(std::find(families.begin(), families.end(), name), families.end()) << name;
}

TEST(FontTest, UnreadableFontFilesGiveNoFace) {
  EXPECT_EQ(OpenFontFile("/nonexistent/font.ttf"), nullptr);
  const std::string path = ::testing::TempDir() + "/not_a_font.ttf";
  std::ofstream(path) << "this is not a font";
  EXPECT_EQ(OpenFontFile(path), nullptr);
  EXPECT_EQ(OpenFontFile(ResolveFontFamily("Arial").File, 57), nullptr);  // no such face index
}

TEST(FontTest, GlyphOutlinesOfRealFonts) {
  TTTFToVectorConverter conv;
  conv.SetPrecision(1);
  // Arial's "I" is one contour of four straight edges.
  const auto i = GetGlyphStrokes(conv, 'I');
  ASSERT_NE(i, nullptr);
  EXPECT_EQ(i->Count(), 4);
  for (const TStroke& s : i->Strokes()) {
    EXPECT_EQ(s.Contour, 0);
    EXPECT_TRUE(s.x1 == s.x2 || s.y1 == s.y2);  // axis-aligned at this em, after rounding
  }
  const TGlyphRect r = i->GetBounds();
  EXPECT_NEAR(r.Bottom - r.Top, 1409.0 / 2048 * kGlyphEm, 2);  // cap height, font units 2048 per em
  // "O" has two contours; a blank and a code without glyph have no outline.
  const auto o = GetGlyphStrokes(conv, 'O');
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->Strokes().back().Contour, 1);
  EXPECT_EQ(GetGlyphStrokes(conv, ' '), nullptr);
  EXPECT_EQ(GetGlyphStrokes(conv, 0x81), nullptr);  // undefined in Windows-1252
  conv.UNICODE = true;
  EXPECT_EQ(GetGlyphStrokes(conv, 0xE123), nullptr);
  // Windows-1252 bytes and Unicode codes reach the same glyph.
  const auto euroWide = GetGlyphStrokes(conv, 0x20AC);
  conv.UNICODE = false;
  const auto euroByte = GetGlyphStrokes(conv, 0x80);
  ASSERT_NE(euroWide, nullptr);
  ASSERT_NE(euroByte, nullptr);
  EXPECT_EQ(euroWide->Strokes(), euroByte->Strokes());
  // More precision, more strokes on curves.
  conv.SetPrecision(5);
  EXPECT_GT(GetGlyphStrokes(conv, 'O')->Count(), o->Count());
}

// The records of a native outline: per contour its start and (type, raw 16.16 points) records.
struct TDecodedContour {
  std::pair<int32_t, int32_t> Start;
  std::vector<std::pair<uint16_t, std::vector<std::pair<int32_t, int32_t>>>> Records;
};
std::vector<TDecodedContour> Decode(const std::vector<uint8_t>& b) {
  auto r32 = [&](size_t at) {
    int32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
  };
  auto r16 = [&](size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); };
  std::vector<TDecodedContour> out;
  for (size_t off = 0; off + 16 <= b.size();) {
    const size_t cb = static_cast<size_t>(r32(off));
    TDecodedContour c;
    c.Start = {r32(off + 8), r32(off + 12)};
    for (size_t pos = off + 16; pos < off + cb;) {
      const uint16_t type = r16(pos), n = r16(pos + 2);
      std::vector<std::pair<int32_t, int32_t>> pts;
      for (size_t i = 0; i < n; ++i) pts.push_back({r32(pos + 4 + 8 * i), r32(pos + 8 + 8 * i)});
      c.Records.push_back({type, pts});
      pos += 4 + 8 * size_t(n);
    }
    out.push_back(c);
    off += cb;
  }
  return out;
}

TEST(FontTest, EncodedOutlinesScaleTransformAndStartOnTheCurve) {
  using P = TOutlinePoint;
  // A square of 2048 font units in a 2048-unit font is 1024 glyph units; x' = x + (x + y) / 65536.
  const auto square =
      Decode(EncodeOutline({{0, 0, P::On}, {2048, 0, P::On}, {2048, 2048, P::On}, {0, 2048, P::On}}, {3}, 2048));
  ASSERT_EQ(square.size(), 1u);
  EXPECT_EQ(square[0].Start, std::make_pair(0, 0));
  ASSERT_EQ(square[0].Records.size(), 1u);
  EXPECT_EQ(square[0].Records[0].first, TT_PRIM_LINE);
  ASSERT_EQ(square[0].Records[0].second.size(), 3u);  // the closing line is left to the reader
  EXPECT_EQ(square[0].Records[0].second[0], std::make_pair(1024 * 65536 + 1024, 1024));
  EXPECT_EQ(square[0].Records[0].second[1], std::make_pair(1024 * 65536 + 2048, 1024 * 65536 + 2048));

  // Starts on a control point, last point on the curve: the contour starts at the last point.
  const auto lastOn = Decode(EncodeOutline({{0, 100, P::Conic}, {100, 100, P::On}, {0, 0, P::On}}, {2}, 1024));
  ASSERT_EQ(lastOn.size(), 1u);
  EXPECT_EQ(lastOn[0].Start, std::make_pair(0, 0));
  ASSERT_EQ(lastOn[0].Records.size(), 1u);  // the line back to the start is the reader's
  EXPECT_EQ(lastOn[0].Records[0].first, TT_PRIM_QSPLINE);
  EXPECT_EQ(lastOn[0].Records[0].second.size(), 2u);

  // Only control points: start at the midpoint of the last and first, one spline record of
  // all four control points ending back on the start.
  const auto circle =
      EncodeOutline({{0, 100, P::Conic}, {100, 100, P::Conic}, {100, 0, P::Conic}, {0, 0, P::Conic}}, {3}, 1024);
  const auto decoded = Decode(circle);
  ASSERT_EQ(decoded.size(), 1u);
  EXPECT_EQ(decoded[0].Start.second, 50 * 65536 + 50);  // (0, 50) after the transformation
  ASSERT_EQ(decoded[0].Records.size(), 1u);
  EXPECT_EQ(decoded[0].Records[0].second.size(), 5u);
  EXPECT_EQ(decoded[0].Records[0].second.back(), decoded[0].Start);
  const auto strokes = StrokesFromOutline(circle, 1);
  ASSERT_NE(strokes, nullptr);
  EXPECT_EQ(strokes->Count(), 4);  // one straight piece per control point at precision 1
  EXPECT_EQ(strokes->GetBounds(), (TGlyphRect{0, 0, 100, 100}));

  // A malformed contour table stops the encoding; no font size is no outline.
  EXPECT_TRUE(EncodeOutline({{0, 0, P::On}}, {5}, 1024).empty());
  EXPECT_TRUE(EncodeOutline({{0, 0, P::On}}, {0}, 0).empty());
}

TEST(FontTest, OutlineBytesFollowTheNativeLayout) {
  auto face = OpenFontFamily("Arial");
  ASSERT_NE(face, nullptr);
  const auto bytes = GetGlyphOutline(*face, 'O');
  ASSERT_GE(bytes.size(), kPolygonHeaderSize);
  uint32_t size = 0, type = 0;
  std::memcpy(&size, bytes.data(), 4);
  std::memcpy(&type, bytes.data() + 4, 4);
  EXPECT_EQ(type, TT_POLYGON_TYPE);
  EXPECT_LT(size, bytes.size());  // two contours
  std::memcpy(&type, bytes.data() + size + 4, 4);
  EXPECT_EQ(type, TT_POLYGON_TYPE);
  EXPECT_TRUE(GetGlyphOutline(*face, ' ').empty());
}

TEST(TextGeometryTest, PointTransformAndTextureCoordinates) {
  const TGlyphRect r{100, -20, 600, 700};
  const TTextPoint p = TextPointTransform(100, 700, r, -200, 300, 50, 1000, 2.0);
  EXPECT_DOUBLE_EQ(p.X, 2.0 / 1000 * (100 + 50 - 100 - 300));
  EXPECT_DOUBLE_EQ(p.Y, 2.0 / 1000 * (700 + 200 - 500));
  EXPECT_DOUBLE_EQ(p.tu, 0);
  EXPECT_DOUBLE_EQ(p.tv, 0);  // the highest point
  const TTextPoint q = TextPointTransform(600, -20, r, -200, 300, 50, 1000, 2.0);
  EXPECT_DOUBLE_EQ(q.tu, 1);
  EXPECT_DOUBLE_EQ(q.tv, 1);
  // No width, no height, no divisor: finite values.
  const TTextPoint z = TextPointTransform(5, 5, {5, 5, 5, 5}, 0, 0, 0, 0, 1.0);
  EXPECT_TRUE(std::isfinite(z.X) && std::isfinite(z.Y) && std::isfinite(z.tu) && std::isfinite(z.tv));
}

TEST(TextGeometryTest, SolveTwoUnknowns) {
  double x = 7, y = 7;
  // 1 + 2X + 3Y = 0 and 4 + 5X + 6Y = 0 → X = -2, Y = 1.
  ASSERT_TRUE(SolveTwoUnknowns(1, 2, 3, 4, 5, 6, x, y));
  EXPECT_NEAR(x, -2, 1e-12);
  EXPECT_NEAR(y, 1, 1e-12);
  ASSERT_TRUE(SolveTwoUnknowns(-4, 2, 0, 3, 1, 1, x, y));  // c = 0 branch
  EXPECT_DOUBLE_EQ(x, 2);
  EXPECT_DOUBLE_EQ(y, -5);
  ASSERT_TRUE(SolveTwoUnknowns(-4, 2, 2, 3, 0, 1, x, y));  // e = 0 branch
  EXPECT_DOUBLE_EQ(y, -3);
  EXPECT_DOUBLE_EQ(x, 5);
  x = y = 7;
  EXPECT_FALSE(SolveTwoUnknowns(1, 2, 4, 1, 1, 2, x, y));  // parallel
  EXPECT_FALSE(SolveTwoUnknowns(1, 0, 4, 1, 0, 2, x, y));
  EXPECT_FALSE(SolveTwoUnknowns(1, 2, 4, 1, 0, 0, x, y));
  EXPECT_EQ(x, 7);
  EXPECT_FALSE(SolveTwoUnknowns(1e300, 1e-300, 0, 1, 1, 1, x, y));  // overflow is no solution
  EXPECT_EQ(x, 7);
}

TEST(TextGeometryTest, TriangleBlocked) {
  const TTextPoint2 a{0, 0}, q{0, 100}, b{100, 0};
  EXPECT_TRUE(TriangleBlocked({0, 10, 10, 200, 200}, a, q, b));     // P inside
  EXPECT_TRUE(TriangleBlocked({0, -50, -50, 20, 20}, a, q, b));     // R inside
  EXPECT_TRUE(TriangleBlocked({0, 50, -10, 50, 200}, a, q, b));     // crosses A → B and B → Q
  EXPECT_TRUE(TriangleBlocked({0, 0, 50, 50, 0}, a, q, b));         // on two edges, midpoint inside
  EXPECT_FALSE(TriangleBlocked({0, 0, 0, 100, 0}, a, q, b));        // the edge A → B itself
  EXPECT_FALSE(TriangleBlocked({0, 0, 100, 100, 0}, a, q, b));      // the edge B → Q
  EXPECT_FALSE(TriangleBlocked({0, 200, 200, 300, 100}, a, q, b));  // outside
  EXPECT_FALSE(TriangleBlocked({0, 0, 0, -50, -50}, a, q, b));      // touches a corner only
  EXPECT_FALSE(TriangleBlocked({0, 10, 10, 20, 20}, a, a, b));      // degenerate triangle
}

// TriangleBlocked written directly on the solver, to check the fill's prepared form against it.
bool ReferenceBlocked(const TStroke& k, TTextPoint2 a, TTextPoint2 q, TTextPoint2 b) {
  auto inside = [](double px, double py, double ax, double ay, double qx, double qy, double bx, double by) {
    double u = 0, v = 0;
    return SolveTwoUnknowns(ax - px, qx - ax, bx - ax, ay - py, qy - ay, by - ay, u, v) && u > 0 && v > 0 && u + v < 1;
  };
  auto crosses = [](TTextPoint2 p, TTextPoint2 r, TTextPoint2 s, TTextPoint2 t) {
    double x = 0, y = 0;
    return SolveTwoUnknowns(double(p.x) - s.x, double(r.x) - p.x, double(s.x) - t.x, double(p.y) - s.y,
                            double(r.y) - p.y, double(s.y) - t.y, x, y) &&
           x > 0 && x < 1 && y > 0 && y < 1;
  };
  const TTextPoint2 p{k.x1, k.y1}, r{k.x2, k.y2};
  return inside(p.x, p.y, a.x, a.y, q.x, q.y, b.x, b.y) || inside(r.x, r.y, a.x, a.y, q.x, q.y, b.x, b.y) ||
         crosses(p, r, a, b) || crosses(p, r, b, q) || crosses(p, r, a, q) ||
         inside(double(p.x) + r.x, double(p.y) + r.y, 2.0 * a.x, 2.0 * a.y, 2.0 * q.x, 2.0 * q.y, 2.0 * b.x, 2.0 * b.y);
}

TEST(TextGeometryTest, TriangleBlockedAgreesWithTheSolver) {
  uint32_t seed = 99;
  auto coord = [&](int range) {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<int32_t>((seed >> 8) % (2 * range + 1)) - range;
  };
  int blocked = 0;
  for (int i = 0; i < 200000; ++i) {
    // Small ranges make degenerate and axis-aligned cases frequent; large ones thin triangles.
    const int range = (i % 3 == 0) ? 3 : (i % 3 == 1) ? 40 : 2000;
    const TTextPoint2 a{coord(range), coord(range)}, q{coord(range), coord(range)}, b{coord(range), coord(range)};
    const TStroke k{0, coord(range), coord(range), coord(range), coord(range)};
    const bool expected = ReferenceBlocked(k, a, q, b);
    ASSERT_EQ(TriangleBlocked(k, a, q, b), expected) << i;
    blocked += expected;
  }
  EXPECT_GT(blocked, 1000);
}

TEST(TextCharacterTest, WallsOnlyWithoutFill) {
  TTTFToVectorConverter conv;
  conv.SetPrecision(2);
  const auto strokes = GetGlyphStrokes(conv, 'a');
  ASSERT_NE(strokes, nullptr);
  TArrayOfComposante out;
  int64_t pen = 1000;
  BuildTextCharacter('a', conv, -200, out, false, pen, 0, 300, 0.4, 1000, 1.0);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].PrimitiveType, D3DPT_TRIANGLELIST);
  ASSERT_EQ(out[0].Vertices.size(), 12u * strokes->Count());
  const TGlyphRect r = strokes->GetBounds();
  EXPECT_EQ(pen, 1000 + (r.Right - r.Left) + 300 / 5);
  // First wall: A+, A−, B+ ... with the normal (YA − YB, XB − XA, 0).
  const auto& v = out[0].Vertices;
  EXPECT_FLOAT_EQ(v[0].z, 0.2f);
  EXPECT_FLOAT_EQ(v[1].z, -0.2f);
  EXPECT_FLOAT_EQ(v[8].z, -0.2f);
  EXPECT_EQ(v[0].x, v[1].x);
  EXPECT_EQ(v[2].x, v[4].x);
  EXPECT_NEAR(v[0].nx, v[0].y - v[2].y, 1e-6);
  EXPECT_NEAR(v[0].ny, v[2].x - v[0].x, 1e-6);
  EXPECT_EQ(v[0].nz, 0.0f);
  // A character without outline: one empty component and the pen moves by c.
  int64_t pen2 = 7;
  BuildTextCharacter(' ', conv, 0, out, true, pen2, 0, 300, 0.2, 1000, 1.0);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_TRUE(out[0].Vertices.empty());
  EXPECT_EQ(pen2, 307);
}

TEST(TextCharacterTest, FillCoversTheGlyphOnBothFaces) {
  TTTFToVectorConverter conv;
  conv.SetPrecision(3);
  conv.Font.Name = "Times New Roman";
  const auto strokes = GetGlyphStrokes(conv, 'o');
  ASSERT_NE(strokes, nullptr);
  TArrayOfComposante out;
  int64_t pen = 0;
  BuildTextCharacter('o', conv, 0, out, true, pen, 0, 100, 0.2, 1000, 1.0);
  ASSERT_EQ(out.size(), 1u);
  const auto& v = out[0].Vertices;
  ASSERT_GT(v.size(), 12u * strokes->Count());
  EXPECT_EQ(v.size() % 12, 0u);
  float minTu = 1, maxTu = 0, minTv = 1, maxTv = 0;
  size_t faces = 0;
  double frontArea = 0;
  for (size_t g = 0; g < v.size(); g += 12) {
    for (size_t k = 0; k < 12; ++k) {
      minTu = std::min(minTu, v[g + k].tu), maxTu = std::max(maxTu, v[g + k].tu);
      minTv = std::min(minTv, v[g + k].tv), maxTv = std::max(maxTv, v[g + k].tv);
    }
    if (v[g].nz == 0) continue;
    ++faces;
    for (size_t k = 0; k < 6; ++k) {
      EXPECT_EQ(v[g + k].nz, 1.0f);
      EXPECT_FLOAT_EQ(v[g + k].z, 0.1f);
      EXPECT_EQ(v[g + 6 + k].nz, -1.0f);
      EXPECT_EQ(v[g + 6 + k].x, v[g + k].x);
    }
    frontArea +=
        std::fabs((v[g + 1].x - v[g].x) * (v[g + 2].y - v[g].y) - (v[g + 2].x - v[g].x) * (v[g + 1].y - v[g].y)) / 2;
  }
  EXPECT_GT(faces, 0u);
  // Texture coordinates span 0..1 over the glyph's own bounds.
  EXPECT_EQ(minTu, 0.0f);
  EXPECT_EQ(maxTu, 1.0f);
  EXPECT_EQ(minTv, 0.0f);
  EXPECT_EQ(maxTv, 1.0f);
  // The ring of the "o" is covered; triangles may overlap, but stay within a few layers.
  const TGlyphRect r = strokes->GetBounds();
  const double box = (r.Right - r.Left) * double(r.Bottom - r.Top) / 1e6;
  EXPECT_GT(frontArea, 0.2 * box);
  EXPECT_LT(frontArea, 6.0 * box);
}

TEST(TextCharacterTest, LargeCharactersAreSplitPast65500Vertices) {
  TTTFToVectorConverter conv;
  conv.SetPrecision(7);
  conv.Font.Name = "Times New Roman";
  TArrayOfComposante out;
  int64_t pen = 0;
  BuildTextCharacter('S', conv, 0, out, true, pen, 0, 100, 0.2, 1000, 1.0);
  ASSERT_GT(out.size(), 1u);
  for (size_t i = 0; i < out.size(); ++i) {
    EXPECT_EQ(out[i].PrimitiveType, D3DPT_TRIANGLELIST);
    EXPECT_LE(out[i].Vertices.size(), 65508u);
    EXPECT_EQ(out[i].Vertices.size() % 12, 0u);
    if (i + 1 < out.size()) {
      EXPECT_GT(out[i].Vertices.size(), 65500u);
    }
  }
}

TEST(Text3DTest, ObjectParametersAndCentring) {
  TTTFToVectorConverter conv;
  conv.SetPrecision(2);
  const auto s = CreateText3D(" I", conv, -200, false, 0xFF112233, 500, 0.3, 1000, 2.0);
  EXPECT_EQ(s->ShapeType, stTexte3d);
  EXPECT_EQ(s->GetParam(1), 2.0f);
  EXPECT_EQ(s->GetParam(2), 2.0f);
  EXPECT_EQ(s->GetParam(3), 1000.0f);
  EXPECT_EQ(s->GetParam(4), 0.0f);
  EXPECT_FLOAT_EQ(s->GetParam(5), 0.3f);
  EXPECT_EQ(s->GetParam(6), -200.0f);
  EXPECT_EQ(s->GetParam(7), 500.0f);
  EXPECT_EQ(s->GetTextParam(1), " I");
  EXPECT_EQ(s->GetTextParam(2), "Arial");
  EXPECT_EQ(s->Color, 0xFF112233u);
  ASSERT_EQ(s->ComposanteCount(), 2);
  EXPECT_TRUE(s->Composantes[0].Vertices.empty());
  // The blank counts c in the width too: the "I" starts at pen c, less half the total width.
  const TGlyphRect r = GetGlyphStrokes(conv, 'I')->GetBounds();
  const int64_t total = 500 + (r.Right - r.Left) + 500 / 5;
  float left = 1e9f;
  for (const auto& v : s->Composantes[1].Vertices) left = std::min(left, v.x);
  EXPECT_FLOAT_EQ(left, static_cast<float>(2.0 / 1000 * (500 - total / 2)));
}

TEST(Text3DTest, TextWithoutOutlinesHasOnlyEmptyComponents) {
  TTTFToVectorConverter conv;
  const auto s = CreateText3D("  \t ", conv, 0, true, 0, 100, 0.2, 1000, 1.0);
  ASSERT_EQ(s->ComposanteCount(), 4);
  EXPECT_EQ(s->VertexCount(), 0u);
  EXPECT_EQ(CreateText3D("", conv, 0, true, 0, 100, 0.2, 1000, 1.0)->ComposanteCount(), 0);
}

TEST(Text3DTest, AbsurdInputStaysFiniteAndBounded) {
  TTTFToVectorConverter conv;
  conv.SetPrecision(1);
  const std::string longText(100000, 'l');
  const auto s = CreateText3D(longText, conv, 2000000000, false, 0, -2000000000, std::nan(""), 0, 1e300);
  EXPECT_EQ(s->GetTextParam(1).size(), kMaxTextParamLength);
  EXPECT_EQ(s->ComposanteCount(), static_cast<int>(kMaxTextParamLength));
  for (const auto& c : s->Composantes)
    for (const auto& v : c.Vertices)
      for (float f : {v.x, v.y, v.z, v.nx, v.ny, v.tu, v.tv}) ASSERT_TRUE(std::isfinite(f));
  // Characters outside Windows-1252 are drawn as "?".
  const auto q = CreateText3D("\xE2\x88\x9E", conv, 0, false, 0, 100, 0.2, 1000, 1.0);
  EXPECT_EQ(q->ComposanteCount(), 1);
  EXPECT_EQ(q->VertexCount(), 12u * GetGlyphStrokes(conv, '?')->Count());
}

TEST(Text3DTest, DefaultTextIsMadeUniqueAndMeasuredInArial) {
  const std::set<std::string> taken = {"Abc", "Abci"};
  const auto s = CreateDefaultText3D([&](const std::string& n) { return taken.count(n) > 0; });
  EXPECT_EQ(s->GetTextParam(1), "Abcii");
  EXPECT_EQ(s->GetTextParam(2), "Times New Roman");
  EXPECT_EQ(s->GetParam(1), 1.0f);
  EXPECT_EQ(s->GetParam(4), 1.0f);
  EXPECT_FLOAT_EQ(s->GetParam(5), 0.2f);
  EXPECT_EQ(s->GetParam(2), 1.0f);
  EXPECT_EQ(s->Color, kOpaqueWhite);
  TTTFToVectorConverter arial;
  arial.SetPrecision(1);
  const TFontMeasure m = MeasureFont(arial);
  EXPECT_GT(m.Count, 150);
  EXPECT_EQ(s->GetParam(3), float(m.Height));
  EXPECT_EQ(s->GetParam(6), float(m.Lowest));
  EXPECT_EQ(s->GetParam(7), float(std::nearbyint(m.Sum / 254.0)));
  EXPECT_LT(m.Lowest, 0);  // descenders go below the base line
  EXPECT_EQ(s->ComposanteCount(), 5);
}

TEST(Text3DTest, RebuildFromStoredParametersGivesTheSameMesh) {
  TTTFToVectorConverter conv;
  conv.SetPrecision(2);
  conv.Font.Name = "Times New Roman";
  const auto s = CreateText3D("Ab", conv, -217, true, 0, 406, 0.25, 968, 1.0);
  TArrayOfComposante rebuilt;
  ASSERT_TRUE(BuildTextComposantes(stTexte3d, *s, rebuilt));
  ASSERT_EQ(rebuilt.size(), s->Composantes.size());
  for (size_t i = 0; i < rebuilt.size(); ++i) {
    ASSERT_EQ(rebuilt[i].Vertices.size(), s->Composantes[i].Vertices.size());
    EXPECT_EQ(0, std::memcmp(rebuilt[i].Vertices.data(), s->Composantes[i].Vertices.data(),
                             rebuilt[i].Vertices.size() * sizeof(D3DVERTEX)));
  }
  EXPECT_FALSE(BuildTextComposantes(stParam, *s, rebuilt));
}

// A digest of every vertex, component by component: equal digests, equal meshes.
uint64_t MeshDigest(const TSolidObject& s) {
  uint64_t h = 1469598103934665603ull;
  for (const auto& c : s.Composantes) {
    for (const auto& v : c.Vertices) {
      unsigned char b[sizeof v];
      std::memcpy(b, &v, sizeof v);
      for (unsigned char x : b) h = (h ^ x) * 1099511628211ull;
    }
    h = (h ^ c.Vertices.size()) * 1099511628211ull;
  }
  return h;
}

// The fill passes over strokes that cannot block a triangle without testing them; the meshes are
// the ones the plain search made (digests taken from it with Debian 12's fonts), up to the work
// bound included, where the largest text the inspector allows stops.
TEST(FontTest, TheFillKeepsItsMeshesAndTheLargestTextStopsAtTheWorkBound) {
  if (ResolveFontFamily("Arial").File.find("LiberationSans-Regular") == std::string::npos ||
      ResolveFontFamily("DejaVu Serif").File.find("DejaVuSerif.ttf") == std::string::npos)
    GTEST_SKIP() << "the digests were taken with Liberation Sans and DejaVu Serif";
  struct TCase {
    std::string Text, Font;
    int Precision;
    bool Fill;
    size_t Vertices;
    uint64_t Digest;
  };
  std::string largest;
  for (int i = 0; i < 255; ++i) largest += "Ixoral modeleur 3D, @&%$#!?"[i % 27];
  const TCase cases[] = {
      {"Ixoral", "Times New Roman", 3, true, 18372, 0x3d06d716f6361db7ull},
      {"Wg@8&%", "DejaVu Serif", 50, true, 1418616, 0xb3d92d365bd7f63bull},
      {"Sphinx of black quartz", "Liberation Serif", 12, false, 28284, 0x90933c2840c0b9bbull},
      {largest, "Arial", 100, true, 3999996, 0x8c62934567b4bc4bull},  // stopped by the vertex bound
  };
  for (const TCase& c : cases) {
    TTTFToVectorConverter converter;
    converter.SetPrecision(c.Precision);
    converter.Font.Name = c.Font;
    const auto s = CreateText3D(c.Text, converter, -200, c.Fill, 0xFFFFFFFF, 300, 0.2, 1400, 1.0);
    EXPECT_EQ(s->VertexCount(), c.Vertices) << c.Text;
    EXPECT_EQ(MeshDigest(*s), c.Digest) << c.Text;
  }
}

// A character met again replays the fill searched for its first occurrence; where the allowance
// runs out inside a later occurrence, the search takes over. Meshes, tests spent and exhaustion
// are those of the search made afresh for every character (digests taken from it).
TEST(FontTest, ARepeatedCharacterFillsAsTheSearchDidUpToTheEndOfItsAllowance) {
  if (ResolveFontFamily("Arial").File.find("LiberationSans-Regular") == std::string::npos)
    GTEST_SKIP() << "the digests were taken with Liberation Sans";
  struct TCase {
    std::string Text, Font;
    int Precision;
    uint64_t AllowedTests;
    size_t AllowedVertices, Vertices;
    uint64_t Spent, Digest;
    bool Exhausted;
  };
  const TCase cases[] = {
      {"WWW", "Arial", 100, 100000000, SIZE_MAX, 1101564, 100000000, 0x3fd39e7ff9e8c2fbull, true},  // tests run out
      {"WWW", "Arial", 100, UINT64_MAX, 1000000, 999996, 92421103, 0xbbf08aa0ddf552adull, true},    // vertices run out
      {"oOoO o", "Times New Roman", 20, UINT64_MAX, SIZE_MAX, 1133556, 34731817, 0x8a31ab7eab523a71ull, false},
  };
  for (const TCase& c : cases) {
    TTTFToVectorConverter converter;
    converter.SetPrecision(c.Precision);
    converter.Font.Name = c.Font;
    TTextAllowance allowance;
    allowance.FillTests = c.AllowedTests;
    allowance.Vertices = c.AllowedVertices;
    const auto s = CreateText3D(c.Text, converter, -200, true, 0xFFFFFFFF, 300, 0.2, 1400, 1.0, &allowance);
    EXPECT_EQ(s->VertexCount(), c.Vertices) << c.Text;
    EXPECT_EQ(MeshDigest(*s), c.Digest) << c.Text;
    EXPECT_EQ(c.AllowedTests - allowance.FillTests, c.Spent) << c.Text;
    EXPECT_EQ(allowance.Exhausted, c.Exhausted) << c.Text;
  }
}
}  // namespace
}  // namespace ixoral
