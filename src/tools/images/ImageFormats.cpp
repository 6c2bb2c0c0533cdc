// The registry of picture formats, file reading, the reduction of pictures to the texture side and
// the bitmap writer.
#include "tools/images/Image.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <memory>
#include <new>

#include "platform/AtomicFile.h"

namespace ixoral {

const std::vector<TImageFormat>& ImageFormats() {
  static const std::vector<TImageFormat> formats = {
      {{"bmp"}, "Bitmaps", DecodeBmp},
      {{"ico"}, "Icons", DecodeIco},
      {{"jpg", "jpeg"}, "JPEG Image File", DecodeJpeg},
      {{"png"}, "PNG images", DecodePng},
      {{"tif", "tiff"}, "TIFF images", DecodeTiff},
      {{"bw"}, "SGI black/white images", DecodeSgi},
      {{"rgb"}, "SGI true color images", DecodeSgi},
      {{"cel", "pic"}, "Autodesk images", DecodeAutodesk},
      {{"tga", "vst", "icb", "vda", "win"}, "Truevision images", DecodeTarga},
  };
  return formats;
}

const TImageFormat* FindImageFormat(const std::string& extension) {
  std::string ext = extension;
  if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const TImageFormat& f : ImageFormats())
    for (const std::string& e : f.Extensions)
      if (e == ext) return &f;
  return nullptr;
}

std::string ImageFileMask() {
  std::string mask;
  for (const TImageFormat& f : ImageFormats())
    for (const std::string& e : f.Extensions) mask += (mask.empty() ? "*." : ";*.") + e;
  return mask;
}

bool AcceptableImageSize(int64_t width, int64_t height, size_t available, int64_t pixelsPerByte) {
  if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide) return false;
  const int64_t pixels = width * height;
  if (pixels > kMaxImagePixels) return false;
  if (pixelsPerByte > 0 && pixels > int64_t(available) * pixelsPerByte) return false;
  return true;
}

bool ImageOutOfMemory(TImage& image, std::string& message) {
  image = TImage{};
  message = kMsgImageOutOfMemory;
  return false;
}

namespace {

// The part of source cell `i` (cells of `inner` units) inside target cell `o` (cells of `outer`
// units), where inner * sourceCells == outer * targetCells: the weight of a source pixel in a
// reduced one, exact in integers.
inline uint64_t Overlap(int64_t o, int64_t outer, int64_t i, int64_t inner) {
  const int64_t from = std::max(o * outer, i * inner), to = std::min((o + 1) * outer, (i + 1) * inner);
  return to > from ? uint64_t(to - from) : 0;
}

}  // namespace

bool FitImageSide(TImage& image, int maxSide, std::string& message) {
  const int64_t sw = image.Width, sh = image.Height;
  if (maxSide <= 0 || (sw <= maxSide && sh <= maxSide)) return true;
  // The longer side becomes maxSide; the other keeps the ratio, rounded, at least one pixel.
  int64_t w = maxSide, h = maxSide;
  if (sw >= sh)
    h = std::max<int64_t>(1, (sh * maxSide + sw / 2) / sw);
  else
    w = std::max<int64_t>(1, (sw * maxSide + sh / 2) / sh);
  // Source pixel (x, y) covers [x*w, (x+1)*w) x [y*h, (y+1)*h) and target pixel (X, Y) covers
  // [X*sw, (X+1)*sw) x [Y*sh, (Y+1)*sh) in the same units, so every weight is a whole number and a
  // target pixel's weights add up to sw * sh. Channel sums stay below 2^63: 16384^2 * 255.
  std::vector<uint32_t> pixels;
  std::vector<uint64_t> row, sums;
  try {
    pixels.resize(size_t(w * h));
    row.resize(size_t(w) * 4);
    sums.resize(size_t(w) * 4);
  } catch (const std::bad_alloc&) {
    message = kMsgImageOutOfMemory;
    return false;
  }
  const uint64_t total = uint64_t(sw) * uint64_t(sh);
  for (int64_t ty = 0; ty < h; ++ty) {
    std::fill(sums.begin(), sums.end(), 0);
    for (int64_t y = ty * sh / h; y < sh && y * h < (ty + 1) * sh; ++y) {
      const uint64_t wy = Overlap(ty, sh, y, h);
      if (wy == 0) continue;
      // The source row reduced across, weighted by its part in the target row.
      std::fill(row.begin(), row.end(), 0);
      for (int64_t tx = 0; tx < w; ++tx)
        for (int64_t x = tx * sw / w; x < sw && x * w < (tx + 1) * sw; ++x) {
          const uint64_t wx = Overlap(tx, sw, x, w);
          const uint32_t c = image.PixelAt(static_cast<int>(x), static_cast<int>(y));
          for (int k = 0; k < 4; ++k) row[size_t(tx) * 4 + k] += wx * ((c >> (8 * k)) & 0xFF);
        }
      for (size_t k = 0; k < sums.size(); ++k) sums[k] += wy * row[k];
    }
    for (int64_t tx = 0; tx < w; ++tx) {
      uint32_t c = 0;
      for (int k = 0; k < 4; ++k) c |= uint32_t((sums[size_t(tx) * 4 + k] + total / 2) / total) << (8 * k);
      pixels[size_t(ty * w + tx)] = c;
    }
  }
  image.Width = static_cast<int>(w);
  image.Height = static_cast<int>(h);
  image.Pixels = std::move(pixels);
  image.Palette.clear();
  image.Indices.clear();
  return true;
}

