// TrueType glyph outlines for 3D text: font families found through fontconfig, outlines read
// with FreeType (unhinted, at an em of 1024, y up) and delivered in the native TrueType polygon
// format: per contour a polygon header, then straight-line and quadratic spline records.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ixoral {

// Record and header types of the native outline format.
inline constexpr uint32_t TT_POLYGON_TYPE = 24;
inline constexpr uint16_t TT_PRIM_LINE = 1;
inline constexpr uint16_t TT_PRIM_QSPLINE = 2;
inline constexpr uint16_t TT_PRIM_CSPLINE = 3;

// Layout, little-endian: polygon header = byte size of the contour (header included, 4 bytes),
// type (4 bytes), start point; curve record = type (2 bytes), point count (2 bytes), points.
// A point is two 16.16 fixed-point numbers (x, then y).
inline constexpr size_t kPolygonHeaderSize = 16;
inline constexpr size_t kCurveHeaderSize = 4;
inline constexpr size_t kPointFxSize = 8;

// The em size at which outlines are delivered, in glyph units.
inline constexpr int kGlyphEm = 1024;

// The font file fontconfig chose for a family (the family itself when installed, a
// metric-compatible one for "Arial" and "Times New Roman", else the nearest substitute).
struct TFontResolution {
  bool Found = false;
  std::string Family;  // the family actually used
  std::string File;
  int Index = 0;
};
TFontResolution ResolveFontFamily(const std::string& family);
// Whether this system can look fonts up at all (fontconfig could load its configuration).
bool FontLookupAvailable();

// The families of the screen fonts with TrueType outlines, sorted, without duplicates; the
// program's own default names "Arial" and "Times New Roman" are always listed.
std::vector<std::string> ScreenFontFamilies();

// A loaded font; shared by every converter that uses the same file.
class TFontFace;

// The face for a family, loaded once and kept; null when no readable TrueType font is found.
std::shared_ptr<TFontFace> OpenFontFamily(const std::string& family);
// The face of one font file (index within a collection); null when it cannot be read as a
// TrueType font.
std::shared_ptr<TFontFace> OpenFontFile(const std::string& file, int index = 0);
// The family name the face reports.
std::string FaceFamily(const TFontFace& face);

// The outline of the glyph of a Unicode code point, as the native format's bytes, with the
// near-identity transformation (1 + 1/65536 on the diagonal, 1/65536 off it) applied. Empty when
// the font has no glyph for the code or the glyph has no outline (a blank).
std::vector<uint8_t> GetGlyphOutline(TFontFace& face, uint32_t codePoint);

// One point of a TrueType outline in font units, with its kind.
struct TOutlinePoint {
  double x = 0, y = 0;
  enum TKind : uint8_t { On, Conic, Cubic } Kind = On;
};
// Encodes contours (each given by the index of its last point) in the native format at an em of
// 1024 for a font of `unitsPerEm` units, with the near-identity transformation applied. A contour
// that starts on a control point starts at the last point when that one is on the curve, else at
// the midpoint of the last and first points; consecutive conic control points form one spline
// record ending on the next on-curve point; the closing line back to the start is left to the
// reader.
std::vector<uint8_t> EncodeOutline(const std::vector<TOutlinePoint>& points, const std::vector<int>& contourEnds,
                                   int unitsPerEm);

// The Unicode character of a Windows-1252 byte (the five undefined bytes give their C1 control).
uint32_t Win1252CodePoint(uint8_t byte);

}  // namespace ixoral
