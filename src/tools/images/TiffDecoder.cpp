// TIFF decoding through libtiff, from memory; compressions libtiff was built without are named in
// the message.
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "tools/images/Image.h"

namespace ixoral {

namespace {

struct TMemoryFile {
  const uint8_t* Data;
  size_t Size;
  size_t Pos;
};

tmsize_t ReadProc(thandle_t h, void* buf, tmsize_t n) {
  auto* f = static_cast<TMemoryFile*>(h);
  if (n <= 0 || f->Pos >= f->Size) return 0;
  const size_t count = std::min(size_t(n), f->Size - f->Pos);
  std::memcpy(buf, f->Data + f->Pos, count);
  f->Pos += count;
  return static_cast<tmsize_t>(count);
}
tmsize_t WriteProc(thandle_t, void*, tmsize_t) { return 0; }
toff_t SeekProc(thandle_t h, toff_t off, int whence) {
  auto* f = static_cast<TMemoryFile*>(h);
  uint64_t base = whence == SEEK_CUR ? f->Pos : whence == SEEK_END ? f->Size : 0;
  const uint64_t target = base + off;
  if (target > f->Size) return static_cast<toff_t>(-1);
  f->Pos = static_cast<size_t>(target);
  return target;
}
int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t h) { return static_cast<TMemoryFile*>(h)->Size; }
int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}
int SilentHandler(TIFF*, void*, const char*, const char*, va_list) { return 1; }

const char* CompressionName(uint16_t c) {
  switch (c) {
    case 2:
      return "CCITT modified Huffman RLE";
    case 3:
      return "CCITT Group 3 fax";
    case 4:
      return "CCITT Group 4 fax";
    case 6:
      return "6.0 JPEG";
    case 7:
      return "JPEG DCT";
    case 32766:
      return "NEXT 2-bit RLE";
    case 32771:
      return "#1 w/ Word alignment";
    case 32773:
      return "Macintosh RLE";
    case 32809:
      return "ThunderScan RLE";
    case 32895:
      return "IT8 CT w/padding";
    case 32896:
      return "IT8 Linework RLE";
    case 32897:
      return "IT8 Monochrome picture";
    case 32898:
      return "IT8 Binary line art";
    case 32908:
      return "Pixar companded 10bit LZW";
    case 32909:
      return "Pixar companded 11bit ZIP";
    case 8:
    case 32946:
      return "Deflate";
    case 32947:
      return "Kodak DCS encoding";
    case 34661:
      return "ISO JBIG";
    default:
      return nullptr;
  }
}

}  // namespace

bool DecodeTiff(const uint8_t* data, size_t size, TImage& image, std::string& message) {
  image = TImage{};
  message = kMsgTiffCorrupt;
  if (size < 8) return false;
  TMemoryFile file{data, size, 0};
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (!options) return false;
  TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t{512} << 20);
  TIFFOpenOptionsSetErrorHandlerExtR(options, SilentHandler, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options, SilentHandler, nullptr);
  TIFF* tif = TIFFClientOpenExt("memory", "rm", &file, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc, MapProc,
                                UnmapProc, options);
  TIFFOpenOptionsFree(options);
  if (!tif) return false;
  uint32_t w = 0, h = 0;
  uint16_t compression = COMPRESSION_NONE, bps = 8, spp = 1;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
  bool ok = false, outOfMemory = false;
  if (!TIFFIsCODECConfigured(compression)) {
    const char* name = CompressionName(compression);
    message = std::string("TIF: ") + (name ? name : "#" + std::to_string(compression)) + " compression not supported";
  } else if (AcceptableImageSize(w, h, size, compression == COMPRESSION_NONE ? 64 : 8192)) {
    // libtiff's ABGR raster is read into the pixels and put in 0xAARRGGBB order where it lies.
    try {
      image.Pixels.resize(size_t(w) * h);
    } catch (const std::bad_alloc&) {
      outOfMemory = true;
    }
    if (!outOfMemory && TIFFReadRGBAImageOriented(tif, w, h, image.Pixels.data(), ORIENTATION_TOPLEFT, 0)) {
      image.Width = static_cast<int>(w);
      image.Height = static_cast<int>(h);
      image.BitsPerPixel = std::min(32, bps * spp);
      for (uint32_t& p : image.Pixels) p = 0xFF000000u | (TIFFGetR(p) << 16) | (TIFFGetG(p) << 8) | TIFFGetB(p);
      ok = true;
      message.clear();
    }
  }
  TIFFClose(tif);
  if (outOfMemory) return ImageOutOfMemory(image, message);
  if (!ok) image = TImage{};
  return ok;
}

}  // namespace ixoral