bool DecodeImage(const std::string& extension, const uint8_t* data, size_t size, TImage& image, std::string& message) {
  image = TImage{};
  const TImageFormat* format = FindImageFormat(extension);
  if (!format) {
    message = std::string(kMsgUnknownExtension) + " (." + extension + ")";
    return false;
  }
  message.clear();
  if (!format->Decode(data, size, image, message)) {
    image = TImage{};
    if (message.empty()) message = kMsgInvalidBitmap;
    return false;
  }
  image.DecodedPixels = image.PixelCount();
  if (!FitImageSide(image, kMaxTextureSide, message)) return ImageOutOfMemory(image, message);
  return true;
}

bool LoadImageFile(const std::string& path, TImage& image, std::string& message) {
  image = TImage{};
  const size_t slash = path.find_last_of("/\\");
  const size_t dot = path.find_last_of('.');
  const std::string ext =
      (dot == std::string::npos || (slash != std::string::npos && dot < slash)) ? "" : path.substr(dot + 1);
  if (!FindImageFormat(ext)) {
    message = std::string(kMsgUnknownExtension) + " (." + ext + ")";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    message = kMsgCannotOpen + path;
    return false;
  }
  in.seekg(0, std::ios::end);
  const std::streamoff length = in.tellg();
  if (length < 0 || static_cast<uint64_t>(length) > kMaxImageFileSize) {
    message = kMsgCannotOpen + path;
    return false;
  }
  in.seekg(0);
  std::vector<uint8_t> bytes(static_cast<size_t>(length));
  if (length > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), length)) {
    message = kMsgCannotOpen + path;
    return false;
  }
  return DecodeImage(ext, bytes.data(), bytes.size(), image, message);
}

bool EncodeBmp(int width, int height, const uint32_t* pixels, std::string& out) {
  if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide) return false;
  const uint32_t rowBytes = (uint32_t(width) * 3 + 3) & ~3u;
  const uint32_t dataSize = rowBytes * uint32_t(height);
  out.assign(54 + size_t(dataSize), '\0');
  auto put16 = [&](size_t at, uint32_t v) {
    out[at] = static_cast<char>(v & 0xFF);
    out[at + 1] = static_cast<char>((v >> 8) & 0xFF);
  };
  auto put32 = [&](size_t at, uint32_t v) {
    put16(at, v & 0xFFFF);
    put16(at + 2, v >> 16);
  };
  out[0] = 'B';
  out[1] = 'M';
  put32(2, 54 + dataSize);
  put32(10, 54);
  put32(14, 40);
  put32(18, uint32_t(width));
  put32(22, uint32_t(height));
  put16(26, 1);
  put16(28, 24);
  put32(34, dataSize);
  put32(38, 2835);
  put32(42, 2835);
  for (int y = 0; y < height; ++y) {
    char* row = &out[54 + size_t(height - 1 - y) * rowBytes];
    for (int x = 0; x < width; ++x) {
      const uint32_t c = pixels[size_t(y) * width + x];
      row[3 * x] = static_cast<char>(c & 0xFF);
      row[3 * x + 1] = static_cast<char>((c >> 8) & 0xFF);
      row[3 * x + 2] = static_cast<char>((c >> 16) & 0xFF);
    }
  }
  return true;
}

bool WriteBmpFile(const std::string& path, int width, int height, const uint32_t* pixels) {
  std::string bytes;
  return EncodeBmp(width, height, pixels, bytes) && WriteFileAtomically(path, bytes);
}

}  // namespace ixoral
