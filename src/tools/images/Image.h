// Decoded texture images and the registry of the picture formats the program reads, by extension.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ixoral {

// Limits on what a decoder accepts: a side of 16384 pixels and 64 Mpixels.
inline constexpr int64_t kMaxImageSide = 16384;
inline constexpr int64_t kMaxImagePixels = int64_t{64} << 20;
// Image files larger than this are not read.
inline constexpr size_t kMaxImageFileSize = size_t{512} << 20;

// A picture as decoded, rows top-down. True-colour pictures fill `Pixels` (0xAARRGGBB); paletted
// ones (8 bits or fewer per pixel) fill `Palette` and `Indices` instead.
struct TImage {
  int Width = 0, Height = 0;
  int BitsPerPixel = 24;  // of the source file
  std::vector<uint32_t> Pixels;
  std::vector<uint32_t> Palette;
  std::vector<uint8_t> Indices;

  bool Paletted() const { return !Indices.empty(); }
  // The colour at (x, y); an index beyond the palette reads as black.
  uint32_t PixelAt(int x, int y) const {
    const size_t i = size_t(y) * size_t(Width) + size_t(x);
    if (!Paletted()) return Pixels[i];
    const uint8_t k = Indices[i];
    return k < Palette.size() ? Palette[k] : 0xFF000000u;
  }
};

using TImageDecoder = bool (*)(const uint8_t* data, size_t size, TImage& image, std::string& message);

struct TImageFormat {
  std::vector<std::string> Extensions;  // lower case, without the dot
  std::string Description;
  TImageDecoder Decode;
};

// The registered formats, in the order of the texture dialog's file mask.
const std::vector<TImageFormat>& ImageFormats();
// The format of an extension (with or without its dot, any case); null when unknown.
const TImageFormat* FindImageFormat(const std::string& extension);
// "*.bmp;*.ico;*.jpg;..."
std::string ImageFileMask();

// Decodes a picture by its file extension. On failure `message` says why and `image` is empty.
bool DecodeImage(const std::string& extension, const uint8_t* data, size_t size, TImage& image, std::string& message);
// Reads and decodes a picture file by its extension.
bool LoadImageFile(const std::string& path, TImage& image, std::string& message);

// Decoders of the formats, each usable on its own.
bool DecodeBmp(const uint8_t* data, size_t size, TImage& image, std::string& message);
bool DecodeIco(const uint8_t* data, size_t size, TImage& image, std::string& message);
bool DecodeJpeg(const uint8_t* data, size_t size, TImage& image, std::string& message);
bool DecodeTiff(const uint8_t* data, size_t size, TImage& image, std::string& message);
bool DecodeTarga(const uint8_t* data, size_t size, TImage& image, std::string& message);
bool DecodeSgi(const uint8_t* data, size_t size, TImage& image, std::string& message);
bool DecodeAutodesk(const uint8_t* data, size_t size, TImage& image, std::string& message);

// True when width x height is a size the decoders accept; `pixelsPerByte` bounds how many pixels
// the `available` bytes of pixel data can describe, so that no allocation is decided by a header
// alone (0: no such bound).
bool AcceptableImageSize(int64_t width, int64_t height, size_t available, int64_t pixelsPerByte);

// 32-bit pixels (0xAARRGGBB, rows top-down) as the bytes of a 24-bit uncompressed bitmap file;
// false for a size the decoders would refuse.
bool EncodeBmp(int width, int height, const uint32_t* pixels, std::string& out);
// The same, written to a file (whole or not at all).
bool WriteBmpFile(const std::string& path, int width, int height, const uint32_t* pixels);

// Messages of the decoders.
inline constexpr const char* kMsgInvalidBitmap = "Bitmap image is not valid";
inline constexpr const char* kMsgInvalidIcon = "Icon image is not valid";
inline constexpr const char* kMsgTargaInvalid = "Targa: invalid image";
inline constexpr const char* kMsgTiffCorrupt = "TIF: Corrupt file";
inline constexpr const char* kMsgSgiInvalid = "SGI: invalid image";
inline constexpr const char* kMsgAutodeskOldStyle = "Cannot load image. Only old style Autodesk images are supported.";
inline constexpr const char* kMsgAutodeskInvalid = "Autodesk: invalid image";
inline constexpr const char* kMsgJpegPrefix = "JPEG: ";
inline constexpr const char* kMsgCannotOpen = "Cannot open file ";
inline constexpr const char* kMsgUnknownExtension = "Unknown picture file extension";

}  // namespace ixoral
