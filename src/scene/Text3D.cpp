// 3D text: strokes from glyph outlines, the extruded walls and fill of each character, and the
// layout of a whole text centred on the origin.
#include "scene/Text3D.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>

#include "platform/Encoding.h"
#include "scene/LinearEquations.h"
#include "scene/Shapes.h"

namespace ixoral {

void TStrokeCollection::GetStroke(int i, TStroke& stroke) const {
  if (i >= 0 && i < Count()) stroke = FStrokes[static_cast<size_t>(i)];
}

TGlyphRect TStrokeCollection::GetBounds() const {
  if (FStrokes.empty()) return {};
  TGlyphRect r{FStrokes[0].x1, FStrokes[0].y1, FStrokes[0].x1, FStrokes[0].y1};
  for (const TStroke& s : FStrokes) {
    r.Left = std::min({r.Left, s.x1, s.x2});
    r.Right = std::max({r.Right, s.x1, s.x2});
    r.Top = std::min({r.Top, s.y1, s.y2});
    r.Bottom = std::max({r.Bottom, s.y1, s.y2});
  }
  return r;
}

void TTTFToVectorConverter::SetPrecision(int32_t value) {
  if (value >= 1 && value <= 100) FPrecision = value;
}

TFontFace* TTTFToVectorConverter::Face() {
  if (!FFaceLoaded || FFaceName != Font.Name) {
    FFace = OpenFontFamily(Font.Name);
    FFaceName = Font.Name;
    FFaceLoaded = true;
  }
  return FFace.get();
}

std::string TTTFToVectorConverter::UsedFamily() {
  TFontFace* face = Face();
  if (!face) return {};
  return ResolveFontFamily(Font.Name).Family;
}

namespace {

uint32_t Read16(const std::vector<uint8_t>& b, size_t at) { return b[at] | (uint32_t(b[at + 1]) << 8); }
uint32_t Read32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) | (uint32_t(b[at + 3]) << 24);
}

struct TPointF {
  double x = 0, y = 0;
  bool operator==(const TPointF&) const = default;
};

// A 16.16 fixed-point point: value + fraction / 65536 for each coordinate.
TPointF ReadPoint(const std::vector<uint8_t>& b, size_t at) {
  return {static_cast<int32_t>(Read32(b, at)) / 65536.0, static_cast<int32_t>(Read32(b, at + 4)) / 65536.0};
}

int32_t RoundCoordinate(double v) { return static_cast<int32_t>(std::nearbyint(v)); }

class TStrokeWriter {
 public:
  explicit TStrokeWriter(TStrokeCollection& out) : FOut(out) {}
  int Contour = 0;
  // Adds current → p unless both are equal, and moves to p.
  void LineTo(TPointF& current, const TPointF& p) {
    if (!(current == p))
      FOut.Add({Contour, RoundCoordinate(current.x), RoundCoordinate(current.y), RoundCoordinate(p.x),
                RoundCoordinate(p.y)});
    current = p;
  }

 private:
  TStrokeCollection& FOut;
};

// The quadratic Bézier A → B → C in `precision` straight pieces.
void Flatten(TStrokeWriter& w, const TPointF& a, const TPointF& b, const TPointF& c, int precision) {
  const double step = 1.0 / precision;
  TPointF previous = a;
  for (int i = 1; i <= precision; ++i) {
    const double t = (i == precision) ? 1.0 : i * step;
    const TPointF p{a.x + t * t * (a.x - 2 * b.x + c.x) + t * (2 * b.x - 2 * a.x),
                    a.y + t * t * (a.y - 2 * b.y + c.y) + t * (2 * b.y - 2 * a.y)};
    w.LineTo(previous, p);
  }
}

int32_t ClampUnits(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, -kMaxGlyphUnits, kMaxGlyphUnits)); }
int32_t UnitsFromParam(double v) {
  if (!std::isfinite(v)) return 0;
  return static_cast<int32_t>(std::lround(std::clamp(v, double(-kMaxGlyphUnits), double(kMaxGlyphUnits))));
}
double SafeScalar(double v, double fallback) {
  if (!std::isfinite(v)) return fallback;
  return std::clamp(v, -1e9, 1e9);
}

