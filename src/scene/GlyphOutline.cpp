// Font families through fontconfig and glyph outlines through FreeType, converted to the native
// TrueType polygon format.
#include "scene/GlyphOutline.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_FONT_FORMATS_H
#include FT_OUTLINE_H

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <set>

namespace ixoral {

namespace {

// The FreeType library outlives every face made with it.
struct TFreeType {
  FT_Library Library = nullptr;
  TFreeType() {
    if (FT_Init_FreeType(&Library) != 0) Library = nullptr;
  }
  ~TFreeType() {
    if (Library) FT_Done_FreeType(Library);
  }
  TFreeType(const TFreeType&) = delete;
  TFreeType& operator=(const TFreeType&) = delete;
};

std::shared_ptr<TFreeType> FreeTypeLibrary() {
  static const std::shared_ptr<TFreeType> library = std::make_shared<TFreeType>();
  return library;
}

// Caches: faces by file and index, resolutions by family name. A document can name any number of
// families, so the name cache is emptied when it grows past this size.
constexpr size_t kMaxCachedNames = 256;

std::mutex& CacheMutex() {
  static std::mutex m;
  return m;
}

// The program's own fontconfig configuration, released at exit (fontconfig's implicit default
// configuration never is).
struct TFontConfig {
  FcConfig* Config = FcInitLoadConfigAndFonts();
  ~TFontConfig() {
    if (Config) FcConfigDestroy(Config);
  }
  TFontConfig() = default;
  TFontConfig(const TFontConfig&) = delete;
  TFontConfig& operator=(const TFontConfig&) = delete;
};

FcConfig* FontConfig() {
  static TFontConfig config;
  return config.Config;
}

}  // namespace

class TFontFace {
 public:
  TFontFace(std::shared_ptr<TFreeType> library, FT_Face face) : FLibrary(std::move(library)), Face(face) {}
  ~TFontFace() { FT_Done_Face(Face); }
  TFontFace(const TFontFace&) = delete;
  TFontFace& operator=(const TFontFace&) = delete;

  std::shared_ptr<TFreeType> FLibrary;
  FT_Face Face;
  std::mutex Mutex;  // a FreeType face serves one caller at a time
  bool SymbolMap = false;
};

namespace {

// Faces stay loaded once opened: there are at most as many as installed font files.
std::map<std::string, std::shared_ptr<TFontFace>>& FaceCache() {
  static std::map<std::string, std::shared_ptr<TFontFace>> cache;
  return cache;
}

std::map<std::string, TFontResolution>& ResolutionCache() {
  static std::map<std::string, TFontResolution> cache;
  return cache;
}

std::string FontFormat(FcPattern* font) {
  FcChar8* format = nullptr;
  if (FcPatternGetString(font, FC_FONTFORMAT, 0, &format) != FcResultMatch || !format) return {};
  return reinterpret_cast<const char*>(format);
}

TFontResolution ResolveUncached(const std::string& family) {
  TFontResolution result;
  FcConfig* config = FontConfig();
  if (!config) return result;
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return result;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(config, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult fcResult = FcResultNoMatch;
  FcFontSet* set = FcFontSort(config, pattern, FcFalse, nullptr, &fcResult);
  if (set) {
    // The best match that has TrueType outlines (quadratic pieces, as the text needs).
    for (int i = 0; i < set->nfont && !result.Found; ++i) {
      FcPattern* font = set->fonts[i];
      if (FontFormat(font) != "TrueType") continue;
      FcChar8* file = nullptr;
      FcChar8* name = nullptr;
      int index = 0;
      if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch || !file) continue;
      FcPatternGetInteger(font, FC_INDEX, 0, &index);
      FcPatternGetString(font, FC_FAMILY, 0, &name);
      result.Found = true;
      result.File = reinterpret_cast<const char*>(file);
      result.Index = index;
      result.Family = name ? reinterpret_cast<const char*>(name) : family;
    }
    FcFontSetDestroy(set);
  }
  FcPatternDestroy(pattern);
  return result;
}

std::shared_ptr<TFontFace> OpenFileLocked(const std::string& file, int index) {
  const std::string key = file + '\n' + std::to_string(index);
  auto& cache = FaceCache();
  if (auto it = cache.find(key); it != cache.end()) return it->second;
  auto library = FreeTypeLibrary();
  if (!library->Library || index < 0) return nullptr;
  FT_Face face = nullptr;
  if (FT_New_Face(library->Library, file.c_str(), index, &face) != 0 || !face) return nullptr;
  const char* format = FT_Get_Font_Format(face);
  if (!FT_IS_SCALABLE(face) || !format || std::strcmp(format, "TrueType") != 0 || face->units_per_EM == 0) {
    FT_Done_Face(face);
    return nullptr;
  }
  auto result = std::make_shared<TFontFace>(library, face);
  // Unicode when the font has it; symbol fonts map their characters at U+F000 + code.
  if (FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0 && FT_Select_Charmap(face, FT_ENCODING_MS_SYMBOL) == 0)
    result->SymbolMap = true;
  cache[key] = result;
  return result;
}

// Outline building in font units.
struct TPointD {
  double x = 0, y = 0;
};

class TNativeWriter {
 public:
  explicit TNativeWriter(double unitsPerEm) : FScale(double(kGlyphEm) * 65536.0 / unitsPerEm) {}

