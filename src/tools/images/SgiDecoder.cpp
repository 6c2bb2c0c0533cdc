// SGI image decoding (.bw, .rgb): verbatim and run-length encoded channels of one or two bytes.
#include <algorithm>
#include <new>

#include "tools/images/Image.h"

namespace ixoral {

namespace {

inline uint32_t Be16(const uint8_t* p) { return (uint32_t(p[0]) << 8) | p[1]; }
inline uint32_t Be32(const uint8_t* p) { return (Be16(p) << 16) | Be16(p + 2); }

bool Sgi(const uint8_t* data, size_t size, TImage& image, std::string& message) {
  image = TImage{};
  message = kMsgSgiInvalid;
  if (size < 512 || Be16(data) != 474) return false;
  const int storage = data[2], bpc = data[3];
  const uint32_t dimension = Be16(data + 4);
  int64_t xs = Be16(data + 6), ys = Be16(data + 8), zs = Be16(data + 10);
  if ((storage != 0 && storage != 1) || (bpc != 1 && bpc != 2) || dimension < 1 || dimension > 3) return false;
  if (dimension == 1) ys = 1;
  if (dimension < 3) zs = 1;
  if (zs < 1 || zs > 4) return false;
  const size_t available = size - 512;
  if (!AcceptableImageSize(xs, ys, available, storage == 1 ? 4096 : 0)) return false;
  const size_t rowBytes = size_t(xs) * bpc;
  if (storage == 0 && rowBytes * size_t(ys) * size_t(zs) > available) return false;
  if (storage == 1 && size_t(ys) * size_t(zs) * 8 > available) return false;
  const int w = static_cast<int>(xs), h = static_cast<int>(ys);
  // Channel values, one plane per channel, rows bottom-up as stored.
  const int channels = static_cast<int>(zs);
  std::vector<uint8_t> planes(size_t(w) * h * channels);
  std::vector<uint8_t> row(rowBytes);
  for (int z = 0; z < channels; ++z)
    for (int y = 0; y < h; ++y) {
      uint8_t* out = &planes[(size_t(z) * h + y) * w];
      if (storage == 0) {
        const uint8_t* src = data + 512 + (size_t(z) * h + y) * rowBytes;
        for (int x = 0; x < w; ++x) out[x] = src[size_t(x) * bpc];  // high byte of 16-bit values
        continue;
      }
      const size_t index = size_t(z) * h + y;
      const uint64_t start = Be32(data + 512 + index * 4);
      const uint64_t length = Be32(data + 512 + size_t(ys) * zs * 4 + index * 4);
      if (start < 512 || start > size || length > size - start) return false;
      const uint8_t* p = data + start;
      const size_t n = size_t(length);
      size_t at = 0;
      int x = 0;
      auto value = [&](size_t k) -> int {
        if (at + (k + 1) * bpc > n) return -1;
        return p[at + k * bpc];  // high byte of 16-bit values
      };
      while (true) {
        const int head = value(0);
        if (head < 0) return false;
        at += bpc;
        const int count = head & 0x7F;
        if (count == 0) break;
        if (x + count > w) return false;
        if (head & 0x80) {
          for (int k = 0; k < count; ++k) {
            const int v = value(size_t(k));
            if (v < 0) return false;
            out[x++] = static_cast<uint8_t>(v);
          }
          at += size_t(count) * bpc;
        } else {
          const int v = value(0);
          if (v < 0) return false;
          at += bpc;
          for (int k = 0; k < count; ++k) out[x++] = static_cast<uint8_t>(v);
        }
      }
    }
  image.Width = w;
  image.Height = h;
  image.BitsPerPixel = 8 * std::min(channels, 4);
  image.Pixels.resize(size_t(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      auto c = [&](int z) { return uint32_t(planes[(size_t(z) * h + (h - 1 - y)) * w + x]); };
      const uint32_t r = c(0), g = channels >= 3 ? c(1) : r, b = channels >= 3 ? c(2) : r;
      image.Pixels[size_t(y) * w + x] = 0xFF000000u | (r << 16) | (g << 8) | b;
    }
  message.clear();
  return true;
}

}  // namespace

bool DecodeSgi(const uint8_t* data, size_t size, TImage& image, std::string& message) {
  try {
    return Sgi(data, size, image, message);
  } catch (const std::bad_alloc&) {
    return ImageOutOfMemory(image, message);
  }
}

}  // namespace ixoral