D3DVERTEX TextVertex(const TTextPoint& p, double z, double nx, double ny, double nz) {
  return {static_cast<float>(p.X), static_cast<float>(p.Y), static_cast<float>(z),    static_cast<float>(nx),
          static_cast<float>(ny),  static_cast<float>(nz),  static_cast<float>(p.tu), static_cast<float>(p.tv)};
}

// Strictly inside the triangle T1, T2, T3: P = T1 + u (T2 − T1) + v (T3 − T1), u, v > 0, u + v < 1,
// with u and v from SolveTwoUnknowns on the x and y components. The parts of the elimination that
// depend on the triangle alone are worked out once; the arithmetic per point is the solver's own,
// operation for operation, so every answer is the solver's.
class TInsideTest {
 public:
  TInsideTest(double ax, double ay, double qx, double qy, double bx, double by)
      : FAx(ax), FAy(ay), FB(qx - ax), FC(bx - ax), FE(qy - ay), FF(by - ay) {
    if (FE != 0) {
      if (FC == 0 && FB * FF != 0) {
        FBranch = TBranch::NoC;
      } else if (FB * FF == FE * FC) {
        FBranch = TBranch::None;
      } else {
        FBranch = TBranch::Main;
        FDenominator = FC - FB * FF / FE;
      }
    } else {
      FBranch = FB * FF == 0 ? TBranch::None : TBranch::NoE;
    }
  }

  bool operator()(double px, double py) const {
    const double a = FAx - px, d = FAy - py;
    double u = 0, v = 0;
    switch (FBranch) {
      case TBranch::None:
        return false;
      case TBranch::NoC:
        u = -a / FB;
        v = (FE * a / FB - d) / FF;
        break;
      case TBranch::Main:
        v = (FB * d / FE - a) / FDenominator;
        u = -(d + FF * v) / FE;
        break;
      case TBranch::NoE:
        v = -d / FF;
        u = -(a + FC * v) / FB;
        break;
    }
    if (!std::isfinite(u) || !std::isfinite(v)) return false;
    return u > 0 && v > 0 && u + v < 1;
  }

 private:
  enum class TBranch { None, NoC, Main, NoE };
  double FAx, FAy, FB, FC, FE, FF;
  TBranch FBranch = TBranch::None;
  double FDenominator = 0;
};

// P → R and S → T cross at parameters strictly between 0 and 1 on both.
bool ProperlyCrosses(TTextPoint2 p, TTextPoint2 r, TTextPoint2 s, TTextPoint2 t) {
  double k = 0, m = 0;
  if (!SolveTwoUnknowns(double(p.x) - s.x, double(r.x) - p.x, double(s.x) - t.x, double(p.y) - s.y, double(r.y) - p.y,
                        double(s.y) - t.y, k, m))
    return false;
  return k > 0 && k < 1 && m > 0 && m < 1;
}

// The fill triangle (A, Q, B) with its inside tests at plain and at doubled coordinates.
class TFillTriangle {
 public:
  TFillTriangle(TTextPoint2 a, TTextPoint2 q, TTextPoint2 b)
      : FA(a),
        FQ(q),
        FB(b),
        FInside(a.x, a.y, q.x, q.y, b.x, b.y),
        FInsideDoubled(2.0 * a.x, 2.0 * a.y, 2.0 * q.x, 2.0 * q.y, 2.0 * b.x, 2.0 * b.y) {}

  // Tested in this order: P inside, R inside, P → R crossing A → B, B → Q or A → Q, then the
  // midpoint of P → R inside (doubled so that it stays integer).
  bool Blocked(const TStroke& stroke) const {
    const TTextPoint2 p{stroke.x1, stroke.y1}, r{stroke.x2, stroke.y2};
    if (FInside(p.x, p.y) || FInside(r.x, r.y)) return true;
    if (ProperlyCrosses(p, r, FA, FB) || ProperlyCrosses(p, r, FB, FQ) || ProperlyCrosses(p, r, FA, FQ)) return true;
    return FInsideDoubled(double(p.x) + r.x, double(p.y) + r.y);
  }

 private:
  TTextPoint2 FA, FQ, FB;
  TInsideTest FInside, FInsideDoubled;
};

