// 3D text shapes: glyph outlines flattened into straight strokes, each stroke extruded into a
// wall of depth d, and the inside of each character optionally covered front and back.
//
// Bounds: see kMaxTextVertices and kMaxFillTests below; the text is taken as it is stored in the object (at most 255
// bytes, as Windows-1252 character codes); spacing c, offset a and divisor h are limited to ±1 000 000 glyph units (a
// divisor of 0 counts as 1); scale and depth that are not numbers take the insert defaults (1 and
// 0.2) and are limited to ±1e9.
#pragma once

#include <cstdint>
#include <climits>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "scene/GlyphOutline.h"
#include "scene/Objects.h"

namespace ixoral {

// One straight segment of a glyph outline, in glyph units (em 1024, y up).
struct TStroke {
  int32_t Contour = 0;
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  bool operator==(const TStroke&) const = default;
};
static_assert(sizeof(TStroke) == 20);

// Top is the lowest and Bottom the highest point: glyph y grows upward.
struct TGlyphRect {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool operator==(const TGlyphRect&) const = default;
};

class TStrokeCollection {
 public:
  int Count() const { return static_cast<int>(FStrokes.size()); }
  // Copies stroke i when 0 <= i < Count(); otherwise leaves `stroke` untouched.
  void GetStroke(int i, TStroke& stroke) const;
  // Bounds over both end points of every stroke; (0, 0, 0, 0) when empty.
  TGlyphRect GetBounds() const;
  void Add(const TStroke& stroke) { FStrokes.push_back(stroke); }
  const std::vector<TStroke>& Strokes() const { return FStrokes; }

 private:
  std::vector<TStroke> FStrokes;
};

struct TFont {
  std::string Name = "Arial";
  int Size = 28;
};

// Turns TrueType glyphs of its font into straight strokes.
class TTTFToVectorConverter {
 public:
  TFont Font;
  // Glyph codes are Unicode when set, Windows-1252 bytes otherwise.
  bool UNICODE = false;

  int32_t Precision() const { return FPrecision; }
  // Accepts 1..100; any other value is ignored.
  void SetPrecision(int32_t value);

  // The font for Font.Name, loaded on first use; null when no readable font exists.
  TFontFace* Face();
  // The family actually used for Font.Name (fontconfig's substitute when it is not installed).
  std::string UsedFamily();

 private:
  int32_t FPrecision = 8;
  std::string FFaceName;
  bool FFaceLoaded = false;
  std::shared_ptr<TFontFace> FFace;
};

// The strokes of the native outline: quadratic pieces flattened in 1 / precision steps, end
// points rounded to the nearest integer. Null when the buffer holds no TrueType polygon.
std::unique_ptr<TStrokeCollection> StrokesFromOutline(const std::vector<uint8_t>& buffer, int precision);

// The strokes of a character; null when the font has no glyph or the glyph has no outline.
std::unique_ptr<TStrokeCollection> GetGlyphStrokes(TTTFToVectorConverter& converter, uint32_t code);

struct TTextPoint {
  double X = 0, Y = 0, tu = 0, tv = 0;
};
// Object coordinates and texture coordinates of a glyph point.
TTextPoint TextPointTransform(int32_t x, int32_t y, const TGlyphRect& bounds, int32_t a, int64_t halfwidth, int64_t pen,
                              int32_t h, double s);

struct TTextPoint2 {
  int32_t x = 0, y = 0;
};
// Whether the stroke P → R blocks the fill triangle (A, Q, B).
bool TriangleBlocked(const TStroke& stroke, TTextPoint2 a, TTextPoint2 q, TTextPoint2 b);

// The components of one character (its first component a triangle list, a new one started past
// 65 500 vertices), replacing `out`; the pen advances.
void BuildTextCharacter(uint8_t character, TTTFToVectorConverter& converter, int32_t a, TArrayOfComposante& out,
                        bool fill, int64_t& pen, int64_t halfwidth, int32_t c, double d, int32_t h, double s);

inline constexpr int kMaxComposanteVertices = 65500;
// What one text may produce: the fill is cubic in the strokes of a glyph and its triangles grow
// with the square, so high precisions are bounded by vertices (128 MB) and by fill tests (some
// seconds); past either bound the text keeps what it has and gets no further triangles.
inline constexpr size_t kMaxTextVertices = 4000000;
inline constexpr uint64_t kMaxFillTests = 200000000;
inline constexpr int32_t kMaxGlyphUnits = 1000000;

// What a caller (the document reader) lets one text spend within the bounds above; the text
// counts what it spends out of it, and Exhausted tells that the allowance, not the text's own
// bounds, stopped it before it was complete.
struct TTextAllowance {
  size_t Vertices = SIZE_MAX;
  uint64_t FillTests = UINT64_MAX;
  bool Exhausted = false;
};

std::unique_ptr<TSolidObject> CreateText3D(const std::string& text, TTTFToVectorConverter& converter, int32_t a,
                                           bool fill, D3DCOLOR colour, int32_t c, double d, int32_t h, double s,
                                           TTextAllowance* allowance = nullptr);

// The measures of a font at the converter's precision over the character codes 0..255.
struct TFontMeasure {
  int64_t Sum = 0;     // widths + 1 of every character with strokes
  int32_t Height = 0;  // the tallest glyph (Bottom - Top + 1)
  int32_t Lowest = 0;  // the lowest glyph point
  int Count = 0;       // characters with strokes
};
TFontMeasure MeasureFont(TTTFToVectorConverter& converter);

// The main window's "Texte 3D" command: "Abc" made unique with "i" (the text is also the
// object's name), measured in "Arial", drawn in "Times New Roman" at precision 1, filled,
// opaque white, c = sum / 254, d = 0.2, s = 1.
inline constexpr const char* kDefaultText = "Abc";
std::unique_ptr<TSolidObject> CreateDefaultText3D(const std::function<bool(const std::string&)>& nameExists);

// Rebuilds the components of a 3D text (shape 13) from its Params and TextParams, as a document
// or the inspector needs; false for other shapes.
bool BuildTextComposantes(uint8_t shapeType, const TSolidObject& params, TArrayOfComposante& out);
// The same as a new object with the Params CreateText3D writes (the precision the converter took).
std::unique_ptr<TSolidObject> RebuildText3DObject(const TSolidObject& params, D3DCOLOR colour,
                                                  TTextAllowance* allowance = nullptr);

}  // namespace ixoral
