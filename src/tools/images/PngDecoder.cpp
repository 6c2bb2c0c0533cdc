// PNG decoding through libpng, from memory: every colour type and depth (palette, grey, grey with
// alpha, true colour with or without alpha, 1 to 16 bits, interlaced) comes out as 8-bit
// 0xAARRGGBB, transparency included. The ancillary chunks a texture has no use for (text, colour
// profiles, histograms) are skipped unread, so that none of them can be made to decompress into
// megabytes; the size the header gives is checked against the file's length before any pixel is
// allocated.
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "tools/images/Image.h"

namespace ixoral {

namespace {

// Deflate packs at most 1032 bytes into one, and a 1-bit pixel takes an eighth of a byte: no PNG
// describes more pixels per byte of file than this.
constexpr int64_t kPngPixelsPerByte = 8 * 1032;
// Chunks libpng would read and the decoder has no use for; some hold compressed data.
constexpr png_byte kSkippedChunks[] =
    "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0pHYs\0sBIT\0sCAL\0sPLT\0sRGB\0"
    "tEXt\0tIME\0zTXt";
constexpr int kSkippedChunkCount = sizeof kSkippedChunks / 5;

// The reader's state, free of destructors: libpng's errors jump over the frames between the
// failing call and the setjmp of ReadHeader or ReadRows.
struct TPngReader {
  png_structp Png = nullptr;
  png_infop Info = nullptr;
  const uint8_t* Data = nullptr;
  size_t Size = 0, Pos = 0;
  bool Truncated = false;
  int FileBits = 0;  // channels of the file times bits per channel
  char Reason[256] = {};
};

void OnError(png_structp png, png_const_charp text) {
  auto* r = static_cast<TPngReader*>(png_get_error_ptr(png));
  std::snprintf(r->Reason, sizeof r->Reason, "%s", text ? text : "");
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void OnRead(png_structp png, png_bytep out, size_t length) {
  auto* r = static_cast<TPngReader*>(png_get_io_ptr(png));
  if (length > r->Size - r->Pos) {
    r->Truncated = true;
    png_error(png, "unexpected end of file");
  }
  std::memcpy(out, r->Data + r->Pos, length);
  r->Pos += length;
}

// Reads the chunks up to the pixels. False on a libpng error.
bool ReadHeader(TPngReader* r) {
  if (setjmp(png_jmpbuf(r->Png))) return false;
  png_set_read_fn(r->Png, r, OnRead);
  png_set_keep_unknown_chunks(r->Png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
  png_set_keep_unknown_chunks(r->Png, PNG_HANDLE_CHUNK_NEVER, kSkippedChunks, kSkippedChunkCount);
  // The sides are checked with the program's own limits and message once the header is read.
  png_set_user_limits(r->Png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  png_read_info(r->Png, r->Info);
  return true;
}

// Asks libpng for 8-bit RGBA rows whatever the file holds; libpng allocates its row buffers here,
// so only once the size is accepted. False on a libpng error.
bool StartRows(TPngReader* r) {
  if (setjmp(png_jmpbuf(r->Png))) return false;
  const int colour = png_get_color_type(r->Png, r->Info);
  const int depth = png_get_bit_depth(r->Png, r->Info);
  r->FileBits = png_get_channels(r->Png, r->Info) * depth;
  if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(r->Png);
  if (colour == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(r->Png);
  if (png_get_valid(r->Png, r->Info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(r->Png);
  if (depth == 16) png_set_scale_16(r->Png);
  if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(r->Png);
  png_set_add_alpha(r->Png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(r->Png);
  png_read_update_info(r->Png, r->Info);
  return true;
}

// Reads every row (all passes of an interlaced file) and the chunks after them. False on a libpng
// error.
bool ReadRows(TPngReader* r, png_bytepp rows) {
  if (setjmp(png_jmpbuf(r->Png))) return false;
  png_read_image(r->Png, rows);
  png_read_end(r->Png, nullptr);
  return true;
}

// The failure of `r` as the user reads it.
std::string FailureMessage(const TPngReader& r) {
  if (r.Truncated) return kMsgPngTruncated;
  if (r.Reason[0] == 0) return kMsgPngDamaged;
  return std::string(kMsgPngDamaged) + " (" + r.Reason + ")";
}

// Decodes with a reader whose structures are made; the caller destroys them.
bool Decode(TPngReader& r, TImage& image, std::string& message) {
  if (!ReadHeader(&r)) {
    message = FailureMessage(r);
    return false;
  }
  const png_uint_32 w = png_get_image_width(r.Png, r.Info), h = png_get_image_height(r.Png, r.Info);
  if (!AcceptableImageSize(w, h, r.Size, kPngPixelsPerByte)) {
    message = std::string(kMsgPngSize) + " (" + std::to_string(w) + " x " + std::to_string(h) + ")";
    return false;
  }
  if (!StartRows(&r)) {
    message = FailureMessage(r);
    return false;
  }
  if (png_get_bit_depth(r.Png, r.Info) != 8 || png_get_channels(r.Png, r.Info) != 4 ||
      png_get_rowbytes(r.Png, r.Info) != size_t(w) * 4) {
    message = kMsgPngDamaged;
    return false;
  }
  // libpng writes its RGBA bytes straight into the pixels, which are then put in 0xAARRGGBB order.
  std::vector<png_bytep> rows;
  try {
    image.Pixels.resize(size_t(w) * h);
    rows.resize(h);
  } catch (const std::bad_alloc&) {
    return ImageOutOfMemory(image, message);
  }
  auto* bytes = reinterpret_cast<png_bytep>(image.Pixels.data());
  for (png_uint_32 y = 0; y < h; ++y) rows[y] = bytes + size_t(y) * w * 4;
  if (!ReadRows(&r, rows.data())) {
    message = FailureMessage(r);
    return false;
  }
  for (uint32_t& p : image.Pixels) {
    png_byte c[4];
    std::memcpy(c, &p, 4);
    p = (uint32_t(c[3]) << 24) | (uint32_t(c[0]) << 16) | (uint32_t(c[1]) << 8) | c[2];
  }
  image.Width = static_cast<int>(w);
  image.Height = static_cast<int>(h);
  image.BitsPerPixel = r.FileBits;
  return true;
}

}  // namespace

bool DecodePng(const uint8_t* data, size_t size, TImage& image, std::string& message) {
  image = TImage{};
  if (size < 8 || png_sig_cmp(data, 0, 8) != 0) {
    message = kMsgPngNotPng;
    return false;
  }
  TPngReader r;
  r.Data = data;
  r.Size = size;
  r.Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r, OnError, OnWarning);
  if (r.Png) r.Info = png_create_info_struct(r.Png);
  if (!r.Png || !r.Info) {
    png_destroy_read_struct(r.Png ? &r.Png : nullptr, nullptr, nullptr);
    return ImageOutOfMemory(image, message);
  }
  const bool ok = Decode(r, image, message);
  png_destroy_read_struct(&r.Png, &r.Info, nullptr);
  if (!ok) {
    image = TImage{};
    return false;
  }
  message.clear();
  return true;
}

namespace {

void PngWrite(png_structp png, png_bytep data, png_size_t length) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}
void PngFlush(png_structp) {}

}  // namespace

bool EncodePng(const TImage& image, std::string& out) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  std::vector<uint8_t> row(size_t(image.Width) * 4);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_set_write_fn(png, &out, PngWrite, PngFlush);
  png_set_IHDR(png, info, png_uint_32(image.Width), png_uint_32(image.Height), 8, PNG_COLOR_TYPE_RGB_ALPHA,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < image.Height; ++y) {
    for (int x = 0; x < image.Width; ++x) {
      const uint32_t c = image.PixelAt(x, y);
      uint8_t* p = &row[size_t(x) * 4];
      p[0] = uint8_t(c >> 16), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c), p[3] = uint8_t(c >> 24);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace ixoral
