// The picture decoders: every supported variant decodes the same test pattern, and damaged or
// hostile files give the format's message without crashing or allocating by their headers.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <cstdio>

#include <jpeglib.h>

#include "tools/images/Image.h"

namespace ixoral {
namespace {

const std::string kImages = std::string(IXORAL_TEST_DATA_DIR) + "/images/";

uint32_t PatternColour(int x, int y) {
  static const uint32_t pal[16] = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
                                   0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0x808080, 0x4020C8};
  return 0xFF000000u | pal[(x / 5 + (y / 5) * 3) % 16];
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// Largest channel difference from the pattern over the whole picture.
int PatternError(const TImage& im) {
  int worst = 0;
  for (int y = 0; y < im.Height; ++y)
    for (int x = 0; x < im.Width; ++x) {
      const uint32_t a = im.PixelAt(x, y), b = PatternColour(x, y);
      for (int s = 0; s < 24; s += 8) worst = std::max(worst, std::abs(int((a >> s) & 0xFF) - int((b >> s) & 0xFF)));
    }
  return worst;
}

struct TCase {
  const char* File;
  int Tolerance;
  bool Paletted;
};

class PatternFiles : public ::testing::TestWithParam<TCase> {};

TEST_P(PatternFiles, DecodeToTheTestPattern) {
  const TCase c = GetParam();
  TImage im;
  std::string message;
  ASSERT_TRUE(LoadImageFile(kImages + c.File, im, message)) << c.File << ": " << message;
  EXPECT_EQ(im.Width, 40);
  EXPECT_EQ(im.Height, 30);
  EXPECT_EQ(im.Paletted(), c.Paletted) << c.File;
  EXPECT_LE(PatternError(im), c.Tolerance) << c.File;
}

INSTANTIATE_TEST_SUITE_P(AllFormats, PatternFiles,
                         ::testing::Values(TCase{"pattern24.bmp", 0, false}, TCase{"pattern8.bmp", 0, true},
                                           TCase{"pattern8rle.bmp", 0, true}, TCase{"pattern4.bmp", 16, true},
                                           TCase{"pattern16.bmp", 8, false}, TCase{"pattern32.bmp", 0, false},
                                           TCase{"pattern.ico", 0, false}, TCase{"pattern.jpg", 40, false},
                                           TCase{"pattern-progressive.jpg", 40, false}, TCase{"pattern.tif", 0, false},
                                           TCase{"pattern-lzw.tif", 0, false}, TCase{"pattern-zip.tif", 0, false},
                                           TCase{"pattern-packbits.tif", 0, false}, TCase{"pattern.tga", 0, false},
                                           TCase{"pattern-rle.tga", 0, false}, TCase{"pattern-mapped-rle.tga", 0, true},
                                           TCase{"pattern.rgb", 0, false}, TCase{"pattern-verbatim.rgb", 0, false},
                                           TCase{"pattern.png", 0, false}));

TEST(ImageFormats, RegistryByExtensionWithDescriptions) {
  EXPECT_EQ(FindImageFormat("BMP")->Decode, &DecodeBmp);
  EXPECT_EQ(FindImageFormat(".jpeg")->Decode, &DecodeJpeg);
  EXPECT_EQ(FindImageFormat("bw")->Description, "SGI black/white images");
  EXPECT_EQ(FindImageFormat("rgb")->Description, "SGI true color images");
  EXPECT_EQ(FindImageFormat("pic")->Description, "Autodesk images");
  EXPECT_EQ(FindImageFormat("tiff")->Description, "TIFF images");
  for (const char* e : {"tga", "vst", "icb", "vda", "win"})
    EXPECT_EQ(FindImageFormat(e)->Description, "Truevision images");
  EXPECT_EQ(FindImageFormat(".Png")->Decode, &DecodePng);
  EXPECT_EQ(FindImageFormat("gif"), nullptr);
  EXPECT_EQ(ImageFileMask(),
            "*.bmp;*.ico;*.jpg;*.jpeg;*.png;*.tif;*.tiff;*.bw;*.rgb;*.cel;*.pic;*.tga;*.vst;*.icb;*.vda;*.win");
  TImage im;
  std::string message;
  EXPECT_FALSE(LoadImageFile(kImages + "missing.bmp", im, message));
  EXPECT_FALSE(LoadImageFile(kImages + "pattern24.xyz", im, message));
}

TEST(ImageFormats, GreyAndTwoColourPictures) {
  TImage im;
  std::string message;
  ASSERT_TRUE(LoadImageFile(kImages + "pattern.bw", im, message)) << message;
  ASSERT_TRUE(LoadImageFile(kImages + "pattern-gray.jpg", im, message)) << message;
  const uint32_t c = im.PixelAt(7, 2);  // red in the pattern: a dark grey
  EXPECT_EQ((c >> 16) & 0xFF, c & 0xFF);
  ASSERT_TRUE(LoadImageFile(kImages + "pattern1.bmp", im, message)) << message;
  EXPECT_EQ(im.BitsPerPixel, 1);
  EXPECT_EQ(im.PixelAt(0, 0), 0xFF000000u);
  EXPECT_EQ(im.PixelAt(5, 0), 0xFFFFFFFFu);
}

// ----------------------------------------------------------------- hand-made bitmap variants

struct TBmpBuilder {
  std::vector<uint8_t> Bytes;
  void U16(uint32_t v) {
    Bytes.push_back(v & 0xFF);
    Bytes.push_back((v >> 8) & 0xFF);
  }
  void U32(uint32_t v) {
    U16(v & 0xFFFF);
    U16(v >> 16);
  }
};

// A 4 x 2 bitmap of `bpp` with the given pixel bytes, rows as stored.
std::vector<uint8_t> Bitmap(int32_t w, int32_t h, int bpp, uint32_t compression, const std::vector<uint32_t>& palette,
                            const std::vector<uint8_t>& pixels) {
  TBmpBuilder b;
  const uint32_t off = 14 + 40 + 4 * uint32_t(palette.size());
  b.Bytes = {'B', 'M'};
  b.U32(off + uint32_t(pixels.size()));
  b.U32(0);
  b.U32(off);
  b.U32(40);
  b.U32(uint32_t(w));
  b.U32(uint32_t(h));
  b.U16(1);
  b.U16(bpp);
  b.U32(compression);
  b.U32(uint32_t(pixels.size()));
  b.U32(0), b.U32(0);
  b.U32(uint32_t(palette.size()));
  b.U32(0);
  for (uint32_t c : palette) b.U32(c);
  b.Bytes.insert(b.Bytes.end(), pixels.begin(), pixels.end());
  return b.Bytes;
}

TEST(BmpDecoder, TopDownRowsAndRle4) {
  // 2 x 2, 24 bits, top-down (negative height): first stored row is the top.
  auto bytes = Bitmap(2, -2, 24, 0, {}, {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 0});
  TImage im;
  std::string message;
  ASSERT_TRUE(DecodeBmp(bytes.data(), bytes.size(), im, message)) << message;
  EXPECT_EQ(im.PixelAt(0, 0), 0xFFFF0000u);
  EXPECT_EQ(im.PixelAt(1, 0), 0xFF00FF00u);
  EXPECT_EQ(im.PixelAt(0, 1), 0xFF0000FFu);
  // RLE4: 4 x 2, bottom row "1212", top row "3333".
  bytes = Bitmap(4, 2, 4, 2, {0, 0xFF0000, 0x00FF00, 0x0000FF}, {4, 0x12, 0, 0, 4, 0x33, 0, 1});
  ASSERT_TRUE(DecodeBmp(bytes.data(), bytes.size(), im, message)) << message;
  ASSERT_TRUE(im.Paletted());
  EXPECT_EQ(im.PixelAt(0, 1), 0xFFFF0000u);
  EXPECT_EQ(im.PixelAt(1, 1), 0xFF00FF00u);
  EXPECT_EQ(im.PixelAt(3, 0), 0xFF0000FFu);
  // Delta and absolute runs of RLE8.
  bytes = Bitmap(4, 2, 8, 1, {0, 0xFF0000, 0x00FF00, 0x0000FF}, {0, 2, 1, 1, 0, 3, 1, 2, 3, 0, 0, 1});
  ASSERT_TRUE(DecodeBmp(bytes.data(), bytes.size(), im, message)) << message;
  EXPECT_EQ(im.PixelAt(1, 0), 0xFFFF0000u);  // after a delta of (1, 1)
  EXPECT_EQ(im.PixelAt(2, 0), 0xFF00FF00u);
  EXPECT_EQ(im.PixelAt(0, 1), 0xFF000000u);
}

TEST(BmpDecoder, DamagedFilesGiveTheBitmapMessage) {
  const std::vector<uint32_t> pal = {0, 0xFF0000};
  auto expectInvalid = [](const std::vector<uint8_t>& b, const char* what) {
    TImage im;
    std::string message;
    EXPECT_FALSE(DecodeBmp(b.data(), b.size(), im, message)) << what;
    EXPECT_EQ(message, kMsgInvalidBitmap) << what;
    EXPECT_EQ(im.Width, 0) << what;
  };
  expectInvalid(Bitmap(0, 2, 8, 0, pal, {0, 0, 0, 0, 0, 0, 0, 0}), "zero width");
  expectInvalid(Bitmap(4, 0, 8, 0, pal, {}), "zero height");
  expectInvalid(Bitmap(20000, 2, 8, 0, pal, {0, 0}), "side too large");
  expectInvalid(Bitmap(16384, 16384, 24, 0, pal, {0, 0}), "header alone asks for 1 GB");
  expectInvalid(Bitmap(4, 2, 8, 0, pal, {1, 1, 1, 1}), "truncated pixels");
  expectInvalid(Bitmap(4, 2, 7, 0, pal, {1, 1, 1, 1, 1, 1, 1, 1}), "7 bits per pixel");
  expectInvalid(Bitmap(4, 2, 8, 1, pal, {6, 1, 0, 1}), "RLE run crossing the row");
  expectInvalid(Bitmap(4, 1, 8, 1, pal, {4, 1, 0, 0, 4, 1}), "RLE past the picture");
  expectInvalid(Bitmap(4, 2, 8, 1, pal, {4, 1}), "RLE without its end");
  expectInvalid(Bitmap(4, 2, 8, 1, pal, {0, 2, 200, 0, 0, 1}), "RLE delta out of the picture");
  auto past = Bitmap(4, 2, 8, 0, pal, {1, 1, 1, 1, 1, 1, 1, 1});
  past[10] = 0xFF, past[11] = 0xFF;  // pixel data offset past the end
  expectInvalid(past, "offset past the end");
  auto many = Bitmap(4, 2, 8, 0, pal, {1, 1, 1, 1, 1, 1, 1, 1});
  many[46] = 0x00, many[47] = 0x10;  // 4096 palette colours
  expectInvalid(many, "palette too large");
  expectInvalid({'B', 'M', 0}, "too short");
  // An index beyond the palette reads as black rather than out of bounds.
  auto beyond = Bitmap(4, 1, 8, 0, pal, {1, 9, 200, 0});
  TImage im;
  std::string message;
  ASSERT_TRUE(DecodeBmp(beyond.data(), beyond.size(), im, message));
  EXPECT_EQ(im.PixelAt(0, 0), 0xFFFF0000u);
  EXPECT_EQ(im.PixelAt(2, 0), 0xFF000000u);
}

// ------------------------------------------------------------------------- other formats

TEST(TargaDecoder, OriginBitsAndDamage) {
  // 2 x 2 true colour, 24 bits, origin top-left (descriptor bit 5).
  std::vector<uint8_t> t(18, 0);
  t[2] = 2, t[12] = 2, t[14] = 2, t[16] = 24, t[17] = 0x20;
  const uint8_t px[] = {0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255};
  t.insert(t.end(), px, px + sizeof px);
  TImage im;
  std::string message;
  ASSERT_TRUE(DecodeTarga(t.data(), t.size(), im, message)) << message;
  EXPECT_EQ(im.PixelAt(0, 0), 0xFFFF0000u);
  EXPECT_EQ(im.PixelAt(0, 1), 0xFF0000FFu);
  t[17] = 0x30;  // and right to left
  ASSERT_TRUE(DecodeTarga(t.data(), t.size(), im, message));
  EXPECT_EQ(im.PixelAt(1, 0), 0xFFFF0000u);
  t[17] = 0;  // bottom-up
  ASSERT_TRUE(DecodeTarga(t.data(), t.size(), im, message));
  EXPECT_EQ(im.PixelAt(0, 1), 0xFFFF0000u);
  auto bad = t;
  bad.resize(bad.size() - 1);
  EXPECT_FALSE(DecodeTarga(bad.data(), bad.size(), im, message));
  EXPECT_EQ(message, kMsgTargaInvalid);
  bad = t;
  bad[2] = 10;  // RLE whose run crosses the end of the picture
  bad.resize(18);
  bad.insert(bad.end(), {0x85, 1, 2, 3});
  EXPECT_FALSE(DecodeTarga(bad.data(), bad.size(), im, message));
  bad = t;
  bad[16] = 13;
  EXPECT_FALSE(DecodeTarga(bad.data(), bad.size(), im, message));
  bad = t;
  bad[12] = 0xFF, bad[13] = 0xFF, bad[14] = 0xFF, bad[15] = 0xFF;
  EXPECT_FALSE(DecodeTarga(bad.data(), bad.size(), im, message));
  EXPECT_EQ(message, kMsgTargaInvalid);
}

std::vector<uint8_t> SgiHeader(int storage, int x, int y, int z) {
  std::vector<uint8_t> h(512, 0);
  h[0] = 0x01, h[1] = 0xDA, h[2] = uint8_t(storage), h[3] = 1, h[5] = 3;
  h[6] = uint8_t(x >> 8), h[7] = uint8_t(x), h[8] = uint8_t(y >> 8), h[9] = uint8_t(y), h[11] = uint8_t(z);
  return h;
}

TEST(SgiDecoder, OffsetTablesAndRunsAreChecked) {
  TImage im;
  std::string message;
  // RLE grey 2 x 1: offset table says the row is at 520, 3 bytes: run of 2 x value 77, end.
  auto s = SgiHeader(1, 2, 1, 1);
  for (uint8_t b : {0, 0, 2, 8, 0, 0, 0, 3}) s.push_back(b);
  for (uint8_t b : {2, 77, 0}) s.push_back(b);
  ASSERT_TRUE(DecodeSgi(s.data(), s.size(), im, message)) << message;
  EXPECT_EQ(im.PixelAt(1, 0), 0xFF4D4D4Du);
  auto bad = s;
  bad[514] = 0x7F;  // row offset outside the file
  EXPECT_FALSE(DecodeSgi(bad.data(), bad.size(), im, message));
  EXPECT_EQ(message, kMsgSgiInvalid);
  bad = s;
  bad[520] = 5;  // run longer than the row
  EXPECT_FALSE(DecodeSgi(bad.data(), bad.size(), im, message));
  bad = s;
  bad.pop_back();  // no end of row
  bad[519] = 2;
  EXPECT_FALSE(DecodeSgi(bad.data(), bad.size(), im, message));
  bad = SgiHeader(0, 100, 100, 3);  // verbatim, truncated
  EXPECT_FALSE(DecodeSgi(bad.data(), bad.size(), im, message));
  bad = SgiHeader(1, 16000, 16000, 3);  // the header alone asks for a huge picture
  bad.resize(2000);
  EXPECT_FALSE(DecodeSgi(bad.data(), bad.size(), im, message));
}

TEST(AutodeskDecoder, OldStyleOnly) {
  std::vector<uint8_t> a(32 + 768 + 4, 0);
  a[0] = 0x19, a[1] = 0x91, a[2] = 2, a[4] = 2, a[10] = 8;
  a[32 + 3] = 63;  // colour 1: red at full 6-bit intensity
  a[32 + 768 + 1] = 1;
  TImage im;
  std::string message;
  ASSERT_TRUE(DecodeAutodesk(a.data(), a.size(), im, message)) << message;
  EXPECT_EQ(im.PixelAt(1, 0), 0xFFFF0000u);
  EXPECT_EQ(im.PixelAt(0, 0), 0xFF000000u);
  auto proStyle = a;
  proStyle[0] = 0x00, proStyle[1] = 0x95;
  EXPECT_FALSE(DecodeAutodesk(proStyle.data(), proStyle.size(), im, message));
  EXPECT_EQ(message, kMsgAutodeskOldStyle);
  a.pop_back();
  EXPECT_FALSE(DecodeAutodesk(a.data(), a.size(), im, message));
  EXPECT_EQ(message, kMsgAutodeskInvalid);
}

// A little-endian TIFF of 2 x 2 RGB with the given compression code (pixel bytes raw).
std::vector<uint8_t> Tiff(uint16_t compression) {
  std::vector<uint8_t> t = {'I', 'I', 42, 0, 8, 0, 0, 0};
  struct TEntry {
    uint16_t Tag, Type;
    uint32_t Count, Value;
  };
  const TEntry entries[] = {{256, 3, 1, 2},   {257, 3, 1, 2}, {258, 3, 1, 8}, {259, 3, 1, compression}, {262, 3, 1, 2},
                            {273, 4, 1, 200}, {277, 3, 1, 3}, {278, 3, 1, 2}, {279, 4, 1, 12}};
  auto u16 = [&](uint32_t v) { t.push_back(v & 0xFF), t.push_back((v >> 8) & 0xFF); };
  auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
  u16(sizeof entries / sizeof entries[0]);
  for (const TEntry& e : entries) u16(e.Tag), u16(e.Type), u32(e.Count), u32(e.Value);
  u32(0);
  t.resize(200, 0);
  for (int i = 0; i < 12; ++i) t.push_back(uint8_t(i * 20));
  return t;
}

TEST(TiffDecoder, CompressionsLibtiffLacksAreNamed) {
  TImage im;
  std::string message;
  auto t = Tiff(1);
  ASSERT_TRUE(DecodeTiff(t.data(), t.size(), im, message)) << message;
  EXPECT_EQ(im.PixelAt(0, 0), 0xFF001428u);
  t = Tiff(32947);
  EXPECT_FALSE(DecodeTiff(t.data(), t.size(), im, message));
  EXPECT_EQ(message, "TIF: Kodak DCS encoding compression not supported");
  t = Tiff(1);
  t[10 + 5 * 12 + 8] = 0xF0;  // strip offset far past the end
  EXPECT_FALSE(DecodeTiff(t.data(), t.size(), im, message));
  EXPECT_EQ(message, kMsgTiffCorrupt);
  std::vector<uint8_t> junk(64, 0x49);
  EXPECT_FALSE(DecodeTiff(junk.data(), junk.size(), im, message));
  EXPECT_EQ(message, kMsgTiffCorrupt);
}

TEST(JpegDecoder, TruncatedAndJunkFilesAreRefused) {
  auto j = ReadFile(kImages + "pattern.jpg");
  ASSERT_GT(j.size(), 600u);
  TImage im;
  std::string message;
  auto cut = j;
  cut.resize(cut.size() / 2);
  EXPECT_FALSE(DecodeJpeg(cut.data(), cut.size(), im, message));
  EXPECT_EQ(message.rfind(kMsgJpegPrefix, 0), 0u) << message;
  std::vector<uint8_t> junk(100, 0xFF);
  EXPECT_FALSE(DecodeJpeg(junk.data(), junk.size(), im, message));
  EXPECT_FALSE(DecodeJpeg(nullptr, 0, im, message));
  // A header that claims 65000 x 65000 is refused before any picture is allocated.
  auto big = j;
  for (size_t i = 0; i + 8 < big.size(); ++i)
    if (big[i] == 0xFF && big[i + 1] == 0xC0) {
      big[i + 5] = 0xFD, big[i + 6] = 0xE8, big[i + 7] = 0xFD, big[i + 8] = 0xE8;
      break;
    }
  EXPECT_FALSE(DecodeJpeg(big.data(), big.size(), im, message));
}

// A progressive JPEG of `components` (1 or 3) whose AC coefficients are sent one per scan: 64 scans
// for grey, 190 for colour.
std::vector<uint8_t> ManyScanJpeg(int components) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  jpeg_mem_dest(&c, &out, &outSize);
  c.image_width = 16;
  c.image_height = 16;
  c.input_components = components;
  c.in_color_space = components == 3 ? JCS_RGB : JCS_GRAYSCALE;
  jpeg_set_defaults(&c);
  std::vector<jpeg_scan_info> scans;
  jpeg_scan_info dc{};
  dc.comps_in_scan = components;
  for (int k = 0; k < components; ++k) dc.component_index[k] = k;
  scans.push_back(dc);
  for (int k = 0; k < components; ++k)
    for (int band = 1; band < 64; ++band) {
      jpeg_scan_info ac{};
      ac.comps_in_scan = 1;
      ac.component_index[0] = k;
      ac.Ss = band, ac.Se = band;
      scans.push_back(ac);
    }
  c.scan_info = scans.data();
  c.num_scans = static_cast<int>(scans.size());
  jpeg_start_compress(&c, TRUE);
  std::vector<JSAMPLE> row(size_t(16) * components);
  for (int y = 0; y < 16; ++y) {
    for (size_t i = 0; i < row.size(); ++i) row[i] = JSAMPLE((i * 13 + y * 7) & 0xFF);
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  std::vector<uint8_t> bytes(out, out + outSize);
  jpeg_destroy_compress(&c);
  std::free(out);
  return bytes;
}

TEST(JpegDecoder, ProgressiveScansAreBounded) {
  TImage im;
  std::string message;
  const auto grey = ManyScanJpeg(1);  // 64 scans: accepted
  EXPECT_TRUE(DecodeJpeg(grey.data(), grey.size(), im, message)) << message;
  const auto colour = ManyScanJpeg(3);  // 190 scans: refused
  EXPECT_FALSE(DecodeJpeg(colour.data(), colour.size(), im, message));
  EXPECT_EQ(message, "JPEG: too many progressive scans");
}

// Every input that once made a decoder misbehave, kept under tests/data/crashers/<format>/.
TEST(DecoderCorpus, CrashersAreReplayedSafely) {
  const std::filesystem::path root = std::string(IXORAL_TEST_DATA_DIR) + "/crashers";
  if (!std::filesystem::exists(root)) GTEST_SKIP() << "no crasher corpus";
  int count = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    const std::string ext = entry.path().parent_path().filename().string();
    const TImageFormat* f = FindImageFormat(ext);
    if (!f) continue;
    const auto bytes = ReadFile(entry.path().string());
    TImage im;
    std::string message;
    if (f->Decode(bytes.data(), bytes.size(), im, message)) {
      EXPECT_GT(im.Width, 0);
    } else {
      EXPECT_FALSE(message.empty()) << entry.path();
    }
    ++count;
  }
  EXPECT_GT(count, 0);
}

}  // namespace
}  // namespace ixoral