  std::vector<uint8_t> Bytes;

  void BeginContour(const TPointD& start) {
    FContourStart = Bytes.size();
    Put32(0);  // size, written at the end of the contour
    Put32(TT_POLYGON_TYPE);
    PutPoint(start);
    FRecordStart = SIZE_MAX;
  }
  void Point(uint16_t type, const TPointD& p) {
    if (FRecordStart == SIZE_MAX || FRecordType != type) OpenRecord(type);
    PutPoint(p);
    ++FRecordCount;
    PatchCount();
  }
  // Starts a new record even when the previous one has the same type (one spline per record).
  void OpenRecord(uint16_t type) {
    FRecordStart = Bytes.size();
    FRecordType = type;
    FRecordCount = 0;
    Put16(type);
    Put16(0);
  }
  // Removes the last point of the last record (a closing line the reader draws by itself).
  void DropLastLinePoint() {
    if (FRecordStart == SIZE_MAX || FRecordType != TT_PRIM_LINE || FRecordCount == 0) return;
    Bytes.resize(Bytes.size() - kPointFxSize);
    if (--FRecordCount == 0) {
      Bytes.resize(FRecordStart);
      FRecordStart = SIZE_MAX;
    } else {
      PatchCount();
    }
  }
  void EndContour() {
    const uint32_t size = static_cast<uint32_t>(Bytes.size() - FContourStart);
    std::memcpy(Bytes.data() + FContourStart, &size, 4);
    FRecordStart = SIZE_MAX;
  }

 private:
  void Put16(uint16_t v) {
    Bytes.push_back(static_cast<uint8_t>(v & 0xFF));
    Bytes.push_back(static_cast<uint8_t>(v >> 8));
  }
  void Put32(uint32_t v) {
    for (int i = 0; i < 4; ++i) Bytes.push_back(static_cast<uint8_t>((v >> (8 * i)) & 0xFF));
  }
  static uint32_t Fixed(double v) {
    const double r = std::nearbyint(v);
    const double c = std::clamp(r, double(INT32_MIN), double(INT32_MAX));
    return static_cast<uint32_t>(static_cast<int32_t>(c));
  }
  // Font units to 16.16 at an em of 1024, then x' = x·eM11 + y·eM21, y' = x·eM12 + y·eM22
  // with eM11 = eM22 = 1 + 1/65536 and eM12 = eM21 = 1/65536.
  void PutPoint(const TPointD& p) {
    const double x = p.x * FScale, y = p.y * FScale;
    const double e = 1.0 / 65536.0;
    Put32(Fixed(x * (1 + e) + y * e));
    Put32(Fixed(x * e + y * (1 + e)));
  }
  void PatchCount() {
    const uint16_t n = static_cast<uint16_t>(FRecordCount);
    Bytes[FRecordStart + 2] = static_cast<uint8_t>(n & 0xFF);
    Bytes[FRecordStart + 3] = static_cast<uint8_t>(n >> 8);
  }