// The bounding box of a few glyph points. Two boxes that stay more than kBoxMargin apart hold no
// point of a stroke strictly inside a triangle, no proper crossing and no midpoint inside: the
// margin covers the rounding of the inside and crossing arithmetic, whose errors are far below
// one glyph unit.
constexpr int64_t kBoxMargin = 2;
struct TBox {
  int64_t X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
  static TBox Of(TTextPoint2 a, TTextPoint2 b, TTextPoint2 c) {
    return {std::min({int64_t(a.x), int64_t(b.x), int64_t(c.x)}), std::min({int64_t(a.y), int64_t(b.y), int64_t(c.y)}),
            std::max({int64_t(a.x), int64_t(b.x), int64_t(c.x)}), std::max({int64_t(a.y), int64_t(b.y), int64_t(c.y)})};
  }
  bool Meets(const TBox& o) const {
    return o.X0 <= X1 + kBoxMargin && X0 <= o.X1 + kBoxMargin && o.Y0 <= Y1 + kBoxMargin && Y0 <= o.Y1 + kBoxMargin;
  }
};

// The strokes whose boxes meet a triangle's box, found a word of 64 strokes at a time and in the
// strokes' order: each of the four conditions of TBox::Meets holds for a prefix of the strokes
// sorted by one side of their boxes, kept as a set, and the four sets are crossed.
class TBoxIndex {
 public:
  // The glyphs this serves have at most this many strokes: four sets of every prefix take n² / 16
  // bytes (8 MB at the bound).
  static constexpr size_t kMaxStrokes = 4096;

  explicit TBoxIndex(const std::vector<TBox>& boxes) : FCount(boxes.size()), FWords((boxes.size() + 63) / 64) {
    // Keys such that "meets" is "key <= limit": left, -right, bottom, -top.
    const auto key = [](const TBox& b, size_t f) { return f == 0 ? b.X0 : f == 1 ? -b.X1 : f == 2 ? b.Y0 : -b.Y1; };
    std::vector<size_t> order(FCount);
    for (size_t f = 0; f < 4; ++f) {
      for (size_t k = 0; k < FCount; ++k) order[k] = k;
      std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return key(boxes[a], f) < key(boxes[b], f); });
      FKeys[f].resize(FCount);
      FSets[f].assign((FCount + 1) * FWords, 0);
      for (size_t t = 0; t < FCount; ++t) {
        FKeys[f][t] = key(boxes[order[t]], f);
        uint64_t* next = &FSets[f][(t + 1) * FWords];
        std::copy_n(&FSets[f][t * FWords], FWords, next);
        next[order[t] / 64] |= uint64_t(1) << (order[t] % 64);
      }
    }
  }

  // Calls `blocks(k)` for the strokes k whose boxes meet `box`, in increasing order, until one
  // answers true; that stroke, or the stroke count when none does.
  template <class TBlocks>
  size_t FirstBlocking(const TBox& box, TBlocks&& blocks) const {
    const int64_t limits[4] = {box.X1 + kBoxMargin, kBoxMargin - box.X0, box.Y1 + kBoxMargin, kBoxMargin - box.Y0};
    const uint64_t* sets[4];
    for (size_t f = 0; f < 4; ++f) {
      const auto end = std::upper_bound(FKeys[f].begin(), FKeys[f].end(), limits[f]);
      sets[f] = &FSets[f][static_cast<size_t>(end - FKeys[f].begin()) * FWords];
    }
    for (size_t w = 0; w < FWords; ++w)
      for (uint64_t bits = sets[0][w] & sets[1][w] & sets[2][w] & sets[3][w]; bits; bits &= bits - 1) {
        const size_t k = w * 64 + static_cast<size_t>(__builtin_ctzll(bits));
        if (blocks(k)) return k;
      }
    return FCount;
  }

 private:
  size_t FCount, FWords;
  std::array<std::vector<int64_t>, 4> FKeys;
  std::array<std::vector<uint64_t>, 4> FSets;
};

