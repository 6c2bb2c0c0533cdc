// Importing a binary STL of a million triangles (the goal is two seconds on the reference
// machine), the document's mesh entry of the same triangles written and read, and the imported
// mesh solid drawn in the four views of the main window's surface (1444 x 908), for comparison
// with llvmpipe drawing as many triangles (the anchor's ten primitives, about 6,000 triangles,
// 167 times).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "document/MeshArchive.h"
#include "document/MeshImport.h"
#include "document/MeshSolids.h"
#include "render/SceneRenderer.h"

using namespace ixoral;
namespace fs = std::filesystem;

namespace {

constexpr int kColumns = 1000, kRows = 500;  // two triangles a cell: 1,000,000

void Put(std::string& out, float f) {
  char b[4];
  std::memcpy(b, &f, 4);
  out.append(b, 4);
}

// A wavy sheet of kColumns x kRows cells as a binary STL, with its faces' normals.
std::string WavySheetStl() {
  const auto height = [](int i, int j) { return float(0.05 * std::sin(i * 0.05) * std::cos(j * 0.07)); };
  const uint32_t count = 2u * kColumns * kRows;
  std::string out(80, ' ');
  for (int k = 0; k < 4; ++k) out += char((count >> (8 * k)) & 0xFF);
  out.reserve(84 + 50 * size_t(count));
  const auto triangle = [&](const float(&p)[3][3]) {
    const float e1[3] = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
    const float e2[3] = {p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
    float n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
    const float len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    for (float& c : n) Put(out, len > 0 ? c / len : 0);
    for (const auto& v : p)
      for (float c : v) Put(out, c);
    out.append(2, '\0');
  };
  for (int i = 0; i < kColumns; ++i)
    for (int j = 0; j < kRows; ++j) {
      const float x0 = i * 0.01f, x1 = (i + 1) * 0.01f, z0 = j * 0.01f, z1 = (j + 1) * 0.01f;
      triangle({{x0, height(i, j), z0}, {x1, height(i + 1, j), z0}, {x1, height(i + 1, j + 1), z1}});
      triangle({{x0, height(i, j), z0}, {x1, height(i + 1, j + 1), z1}, {x0, height(i, j + 1), z1}});
    }
  return out;
}

std::string TempPath(const char* name) {
  return (fs::temp_directory_path() / (std::string("ixoral_bench_") + std::to_string(::getpid()) + name)).string();
}

// The million-triangle sheet written as a binary STL in the temporary folder; its path.
std::string WriteSheetFile(const char* name) {
  const std::string path = TempPath(name);
  const std::string bytes = WavySheetStl();
  std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
  return path;
}

}  // namespace

static void BM_ImportBinaryStlMillionTriangles(benchmark::State& state) {
  const std::string path = WriteSheetFile("_sheet.stl");
  for (auto _ : state) {
    const auto read = ImportMesh(path);
    if (!read) state.SkipWithError(read.Error().Message.c_str());
    benchmark::DoNotOptimize(read->Meshes.size());
  }
  fs::remove(path);
}
BENCHMARK(BM_ImportBinaryStlMillionTriangles)->Unit(benchmark::kMillisecond)->UseRealTime();

static void BM_MeshEntryMillionTriangles(benchmark::State& state) {
  const std::string path = WriteSheetFile("_entry.stl");
  const auto read = ImportMesh(path);
  fs::remove(path);
  if (!read) {
    state.SkipWithError(read.Error().Message.c_str());
    return;
  }
  const TArrayOfComposante mesh{read->Meshes.at(0).Triangles};
  for (auto _ : state) {
    const std::string bytes = EncodeMesh(mesh);
    const auto decoded = DecodeMesh(bytes, "maillage1.bin");
    benchmark::DoNotOptimize(decoded.Ok());
  }
}
BENCHMARK(BM_MeshEntryMillionTriangles)->Unit(benchmark::kMillisecond)->UseRealTime();

// The whole of "Importer" on the file: read, kept in the run's mesh store and added as a solid.
static void BM_ImportIntoSceneMillionTriangles(benchmark::State& state) {
  const std::string path = WriteSheetFile("_scene.stl");
  for (auto _ : state) {
    TScene scene;
    const auto added = ImportMeshFiles(scene, {path}, TempPath("_textures"));
    if (!added) state.SkipWithError(added.Error().Message.c_str());
    benchmark::DoNotOptimize(scene.ObjectCount());
  }
  fs::remove(path);
}
BENCHMARK(BM_ImportIntoSceneMillionTriangles)->Unit(benchmark::kMillisecond)->UseRealTime();

static void BM_ImportedMillionTrianglesFourViews(benchmark::State& state) {
  const std::string path = WriteSheetFile("_drawn.stl");
  TDisplayScene drawn{1444, 908, nullptr, nullptr};
  drawn.Scene.FourViews = true;
  if (!drawn.Renderer.InitDevice()) std::abort();
  drawn.Scene.NewScene(true);
  drawn.Renderer.ShowGrid = drawn.Renderer.ShowAxes = true;
  const auto added = ImportMeshFiles(drawn.Scene, {path}, TempPath("_textures"));
  fs::remove(path);
  if (!added) {
    state.SkipWithError(added.Error().Message.c_str());
    return;
  }
  // The 10 x 5 sheet brought to the middle of the views, where the default cameras see it whole.
  T3dObject& sheet = *drawn.Scene.ObjectAt(added->Objects.at(0));
  sheet.SetScale({0.3, 0.3, 0.3});
  sheet.SetPosition({-1.5, 0, -0.75});
  for (auto _ : state) {
    drawn.Renderer.ForgetPictures();
    drawn.Renderer.RedrawViews(0, 0, false);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ImportedMillionTrianglesFourViews)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
