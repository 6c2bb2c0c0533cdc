// placeholder
#include "tools/images/Image.h"
namespace ixoral {
bool DecodeTarga(const uint8_t*, size_t, TImage& image, std::string& message) { image = TImage{}; message.clear(); return false; }
}  // namespace ixoral