// Whether a stroke lies wholly beyond one edge line of the triangle (A, Q, B), more than
// kBoxMargin units away: then it has no point inside, crosses no edge, and its midpoint is out.
class TOutside {
 public:
  TOutside(TTextPoint2 a, TTextPoint2 q, TTextPoint2 b) : FEdges{{{a, b, q}, {b, q, a}, {q, a, b}}} {
    for (TEdge& e : FEdges) {
      const int64_t dx = int64_t(e.To.x) - e.From.x, dy = int64_t(e.To.y) - e.From.y;
      e.Inner = Cross(e, e.Opposite);
      e.Reach = double(kBoxMargin) * std::sqrt(double(dx) * dx + double(dy) * dy);
    }
  }
  bool Holds(const TStroke& s) const {
    for (const TEdge& e : FEdges) {
      if (e.Inner == 0) return false;  // a flat triangle: leave it to the full test
      const double p = double(Cross(e, {s.x1, s.y1})), r = double(Cross(e, {s.x2, s.y2}));
      // Beyond: on the side away from the opposite corner, by more than the margin.
      if (e.Inner > 0 ? (p < -e.Reach && r < -e.Reach) : (p > e.Reach && r > e.Reach)) return true;
    }
    return false;
  }

 private:
  struct TEdge {
    TTextPoint2 From, To, Opposite;
    int64_t Inner = 0;
    double Reach = 0;
  };
  static int64_t Cross(const TEdge& e, TTextPoint2 p) {
    return (int64_t(e.To.x) - e.From.x) * (int64_t(p.y) - e.From.y) -
           (int64_t(e.To.y) - e.From.y) * (int64_t(p.x) - e.From.x);
  }
  std::array<TEdge, 3> FEdges;
};

// What one text may still spend: vertices, and stroke tests of the fill search.
// The text's own bounds may be lowered by a caller's allowance; running into a lowered bound
// marks the allowance exhausted.
struct TTextBudget {
  size_t Vertices = 0;
  uint64_t FillTests = 0;
  size_t MaxVertices = kMaxTextVertices;
  uint64_t MaxFillTests = kMaxFillTests;
  TTextAllowance* Allowance = nullptr;
  bool CanAdd(size_t n) {
    if (Vertices + n <= MaxVertices) return true;
    if (Allowance && MaxVertices < kMaxTextVertices) Allowance->Exhausted = true;
    return false;
  }
  bool CanSearch() {
    if (FillTests < MaxFillTests) return true;
    if (Allowance && MaxFillTests < kMaxFillTests) Allowance->Exhausted = true;
    FillStopped = true;
    return false;
  }
  // Set once a search or a fill triangle was refused: neither bound ever gives back, so the rest
  // of the text gets no further fill and its strokes are no longer searched for apexes.
  bool FillStopped = false;
};

// Appends vertices group by group, starting a new triangle list once a component holds more
// than 65 500 vertices.
class TCharacterMesh {
 public:
  TCharacterMesh(TArrayOfComposante& out, TTextBudget& budget) : FOut(out), FBudget(budget) {
    FOut.clear();
    FOut.push_back({D3DPT_TRIANGLELIST, {}});
  }
  // Adds one group of 12 vertices when the budget allows it.
  void AddGroup(std::initializer_list<D3DVERTEX> group) {
    if (!FBudget.CanAdd(group.size())) return;
    FBudget.Vertices += group.size();
    auto& v = FOut.back().Vertices;
    v.insert(v.end(), group);
    if (v.size() > static_cast<size_t>(kMaxComposanteVertices)) {
      v.shrink_to_fit();
      FOut.push_back({D3DPT_TRIANGLELIST, {}});
    }
  }

 private:
  TArrayOfComposante& FOut;
  TTextBudget& FBudget;
};

// What the fill search found for one glyph, kept for its next occurrences in the same text: the
// search looks at glyph units only, so a character met again fills exactly as before wherever it
// stands. For each stroke, once searched to the end: the stroke tests it spent and the apexes of
// the triangles it kept, in order.
struct TGlyphFill {
  struct TEdge {
    bool Known = false;
    uint64_t Tests = 0;
    std::vector<uint32_t> Apexes;
  };
  std::vector<TEdge> Edges;
};

