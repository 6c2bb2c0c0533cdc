// Decoders of the window system's bitmap (.bmp) and icon (.ico) formats: 1, 4, 8, 16, 24 and
// 32 bits per pixel, bottom-up and top-down rows, RLE4 and RLE8, bit-field masks.
#include <algorithm>
#include <cstring>
#include <new>

#include "tools/images/Image.h"

namespace ixoral {

namespace {

inline uint32_t Get16(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8); }
inline uint32_t Get32(const uint8_t* p) { return Get16(p) | (Get16(p + 2) << 16); }

enum : uint32_t { kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiAlphaBitfields = 6 };

struct TMask {
  uint32_t Mask = 0;
  int Shift = 0, Bits = 0;
  explicit TMask(uint32_t m = 0) : Mask(m) {
    if (!m) return;
    while (!((m >> Shift) & 1)) ++Shift;
    while (Shift + Bits < 32 && ((m >> (Shift + Bits)) & 1)) ++Bits;
  }
  uint32_t Extract(uint32_t v) const {
    if (!Bits) return 0;
    const uint32_t x = (v & Mask) >> Shift;
    const uint32_t max = Bits >= 32 ? 0xFFFFFFFFu : ((1u << Bits) - 1);
    return static_cast<uint32_t>((uint64_t{x} * 255 + max / 2) / max);
  }
};

// Run-length data of 4 or 8 bits per pixel into bottom-up `indices`; false on runs that leave the
// row or the picture, or on data that ends before the end-of-picture mark.
bool DecodeRle(const uint8_t* p, size_t n, int width, int height, bool four, bool topDown,
               std::vector<uint8_t>& indices) {
  int64_t x = 0, y = 0;  // y counts rows from the first stored row
  size_t i = 0;
  auto put = [&](uint8_t v) -> bool {
    if (x >= width || y >= height) return false;
    const int64_t row = topDown ? y : height - 1 - y;
    indices[size_t(row) * width + size_t(x)] = v;
    ++x;
    return true;
  };
  while (true) {
    if (i + 2 > n) return false;
    const uint8_t count = p[i], value = p[i + 1];
    i += 2;
    if (count > 0) {
      for (int k = 0; k < count; ++k) {
        const uint8_t v = four ? ((k & 1) ? (value & 0x0F) : (value >> 4)) : value;
        if (!put(v)) return false;
      }
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++y;
      if (y > height) return false;
    } else if (value == 1) {  // end of picture
      return true;
    } else if (value == 2) {  // delta
      if (i + 2 > n) return false;
      x += p[i];
      y += p[i + 1];
      i += 2;
      if (x > width || y > height) return false;
    } else {  // absolute run of `value` pixels, padded to a 16-bit boundary
      const size_t bytes = four ? (size_t(value) + 1) / 2 : value;
      if (i + bytes > n) return false;
      for (int k = 0; k < value; ++k) {
        const uint8_t b = four ? p[i + k / 2] : p[i + k];
        const uint8_t v = four ? ((k & 1) ? (b & 0x0F) : (b >> 4)) : b;
        if (!put(v)) return false;
      }
      i += (bytes + 1) & ~size_t{1};
    }
  }
}

// A device-independent bitmap: header, palette and pixels. `pixelOffset` is where the pixels
// start, counted from `dib` (SIZE_MAX: right after the palette, as in icons). Icons store twice
// their height (colour rows, then the transparency mask).
bool DecodeDib(const uint8_t* dib, size_t size, size_t pixelOffset, bool icon, TImage& image) {
  if (size < 12) return false;
  const uint32_t headerSize = Get32(dib);
  if (headerSize < 12 || headerSize > size) return false;
  int64_t width, height;
  uint32_t bpp, compression = kBiRgb, colorsUsed = 0;
  bool core = headerSize < 40;
  if (core) {
    if (headerSize != 12) return false;
    width = Get16(dib + 4);
    height = int16_t(Get16(dib + 6));
    bpp = Get16(dib + 10);
  } else {
    width = int32_t(Get32(dib + 4));
    height = int32_t(Get32(dib + 8));
    bpp = Get16(dib + 14);
    compression = Get32(dib + 16);
    colorsUsed = Get32(dib + 32);
  }
  bool topDown = height < 0;
  if (topDown) height = -height;
  if (icon) height /= 2;
  if (width <= 0 || height <= 0) return false;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
  size_t pos = headerSize;
  // Colour masks.
  TMask r(0x7C00), g(0x03E0), b(0x001F);
  if (bpp == 32) r = TMask(0xFF0000), g = TMask(0xFF00), b = TMask(0xFF);
  if (compression == kBiBitfields || compression == kBiAlphaBitfields) {
    if (bpp != 16 && bpp != 32) return false;
    const uint8_t* m;
    if (headerSize >= 52) {
      m = dib + 40;
    } else {
      const size_t maskBytes = compression == kBiAlphaBitfields ? 16 : 12;
      if (pos + maskBytes > size) return false;
      m = dib + pos;
      pos += maskBytes;
    }
    r = TMask(Get32(m)), g = TMask(Get32(m + 4)), b = TMask(Get32(m + 8));
  } else if (compression == kBiRle8) {
    if (bpp != 8) return false;
  } else if (compression == kBiRle4) {
    if (bpp != 4) return false;
  } else if (compression != kBiRgb) {
    return false;
  }
  // Palette.
  std::vector<uint32_t> palette;
  if (bpp <= 8) {
    uint32_t count = colorsUsed ? colorsUsed : (1u << bpp);
    if (count > 256) return false;
    const size_t entry = core ? 3 : 4;
    if (pos + size_t(count) * entry > size) return false;
    for (uint32_t k = 0; k < count; ++k) {
      const uint8_t* e = dib + pos + k * entry;
      palette.push_back(0xFF000000u | (uint32_t(e[2]) << 16) | (uint32_t(e[1]) << 8) | e[0]);
    }
    pos += size_t(count) * entry;
  }
  if (pixelOffset == SIZE_MAX) pixelOffset = pos;
  if (pixelOffset >= size) return false;
  const uint8_t* px = dib + pixelOffset;
  const size_t available = size - pixelOffset;

  image.Width = static_cast<int>(std::min<int64_t>(width, 1 << 30));
  image.Height = static_cast<int>(std::min<int64_t>(height, 1 << 30));
  image.BitsPerPixel = static_cast<int>(bpp);
  if (compression == kBiRle8 || compression == kBiRle4) {
    if (!AcceptableImageSize(width, height, available, 2048)) return false;
    image.Palette = palette;
    image.Indices.assign(size_t(width * height), 0);
    return DecodeRle(px, available, image.Width, image.Height, compression == kBiRle4, topDown, image.Indices);
  }
  const uint64_t stride = ((uint64_t(width) * bpp + 31) / 32) * 4;
  if (!AcceptableImageSize(width, height, 0, 0)) return false;
  const uint64_t lastRow = (uint64_t(width) * bpp + 7) / 8;
  if (stride * uint64_t(height - 1) + lastRow > available) return false;
  const int w = image.Width, h = image.Height;
  if (bpp <= 8) {
    image.Palette = palette;
    image.Indices.assign(size_t(w) * h, 0);
  } else {
    image.Pixels.assign(size_t(w) * h, 0);
  }
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = px + size_t(stride) * size_t(topDown ? y : h - 1 - y);
    for (int x = 0; x < w; ++x) {
      const size_t out = size_t(y) * w + x;
      switch (bpp) {
        case 1:
          image.Indices[out] = (row[x >> 3] >> (7 - (x & 7))) & 1;
          break;
        case 4:
          image.Indices[out] = (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
          break;
        case 8:
          image.Indices[out] = row[x];
          break;
        case 16: {
          const uint32_t v = Get16(row + 2 * x);
          image.Pixels[out] = 0xFF000000u | (r.Extract(v) << 16) | (g.Extract(v) << 8) | b.Extract(v);
          break;
        }
        case 24:
          image.Pixels[out] =
              0xFF000000u | (uint32_t(row[3 * x + 2]) << 16) | (uint32_t(row[3 * x + 1]) << 8) | row[3 * x];
          break;
        default: {
          const uint32_t v = Get32(row + 4 * x);
          image.Pixels[out] = 0xFF000000u | (r.Extract(v) << 16) | (g.Extract(v) << 8) | b.Extract(v);
          break;
        }
      }
    }
  }
  return true;
}

bool Bmp(const uint8_t* data, size_t size, TImage& image, std::string& message) {
  image = TImage{};
  if (size < 14 + 12 || data[0] != 'B' || data[1] != 'M') {
    message = kMsgInvalidBitmap;
    return false;
  }
  const uint32_t offBits = Get32(data + 10);
  if (offBits < 14 + 12 || offBits >= size || !DecodeDib(data + 14, size - 14, offBits - 14, false, image)) {
    image = TImage{};
    message = kMsgInvalidBitmap;
    return false;
  }
  return true;
}

bool Ico(const uint8_t* data, size_t size, TImage& image, std::string& message) {
  image = TImage{};
  message = kMsgInvalidIcon;
  if (size < 6 || Get16(data) != 0 || (Get16(data + 2) != 1 && Get16(data + 2) != 2)) return false;
  const uint32_t count = Get16(data + 4);
  if (count == 0 || 6 + size_t(count) * 16 > size) return false;
  // The largest picture, the deepest on equal sizes.
  int best = -1;
  uint64_t bestArea = 0;
  uint32_t bestBpp = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* e = data + 6 + i * 16;
    const uint64_t w = e[0] ? e[0] : 256, h = e[1] ? e[1] : 256;
    const uint32_t bpp = Get16(e + 6);
    if (best < 0 || w * h > bestArea || (w * h == bestArea && bpp > bestBpp)) {
      best = static_cast<int>(i);
      bestArea = w * h;
      bestBpp = bpp;
    }
  }
  const uint8_t* e = data + 6 + best * 16;
  const uint32_t bytes = Get32(e + 8), offset = Get32(e + 12);
  if (offset >= size || bytes > size - offset) return false;
  if (!DecodeDib(data + offset, bytes, SIZE_MAX, true, image)) {
    image = TImage{};
    return false;
  }
  message.clear();
  return true;
}

}  // namespace

bool DecodeBmp(const uint8_t* data, size_t size, TImage& image, std::string& message) {
  try {
    return Bmp(data, size, image, message);
  } catch (const std::bad_alloc&) {
    return ImageOutOfMemory(image, message);
  }
}

bool DecodeIco(const uint8_t* data, size_t size, TImage& image, std::string& message) {
  try {
    return Ico(data, size, image, message);
  } catch (const std::bad_alloc&) {
    return ImageOutOfMemory(image, message);
  }
}

}  // namespace ixoral
