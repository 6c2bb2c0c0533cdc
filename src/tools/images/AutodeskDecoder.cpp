// Autodesk Animator pictures (.cel, .pic) of the old style: a 32-byte header, a 256-colour
// palette of 6-bit components and one byte per pixel.
#include <new>

#include "tools/images/Image.h"

namespace ixoral {

namespace {

inline uint32_t Get16(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8); }

bool Autodesk(const uint8_t* data, size_t size, TImage& image, std::string& message) {
  image = TImage{};
  if (size < 32 || Get16(data) != 0x9119) {
    message = kMsgAutodeskOldStyle;
    return false;
  }
  message = kMsgAutodeskInvalid;
  const int64_t w = Get16(data + 2), h = Get16(data + 4);
  const int depth = data[10], compression = data[11];
  if (depth != 8 || compression != 0) {
    message = kMsgAutodeskOldStyle;
    return false;
  }
  if (!AcceptableImageSize(w, h, 0, 0)) return false;
  const size_t pixels = size_t(w) * size_t(h);
  if (32 + 768 + pixels > size) return false;
  image.Width = static_cast<int>(w);
  image.Height = static_cast<int>(h);
  image.BitsPerPixel = 8;
  image.Palette.resize(256);
  for (int i = 0; i < 256; ++i) {
    auto c = [&](int k) {
      const uint32_t v = data[32 + 3 * i + k] & 0x3F;
      return (v * 255 + 31) / 63;
    };
    image.Palette[i] = 0xFF000000u | (c(0) << 16) | (c(1) << 8) | c(2);
  }
  image.Indices.assign(data + 32 + 768, data + 32 + 768 + pixels);
  message.clear();
  return true;
}

}  // namespace

bool DecodeAutodesk(const uint8_t* data, size_t size, TImage& image, std::string& message) {
  try {
    return Autodesk(data, size, image, message);
  } catch (const std::bad_alloc&) {
    return ImageOutOfMemory(image, message);
  }
}

}  // namespace ixoral
