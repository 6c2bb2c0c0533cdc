// The mesh entry of a document: exact round trips of every kind of component, the same bytes each
// time, and refusal of every damage before anything is sized on it.
#include "document/MeshArchive.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "scene/Shapes.h"

using namespace ixoral;

namespace {

TArrayOfComposante SampleComposantes() {
  TArrayOfComposante out = std::move(CreateTorus(12, 10, 0xFFFFFFFF, 0.1, 0.4)->Composantes);
  const auto cylinder = CreateCylinder(16, 0xFFFFFFFF, 1, 0.2);
  out.insert(out.end(), cylinder->Composantes.begin(), cylinder->Composantes.end());
  TComposante odd;  // values a deformation or a file may leave: NaN payloads, -0, denormals
  odd.Vertices.resize(3);
  odd.Vertices[0].x = std::bit_cast<float>(0x7FC01234u);
  odd.Vertices[1].y = -0.0f;
  odd.Vertices[2].tu = std::numeric_limits<float>::denorm_min();
  out.push_back(odd);
  out.emplace_back();  // an empty component keeps its place
  return out;
}

bool SameBits(const TArrayOfComposante& a, const TArrayOfComposante& b) {
  if (a.size() != b.size()) return false;
  for (size_t k = 0; k < a.size(); ++k) {
    if (a[k].PrimitiveType != b[k].PrimitiveType || a[k].Vertices.size() != b[k].Vertices.size()) return false;
    if (!a[k].Vertices.empty() &&
        std::memcmp(a[k].Vertices.data(), b[k].Vertices.data(), a[k].Vertices.size() * sizeof(D3DVERTEX)) != 0)
      return false;
  }
  return true;
}

void PutU32(std::string& s, size_t at, uint32_t v) {
  for (int k = 0; k < 4; ++k) s[at + size_t(k)] = char((v >> (8 * k)) & 0xFF);
}

class MeshArchiveTest : public ::testing::Test {
 protected:
  // The message of a refused entry (the reason in `reason`), or "" when it decodes.
  std::string Refusal(const std::string& bytes, size_t maxTriangles = kMaxMeshTriangles) {
    const auto decoded = DecodeMesh(bytes, "maillage1.bin", maxTriangles);
    if (decoded) return "";
    reason = decoded.Error().Reason;
    return decoded.Error().Message;
  }
  // Re-signs an entry changed after its checksum, so that the checks behind it are reached: the
  // CRC-32 of zlib (and of PNG, ZIP), computed bit by bit.
  static std::string Resigned(std::string bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t k = 16; k < bytes.size(); ++k) {
      crc ^= uint8_t(bytes[k]);
      for (int b = 0; b < 8; ++b) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    PutU32(bytes, 12, ~crc);
    return bytes;
  }
  const std::string damaged = std::string(kMsgMeshEntryDamaged) + "maillage1.bin";
  std::string reason;
};

}  // namespace

TEST_F(MeshArchiveTest, ComponentsComeBackBitForBitAndEncodeAlike) {
  const TArrayOfComposante mesh = SampleComposantes();
  const std::string bytes = EncodeMesh(mesh);
  EXPECT_EQ(bytes, EncodeMesh(mesh));
  EXPECT_EQ(bytes.compare(0, 4, "IXMH"), 0);
  size_t vertices = 0;
  for (const TComposante& c : mesh) vertices += c.Vertices.size();
  EXPECT_EQ(bytes.size(), 16 + 8 * mesh.size() + 32 * vertices);
  const auto decoded = DecodeMesh(bytes, "maillage1.bin");
  ASSERT_TRUE(decoded) << decoded.Error().Reason;
  EXPECT_TRUE(SameBits(*decoded, mesh));
  EXPECT_EQ(EncodeMesh(*decoded), bytes);
  EXPECT_TRUE(DecodeMesh(EncodeMesh({}), "vide")->empty());
}

// The layout is the document's: its first bytes are fixed here, so a change to it shows.
TEST_F(MeshArchiveTest, TheLayoutIsLittleEndianWithTheZlibChecksum) {
  TComposante c;
  c.Vertices.resize(3);
  c.Vertices[1].x = 1.0f;
  const std::string bytes = EncodeMesh({c});
  ASSERT_EQ(bytes.size(), 16u + 8 + 96);
  EXPECT_EQ(bytes.substr(4, 8), std::string("\1\0\0\0\1\0\0\0", 8));
  EXPECT_EQ(bytes.substr(16, 8), std::string("\4\0\0\0\3\0\0\0", 8));
  EXPECT_EQ(bytes.substr(24 + 32, 4), std::string("\0\0\x80\x3F", 4));
  EXPECT_EQ(Resigned(bytes), bytes);
}

TEST_F(MeshArchiveTest, DamageIsRefusedWithItsReason) {
  const std::string good = EncodeMesh(SampleComposantes());
  EXPECT_EQ(Refusal(""), damaged);
  EXPECT_EQ(Refusal(good.substr(0, 15)), damaged);
  std::string magic = good;
  magic[0] = 'X';
  EXPECT_EQ(Refusal(magic), damaged);
  std::string version = good;
  PutU32(version, 4, 2);
  EXPECT_EQ(Refusal(version), damaged);
  EXPECT_NE(reason.find("version 2"), std::string::npos);
  // One bit changed anywhere in the payload, or the payload cut short.
  for (size_t at : {size_t(16), size_t(20), good.size() / 2, good.size() - 1}) {
    std::string flipped = good;
    flipped[at] = char(flipped[at] ^ 0x10);
    EXPECT_EQ(Refusal(flipped), damaged) << at;
    EXPECT_NE(reason.find("contrôle"), std::string::npos);
  }
  EXPECT_EQ(Refusal(good.substr(0, good.size() - 32)), damaged);
}

// Counts that lie, with a valid checksum: each is checked against the bytes that follow.
TEST_F(MeshArchiveTest, CountsBeyondTheBytesAreRefusedBeforeAnyAllocation) {
  TComposante c;
  c.Vertices.resize(6);
  const std::string good = EncodeMesh({c});
  std::string many = good;
  PutU32(many, 8, 0xFFFFFFFFu);  // four billion components
  EXPECT_EQ(Refusal(Resigned(many)), damaged);
  std::string vertices = good;
  PutU32(vertices, 20, 0x7FFFFFFFu);  // two billion vertices for six present
  EXPECT_EQ(Refusal(Resigned(vertices)), damaged);
  std::string fewer = good;
  PutU32(fewer, 20, 5);  // bytes left over
  EXPECT_EQ(Refusal(Resigned(fewer)), damaged);
  std::string type = good;
  PutU32(type, 16, 2);  // a line list is no surface
  EXPECT_EQ(Refusal(Resigned(type)), damaged);
  std::string strip = good;
  PutU32(strip, 16, D3DPT_TRIANGLESTRIP);
  EXPECT_EQ(Refusal(Resigned(strip)), "");
  // Within the bytes but beyond the budget: a strip of six vertices draws four triangles.
  EXPECT_EQ(Refusal(Resigned(strip), 3), std::string(kMsgMeshTooLarge) + "maillage1.bin (4 triangles)");
}