void BuildCharacterFromStrokes(const TStrokeCollection* strokes, int32_t a, TArrayOfComposante& out, bool fill,
                               int64_t& pen, int64_t halfwidth, int32_t c, double d, int32_t h, double s,
                               TTextBudget& budget, TGlyphFill* known = nullptr) {
  TCharacterMesh mesh(out, budget);
  if (!strokes || strokes->Count() == 0) {
    pen += c;
    return;
  }
  const TGlyphRect bounds = strokes->GetBounds();
  // Once not one more wall fits, nothing of this character could be added: its strokes are not
  // laid out, so a long text past the vertex bound costs no more than its width.
  if (!budget.CanAdd(12)) {
    pen += (int64_t(bounds.Right) - bounds.Left) + c / 5;
    return;
  }
  const std::vector<TStroke>& list = strokes->Strokes();
  const size_t n = list.size();
  std::vector<TTextPoint> first(n), second(n);
  for (size_t i = 0; i < n; ++i) {
    first[i] = TextPointTransform(list[i].x1, list[i].y1, bounds, a, halfwidth, pen, h, s);
    second[i] = TextPointTransform(list[i].x2, list[i].y2, bounds, a, halfwidth, pen, h, s);
  }
  const double front = d / 2, back = -d / 2;
  std::vector<TBox> boxes;
  std::unique_ptr<TBoxIndex> index;
  if (known) known->Edges.resize(n);

  for (size_t i = 0; i < n; ++i) {
    const TTextPoint& A = first[i];
    const TTextPoint& B = second[i];
    // Side wall: (A+, A−, B+) and (B+, A−, B−), each in both windings.
    const double nx = A.Y - B.Y, ny = B.X - A.X;
    const D3DVERTEX ap = TextVertex(A, front, nx, ny, 0), am = TextVertex(A, back, nx, ny, 0);
    const D3DVERTEX bp = TextVertex(B, front, nx, ny, 0), bm = TextVertex(B, back, nx, ny, 0);
    mesh.AddGroup({ap, am, bp, ap, bp, am, bp, am, bm, bp, bm, am});
    if (!fill || budget.FillStopped) continue;

    auto addTriangle = [&](size_t j) {
      const TTextPoint& Q = first[j];
      const D3DVERTEX fa = TextVertex(A, front, 0, 0, 1), fb = TextVertex(B, front, 0, 0, 1),
                      fq = TextVertex(Q, front, 0, 0, 1);
      const D3DVERTEX ka = TextVertex(A, back, 0, 0, -1), kb = TextVertex(B, back, 0, 0, -1),
                      kq = TextVertex(Q, back, 0, 0, -1);
      mesh.AddGroup({fa, fb, fq, fa, fq, fb, ka, kb, kq, ka, kq, kb});
    };
    // A stroke searched before, whose whole search fits in what the budget has left (no check of
    // the search could fail), is replayed: the same triangles and the same count of tests.
    TGlyphFill::TEdge* edge = known ? &known->Edges[i] : nullptr;
    if (edge && edge->Known && budget.FillTests + edge->Tests <= budget.MaxFillTests &&
        budget.Vertices + 12 * (edge->Apexes.size() + 1) <= budget.MaxVertices) {
      budget.FillTests += edge->Tests;
      for (uint32_t j : edge->Apexes) addTriangle(j);
      continue;
    }
    if (boxes.empty()) {
      boxes.resize(n);
      for (size_t k = 0; k < n; ++k)
        boxes[k] = TBox::Of({list[k].x1, list[k].y1}, {list[k].x2, list[k].y2}, {list[k].x1, list[k].y1});
      if (n <= TBoxIndex::kMaxStrokes) index = std::make_unique<TBoxIndex>(boxes);
    }

    const uint64_t testsBefore = budget.FillTests;
    std::vector<uint32_t> apexes;
    bool complete = true;
    const TTextPoint2 ga{list[i].x1, list[i].y1}, gb{list[i].x2, list[i].y2};
    // A candidate is blocked when any stroke blocks it, whatever the order of the tests; the
    // stroke that blocked the previous apex usually blocks the next one too, so it goes first.
    size_t lastBlocker = n;
    for (size_t j = 0; j < n; ++j) {
      const TTextPoint2 gq{list[j].x1, list[j].y1};
      const int64_t side =
          (int64_t(gb.y) - ga.y) * (int64_t(gq.x) - ga.x) - (int64_t(gb.x) - ga.x) * (int64_t(gq.y) - ga.y);
      if (side <= 0) continue;
      if (!budget.CanSearch()) {
        complete = false;
        break;
      }
      if (!budget.CanAdd(12)) {
        budget.FillStopped = true;
        complete = false;
        break;
      }
      const TFillTriangle triangle(ga, gq, gb);
      const TBox box = TBox::Of(ga, gq, gb);
      // Every stroke still counts as a test, so the work bound stops the fill where it always
      // did; a stroke whose box lies apart from the triangle's cannot block it and is passed
      // over without the arithmetic.
      const TOutside outside(ga, gq, gb);
      auto blocks = [&](size_t k) {
        return box.Meets(boxes[k]) && !outside.Holds(list[k]) && triangle.Blocked(list[k]);
      };
      bool blocked = lastBlocker < n && blocks(lastBlocker);
      budget.FillTests += lastBlocker < n ? 1 : 0;
      if (!blocked && index) {
        // Only the strokes whose boxes meet the triangle's are looked at; the count is that of
        // the strokes taken in order up to the first that blocks.
        const size_t blocker = index->FirstBlocking(
            box, [&](size_t k) { return k != lastBlocker && !outside.Holds(list[k]) && triangle.Blocked(list[k]); });
        const size_t skipped = lastBlocker < std::min(blocker + 1, n) ? 1 : 0;
        budget.FillTests += std::min(blocker + 1, n) - skipped;
        if (blocker < n) blocked = true, lastBlocker = blocker;
      }
      for (size_t k = 0; k < n && !blocked && !index; ++k) {
        if (k == lastBlocker) continue;
        ++budget.FillTests;
        if (blocks(k)) {
          blocked = true;
          lastBlocker = k;
        }
      }
      if (blocked) continue;
      if (edge) apexes.push_back(static_cast<uint32_t>(j));
      addTriangle(j);
    }
    if (edge && complete) {
      edge->Known = true;
      edge->Tests = budget.FillTests - testsBefore;
      edge->Apexes = std::move(apexes);
    }
  }
  out.back().Vertices.shrink_to_fit();
  pen += (int64_t(bounds.Right) - bounds.Left) + c / 5;
}

