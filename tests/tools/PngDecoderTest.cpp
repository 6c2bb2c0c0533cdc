// The PNG decoder: every colour type and depth gives the right 0xAARRGGBB pixels, and truncated,
// damaged and oversized files are refused with their message.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <string>
#include <utility>
#include <vector>

#include "tools/images/Image.h"

namespace ixoral {
namespace {

struct TPng {
  TPng(int w, int h, int type, int depth, std::vector<uint32_t> samples = {}, std::vector<png_byte> trns = {})
      : Width(w), Height(h), ColourType(type), Depth(depth), Samples(std::move(samples)), Trns(std::move(trns)) {}
  int Width, Height, ColourType, Depth;
  std::vector<uint32_t> Samples;  // per pixel and channel (palette indices for palettes)
  std::vector<png_byte> Trns;     // palette alphas, or the transparent grey's low byte
  bool Interlaced = false;
};

void Append(png_structp png, png_bytep data, size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

// The picture as libpng writes it; palettes are red, green, blue, (10, 20, 30).
std::vector<uint8_t> WritePng(const TPng& p) {
  int channels = (p.ColourType & PNG_COLOR_MASK_COLOR) && !(p.ColourType & PNG_COLOR_MASK_PALETTE) ? 3 : 1;
  if (p.ColourType & PNG_COLOR_MASK_ALPHA) ++channels;
  // Rows packed as stored: samples of fewer than 8 bits high bit first, 16 bits big-endian.
  std::vector<std::vector<png_byte>> rows(size_t(p.Height));
  std::vector<png_bytep> pointers;
  for (int y = 0; y < p.Height; ++y) {
    rows[y].assign((size_t(p.Width) * channels * p.Depth + 7) / 8, 0);
    for (int i = 0, n = p.Width * channels; i < n; ++i) {
      const uint32_t v = p.Samples[size_t(y) * n + i];
      if (p.Depth == 16)
        rows[y][2 * i] = png_byte(v >> 8), rows[y][2 * i + 1] = png_byte(v);
      else
        rows[y][i * p.Depth / 8] |= png_byte(v << (8 - p.Depth - i * p.Depth % 8));
    }
    pointers.push_back(rows[y].data());
  }
  const png_color palette[] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {10, 20, 30}};
  png_color_16 grey{};
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    ADD_FAILURE() << "libpng did not write the test picture";
    return {};
  }
  png_set_write_fn(png, &out, Append, nullptr);
  png_set_IHDR(png, info, p.Width, p.Height, p.Depth, p.ColourType, p.Interlaced ? PNG_INTERLACE_ADAM7 : 0, 0, 0);
  if (p.ColourType == PNG_COLOR_TYPE_PALETTE) png_set_PLTE(png, info, palette, std::min(4, 1 << p.Depth));
  grey.gray = p.Trns.empty() ? 0 : p.Trns[0];
  if (!p.Trns.empty()) png_set_tRNS(png, info, p.Trns.data(), static_cast<int>(p.Trns.size()), &grey);
  png_write_info(png, info);
  png_write_image(png, pointers.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

// A 16-bit sample as the decoder scales it to 8 bits.
constexpr uint32_t S16(uint32_t v) { return (v * 255 + 32895) / 65535; }

TEST(PngDecoder, EveryColourTypeAndDepthGivesItsPixels) {
  struct TCase {
    TPng Picture;
    std::vector<uint32_t> Expected;  // 0xAARRGGBB, rows top-down
    int Bits;                        // of the file
  };
  const TCase cases[] = {
      {{3, 1, PNG_COLOR_TYPE_PALETTE, 8, {0, 1, 2}, {255, 128}}, {0xFFFF0000, 0x8000FF00, 0xFF0000FF}, 8},
      // Ten 1-bit pixels cross a byte.
      {{10, 1, PNG_COLOR_TYPE_PALETTE, 1, {0, 1, 1, 0, 0, 0, 0, 0, 1, 0}},
       {0xFFFF0000, 0xFF00FF00, 0xFF00FF00, 0xFFFF0000, 0xFFFF0000, 0xFFFF0000, 0xFFFF0000, 0xFFFF0000, 0xFF00FF00,
        0xFFFF0000},
       1},
      {{2, 1, PNG_COLOR_TYPE_PALETTE, 4, {3, 2}}, {0xFF0A141E, 0xFF0000FF}, 4},
      {{4, 1, PNG_COLOR_TYPE_GRAY, 2, {0, 1, 2, 3}}, {0xFF000000, 0xFF555555, 0xFFAAAAAA, 0xFFFFFFFF}, 2},
      {{3, 1, PNG_COLOR_TYPE_GRAY, 8, {0x40, 0x80, 0x40}, {0x80}}, {0xFF404040, 0x00808080, 0xFF404040}, 8},
      {{2, 1, PNG_COLOR_TYPE_GRAY, 16, {0x8000, 0xFFFF}}, {0xFF000000 | S16(0x8000) * 0x010101, 0xFFFFFFFF}, 16},
      {{2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {0x40, 0x20, 0xFF, 0xFF}}, {0x20404040, 0xFFFFFFFF}, 16},
      {{1, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 16, {0x1234, 0x8000}}, {S16(0x8000) << 24 | S16(0x1234) * 0x010101}, 32},
      {{2, 1, PNG_COLOR_TYPE_RGB, 8, {1, 2, 3, 250, 251, 252}}, {0xFF010203, 0xFFFAFBFC}, 24},
      {{1, 1, PNG_COLOR_TYPE_RGB, 16, {0x1234, 0xABCD, 0xFFFF}},
       {0xFF0000FF | S16(0x1234) << 16 | S16(0xABCD) << 8},
       48},
      {{1, 2, PNG_COLOR_TYPE_RGB_ALPHA, 8, {1, 2, 3, 4, 5, 6, 7, 0}}, {0x04010203, 0x00050607}, 32},
      {{1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 16, {0xFFFF, 0, 0x8000, 0x4000}},
       {S16(0x4000) << 24 | 0xFF0000 | S16(0x8000)},
       64},
  };
  for (const TCase& c : cases) {
    const auto bytes = WritePng(c.Picture);
    const std::string name =
        "colour type " + std::to_string(c.Picture.ColourType) + ", " + std::to_string(c.Bits) + " bits";
    TImage im;
    std::string message = "left from before";
    ASSERT_TRUE(DecodePng(bytes.data(), bytes.size(), im, message)) << name << ": " << message;
    EXPECT_EQ(message, "") << name;
    EXPECT_EQ(im.BitsPerPixel, c.Bits) << name;
    EXPECT_EQ(im.Width, c.Picture.Width) << name;
    ASSERT_EQ(im.PixelCount(), int64_t(c.Expected.size())) << name;
    EXPECT_EQ(im.Pixels, c.Expected) << name;
  }
  // Interlaced: a 13 x 11 picture whose every pixel differs comes out as the plain one.
  TPng gradient{13, 11, PNG_COLOR_TYPE_RGB_ALPHA, 8};
  for (uint32_t i = 0; i < 13 * 11 * 4; ++i) gradient.Samples.push_back(i * 7 % 256);
  const auto plain = WritePng(gradient);
  gradient.Interlaced = true;
  const auto interlaced = WritePng(gradient);
  ASSERT_NE(plain, interlaced);
  TImage a, b;
  std::string message;
  ASSERT_TRUE(DecodePng(plain.data(), plain.size(), a, message)) << message;
  ASSERT_TRUE(DecodePng(interlaced.data(), interlaced.size(), b, message)) << message;
  EXPECT_EQ(a.Pixels, b.Pixels);
  EXPECT_EQ(b.PixelAt(12, 10), 0x9D888F96u);  // samples 568 to 571, times 7
}

// The file with its header's width and height replaced (the chunk's checksum made right).
std::vector<uint8_t> WithSize(std::vector<uint8_t> png, uint32_t w, uint32_t h) {
  for (int i = 0; i < 4; ++i) png[16 + i] = uint8_t(w >> (24 - 8 * i)), png[20 + i] = uint8_t(h >> (24 - 8 * i));
  const uint32_t crc = static_cast<uint32_t>(crc32(0, png.data() + 12, 17));
  for (int i = 0; i < 4; ++i) png[29 + i] = uint8_t(crc >> (24 - 8 * i));
  return png;
}

TEST(PngDecoder, DamagedTruncatedAndOversizedFilesAreRefused) {
  const auto good = WritePng({4, 4, PNG_COLOR_TYPE_GRAY, 8, std::vector<uint32_t>(16, 9)});
  auto refused = [](const std::vector<uint8_t>& b) {
    TImage im;
    std::string message;
    EXPECT_FALSE(DecodePng(b.data(), b.size(), im, message));
    EXPECT_TRUE(im.Width == 0 && im.Pixels.empty());
    return message;
  };
  auto damaged = [&](const std::vector<uint8_t>& b) { return refused(b).rfind(kMsgPngDamaged, 0) == 0; };
  EXPECT_EQ(refused({}), kMsgPngNotPng);
  EXPECT_EQ(refused({good.begin(), good.begin() + 5}), kMsgPngNotPng);
  // Cut in the header, in the pixel data, in and before the end chunk.
  for (size_t cut : {size_t(8), size_t(20), good.size() - 20, good.size() - 1, good.size() - 12})
    EXPECT_EQ(refused({good.begin(), good.begin() + long(cut)}), kMsgPngTruncated) << cut;
  std::vector<uint8_t> junk(good.begin(), good.begin() + 8);
  junk.resize(300, 0x5A);
  EXPECT_EQ(refused(junk).rfind("PNG : ", 0), 0u);
  auto bad = good;
  bad[17] ^= 1;  // the header's checksum no longer matches
  EXPECT_TRUE(damaged(bad));
  bad = good;
  bad[24] = 3;  // 3 bits per sample
  EXPECT_TRUE(damaged(WithSize(bad, 4, 4)));
  EXPECT_TRUE(damaged(WithSize(good, 4, 0)));
  // Sizes beyond the decoders' limits, and one no deflate stream of this file's length can fill,
  // are refused before any pixel is allocated.
  EXPECT_EQ(refused(WithSize(good, 100000, 100000)), std::string(kMsgPngSize) + " (100000 x 100000)");
  EXPECT_EQ(refused(WithSize(good, 0x7FFFFFFF, 1)), std::string(kMsgPngSize) + " (2147483647 x 1)");
  EXPECT_EQ(refused(WithSize(good, 16384, 16384)), std::string(kMsgPngSize) + " (16384 x 16384)");
}

}  // namespace
}  // namespace ixoral
