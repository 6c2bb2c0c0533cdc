// JPEG decoding through libjpeg, from memory, with its failures turned into messages and the
// number of progressive scans bounded.
#include <cstdio>
#include <csetjmp>
#include <cstring>
#include <new>

#include <jpeglib.h>
#include <jerror.h>

#include "tools/images/Image.h"

namespace ixoral {

namespace {

// More scans than any encoder writes; a file with more is made to stall the decoder.
constexpr int kMaxScans = 100;

struct TJpegError {
  jpeg_error_mgr Manager;
  std::jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<TJpegError*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->Message);
  std::longjmp(err->Jump, 1);
}

// Warnings are ignored, except the end of the data before the end of the picture: a truncated
// file is refused rather than shown half grey.
void OnMessage(j_common_ptr cinfo, int level) {
  if (level == -1 && cinfo->err->msg_code == JWRN_JPEG_EOF) OnError(cinfo);
}

struct TJpegProgress {
  jpeg_progress_mgr Manager;
};

void OnProgress(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->input_scan_number > kMaxScans) {
    auto* err = reinterpret_cast<TJpegError*>(cinfo->err);
    std::snprintf(err->Message, sizeof err->Message, "too many progressive scans");
    std::longjmp(err->Jump, 1);
  }
}

// Kept apart from objects with destructors: a failure jumps back to the setjmp below.
// `pixels` is sized here once the header is known and checked; `outOfMemory` tells when that fails.
bool Decode(const uint8_t* data, size_t size, std::vector<uint32_t>* pixels, int* width, int* height, int* bits,
            char* message, bool* outOfMemory) {
  jpeg_decompress_struct cinfo;
  TJpegError err;
  TJpegProgress progress;
  std::memset(&cinfo, 0, sizeof cinfo);
  cinfo.err = jpeg_std_error(&err.Manager);
  err.Manager.error_exit = OnError;
  err.Manager.emit_message = OnMessage;
  err.Message[0] = 0;
  if (setjmp(err.Jump)) {
    std::snprintf(message, JMSG_LENGTH_MAX, "%s", err.Message);
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  cinfo.mem->max_memory_to_use = 512L << 20;
  progress.Manager.progress_monitor = OnProgress;
  cinfo.progress = &progress.Manager;
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  // A highly compressed uniform picture stays below a few hundred pixels per byte.
  if (!AcceptableImageSize(cinfo.image_width, cinfo.image_height, size, 4096)) {
    std::snprintf(message, JMSG_LENGTH_MAX, "image size %ux%u not supported", static_cast<unsigned>(cinfo.image_width),
                  static_cast<unsigned>(cinfo.image_height));
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  *bits = cinfo.num_components * 8;
  jpeg_start_decompress(&cinfo);
  const unsigned w = cinfo.output_width, h = cinfo.output_height;
  const int comps = cinfo.output_components;
  *width = static_cast<int>(w);
  *height = static_cast<int>(h);
  try {
    pixels->assign(size_t(w) * h, 0xFF000000u);
  } catch (const std::bad_alloc&) {
    *outOfMemory = true;
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  // The row buffer lives in the decompressor's own pool, freed on every path.
  JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, w * comps, 1);
  while (cinfo.output_scanline < h) {
    const unsigned y = cinfo.output_scanline;
    if (jpeg_read_scanlines(&cinfo, row, 1) != 1) break;
    uint32_t* out = pixels->data() + size_t(y) * w;
    const JSAMPLE* s = row[0];
    for (unsigned x = 0; x < w; ++x) {
      uint32_t r, g, b;
      if (cmyk) {
        // Adobe writes inverted CMYK.
        const uint32_t c = s[4 * x], m = s[4 * x + 1], ye = s[4 * x + 2], k = s[4 * x + 3];
        r = c * k / 255, g = m * k / 255, b = ye * k / 255;
      } else if (comps == 3) {
        r = s[3 * x], g = s[3 * x + 1], b = s[3 * x + 2];
      } else {
        r = g = b = s[x];
      }
      out[x] = 0xFF000000u | (r << 16) | (g << 8) | b;
    }
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

}  // namespace

bool DecodeJpeg(const uint8_t* data, size_t size, TImage& image, std::string& message) {
  image = TImage{};
  char text[JMSG_LENGTH_MAX] = {0};
  int w = 0, h = 0, bits = 24;
  bool outOfMemory = false;
  if (size == 0 || !Decode(data, size, &image.Pixels, &w, &h, &bits, text, &outOfMemory)) {
    if (outOfMemory) return ImageOutOfMemory(image, message);
    image = TImage{};
    message = std::string(kMsgJpegPrefix) + (text[0] ? text : "empty file");
    return false;
  }
  image.Width = w;
  image.Height = h;
  image.BitsPerPixel = bits;
  return true;
}

}  // namespace ixoral
