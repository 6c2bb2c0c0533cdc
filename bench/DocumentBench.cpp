// Saving and loading documents of many solids, and a save with textured solids.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "document/ModelExport.h"
#include "document/PovExport.h"
#include "document/SceneDocument.h"
#include "scene/Shapes.h"
#include "scene/Text3D.h"

using namespace ixoral;
namespace fs = std::filesystem;

namespace {

// n solids: the ten default inserts in turn, plus the default light.
void Fill(TScene& scene, int n) {
  scene.NewScene(true);
  int counters[InsertDefaults.size()] = {};
  for (int i = 0; i < n; ++i) {
    const auto& d = InsertDefaults[static_cast<size_t>(i) % InsertDefaults.size()];
    scene.AddObject(d.Create(), d.Prefix + std::to_string(++counters[i % InsertDefaults.size()]));
  }
}

std::string TempPath(const char* name) {
  return (fs::temp_directory_path() / (std::string("ixoral_bench_") + std::to_string(::getpid()) + name)).string();
}

}  // namespace

static void BM_SaveDocument(benchmark::State& state) {
  TScene scene;
  Fill(scene, static_cast<int>(state.range(0)));
  const std::string path = TempPath("_save.ixr");
  for (auto _ : state) benchmark::DoNotOptimize(SaveDocument(scene, path, true).Ok());
  fs::remove(path);
}
BENCHMARK(BM_SaveDocument)->Arg(500)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

static void BM_LoadDocument(benchmark::State& state) {
  const std::string path = TempPath("_load.ixr");
  {
    TScene scene;
    Fill(scene, static_cast<int>(state.range(0)));
    (void)SaveDocument(scene, path, true);
  }
  for (auto _ : state) {
    TScene scene;
    scene.NewScene(false);
    (void)LoadDocument(scene, path, TempPath("_textures"));
    benchmark::DoNotOptimize(scene.ObjectCount());
  }
  fs::remove(path);
}
BENCHMARK(BM_LoadDocument)->Arg(500)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// Twenty textured solids, each with its own 200 KB image: one pass over the archive.
static void BM_SaveTextured(benchmark::State& state) {
  TScene scene;
  Fill(scene, 20);
  const std::string folder = TempPath("_tex");
  fs::create_directories(folder);
  for (int i = 0; i < 20; ++i) {
    const std::string file = folder + "/t" + std::to_string(i) + ".bmp";
    std::ofstream(file, std::ios::binary) << std::string(200000, static_cast<char>('a' + i));
    TSolidObject* s = scene.SolidAt(i + 1);
    s->Texturer = true;
    s->TextureFile = file;
  }
  const std::string path = TempPath("_tex.ixr");
  for (auto _ : state) benchmark::DoNotOptimize(SaveDocument(scene, path, true).Ok());
  fs::remove(path);
  fs::remove_all(folder);
}
BENCHMARK(BM_SaveTextured)->Unit(benchmark::kMillisecond);

// A scene text of n cubes all named "a": each is named "a" followed by as many "i" as cubes
// before it, so the names alone grow with the square of n.
static void BM_ReadIdenticalNames(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::string end = "\xA4\r\n";
  std::string text = "IXORAL EXPORT" + end + std::to_string(n) + end;
  for (int k = 0; k < n; ++k)
    text +=
        "SolidObject;a;FFFFFFFF;0;0;0;0;0;0;1;1;1;1;0;1;0;No Modif;No Bruit;No Torsion;-1;0;No Texture;1,5;0,5;\r\n" +
        end;
  for (auto _ : state) {
    TScene scene;
    benchmark::DoNotOptimize(ReadSceneText(scene, text));
  }
}
BENCHMARK(BM_ReadIdenticalNames)->Arg(6000)->Unit(benchmark::kMillisecond);

// The 500-solid scene exported to each exchange format (0 glTF binary, 1 OBJ, 2 STL), written to
// the disk as the modeller writes it.
static void BM_ExportModel(benchmark::State& state) {
  TScene scene;
  Fill(scene, 500);
  static const char* const names[] = {"_export.glb", "_export.obj", "_export.stl"};
  const std::string path = TempPath(names[state.range(0)]);
  TModelExportOptions options;
  options.Overwrite = true;
  for (auto _ : state) benchmark::DoNotOptimize(ExportModel(scene, path, options).Ok());
  fs::remove(path);
  fs::remove(fs::path(path).replace_extension(".mtl"));
}
BENCHMARK(BM_ExportModel)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// The same scene to STL with a tenth of its solids subtracted from a neighbour: in each run of
// ten inserts, the sphere is moved onto the cube's corner and subtracted from it (50 mesh
// booleans).
static void BM_ExportModelWithRelations(benchmark::State& state) {
  TScene scene;
  Fill(scene, 500);
  for (int run = 0; run < 50; ++run) {
    const int cube = 1 + 10 * run, sphere = cube + 6;
    scene.SolidAt(sphere)->SetPosition({0.25, 0.25, -0.25});
    scene.LinkParent(sphere, cube);
    scene.SolidAt(sphere)->Relation = relSoustraction;
  }
  const std::string path = TempPath("_relations.stl");
  TModelExportOptions options;
  options.Overwrite = true;
  for (auto _ : state) benchmark::DoNotOptimize(ExportModel(scene, path, options).Ok());
  fs::remove(path);
}
BENCHMARK(BM_ExportModelWithRelations)->Unit(benchmark::kMillisecond);

// The longest 3D text (255 characters at precision 100, filled: about four million corners)
// exported for POV-Ray as the views draw it, a mesh of some 200 MB, written to the disk.
static void BM_ExportPovLongestText(benchmark::State& state) {
  TScene scene;
  scene.NewScene(true);
  TTTFToVectorConverter converter;
  converter.SetPrecision(100);
  scene.AddObject(CreateText3D(std::string(255, 'W'), converter, -200, true, kOpaqueWhite, 300, 0.2, 1400, 1), "Texte");
  const std::string path = TempPath("_text.pov");
  for (auto _ : state) benchmark::DoNotOptimize(ExportPovScene(scene, 3, path, true).Ok());
  fs::remove(path);
}
BENCHMARK(BM_ExportPovLongestText)->Unit(benchmark::kMillisecond)->Iterations(3);
