// Truevision Targa decoding: colour-mapped, true-colour and grey pictures, raw or run-length
// encoded, with the origin and direction bits of the descriptor.
#include <algorithm>
#include <new>

#include "tools/images/Image.h"

namespace ixoral {

namespace {

inline uint32_t Get16(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8); }

// A colour of 15, 16, 24 or 32 bits, little-endian BGR(A).
inline uint32_t ReadColor(const uint8_t* p, int bits) {
  if (bits == 15 || bits == 16) {
    const uint32_t v = Get16(p);
    const uint32_t r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
    return 0xFF000000u | ((r * 255 / 31) << 16) | ((g * 255 / 31) << 8) | (b * 255 / 31);
  }
  return 0xFF000000u | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
}

bool Targa(const uint8_t* data, size_t size, TImage& image, std::string& message) {
  image = TImage{};
  message = kMsgTargaInvalid;
  if (size < 18) return false;
  const uint8_t idLength = data[0], mapType = data[1], type = data[2];
  const uint32_t mapFirst = Get16(data + 3), mapLength = Get16(data + 5);
  const int mapBits = data[7];
  const int64_t width = Get16(data + 12), height = Get16(data + 14);
  const int bits = data[16];
  const uint8_t descriptor = data[17];
  const bool rle = type >= 9;
  const int base = rle ? type - 8 : type;
  if (base < 1 || base > 3 || (type > 3 && type < 9) || type > 11) return false;
  const bool mapped = base == 1, grey = base == 3;
  if (mapped && (mapType != 1 || bits != 8)) return false;
  if (grey && bits != 8) return false;
  if (base == 2 && bits != 15 && bits != 16 && bits != 24 && bits != 32) return false;
  size_t pos = 18 + size_t(idLength);
  std::vector<uint32_t> palette;
  if (mapType == 1) {
    if (mapBits != 15 && mapBits != 16 && mapBits != 24 && mapBits != 32) return false;
    const size_t entry = size_t(mapBits + 7) / 8;
    if (pos + mapLength * entry > size) return false;
    if (mapped) {
      // Entry i of the file's map is colour index mapFirst + i.
      palette.assign(256, 0xFF000000u);
      for (uint32_t i = 0; i < mapLength && mapFirst + i < 256; ++i)
        palette[mapFirst + i] = ReadColor(data + pos + i * entry, mapBits);
    }
    pos += mapLength * entry;
  } else if (mapType != 0) {
    return false;
  }
  if (pos > size) return false;
  const size_t bpp = size_t(bits + 7) / 8;
  const size_t available = size - pos;
  if (!AcceptableImageSize(width, height, available, rle ? 128 : 0)) return false;
  const uint64_t pixels = uint64_t(width) * uint64_t(height);
  if (!rle && pixels * bpp > available) return false;
  if (grey) {
    palette.resize(256);
    for (uint32_t i = 0; i < 256; ++i) palette[i] = 0xFF000000u | (i << 16) | (i << 8) | i;
  }
  const bool paletted = mapped || grey;
  const int w = static_cast<int>(width), h = static_cast<int>(height);
  std::vector<uint8_t> indices;
  std::vector<uint32_t> colours;
  if (paletted)
    indices.resize(size_t(pixels));
  else
    colours.resize(size_t(pixels));
  // Pixels in file order; placed by the origin bits afterwards.
  const bool topDown = descriptor & 0x20, rightToLeft = descriptor & 0x10;
  auto place = [&](uint64_t i, const uint8_t* src) {
    int64_t x = int64_t(i % uint64_t(w)), y = int64_t(i / uint64_t(w));
    if (!topDown) y = h - 1 - y;
    if (rightToLeft) x = w - 1 - x;
    const size_t at = size_t(y) * size_t(w) + size_t(x);
    if (paletted)
      indices[at] = src[0];
    else
      colours[at] = ReadColor(src, bits);
  };
  const uint8_t* p = data + pos;
  if (!rle) {
    for (uint64_t i = 0; i < pixels; ++i) place(i, p + i * bpp);
  } else {
    // Packets may run on from one row to the next, but not past the picture.
    size_t at = 0;
    uint64_t i = 0;
    while (i < pixels) {
      if (at >= available) return false;
      const uint8_t header = p[at++];
      const uint64_t count = (header & 0x7F) + 1u;
      if (i + count > pixels) return false;
      if (header & 0x80) {
        if (at + bpp > available) return false;
        for (uint64_t k = 0; k < count; ++k) place(i + k, p + at);
        at += bpp;
      } else {
        if (at + count * bpp > available) return false;
        for (uint64_t k = 0; k < count; ++k) place(i + k, p + at + k * bpp);
        at += size_t(count * bpp);
      }
      i += count;
    }
  }
  image.Width = w;
  image.Height = h;
  image.BitsPerPixel = bits;
  if (paletted) {
    image.Palette = std::move(palette);
    image.Indices = std::move(indices);
  } else {
    image.Pixels = std::move(colours);
  }
  message.clear();
  return true;
}

}  // namespace

bool DecodeTarga(const uint8_t* data, size_t size, TImage& image, std::string& message) {
  try {
    return Targa(data, size, image, message);
  } catch (const std::bad_alloc&) {
    return ImageOutOfMemory(image, message);
  }
}

}  // namespace ixoral