// The text as the object stores it: at most 255 bytes, never cut inside a UTF-8 character.
std::string StoredText(const std::string& text) {
  if (text.size() <= kMaxTextParamLength) return text;
  size_t cut = kMaxTextParamLength;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut);
}

}  // namespace

std::unique_ptr<TStrokeCollection> StrokesFromOutline(const std::vector<uint8_t>& buffer, int precision) {
  const size_t size = buffer.size();
  if (size < kPolygonHeaderSize || Read32(buffer, 4) != TT_POLYGON_TYPE) return nullptr;
  precision = std::clamp(precision, 1, 100);
  auto result = std::make_unique<TStrokeCollection>();
  TStrokeWriter w(*result);
  size_t offset = 0;
  // The walk ends when the next header would start within the last 16 bytes.
  while (offset + kPolygonHeaderSize < size) {
    const size_t cb = Read32(buffer, offset);
    if (Read32(buffer, offset + 4) != TT_POLYGON_TYPE || cb < kPolygonHeaderSize || cb > size - offset)
      break;  // not a polygon the font engine writes: stop rather than read past it
    const TPointF start = ReadPoint(buffer, offset + 8);
    TPointF current = start;
    const size_t end = offset + cb;
    size_t pos = offset + kPolygonHeaderSize;
    while (pos + kCurveHeaderSize <= end) {
      const uint32_t type = Read16(buffer, pos);
      const size_t count = Read16(buffer, pos + 2);
      const size_t points = pos + kCurveHeaderSize;
      if (count * kPointFxSize > end - points) break;
      if (type == TT_PRIM_LINE) {
        for (size_t i = 0; i < count; ++i) w.LineTo(current, ReadPoint(buffer, points + i * kPointFxSize));
      } else if (type == TT_PRIM_QSPLINE) {
        for (size_t i = 0; i + 1 < count; ++i) {
          const TPointF b = ReadPoint(buffer, points + i * kPointFxSize);
          const TPointF next = ReadPoint(buffer, points + (i + 1) * kPointFxSize);
          const TPointF c = (i + 2 < count) ? TPointF{(b.x + next.x) / 2, (b.y + next.y) / 2} : next;
          Flatten(w, current, b, c, precision);
          current = c;
        }
      }
      pos = points + count * kPointFxSize;
    }
    w.LineTo(current, start);
    ++w.Contour;
    offset = end;
  }
  return result;
}