  double FScale;
  size_t FContourStart = 0;
  size_t FRecordStart = SIZE_MAX;
  uint16_t FRecordType = 0;
  int FRecordCount = 0;
};

TPointD Mid(const TPointD& a, const TPointD& b) { return {(a.x + b.x) / 2, (a.y + b.y) / 2}; }

// One contour: on-curve points become line records; a run of conic control points with the
// on-curve point that ends it becomes one quadratic spline record; cubic pieces become cubic
// records.
void WriteContour(TNativeWriter& w, const TOutlinePoint* pts, int count) {
  auto point = [&](int i) { return TPointD{pts[i].x, pts[i].y}; };
  auto kind = [&](int i) { return pts[i].Kind; };
  if (count <= 0) return;

  // Start on an on-curve point: the first one, else the last one, else the implied midpoint.
  TPointD start;
  int first = 0, last = count - 1;  // points to walk, in order, after the start
  if (kind(0) == TOutlinePoint::On) {
    start = point(0);
    first = 1;
  } else if (kind(count - 1) == TOutlinePoint::On) {
    start = point(count - 1);
    last = count - 2;
  } else {
    start = Mid(point(count - 1), point(0));
  }
  w.BeginContour(start);

  std::vector<std::pair<TPointD, TOutlinePoint::TKind>> walk;  // after the start, then the start
  for (int i = first; i <= last; ++i) walk.push_back({point(i), kind(i)});
  walk.push_back({start, TOutlinePoint::On});

  bool lastWasLine = false;
  for (size_t i = 0; i < walk.size();) {
    if (walk[i].second == TOutlinePoint::On) {
      w.Point(TT_PRIM_LINE, walk[i].first);
      lastWasLine = true;
      ++i;
      continue;
    }
    const TOutlinePoint::TKind run = walk[i].second;
    const uint16_t type = run == TOutlinePoint::Cubic ? TT_PRIM_CSPLINE : TT_PRIM_QSPLINE;
    w.OpenRecord(type);
    while (i < walk.size() && walk[i].second == run) w.Point(type, walk[i++].first);
    // The on-curve end of the run (the start point closes the last run).
    if (i < walk.size() && walk[i].second == TOutlinePoint::On) {
      w.Point(type, walk[i++].first);
    } else if (i < walk.size()) {
      // A conic run followed directly by a cubic one (not in TrueType fonts): end on the midpoint.
      w.Point(type, Mid(walk[i - 1].first, walk[i].first));
    }
    lastWasLine = false;
  }
  // The reader closes every contour with a straight line back to its start.
  if (lastWasLine) w.DropLastLinePoint();
  w.EndContour();
}

}  // namespace

TFontResolution ResolveFontFamily(const std::string& family) {
  std::lock_guard lock(CacheMutex());
  auto& cache = ResolutionCache();
  if (auto it = cache.find(family); it != cache.end()) return it->second;
  TFontResolution r = ResolveUncached(family);
  if (cache.size() >= kMaxCachedNames) cache.clear();
  cache[family] = r;
  return r;
}

bool FontLookupAvailable() {
  std::lock_guard lock(CacheMutex());
  return FontConfig() != nullptr;
}

std::vector<std::string> ScreenFontFamilies() {
  std::set<std::string> families = {"Arial", "Times New Roman"};
  std::lock_guard lock(CacheMutex());
  FcConfig* config = FontConfig();
  if (!config) return {families.begin(), families.end()};
  FcPattern* pattern = FcPatternCreate();
  FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_FONTFORMAT, nullptr);
  if (pattern && objects) {
    if (FcFontSet* set = FcFontList(config, pattern, objects)) {
      for (int i = 0; i < set->nfont; ++i) {
        FcChar8* name = nullptr;
        if (FontFormat(set->fonts[i]) != "TrueType") continue;
        if (FcPatternGetString(set->fonts[i], FC_FAMILY, 0, &name) == FcResultMatch && name)
          families.insert(reinterpret_cast<const char*>(name));
      }
      FcFontSetDestroy(set);
    }
  }
  if (objects) FcObjectSetDestroy(objects);
  if (pattern) FcPatternDestroy(pattern);
  return {families.begin(), families.end()};
}

std::shared_ptr<TFontFace> OpenFontFamily(const std::string& family) {
  const TFontResolution r = ResolveFontFamily(family);
  if (!r.Found) return nullptr;
  return OpenFontFile(r.File, r.Index);
}

std::shared_ptr<TFontFace> OpenFontFile(const std::string& file, int index) {
  std::lock_guard lock(CacheMutex());
  return OpenFileLocked(file, index);
}

std::string FaceFamily(const TFontFace& face) { return face.Face->family_name ? face.Face->family_name : ""; }

std::vector<uint8_t> GetGlyphOutline(TFontFace& font, uint32_t codePoint) {
  std::lock_guard lock(font.Mutex);
  FT_Face face = font.Face;
  FT_UInt glyph = 0;
  if (font.SymbolMap) {
    glyph = FT_Get_Char_Index(face, 0xF000 + codePoint);
    if (glyph == 0) glyph = FT_Get_Char_Index(face, codePoint);
  } else {
    glyph = FT_Get_Char_Index(face, codePoint);
  }
  if (glyph == 0) return {};
  // Font units, unhinted: scaled to the em of 1024 while writing.
  if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0) return {};
  if (face->glyph->format != FT_GLYPH_FORMAT_OUTLINE) return {};
  const FT_Outline& outline = face->glyph->outline;
  if (outline.n_contours <= 0 || outline.n_points <= 0) return {};

  std::vector<TOutlinePoint> points(static_cast<size_t>(outline.n_points));
  for (int i = 0; i < outline.n_points; ++i) {
    const int tag = FT_CURVE_TAG(outline.tags[i]);
    points[i] = {double(outline.points[i].x), double(outline.points[i].y),
                 tag == FT_CURVE_TAG_ON      ? TOutlinePoint::On
                 : tag == FT_CURVE_TAG_CUBIC ? TOutlinePoint::Cubic
                                             : TOutlinePoint::Conic};
  }
  return EncodeOutline(points, std::vector<int>(outline.contours, outline.contours + outline.n_contours),
                       face->units_per_EM);
}

std::vector<uint8_t> EncodeOutline(const std::vector<TOutlinePoint>& points, const std::vector<int>& contourEnds,
                                   int unitsPerEm) {
  if (unitsPerEm <= 0) return {};
  TNativeWriter writer(unitsPerEm);
  int begin = 0;
  for (int end : contourEnds) {
    if (end < begin || end >= static_cast<int>(points.size())) break;  // malformed contour table
    WriteContour(writer, points.data() + begin, end - begin + 1);
    begin = end + 1;
  }
  return std::move(writer.Bytes);
}

uint32_t Win1252CodePoint(uint8_t byte) {
  static constexpr uint16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                         0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                         0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                         0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  if (byte >= 0x80 && byte < 0xA0) return kHigh[byte - 0x80];
  return byte;
}

}  // namespace ixoral
