// libFuzzer harness of a document's mesh entry. An input whose first byte is even is the entry as
// it is; an odd first byte has the rest's checksum made right first, so that mutations reach the
// counts behind it instead of all failing the checksum. Whatever the input, decoding either
// refuses it with the entry's messages or gives components within the budget that encode back to
// exactly the bytes read.
#include <cstdint>
#include <cstdlib>
#include <string>

#include <zlib.h>

#include "document/MeshArchive.h"

namespace {

constexpr size_t kFuzzTriangles = 20000;

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string entry(reinterpret_cast<const char*>(data) + 1, size - 1);
  if ((data[0] & 1) && entry.size() >= 16) {
    const uint32_t crc = uint32_t(
        crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(entry.data() + 16), uInt(entry.size() - 16)));
    for (int k = 0; k < 4; ++k) entry[12 + size_t(k)] = char((crc >> (8 * k)) & 0xFF);
  }
  const auto decoded = ixoral::DecodeMesh(entry, "maillage.bin", kFuzzTriangles);
  if (!decoded) {
    const std::string& m = decoded.Error().Message;
    Require(m.rfind(ixoral::kMsgMeshEntryDamaged, 0) == 0 || m.rfind(ixoral::kMsgMeshTooLarge, 0) == 0);
    return 0;
  }
  size_t vertices = 0;
  for (const ixoral::TComposante& c : *decoded) vertices += c.Vertices.size();
  Require(vertices <= 3 * kFuzzTriangles + 2 * decoded->size());
  Require(ixoral::EncodeMesh(*decoded) == entry);
  return 0;
}
