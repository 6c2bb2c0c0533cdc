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
// The longest side a texture keeps: a picture loaded as a texture that is wider or taller is
// reduced to fit. A texture of 4096 x 4096 already holds more detail than a view of the modeller
// shows of one solid, and stays at 64 MB; without the cap a document of a few kilobytes of
// run-length-compressed 8192 x 8192 pictures asks for 256 MB each.
inline constexpr int kMaxTextureSide = 4096;

// A picture as decoded, rows top-down. True-colour pictures fill `Pixels` (0xAARRGGBB); paletted
// ones (8 bits or fewer per pixel) fill `Palette` and `Indices` instead.
struct TImage {
  int Width = 0, Height = 0;
  int BitsPerPixel = 24;  // of the source file
  std::vector<uint32_t> Pixels;
  std::vector<uint32_t> Palette;
  std::vector<uint8_t> Indices;
  // Pixels the decoder produced before the picture was reduced to the texture side (equal to
  // PixelCount() when it was not): what decoding the file cost, as a load budget counts it.
  int64_t DecodedPixels = 0;

  bool Paletted() const { return !Indices.empty(); }
  // Pixels the picture holds now, as its texture surface will.
  int64_t PixelCount() const { return int64_t(Width) * int64_t(Height); }
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

// Decodes a picture by its file extension, reduced to kMaxTextureSide (FitImageSide), with
// DecodedPixels set. Every texture load goes through here. On failure `message` says why and
// `image` is empty.
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
bool DecodePng(const uint8_t* data, size_t size, TImage& image, std::string& message);

// Reduces a picture whose width or height exceeds `maxSide` so that both fit, keeping its aspect:
// each new pixel is the area-weighted average of the pixels it covers (every channel, alpha
// included), and a paletted picture becomes true colour. A picture that fits is left as it is.
// False, with kMsgImageOutOfMemory and the picture untouched, when the reduced one cannot be
// allocated.
bool FitImageSide(TImage& image, int maxSide, std::string& message);
// What a decoder answers when its pixels cannot be allocated: empties `image`, sets
// kMsgImageOutOfMemory and returns false.
bool ImageOutOfMemory(TImage& image, std::string& message);

// True when width x height is a size the decoders accept; `pixelsPerByte` bounds how many pixels
// the `available` bytes of pixel data can describe, so that no allocation is decided by a header
// alone (0: no such bound).
bool AcceptableImageSize(int64_t width, int64_t height, size_t available, int64_t pixelsPerByte);

// 32-bit pixels (0xAARRGGBB, rows top-down) as the bytes of a 24-bit uncompressed bitmap file;
// false for a size the decoders would refuse.
bool EncodeBmp(int width, int height, const uint32_t* pixels, std::string& out);
// The same, written to a file (whole or not at all).
bool WriteBmpFile(const std::string& path, int width, int height, const uint32_t* pixels);
// The picture as the bytes of an 8-bit RGBA PNG file; false when the encoder fails.
bool EncodePng(const TImage& image, std::string& out);

// Messages of the decoders.
inline constexpr const char* kMsgInvalidBitmap = "Bitmap image is not valid";
inline constexpr const char* kMsgInvalidIcon = "Icon image is not valid";
inline constexpr const char* kMsgTargaInvalid = "Targa: invalid image";
inline constexpr const char* kMsgTiffCorrupt = "TIF: Corrupt file";
inline constexpr const char* kMsgSgiInvalid = "SGI: invalid image";
inline constexpr const char* kMsgAutodeskOldStyle = "Cannot load image. Only old style Autodesk images are supported.";
inline constexpr const char* kMsgAutodeskInvalid = "Autodesk: invalid image";
inline constexpr const char* kMsgJpegPrefix = "JPEG: ";
inline constexpr const char* kMsgPngNotPng = "PNG : ce fichier n'est pas une image PNG";
inline constexpr const char* kMsgPngTruncated = "PNG : fichier tronqué";
// Followed by libpng's reason in brackets.
inline constexpr const char* kMsgPngDamaged = "PNG : image endommagée";
// Followed by the size the header gives, " (W x H)".
inline constexpr const char* kMsgPngSize = "PNG : taille d'image non prise en charge";
inline constexpr const char* kMsgImageOutOfMemory = "Mémoire insuffisante pour décoder l'image";
inline constexpr const char* kMsgCannotOpen = "Cannot open file ";
inline constexpr const char* kMsgUnknownExtension = "Unknown picture file extension";

}  // namespace ixoral
