// Surfaces, the surface copy and the 2D drawing operations (pens, lines, FreeType text).
#include "render/device/Surface.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>
#include <new>

namespace ixoral {

TSurface::TSurface(int width, int height) {
  if (width <= 0 || height <= 0 || width > kMaxSurfaceSide || height > kMaxSurfaceSide ||
      int64_t{width} * height > kMaxSurfacePixels)
    return;
  // Pixels the memory cannot hold leave the surface invalid, refused as an oversized one is,
  // rather than ending the program.
  try {
    FPixels.assign(size_t(width) * height, 0xFF000000u);
  } catch (const std::bad_alloc&) {
    return;
  }
  FWidth = width;
  FHeight = height;
}

void TSurface::AttachDepth(bool withStencil) {
  FDepth.assign(FPixels.size(), 1.0f);
  if (withStencil)
    FStencil.assign(FPixels.size(), 0);
  else
    FStencil.clear();
}

void TSurface::DetachDepth() {
  FDepth.clear();
  FStencil.clear();
}

void TSurface::Fill(uint32_t color) { std::fill(FPixels.begin(), FPixels.end(), color); }

void TSurface::Blt(const D3DRECT& dst, const TSurface& src, const D3DRECT& srcRect) {
  const int64_t dw = int64_t{dst.x2} - dst.x1, dh = int64_t{dst.y2} - dst.y1;
  const int64_t sw = int64_t{srcRect.x2} - srcRect.x1, sh = int64_t{srcRect.y2} - srcRect.y1;
  if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return;
  const int x0 = std::max(dst.x1, 0), x1 = std::min(dst.x2, FWidth);
  const int y0 = std::max(dst.y1, 0), y1 = std::min(dst.y2, FHeight);
  for (int y = y0; y < y1; ++y) {
    const int64_t sy = srcRect.y1 + (int64_t{y - dst.y1} * sh) / dh;
    if (sy < 0 || sy >= src.FHeight) continue;
    uint32_t* row = &FPixels[size_t(y) * FWidth];
    const uint32_t* srow = &src.FPixels[size_t(sy) * src.FWidth];
    for (int x = x0; x < x1; ++x) {
      const int64_t sx = srcRect.x1 + (int64_t{x - dst.x1} * sw) / dw;
      if (sx < 0 || sx >= src.FWidth) continue;
      row[x] = srow[sx];
    }
  }
}

// ------------------------------------------------------------------------------------- fonts

struct TScreenFont::TImpl {
  FT_Library Library = nullptr;
  FT_Face Face = nullptr;
};

std::string TScreenFont::FindFontFile(const std::string& family) {
  std::string result;
  FcConfig* config = FcInitLoadConfigAndFonts();
  if (!config) return result;
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(family.c_str()));
  if (pattern) {
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult res = FcResultNoMatch;
    FcPattern* match = FcFontMatch(config, pattern, &res);
    if (match) {
      FcChar8* file = nullptr;
      if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file)
        result = reinterpret_cast<const char*>(file);
      FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
  }
  FcConfigDestroy(config);
  return result;
}

TScreenFont::TScreenFont(const std::string& fileName, int pixelHeight)
    : FImpl(std::make_unique<TImpl>()), FPixelHeight(std::clamp(pixelHeight, 1, 512)) {
  if (FT_Init_FreeType(&FImpl->Library) != 0) {
    FImpl->Library = nullptr;
    return;
  }
  if (fileName.empty() || FT_New_Face(FImpl->Library, fileName.c_str(), 0, &FImpl->Face) != 0) {
    FImpl->Face = nullptr;
    return;
  }
  FT_Set_Pixel_Sizes(FImpl->Face, 0, FPixelHeight);
}

TScreenFont::~TScreenFont() {
  if (FImpl->Face) FT_Done_Face(FImpl->Face);
  if (FImpl->Library) FT_Done_FreeType(FImpl->Library);
}

TScreenFont& TScreenFont::Default() { return Default(13); }

TScreenFont& TScreenFont::Default(int pixelHeight) {
  static std::mutex guard;
  static std::map<int, std::unique_ptr<TScreenFont>> fonts;
  static const std::string file = [] {
    std::string f = FindFontFile("Liberation Sans");
    return f.empty() ? FindFontFile("sans-serif") : f;
  }();
  const int height = std::clamp(pixelHeight, 4, 256);
  const std::lock_guard lock(guard);
  std::unique_ptr<TScreenFont>& font = fonts[height];
  if (!font) font = std::make_unique<TScreenFont>(file, height);
  return *font;
}

