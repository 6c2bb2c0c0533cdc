#include "scene/MeshStore.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "scene/Shapes.h"

namespace ixoral {
namespace {

struct TMeshStore {
  std::mutex Lock;
  std::unordered_map<std::string, std::shared_ptr<const TArrayOfComposante>> Meshes;
};

TMeshStore& Store() {
  static TMeshStore store;
  return store;
}

// FNV-1a over 64-bit words (then the bytes left), with the words' high bits folded back in:
// a mesh of a million triangles is hashed in a few tens of milliseconds.
void Mix(uint64_t& h, const void* data, size_t bytes) {
  const auto* p = static_cast<const unsigned char*>(data);
  size_t i = 0;
  for (; i + 8 <= bytes; i += 8) {
    uint64_t word;
    std::memcpy(&word, p + i, 8);
    h = (h ^ word) * 0x100000001B3ull;
    h ^= h >> 29;
  }
  for (; i < bytes; ++i) h = (h ^ p[i]) * 0x100000001B3ull;
}

}  // namespace

std::string MeshKey(const TArrayOfComposante& mesh) {
  uint64_t h = 0xCBF29CE484222325ull;
  for (const TComposante& c : mesh) {
    const uint64_t head[2] = {static_cast<uint32_t>(c.PrimitiveType), c.Vertices.size()};
    Mix(h, head, sizeof head);
    if (!c.Vertices.empty()) Mix(h, c.Vertices.data(), c.Vertices.size() * sizeof(D3DVERTEX));
  }
  char digits[17];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(h));
  return kMeshKeyPrefix + std::string(digits);
}

std::string KeepMesh(TArrayOfComposante mesh) {
  std::string key = MeshKey(mesh);
  TMeshStore& store = Store();
  std::lock_guard<std::mutex> hold(store.Lock);
  auto& kept = store.Meshes[key];
  if (!kept) kept = std::make_shared<const TArrayOfComposante>(std::move(mesh));
  return key;
}

std::shared_ptr<const TArrayOfComposante> FindMesh(const std::string& key) {
  TMeshStore& store = Store();
  std::lock_guard<std::mutex> hold(store.Lock);
  const auto it = store.Meshes.find(key);
  return it == store.Meshes.end() ? nullptr : it->second;
}

bool IsMeshKey(const std::string& key) {
  const size_t prefix = std::strlen(kMeshKeyPrefix);
  if (key.size() != prefix + 16 || key.compare(0, prefix, kMeshKeyPrefix) != 0) return false;
  for (size_t i = prefix; i < key.size(); ++i)
    if (!((key[i] >= '0' && key[i] <= '9') || (key[i] >= 'a' && key[i] <= 'f'))) return false;
  return true;
}

std::unique_ptr<TSolidObject> CreateMeshSolid(const std::string& key, const std::string& source, D3DCOLOR colour) {
  const std::shared_ptr<const TArrayOfComposante> mesh = FindMesh(key);
  if (!mesh) return nullptr;
  auto s = NewSolidFromComposantes(*mesh, colour);
  s->ShapeType = stMaillage;
  s->SetTextParam(1, key);
  s->SetTextParam(2, source);
  return s;
}

size_t TriangleCount(const TArrayOfComposante& mesh) {
  size_t n = 0;
  for (const TComposante& c : mesh) {
    const size_t v = c.Vertices.size();
    if (c.PrimitiveType == D3DPT_TRIANGLELIST)
      n += v / 3;
    else if (c.PrimitiveType == D3DPT_TRIANGLESTRIP || c.PrimitiveType == D3DPT_TRIANGLEFAN)
      n += v >= 3 ? v - 2 : 0;
  }
  return n;
}

}  // namespace ixoral
