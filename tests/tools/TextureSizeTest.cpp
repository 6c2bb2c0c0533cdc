// Pictures larger than a texture keeps are reduced on loading, and a decoder that cannot allocate
// its pixels says so instead of aborting the program. The allocations are made to fail by a
// replacement of the global operator new that refuses blocks above a ceiling while a test sets one.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "tools/images/Image.h"

namespace {
// 0: no ceiling.
std::atomic<size_t> gAllocationCeiling{0};
}  // namespace

void* operator new(size_t size) {
  const size_t ceiling = gAllocationCeiling.load(std::memory_order_relaxed);
  if (ceiling != 0 && size > ceiling) throw std::bad_alloc();
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  const size_t ceiling = gAllocationCeiling.load(std::memory_order_relaxed);
  return ceiling != 0 && size > ceiling ? nullptr : std::malloc(size ? size : 1);
}
// The blocks come from malloc above, which the compiler cannot see once these are inlined.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace ixoral {
namespace {

// Blocks larger than `bytes` cannot be had while it lives.
class TAllocationCeiling {
 public:
  explicit TAllocationCeiling(size_t bytes) { gAllocationCeiling = bytes; }
  ~TAllocationCeiling() { gAllocationCeiling = 0; }
  TAllocationCeiling(const TAllocationCeiling&) = delete;
  TAllocationCeiling& operator=(const TAllocationCeiling&) = delete;
};

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

TImage Picture(int w, int h, uint32_t (*colour)(int x, int y)) {
  TImage im;
  im.Width = w, im.Height = h;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) im.Pixels.push_back(colour(x, y));
  return im;
}

TEST(TextureSize, PicturesAboveTheSideAreReducedByAveraging) {
  std::string message;
  // Black and white columns, twice the side: every reduced pixel is a black and white pair, half
  // grey; the aspect (8192 x 6 to 4096 x 3) is kept.
  TImage im = Picture(2 * kMaxTextureSide, 6, [](int x, int) { return x % 2 ? 0xFFFFFFFFu : 0xFF000000u; });
  ASSERT_TRUE(FitImageSide(im, kMaxTextureSide, message));
  ASSERT_EQ(im.Width, kMaxTextureSide);
  ASSERT_EQ(im.Height, 3);
  ASSERT_EQ(im.Pixels.size(), size_t(kMaxTextureSide) * 3);
  for (uint32_t c : im.Pixels) ASSERT_EQ(c, 0xFF808080u);
  // A ratio that is no whole number: 5 x 3 to 2 x 1. The first new pixel covers two and a half
  // columns (0, 0, half of 255), the second the rest; alpha is averaged like the colours.
  im = Picture(5, 3, [](int x, int) { return x >= 2 ? 0xFFFF40FFu : 0x00000000u; });
  ASSERT_TRUE(FitImageSide(im, 2, message));
  ASSERT_EQ(im.Width, 2);
  ASSERT_EQ(im.Height, 1);
  EXPECT_EQ(im.Pixels[0], 0x33330D33u);  // a fifth of each channel
  EXPECT_EQ(im.Pixels[1], 0xFFFF40FFu);
  // Tall pictures keep their aspect too; paletted ones become true colour.
  im = TImage{};
  im.Width = 2, im.Height = 8;
  im.Palette = {0xFF0000FFu, 0xFFFF0000u};
  im.Indices = {1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_TRUE(FitImageSide(im, 4, message));
  EXPECT_EQ(im.Pixels, (std::vector<uint32_t>{0xFFFF0000u, 0xFFFF0000u, 0xFF0000FFu, 0xFF0000FFu}));
  EXPECT_TRUE(im.Width == 1 && im.Height == 4 && !im.Paletted());
}

TEST(TextureSize, EveryLoadGoesThroughTheSideAndCountsWhatItDecoded) {
  // 8192 x 4 red and blue columns as a bitmap file, loaded as a texture.
  const TImage wide = Picture(2 * kMaxTextureSide, 4, [](int x, int) { return x % 2 ? 0xFFFF0000u : 0xFF0000FFu; });
  std::string bytes;
  ASSERT_TRUE(EncodeBmp(wide.Width, wide.Height, wide.Pixels.data(), bytes));
  TImage im;
  std::string message;
  ASSERT_TRUE(DecodeImage("bmp", reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), im, message));
  EXPECT_EQ(im.Width, kMaxTextureSide);
  EXPECT_EQ(im.Height, 2);
  EXPECT_EQ(im.PixelCount(), int64_t(kMaxTextureSide) * 2);
  EXPECT_EQ(im.DecodedPixels, int64_t(2 * kMaxTextureSide) * 4);
  EXPECT_EQ(im.PixelAt(100, 1), 0xFF800080u);
}

TEST(TextureSize, DecodersThatCannotAllocateTheirPixelsSaySo) {
  // The test pattern is 40 x 30: its pixels, indices or channel planes need more than 1100 bytes,
  // its palettes and rows less.
  const std::string images = std::string(IXORAL_TEST_DATA_DIR) + "/images/";
  for (const char* file : {"pattern24.bmp", "pattern8rle.bmp", "pattern.ico", "pattern.jpg", "pattern-lzw.tif",
                           "pattern.tga", "pattern-mapped-rle.tga", "pattern.rgb", "pattern.cel", "pattern.png"}) {
    const auto bytes = ReadFile(images + file);
    ASSERT_FALSE(bytes.empty()) << file;
    const std::string name = file;
    const TImageFormat* format = FindImageFormat(name.substr(name.rfind('.')));
    ASSERT_NE(format, nullptr) << file;
    TImage im;
    std::string message;
    ASSERT_TRUE(format->Decode(bytes.data(), bytes.size(), im, message)) << file << ": " << message;
    bool decoded = true;
    {
      TAllocationCeiling ceiling(1100);
      decoded = format->Decode(bytes.data(), bytes.size(), im, message);
    }
    EXPECT_FALSE(decoded) << file;
    EXPECT_EQ(message, kMsgImageOutOfMemory) << file;
    EXPECT_EQ(im.Width, 0) << file;
  }
}

TEST(TextureSize, ReducingWithoutMemoryLeavesThePicture) {
  TImage im = Picture(5000, 10, [](int x, int) { return uint32_t(x); });
  std::string message;
  TAllocationCeiling ceiling(4096);
  EXPECT_FALSE(FitImageSide(im, kMaxTextureSide, message));
  EXPECT_EQ(message, kMsgImageOutOfMemory);
  EXPECT_EQ(im.Pixels.size(), 50000u);
}

}  // namespace
}  // namespace ixoral
