// Drawing surfaces of the device: 32-bit colour (0xAARRGGBB), with an optional attached depth and
// 8-bit stencil plane, and the 2D operations the drawing does on them (pens, lines, text, copies).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "render/device/D3DConstants.h"
#include "scene/LightDevice.h"

namespace ixoral {

// The largest surface the device makes: a side of 16384 pixels and 64 Mpixels in all.
inline constexpr int kMaxSurfaceSide = 16384;
inline constexpr int64_t kMaxSurfacePixels = int64_t{64} << 20;

class TSurface final : public TTextureSurface {
 public:
  // An empty surface (0 x 0) when the size is not positive or beyond the limits above.
  TSurface(int width, int height);

  int Width() const override { return FWidth; }
  int Height() const override { return FHeight; }
  bool Valid() const { return FWidth > 0 && FHeight > 0; }

  // Attaches a depth plane (and a stencil plane when wanted), cleared to 1.0 and 0.
  void AttachDepth(bool withStencil);
  void DetachDepth();
  bool HasDepth() const { return !FDepth.empty(); }
  bool HasStencil() const { return !FStencil.empty(); }

  uint32_t* Pixels() { return FPixels.data(); }
  const uint32_t* Pixels() const { return FPixels.data(); }
  float* Depth() { return FDepth.data(); }
  uint8_t* Stencil() { return FStencil.data(); }
  uint32_t Pixel(int x, int y) const { return FPixels[size_t(y) * FWidth + x]; }
  void SetPixel(int x, int y, uint32_t c) {
    if (x >= 0 && y >= 0 && x < FWidth && y < FHeight) FPixels[size_t(y) * FWidth + x] = c;
  }
  float DepthAt(int x, int y) const { return FDepth[size_t(y) * FWidth + x]; }
  uint8_t StencilAt(int x, int y) const { return FStencil[size_t(y) * FWidth + x]; }

  void Fill(uint32_t color);
  // Copies srcRect of `source` to dstRect of this surface, stretched with the nearest pixel when
  // the sizes differ; both rectangles are clipped to their surfaces.
  void Blt(const D3DRECT& dstRect, const TSurface& source, const D3DRECT& srcRect);

 private:
  int FWidth = 0, FHeight = 0;
  std::vector<uint32_t> FPixels;
  std::vector<float> FDepth;
  std::vector<uint8_t> FStencil;
};

// A FreeType face at a pixel size, used to draw text on surfaces.
class TScreenFont {
 public:
  // The file of a family through fontconfig; empty when none is found.
  static std::string FindFontFile(const std::string& family);
  // Loads the face; Valid() is false when the file cannot be read.
  TScreenFont(const std::string& fileName, int pixelHeight);
  ~TScreenFont();
  TScreenFont(const TScreenFont&) = delete;
  TScreenFont& operator=(const TScreenFont&) = delete;

  // The window system's default user-interface font (a sans-serif family at 13 pixels), and the
  // same family at another height (kept once made).
  static TScreenFont& Default();
  static TScreenFont& Default(int pixelHeight);

  bool Valid() const;
  int PixelHeight() const { return FPixelHeight; }
  int Ascender() const;
  // Width in pixels of a UTF-8 text.
  int TextWidth(const std::string& text) const;

 private:
  friend class TCanvas;
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
  int FPixelHeight;
};

// A pen of the window system: solid, of a width in pixels and a colour 0xRRGGBB.
struct TPen {
  int Width = 1;
  uint32_t Color = 0xFFFFFF;
};

// The 2D drawing operations on one surface, in the manner of a window-system device context.
class TCanvas {
 public:
  explicit TCanvas(TSurface& surface) : FSurface(surface) {}

  void SetPen(const TPen& pen) { FPen = pen; }
  void MoveTo(int x, int y) {
    FX = x;
    FY = y;
  }
  // A line from the current position to (x, y), that last point excluded; (x, y) becomes current.
  void LineTo(int x, int y);
  void SetTextColor(uint32_t rgb) { FTextColor = rgb; }
  void SetFont(const TScreenFont* font) { FFont = font; }
  // Text with a transparent background, its cell's top-left corner at (x, y), unclipped except by
  // the surface.
  void TextOut(int x, int y, const std::string& utf8);

 private:
  void PenDot(int x, int y);
  TSurface& FSurface;
  TPen FPen;
  int FX = 0, FY = 0;
  uint32_t FTextColor = 0;
  const TScreenFont* FFont = nullptr;
};

}  // namespace ixoral
