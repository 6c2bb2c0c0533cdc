// The registry of picture formats, file reading and the bitmap writer.
#include "tools/images/Image.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <memory>

#include "platform/AtomicFile.h"

namespace ixoral {

const std::vector<TImageFormat>& ImageFormats() {
  static const std::vector<TImageFormat> formats = {
      {{"bmp"}, "Bitmaps", DecodeBmp},
      {{"ico"}, "Icons", DecodeIco},
      {{"jpg", "jpeg"}, "JPEG Image File", DecodeJpeg},
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
  // The texture dialog's order: bitmap, icon, JPEG, TIFF, SGI, Autodesk, Targa.
  return "*.bmp;*.ico;*.jpg;*.jpeg;*.tif;*.tiff;*.bw;*.rgb;*.cel;*.pic;*.tga;*.vst;*.icb;*.vda;"
         "*.win";
}

bool AcceptableImageSize(int64_t width, int64_t height, size_t available, int64_t pixelsPerByte) {
  if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide) return false;
  const int64_t pixels = width * height;
  if (pixels > kMaxImagePixels) return false;
  if (pixelsPerByte > 0 && pixels > int64_t(available) * pixelsPerByte) return false;
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
