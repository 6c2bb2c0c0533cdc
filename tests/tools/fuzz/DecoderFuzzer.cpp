// libFuzzer harness of one picture decoder, chosen at build time by IXORAL_FUZZ_EXTENSION.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/images/Image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const ixoral::TImageFormat* format = ixoral::FindImageFormat(IXORAL_FUZZ_EXTENSION);
  ixoral::TImage image;
  std::string message;
  if (format->Decode(data, size, image, message)) {
    // Touch every pixel so that a wrong size shows up under the address sanitizer.
    uint32_t sum = 0;
    for (int y = 0; y < image.Height; ++y)
      for (int x = 0; x < image.Width; ++x) sum += image.PixelAt(x, y);
    if (sum == 0x12345678u) return 1;
  }
  return 0;
}