std::unique_ptr<TStrokeCollection> GetGlyphStrokes(TTTFToVectorConverter& converter, uint32_t code) {
  TFontFace* face = converter.Face();
  if (!face) return nullptr;
  const uint32_t codePoint = converter.UNICODE ? code : Win1252CodePoint(static_cast<uint8_t>(code & 0xFF));
  const std::vector<uint8_t> outline = GetGlyphOutline(*face, codePoint);
  if (outline.empty()) return nullptr;
  return StrokesFromOutline(outline, converter.Precision());
}

TTextPoint TextPointTransform(int32_t x, int32_t y, const TGlyphRect& bounds, int32_t a, int64_t halfwidth, int64_t pen,
                              int32_t h, double s) {
  const double k = s / (h == 0 ? 1 : h);
  TTextPoint p;
  p.X = k * (double(x) + double(pen) - bounds.Left - double(halfwidth));
  p.Y = k * (double(y) - a - (h == 0 ? 1 : h) / 2.0);
  // A glyph of no width or no height has one texture coordinate along that axis.
  const double width = double(bounds.Right) - bounds.Left;
  const double height = double(bounds.Top) - bounds.Bottom;
  p.tu = width != 0 ? (double(x) - bounds.Left) / width : 0;
  p.tv = height != 0 ? (double(y) - bounds.Bottom) / height : 0;
  return p;
}

bool TriangleBlocked(const TStroke& stroke, TTextPoint2 a, TTextPoint2 q, TTextPoint2 b) {
  return TFillTriangle(a, q, b).Blocked(stroke);
}

void BuildTextCharacter(uint8_t character, TTTFToVectorConverter& converter, int32_t a, TArrayOfComposante& out,
                        bool fill, int64_t& pen, int64_t halfwidth, int32_t c, double d, int32_t h, double s) {
  const auto strokes = GetGlyphStrokes(converter, character);
  TTextBudget budget;
  BuildCharacterFromStrokes(strokes.get(), a, out, fill, pen, halfwidth, c, d, h, s, budget);
}

std::unique_ptr<TSolidObject> CreateText3D(const std::string& text, TTTFToVectorConverter& converter, int32_t a,
                                           bool fill, D3DCOLOR colour, int32_t c, double d, int32_t h, double s,
                                           TTextAllowance* allowance) {
  const std::string stored = StoredText(text);
  const std::string bytes = Utf8ToWin1252(stored);
  a = ClampUnits(a);
  c = ClampUnits(c);
  h = ClampUnits(h);
  d = SafeScalar(d, 0.2);
  s = SafeScalar(s, 1.0);

  // Each distinct character's strokes are read once for both passes, and its fill searched once.
  std::array<std::unique_ptr<TStrokeCollection>, 256> strokes;
  std::array<TGlyphFill, 256> fills;
  std::array<bool, 256> read{};
  auto strokesOf = [&](uint8_t ch) -> const TStrokeCollection* {
    if (!read[ch]) {
      strokes[ch] = GetGlyphStrokes(converter, ch);
      read[ch] = true;
    }
    return strokes[ch].get();
  };

  int64_t total = 0;
  for (char ch : bytes) {
    const TStrokeCollection* st = strokesOf(static_cast<uint8_t>(ch));
    if (st && st->Count() > 0) {
      const TGlyphRect r = st->GetBounds();
      total += (int64_t(r.Right) - r.Left) + c / 5;
    } else {
      total += c;
    }
  }
  const int64_t halfwidth = total / 2;

  TArrayOfComposante all, one;
  TTextBudget budget;
  if (allowance) {
    budget.Allowance = allowance;
    budget.MaxVertices = std::min(budget.MaxVertices, allowance->Vertices);
    budget.MaxFillTests = std::min(budget.MaxFillTests, allowance->FillTests);
  }
  int64_t pen = 0;
  for (char ch : bytes) {
    const auto code = static_cast<uint8_t>(ch);
    BuildCharacterFromStrokes(strokesOf(code), a, one, fill, pen, halfwidth, c, d, h, s, budget, &fills[code]);
    for (auto& part : one) all.push_back(std::move(part));
  }

  if (allowance) {
    allowance->Vertices -= budget.Vertices;
    allowance->FillTests -= std::min(budget.FillTests, allowance->FillTests);
  }
  // Made empty, then given the components by move: a large text is not copied twice.
  auto object = NewSolidFromComposantes({}, colour);
  object->Composantes = std::move(all);
  object->SetParam(1, static_cast<float>(converter.Precision()));
  object->SetParam(2, static_cast<float>(s));
  object->SetParam(3, static_cast<float>(h));
  object->SetParam(4, fill ? 1.0f : 0.0f);
  object->SetParam(5, static_cast<float>(d));
  object->SetParam(6, static_cast<float>(a));
  object->SetParam(7, static_cast<float>(c));
  object->SetTextParam(1, stored);
  object->SetTextParam(2, converter.Font.Name);
  object->ShapeType = stTexte3d;
  return object;
}

