// The archive entry of a mesh solid: its components (primitive type and vertices) in a compact
// binary form of its own, with a version and a checksum, so that a document holds imported and
// computed meshes exactly, bit for bit, and refuses a damaged entry instead of drawing it.
//
// Layout, every number little-endian:
//   "IXMH"  magic
//   u32     version (1)
//   u32     component count
//   u32     CRC-32 (zlib's) of the payload
//   payload: per component u32 primitive type, u32 vertex count, then its vertices, eight
//            IEEE-754 single floats each (x, y, z, nx, ny, nz, tu, tv)
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "document/MeshImport.h"
#include "platform/Result.h"
#include "scene/Objects.h"

namespace ixoral {

inline constexpr char kMeshEntryMagic[4] = {'I', 'X', 'M', 'H'};
inline constexpr uint32_t kMeshEntryVersion = 1;

inline constexpr const char* kMsgMeshEntryDamaged = "Maillage endommagé dans le document : ";

// The entry's bytes. The same components always give the same bytes (floats are copied bit for
// bit, NaN payloads included).
std::string EncodeMesh(const TArrayOfComposante& composantes);

// The components, or a failure naming `entry` (the entry's name in the document): kMsgMeshEntryDamaged
// with what is wrong (magic, version, checksum, a count beyond the bytes present, bytes left over,
// a primitive type that is no triangle list, strip or fan), or kMsgMeshTooLarge beyond
// `maxTriangles`. Counts are checked against the bytes present before anything is allocated.
TExpected<TArrayOfComposante> DecodeMesh(std::string_view bytes, const std::string& entry,
                                         size_t maxTriangles = kMaxMeshTriangles);

}  // namespace ixoral
