// libFuzzer harness of the mesh import. The first byte picks the file's format by its low bits
// (stl, obj, gltf, glb, ply); the rest is cut at the first "\n@@\n" into the mesh file and a
// companion beside it ("c.mtl" for OBJ, "c.bin" otherwise), so that material files and glTF
// buffers are reached too. Whatever the input, the import either refuses it with one of its
// messages or gives meshes within the budget whose triangles the window can draw: whole
// triangles, finite corners, unit normals, a texture only from inside the folder.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "FuzzScratch.h"
#include "document/MeshImport.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kPartMark = "\n@@\n";
constexpr const char* kExtensions[] = {".stl", ".obj", ".gltf", ".glb", ".ply"};

void Require(bool condition) {
  if (!condition) std::abort();
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

void Write(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static ixoral::fuzz::TFuzzScratch scratch("ixoral-mesh-fuzz-");
  const std::string ext = kExtensions[(data[0] & 0x7F) % 5];
  const std::string in(reinterpret_cast<const char*>(data) + 1, size - 1);
  const size_t mark = in.find(kPartMark);
  const fs::path file = scratch.Work() / ("m" + ext);
  const fs::path companion = scratch.Work() / (ext == ".obj" ? "c.mtl" : "c.bin");
  std::error_code ec;
  fs::remove(scratch.Work() / "c.mtl", ec);
  fs::remove(scratch.Work() / "c.bin", ec);
  Write(file, in.substr(0, mark));
  if (mark != std::string::npos) Write(companion, in.substr(mark + 4));

  ixoral::TMeshImportLimits limits;
  limits.Triangles = 20000;
  limits.FileBytes = 1u << 20;
  const auto read = ixoral::ImportMesh(file.string(), limits);
  if (!read) {
    const std::string& m = read.Error().Message;
    Require(StartsWith(m, ixoral::kMsgMeshUnreadable) || StartsWith(m, ixoral::kMsgMeshTooLarge) ||
            StartsWith(m, ixoral::kMsgMeshEmpty));
    return 0;
  }
  Require(!read->Meshes.empty());
  size_t triangles = 0;
  const std::string folder = fs::canonical(scratch.Work()).string() + "/";
  for (const ixoral::TImportedMesh& mesh : read->Meshes) {
    const auto& v = mesh.Triangles.Vertices;
    Require(!v.empty() && v.size() % 3 == 0);
    triangles += v.size() / 3;
    for (const auto& p : v) {
      Require(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
      Require(std::fabs(double(p.nx) * p.nx + double(p.ny) * p.ny + double(p.nz) * p.nz - 1) < 1e-3);
      Require(std::isfinite(p.tu) && std::isfinite(p.tv));
    }
    Require(mesh.TexturePath.empty() || StartsWith(mesh.TexturePath, folder.c_str()));
  }
  Require(triangles <= limits.Triangles);
  return 0;
}
