// Writing and reading the mesh entry of a document.
#include "document/MeshArchive.h"

#include <zlib.h>

#include <bit>
#include <cstring>
#include <limits>

namespace ixoral {
namespace {

constexpr size_t kHeaderBytes = 16;
constexpr size_t kComposanteHeaderBytes = 8;
constexpr size_t kVertexBytes = 32;
static_assert(sizeof(D3DVERTEX) == kVertexBytes);

void PutU32(std::string& out, uint32_t v) {
  const char b[4] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char((v >> 24) & 0xFF)};
  out.append(b, 4);
}

uint32_t GetU32(std::string_view b, size_t at) {
  return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
         uint32_t(uint8_t(b[at + 3])) << 24;
}

uint32_t Crc32(std::string_view bytes) {
  uLong crc = crc32(0L, Z_NULL, 0);
  // zlib takes the length as a uInt: long payloads go in pieces.
  for (size_t at = 0; at < bytes.size();) {
    const size_t n = std::min<size_t>(bytes.size() - at, std::numeric_limits<uInt>::max());
    crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes.data() + at), uInt(n));
    at += n;
  }
  return uint32_t(crc);
}

// The triangles a component draws, as the drawing counts them.
uint64_t TrianglesOf(int32_t type, uint64_t vertices) {
  if (type == D3DPT_TRIANGLELIST) return vertices / 3;
  return vertices >= 3 ? vertices - 2 : 0;
}

bool IsTriangleType(uint32_t type) {
  return type == D3DPT_TRIANGLELIST || type == D3DPT_TRIANGLESTRIP || type == D3DPT_TRIANGLEFAN;
}

}  // namespace

std::string EncodeMesh(const TArrayOfComposante& composantes) {
  size_t size = kHeaderBytes;
  for (const TComposante& c : composantes) size += kComposanteHeaderBytes + c.Vertices.size() * kVertexBytes;
  std::string out;
  out.reserve(size);
  out.append(kMeshEntryMagic, 4);
  PutU32(out, kMeshEntryVersion);
  PutU32(out, uint32_t(composantes.size()));
  PutU32(out, 0);  // the checksum, once the payload is written
  for (const TComposante& c : composantes) {
    PutU32(out, uint32_t(c.PrimitiveType));
    PutU32(out, uint32_t(c.Vertices.size()));
    if constexpr (std::endian::native == std::endian::little) {
      if (!c.Vertices.empty())
        out.append(reinterpret_cast<const char*>(c.Vertices.data()), c.Vertices.size() * kVertexBytes);
    } else {
      for (const D3DVERTEX& v : c.Vertices)
        for (float f : {v.x, v.y, v.z, v.nx, v.ny, v.nz, v.tu, v.tv}) PutU32(out, std::bit_cast<uint32_t>(f));
    }
  }
  const uint32_t crc = Crc32(std::string_view(out).substr(kHeaderBytes));
  for (int k = 0; k < 4; ++k) out[12 + size_t(k)] = char((crc >> (8 * k)) & 0xFF);
  return out;
}

TExpected<TArrayOfComposante> DecodeMesh(std::string_view bytes, const std::string& entry, size_t maxTriangles) {
  const auto damaged = [&](std::string why) { return TError(kMsgMeshEntryDamaged + entry, std::move(why)); };
  if (bytes.size() < kHeaderBytes || std::memcmp(bytes.data(), kMeshEntryMagic, 4) != 0)
    return damaged("ce n'est pas un maillage");
  if (const uint32_t version = GetU32(bytes, 4); version != kMeshEntryVersion)
    return damaged("version " + std::to_string(version) + " inconnue de ce programme");
  const std::string_view payload = bytes.substr(kHeaderBytes);
  if (Crc32(payload) != GetU32(bytes, 12)) return damaged("somme de contrôle incorrecte");
  const uint64_t count = GetU32(bytes, 8);
  if (count > payload.size() / kComposanteHeaderBytes) return damaged("nombre de composantes au-delà des données");
  // Every count is checked against what follows before anything is sized on it.
  uint64_t triangles = 0;
  size_t at = 0;
  for (uint64_t k = 0; k < count; ++k) {
    if (payload.size() - at < kComposanteHeaderBytes) return damaged("données tronquées");
    const uint32_t type = GetU32(payload, at), vertices = GetU32(payload, at + 4);
    if (!IsTriangleType(type)) return damaged("type de primitive " + std::to_string(type) + " inconnu");
    at += kComposanteHeaderBytes;
    if (vertices > (payload.size() - at) / kVertexBytes) return damaged("nombre de sommets au-delà des données");
    at += size_t(vertices) * kVertexBytes;
    triangles += TrianglesOf(int32_t(type), vertices);
  }
  if (at != payload.size()) return damaged("octets en trop après les composantes");
  if (triangles > maxTriangles)
    return TError(kMsgMeshTooLarge + entry + " (" + std::to_string(triangles) + " triangles)");
  TArrayOfComposante out(static_cast<size_t>(count));
  at = 0;
  for (TComposante& c : out) {
    c.PrimitiveType = int32_t(GetU32(payload, at));
    const size_t n = GetU32(payload, at + 4);
    at += kComposanteHeaderBytes;
    c.Vertices.resize(n);
    if constexpr (std::endian::native == std::endian::little) {
      if (n > 0) std::memcpy(c.Vertices.data(), payload.data() + at, n * kVertexBytes);
    } else {
      for (size_t i = 0; i < n; ++i) {
        float f[8];
        for (size_t j = 0; j < 8; ++j) f[j] = std::bit_cast<float>(GetU32(payload, at + i * kVertexBytes + 4 * j));
        c.Vertices[i] = {f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7]};
      }
    }
    at += n * kVertexBytes;
  }
  return out;
}

}  // namespace ixoral