TFontMeasure MeasureFont(TTTFToVectorConverter& converter) {
  TFontMeasure m;
  for (int code = 0; code < 256; ++code) {
    const auto strokes = GetGlyphStrokes(converter, static_cast<uint32_t>(code));
    if (!strokes || strokes->Count() == 0) continue;
    const TGlyphRect r = strokes->GetBounds();
    m.Sum += int64_t(r.Right) - r.Left + 1;
    const int32_t height = r.Bottom - r.Top + 1;
    if (m.Count == 0 || height > m.Height) m.Height = height;
    if (m.Count == 0 || r.Top < m.Lowest) m.Lowest = r.Top;
    ++m.Count;
  }
  return m;
}

std::unique_ptr<TSolidObject> CreateDefaultText3D(const std::function<bool(const std::string&)>& nameExists) {
  TTTFToVectorConverter converter;
  converter.SetPrecision(1);
  const TFontMeasure m = MeasureFont(converter);  // measured in the converter's default font
  converter.Font.Name = "Times New Roman";
  std::string text = kDefaultText;
  while (nameExists && nameExists(text) && text.size() < kMaxTextParamLength) text += 'i';
  const int32_t c = static_cast<int32_t>(std::nearbyint(double(m.Sum) / 254.0));
  return CreateText3D(text, converter, m.Lowest, true, kOpaqueWhite, c, 0.2, m.Height, 1.0);
}

std::unique_ptr<TSolidObject> RebuildText3DObject(const TSolidObject& o, D3DCOLOR colour, TTextAllowance* allowance) {
  TTTFToVectorConverter converter;
  const double precision = o.GetParam(1);
  if (std::isfinite(precision) && precision >= 1 && precision <= 100)
    converter.SetPrecision(static_cast<int32_t>(std::lround(precision)));
  converter.Font.Name = o.GetTextParam(2).empty() ? std::string("Arial") : o.GetTextParam(2);
  return CreateText3D(o.GetTextParam(1), converter, UnitsFromParam(o.GetParam(6)), o.GetParam(4) != 0, colour,
                      UnitsFromParam(o.GetParam(7)), o.GetParam(5), UnitsFromParam(o.GetParam(3)), o.GetParam(2),
                      allowance);
}

bool BuildTextComposantes(uint8_t shapeType, const TSolidObject& o, TArrayOfComposante& out) {
  if (shapeType != stTexte3d) return false;
  TTTFToVectorConverter converter;
  const double precision = o.GetParam(1);
  if (std::isfinite(precision) && precision >= 1 && precision <= 100)
    converter.SetPrecision(static_cast<int32_t>(std::lround(precision)));
  converter.Font.Name = o.GetTextParam(2).empty() ? std::string("Arial") : o.GetTextParam(2);
  auto rebuilt =
      CreateText3D(o.GetTextParam(1), converter, UnitsFromParam(o.GetParam(6)), o.GetParam(4) != 0, 0,
                   UnitsFromParam(o.GetParam(7)), o.GetParam(5), UnitsFromParam(o.GetParam(3)), o.GetParam(2));
  out = std::move(rebuilt->Composantes);
  return true;
}

}  // namespace ixoral
