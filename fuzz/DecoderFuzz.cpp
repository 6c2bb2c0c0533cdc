// Fuzz harness of the picture decoders. The first byte picks the format in the registry's order
// (ImageFormats(): bmp, ico, jpg, png, tif, bw, rgb, cel, tga) and, by its high bit, whether the
// decoded picture is also reduced to a small side; the rest is the file. Whatever the input, a
// decoder either refuses it with a message and an empty picture or gives a picture whose sizes,
// pixels and palette agree, and the reduction keeps that true.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tools/images/Image.h"

namespace {

// A side that is no power of two, so that reductions by ratios that are no whole number are tried.
constexpr int kFuzzSide = 37;

void Require(bool condition) {
  if (!condition) std::abort();
}

// The picture's own consistency; every pixel is read so that a short buffer shows under the
// address sanitizer.
void CheckPicture(const ixoral::TImage& image) {
  Require(image.Width > 0 && image.Height > 0);
  Require(image.Width <= ixoral::kMaxImageSide && image.Height <= ixoral::kMaxImageSide);
  const size_t count = size_t(image.PixelCount());
  if (image.Paletted()) {
    Require(image.Indices.size() == count && image.Pixels.empty());
    Require(!image.Palette.empty() && image.Palette.size() <= 256);
  } else {
    Require(image.Pixels.size() == count && image.Indices.empty());
  }
  uint32_t sum = 0;
  for (int y = 0; y < image.Height; ++y)
    for (int x = 0; x < image.Width; ++x) sum += image.PixelAt(x, y);
  [[maybe_unused]] static volatile uint32_t sink;  // keeps the reads
  sink = sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const auto& formats = ixoral::ImageFormats();
  const ixoral::TImageFormat& format = formats[(data[0] & 0x7F) % formats.size()];
  const bool reduce = data[0] & 0x80;
  ixoral::TImage image;
  std::string message;
  if (!format.Decode(data + 1, size - 1, image, message)) {
    Require(!message.empty());
    Require(image.Width == 0 && image.Height == 0 && image.Pixels.empty() && image.Indices.empty());
    return 0;
  }
  Require(message.empty());
  CheckPicture(image);
  if (!reduce) return 0;
  const int w = image.Width, h = image.Height;
  Require(ixoral::FitImageSide(image, kFuzzSide, message));
  CheckPicture(image);
  if (w <= kFuzzSide && h <= kFuzzSide) {
    Require(image.Width == w && image.Height == h);
  } else {
    // The longer side is the limit, and the shorter one keeps the ratio within a pixel.
    const bool wide = w >= h;
    Require((wide ? image.Width : image.Height) == kFuzzSide);
    const int64_t longer = wide ? w : h, shorter = wide ? h : w;
    const int64_t reduced = wide ? image.Height : image.Width;
    Require(reduced >= 1 && reduced <= kFuzzSide);
    Require(reduced == 1 || std::abs(reduced * longer - shorter * kFuzzSide) <= longer);
    Require(!image.Paletted());
  }
  return 0;
}