bool TScreenFont::Valid() const { return FImpl->Face != nullptr; }

int TScreenFont::Ascender() const {
  if (!Valid()) return 0;
  return static_cast<int>((FImpl->Face->size->metrics.ascender + 63) >> 6);
}

namespace {

// Decodes UTF-8; malformed bytes become U+FFFD.
std::vector<char32_t> DecodeUtf8(const std::string& s) {
  std::vector<char32_t> out;
  size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const int n = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (n < 0) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    char32_t cp = n == 0 ? c : (c & (0x3F >> n));
    bool ok = i + n < s.size();
    for (int k = 1; ok && k <= n; ++k) {
      const unsigned char cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (!ok) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    out.push_back(cp);
    i += n + 1;
  }
  return out;
}

}  // namespace

int TScreenFont::TextWidth(const std::string& text) const {
  if (!Valid()) return 0;
  int64_t width = 0;
  for (char32_t cp : DecodeUtf8(text)) {
    if (FT_Load_Char(FImpl->Face, cp, FT_LOAD_DEFAULT) != 0) continue;
    width += FImpl->Face->glyph->advance.x >> 6;
  }
  return static_cast<int>(std::min<int64_t>(width, 1 << 30));
}

// ------------------------------------------------------------------------------------ canvas

void TCanvas::PenDot(int x, int y) {
  const uint32_t c = 0xFF000000u | (FPen.Color & 0xFFFFFF);
  const int w = std::clamp(FPen.Width, 1, 64);
  const int off = (w - 1) / 2;
  for (int dy = 0; dy < w; ++dy)
    for (int dx = 0; dx < w; ++dx) FSurface.SetPixel(x - off + dx, y - off + dy, c);
}

void TCanvas::LineTo(int x, int y) {
  // Bresenham from the current position, the end point excluded; coordinates far outside the
  // surface are clipped first so that the loop stays bounded by the surface size.
  int64_t x0 = FX, y0 = FY;
  const int64_t x1 = x, y1 = y;
  FX = x;
  FY = y;
  const int64_t dx = std::llabs(x1 - x0), dy = -std::llabs(y1 - y0);
  const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  int64_t err = dx + dy;
  const int64_t limit = int64_t{FSurface.Width()} + FSurface.Height() + 4 * kMaxSurfaceSide;
  if (std::max(dx, -dy) > limit * 64) return;  // a line of that length is not drawn by the program
  while (!(x0 == x1 && y0 == y1)) {
    PenDot(static_cast<int>(x0), static_cast<int>(y0));
    const int64_t e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x0 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y0 += sy;
    }
  }
}

void TCanvas::TextOut(int x, int y, const std::string& utf8) {
  const TScreenFont* font = FFont ? FFont : &TScreenFont::Default();
  if (!font->Valid()) return;
  FT_Face face = font->FImpl->Face;
  const int baseline = y + font->Ascender();
  int64_t penX = x;
  const int tr = (FTextColor >> 16) & 0xFF, tg = (FTextColor >> 8) & 0xFF, tb = FTextColor & 0xFF;
  for (char32_t cp : DecodeUtf8(utf8)) {
    if (penX > FSurface.Width()) break;
    if (FT_Load_Char(face, cp, FT_LOAD_RENDER) != 0) continue;
    const FT_GlyphSlot g = face->glyph;
    const FT_Bitmap& bm = g->bitmap;
    if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) {
      for (unsigned row = 0; row < bm.rows; ++row) {
        const int py = baseline - g->bitmap_top + static_cast<int>(row);
        if (py < 0 || py >= FSurface.Height()) continue;
        for (unsigned col = 0; col < bm.width; ++col) {
          const int64_t px = penX + g->bitmap_left + col;
          if (px < 0 || px >= FSurface.Width()) continue;
          const int cov = bm.buffer[row * bm.pitch + col];
          if (cov == 0) continue;
          const uint32_t d = FSurface.Pixel(static_cast<int>(px), py);
          auto mix = [cov](int s, int dd) { return (s * cov + dd * (255 - cov) + 127) / 255; };
          const uint32_t r = mix(tr, (d >> 16) & 0xFF), gg = mix(tg, (d >> 8) & 0xFF), b = mix(tb, d & 0xFF);
          FSurface.SetPixel(static_cast<int>(px), py, (d & 0xFF000000u) | (r << 16) | (gg << 8) | b);
        }
      }
    }
    penX += g->advance.x >> 6;
  }
}

}  // namespace ixoral
