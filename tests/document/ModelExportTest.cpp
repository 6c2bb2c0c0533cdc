// glTF, OBJ and STL exports: the Khronos validator's verdict, re-reading by the Open Asset Import
// Library (triangle counts, bounds, winding), materials and textures, and the refusals.
#include "document/ModelExport.h"

#include <assimp/Importer.hpp>
#include <assimp/material.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <numbers>

#include "../support/TempFolder.h"
#include "document/PictureExport.h"
#include "document/SceneDocument.h"
#include "scene/Shapes.h"
#include "tools/images/Image.h"

using namespace ixoral;
using ixoral::test::TTempFolder;
namespace fs = std::filesystem;

namespace {

const std::string kSample = std::string(IXORAL_TEST_DATA_DIR) + "/../../data/samples/reference.ixr";

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

struct TBounds {
  double Min[3] = {1e300, 1e300, 1e300}, Max[3] = {-1e300, -1e300, -1e300};
  void Add(double x, double y, double z) {
    const double p[3] = {x, y, z};
    for (int k = 0; k < 3; ++k) Min[k] = std::min(Min[k], p[k]), Max[k] = std::max(Max[k], p[k]);
  }
};

// What the scene holds, counted from its components: triangles and world bounds (z mirrored, as
// the right-handed formats have it) of its visible solids.
void SceneTriangles(const TScene& scene, size_t& triangles, TBounds& bounds) {
  triangles = 0;
  for (int i = 0; i < scene.ObjectCount(); ++i) {
    const TSolidObject* s = scene.SolidAt(i);
    if (!s || !s->Afficher) continue;
    for (const TComposante& c : s->Composantes) {
      const size_t n = c.Vertices.size();
      if (n < 3) continue;
      if (c.PrimitiveType == D3DPT_TRIANGLELIST)
        triangles += n / 3;
      else if (c.PrimitiveType == D3DPT_TRIANGLESTRIP || c.PrimitiveType == D3DPT_TRIANGLEFAN)
        triangles += n - 2;
      else
        continue;
      for (const D3DVERTEX& v : c.Vertices) {
        const Vec3d w = s->TransformPoint({v.x, v.y, v.z});
        bounds.Add(w.x, w.y, -w.z);
      }
    }
  }
}

void ImportedTriangles(const aiScene& scene, size_t& triangles, TBounds& bounds) {
  triangles = 0;
  for (unsigned m = 0; m < scene.mNumMeshes; ++m) {
    const aiMesh& mesh = *scene.mMeshes[m];
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) triangles += mesh.mFaces[f].mNumIndices == 3;
    for (unsigned v = 0; v < mesh.mNumVertices; ++v)
      bounds.Add(mesh.mVertices[v].x, mesh.mVertices[v].y, mesh.mVertices[v].z);
  }
}

void ExpectSameBounds(const TBounds& a, const TBounds& b) {
  for (int k = 0; k < 3; ++k) {
    EXPECT_NEAR(a.Min[k], b.Min[k], 1e-4) << "axis " << k;
    EXPECT_NEAR(a.Max[k], b.Max[k], 1e-4) << "axis " << k;
  }
}

// Runs the Khronos glTF validator (the npm package "gltf-validator") on a file. Answers its
// report, or empty with `skip` set when node or the validator is not installed.
std::string Validate(const TTempFolder& folder, const std::string& file, int& errors, std::string& skip) {
  const std::string script = folder.File("validate.js");
  std::ofstream(script) << R"(const fs = require('fs');
let v;
try { v = require('gltf-validator'); } catch (e) { console.log('NO-VALIDATOR'); process.exit(3); }
v.validateBytes(new Uint8Array(fs.readFileSync(process.argv[2])))
  .then(r => { console.log(JSON.stringify(r.issues)); process.exit(r.issues.numErrors > 0 ? 1 : 0); })
  .catch(e => { console.log('FAILED ' + e); process.exit(1); });
)";
  const std::string command = "NODE_PATH=\"$(npm root -g 2>/dev/null)\" node '" + script + "' '" + file + "' 2>&1";
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    const int status = ::pclose(p);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (code == 127 || out.find("NO-VALIDATOR") != std::string::npos) {
      skip =
          "the glTF validator is not installed (node and the npm package gltf-validator: "
          "scripts/install-deps installs them)";
      return {};
    }
    errors = code == 0 ? 0 : 1;
  }
  return out;
}

// A scene with what the formats must carry: a textured solid (a bitmap, turned to PNG, and a
// JPEG, kept), a transparent one, a turned and resized one, a CSG pair and a spot light.
void BuildRichScene(TScene& scene, const TTempFolder& folder) {
  scene.NewScene(true);
  std::vector<uint32_t> pixels(16 * 8);
  for (size_t k = 0; k < pixels.size(); ++k) pixels[k] = 0xFF000000u | uint32_t(k * 0x10305);
  ASSERT_TRUE(WriteBmpFile(folder.File("damier.bmp"), 16, 8, pixels.data()));
  ASSERT_TRUE(WriteJpegFile(folder.File("photo.jpg"), 16, 8, pixels.data()));
  int cube = scene.AddObject(CreateCube(0xFFFF8000, 0.5), "Cube texturé");
  scene.SolidAt(cube)->Texturer = true;
  scene.SolidAt(cube)->TextureFile = folder.File("damier.bmp");
  int sphere = scene.AddObject(CreateSphere(12, 12, 0x8000FF00, 0.4), "Sphere1");
  scene.SolidAt(sphere)->SetPosition({1, 0.5, 0});
  scene.SolidAt(sphere)->Texturer = true;
  scene.SolidAt(sphere)->TextureFile = folder.File("photo.jpg");
  int torus = scene.AddObject(CreateTorus(12, 12, 0xFF0000FF, 0.1, 0.4), "Tore1");
  scene.SolidAt(torus)->SetScale({2, 1, 0.5});
  scene.SolidAt(torus)->SetDirection({1, 1, 0});
  scene.SolidAt(torus)->SetPosition({-1, 0, 1});
  int hole = scene.AddObject(CreateCylinder(16, 0xFFFFFFFF, 1, 0.1), "Trou");
  ASSERT_TRUE(scene.SetParent(hole, cube));
  ASSERT_TRUE(scene.SetRelation(hole, cube, relSoustraction));
  scene.AddObject(CreateSpotLight(0xFFFFFFFF, &scene, 0.5f, 1.0f), "Spot");
}

class ModelExportTest : public ::testing::Test {
 protected:
  // Exports, keeping in `told` what the window would show of the result, in order.
  TResult Export(TScene& scene, const std::string& path, const TModelExportOptions& options = {}) {
    TResult exported = ExportModel(scene, path, options);
    told.insert(told.end(), exported.Notices().begin(), exported.Notices().end());
    if (!exported) told.push_back(exported.Error().Message);
    return exported;
  }

  TTempFolder folder{"model-export"};
  std::vector<std::string> told;
};

}  // namespace

TEST_F(ModelExportTest, TheSampleAndARichSceneAsGlbPassTheKhronosValidator) {
  TScene sample;
  ASSERT_TRUE(LoadDocument(sample, kSample, folder.File("textures")));
  ASSERT_TRUE(Export(sample, folder.File("reference.glb"), {}));
  TScene rich;
  BuildRichScene(rich, folder);
  ASSERT_TRUE(Export(rich, folder.File("rich.glb"), {}));
  // The textured cube is cut by its hole: the cut solid is written in the cube's colour.
  EXPECT_EQ(told, std::vector<std::string>{std::string(kMsgRelationTextureLeftOut) + "Cube texturé"});

  // What the file says, read back by the same library that reads OBJ and STL.
  Assimp::Importer importer;
  const aiScene* read = importer.ReadFile(folder.File("reference.glb"), 0);
  ASSERT_NE(read, nullptr) << importer.GetErrorString();
  size_t expected = 0, got = 0;
  TBounds want, have;
  SceneTriangles(sample, expected, want);
  ImportedTriangles(*read, got, have);
  EXPECT_EQ(got, expected);
  ExpectSameBounds(want, have);
  const std::string json = ReadAll(folder.File("rich.glb"));
  EXPECT_NE(json.find("KHR_lights_punctual"), std::string::npos);
  EXPECT_EQ(json.find("\"relation\""), std::string::npos) << "the hole is cut, so no relation is left to note";
  EXPECT_NE(json.find("image/png"), std::string::npos);   // the bitmap, converted
  EXPECT_NE(json.find("image/jpeg"), std::string::npos);  // the JPEG, as it was
  EXPECT_NE(json.find("\"alphaMode\":\"BLEND\""), std::string::npos);

  for (const char* name : {"reference.glb", "rich.glb"}) {
    int errors = -1;
    std::string skip;
    const std::string report = Validate(folder, folder.File(name), errors, skip);
    if (!skip.empty()) GTEST_SKIP() << skip;
    EXPECT_EQ(errors, 0) << name << ": " << report;
  }
}

TEST_F(ModelExportTest, ObjAndStlReadBackWithTheScenesTrianglesAndBounds) {
  TScene scene;
  ASSERT_TRUE(LoadDocument(scene, kSample, folder.File("textures")));
  size_t expected = 0;
  TBounds want;
  SceneTriangles(scene, expected, want);
  ASSERT_GT(expected, 1000u);
  for (const char* name : {"reference.obj", "reference.stl"}) {
    ASSERT_TRUE(Export(scene, folder.File(name), {})) << name;
    Assimp::Importer importer;
    const aiScene* read = importer.ReadFile(folder.File(name), 0);
    ASSERT_NE(read, nullptr) << importer.GetErrorString();
    size_t got = 0;
    TBounds have;
    ImportedTriangles(*read, got, have);
    EXPECT_EQ(got, expected) << name;
    ExpectSameBounds(want, have);
  }
  EXPECT_TRUE(fs::exists(folder.File("reference.mtl")));
  // The binary STL is 84 bytes of header and count, then 50 bytes a triangle.
  EXPECT_EQ(fs::file_size(folder.File("reference.stl")), 84 + 50 * expected);
  // "Cube Perce1" has a space an OBJ name cannot hold: the file says how it was written.
  ASSERT_FALSE(told.empty());
  EXPECT_EQ(told.back(), std::string(kMsgNamesAdapted) + "Cube Perce1 → Cube_Perce1");
}

TEST_F(ModelExportTest, FacesTurnOutwardsAndMaterialsAndTexturesFollowTheSolids) {
  TScene scene;
  BuildRichScene(scene, folder);
  ASSERT_TRUE(Export(scene, folder.File("rich.obj"), {}));
  const std::string obj = ReadAll(folder.File("rich.obj"));
  EXPECT_EQ(obj.find("soustraction"), std::string::npos) << "the hole is cut: " << obj.substr(0, 300);
  // The pictures beside the file: the bitmap as PNG, the JPEG as it was.
  EXPECT_EQ(ReadAll(folder.File("rich_photo.jpg")), ReadAll(folder.File("photo.jpg")));
  EXPECT_EQ(ReadAll(folder.File("rich_damier.png")).substr(1, 3), "PNG");

  Assimp::Importer importer;
  const aiScene* read = importer.ReadFile(folder.File("rich.obj"), 0);
  ASSERT_NE(read, nullptr) << importer.GetErrorString();
  bool sawSphere = false, sawCube = false;
  for (unsigned m = 0; m < read->mNumMeshes; ++m) {
    const aiMesh& mesh = *read->mMeshes[m];
    const aiMaterial& mat = *read->mMaterials[mesh.mMaterialIndex];
    aiString name;
    mat.Get(AI_MATKEY_NAME, name);
    float opacity = 1;
    mat.Get(AI_MATKEY_OPACITY, opacity);
    aiString texture;
    const bool textured = mat.GetTexture(aiTextureType_DIFFUSE, 0, &texture) == aiReturn_SUCCESS;
    if (std::string(name.C_Str()) == "Sphere1") {
      sawSphere = true;
      EXPECT_NEAR(opacity, 128 / 255.0, 1e-3);
      EXPECT_TRUE(textured && std::string(texture.C_Str()) == "rich_photo.jpg") << texture.C_Str();
      ASSERT_TRUE(mesh.HasTextureCoords(0));
    }
    if (std::string(name.C_Str()) == "Cube_texturé") {
      sawCube = true;
      aiColor3D kd;
      mat.Get(AI_MATKEY_COLOR_DIFFUSE, kd);
      EXPECT_NEAR(kd.r, 1, 1e-3);
      EXPECT_NEAR(kd.g, 128 / 255.0, 1e-3);
      EXPECT_NEAR(kd.b, 0, 1e-3);
    }
    // Every face of these closed solids turns its front (counter-clockwise) the way its normals
    // point, so a reader that culls back faces shows them.
    if (std::string(name.C_Str()) == "Cube_texturé" || std::string(name.C_Str()) == "Tore1" ||
        std::string(name.C_Str()) == "Sphere1") {
      ASSERT_TRUE(mesh.HasNormals());
      int agree = 0, total = 0;
      for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
        const aiFace& face = mesh.mFaces[f];
        if (face.mNumIndices != 3) continue;
        const aiVector3D a = mesh.mVertices[face.mIndices[0]], b = mesh.mVertices[face.mIndices[1]],
                         c = mesh.mVertices[face.mIndices[2]];
        const aiVector3D g = (b - a) ^ (c - a);
        if (g.Length() < 1e-9) continue;
        const aiVector3D n =
            mesh.mNormals[face.mIndices[0]] + mesh.mNormals[face.mIndices[1]] + mesh.mNormals[face.mIndices[2]];
        ++total;
        agree += (g * n) > 0;
      }
      EXPECT_EQ(agree, total) << name.C_Str();
    }
  }
  EXPECT_TRUE(sawSphere);
  EXPECT_TRUE(sawCube);
}

TEST_F(ModelExportTest, TheSelectionAloneIsExported) {
  TScene scene;
  BuildRichScene(scene, folder);
  scene.SelectObject(scene.IndexOfName("Tore1"));
  TModelExportOptions options;
  options.Objects = SelectedObjectsForExport(scene);
  options.SelectionOnly = true;
  ASSERT_TRUE(Export(scene, folder.File("tore.stl"), options));
  Assimp::Importer importer;
  const aiScene* read = importer.ReadFile(folder.File("tore.stl"), 0);
  ASSERT_NE(read, nullptr);
  size_t got = 0;
  TBounds have;
  ImportedTriangles(*read, got, have);
  EXPECT_EQ(got, 12u * 12u * 2u);
}

TEST_F(ModelExportTest, RefusalsLeaveNoFileBehind) {
  TScene empty;
  empty.NewScene(true);  // a light, no solid
  EXPECT_FALSE(Export(empty, folder.File("vide.glb"), {}));
  EXPECT_EQ(told.back(), kMsgExportEmptyScene);
  TModelExportOptions selection;
  selection.SelectionOnly = true;
  EXPECT_FALSE(Export(empty, folder.File("vide.obj"), selection));
  EXPECT_EQ(told.back(), kMsgExportEmptySelection);

  // A solid whose components draw only lines has no triangle to write.
  TScene lines;
  auto solid = CreateCube(0xFFFFFFFF, 1);
  for (TComposante& c : solid->Composantes) c.PrimitiveType = D3DPT_LINELIST;
  lines.AddObject(std::move(solid), "Fil");
  EXPECT_FALSE(Export(lines, folder.File("fil.stl"), {}));
  EXPECT_EQ(told.back(), std::string(kMsgExportNoTriangles) + "Fil");
  // Beside a solid that has some, it is left out and named.
  lines.AddObject(CreateCube(0xFFFFFFFF, 1), "Plein");
  EXPECT_TRUE(Export(lines, folder.File("fil.stl"), {}));
  EXPECT_EQ(told.back(), std::string(kMsgExportSkipped) + "Fil");
  fs::remove(folder.File("fil.stl"));

  // A texture that cannot be read: nothing written, not even the material file.
  TScene textured;
  textured.AddObject(CreateCube(0xFFFFFFFF, 1), "Cube1");
  textured.SolidAt(0)->Texturer = true;
  textured.SolidAt(0)->TextureFile = folder.File("disparue.bmp");
  EXPECT_FALSE(Export(textured, folder.File("t.obj"), {}));
  EXPECT_EQ(told.back(), std::string(kMsgTextureUnreadable) + folder.File("disparue.bmp"));
  std::ofstream(folder.File("abimee.bmp")) << "BM pas une image";
  textured.SolidAt(0)->TextureFile = folder.File("abimee.bmp");
  EXPECT_FALSE(Export(textured, folder.File("t.glb"), {}));
  EXPECT_EQ(told.back(), std::string(kMsgTextureUnreadable) + folder.File("abimee.bmp"));

  // A folder that cannot take the file, an unknown extension.
  TScene scene;
  scene.AddObject(CreateCube(0xFFFFFFFF, 1), "Cube1");
  std::ofstream(folder.File("fichier")) << "x";
  const std::string unwritable = folder.File("fichier") + "/scene.obj";
  EXPECT_FALSE(Export(scene, unwritable, {}));
  EXPECT_EQ(told.back().rfind(kMsgFileAccess, 0), 0u) << told.back();
  EXPECT_EQ(Export(scene, unwritable).Error().Reason, "Un élément du chemin n'est pas un dossier");
  EXPECT_FALSE(Export(scene, folder.File("scene.3ds"), {}));
  EXPECT_EQ(told.back(), std::string(kMsgUnknownModelFormat) + folder.File("scene.3ds"));

  // An existing file is replaced only when allowed (the window asks the user first).
  std::ofstream(folder.File("garde.stl")) << "avant";
  EXPECT_FALSE(Export(scene, folder.File("garde.stl"), {}));
  EXPECT_EQ(told.back(), kMsgFileAccess + folder.File("garde.stl"));
  EXPECT_EQ(ReadAll(folder.File("garde.stl")), "avant");

  // A name that is not UTF-8 (an old document's Windows-1252 bytes) is written as UTF-8.
  TScene latin;
  latin.AddObject(CreateCube(0xFFFFFFFF, 1), "Cub\xE9");
  ASSERT_TRUE(Export(latin, folder.File("latin.glb"), {}));
  EXPECT_NE(ReadAll(folder.File("latin.glb")).find("\"Cub\xC3\xA9\""), std::string::npos);
  fs::remove(folder.File("latin.glb"));

  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(folder.Path())) left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"abimee.bmp", "fichier", "garde.stl"}));
  EXPECT_EQ(scene.ObjectCount(), 1);
  EXPECT_EQ(textured.SolidAt(0)->TextureFile, folder.File("abimee.bmp"));
}

namespace {

// A binary STL's triangles, three corners each.
std::vector<std::array<float, 3>> StlCorners(const std::string& bytes) {
  std::vector<std::array<float, 3>> corners;
  if (bytes.size() < 84) return corners;
  uint32_t count = 0;
  std::memcpy(&count, bytes.data() + 80, 4);
  for (size_t t = 0; t < count && 84 + 50 * (t + 1) <= bytes.size(); ++t)
    for (int c = 0; c < 3; ++c) {
      std::array<float, 3> p;
      std::memcpy(p.data(), bytes.data() + 84 + 50 * t + 12 + 12 * size_t(c), 12);
      corners.push_back(p);
    }
  return corners;
}

// The volume the triangles enclose (positive for faces turned outwards), and whether every edge
// joins exactly two triangles that run along it in opposite directions.
double SignedVolume(const std::vector<std::array<float, 3>>& v, bool& closed) {
  double volume = 0;
  std::map<std::pair<std::array<float, 3>, std::array<float, 3>>, int> edges;
  for (size_t k = 0; k + 2 < v.size(); k += 3) {
    const auto &a = v[k], &b = v[k + 1], &c = v[k + 2];
    volume += (double(a[0]) * (double(b[1]) * c[2] - double(b[2]) * c[1]) -
               double(a[1]) * (double(b[0]) * c[2] - double(b[2]) * c[0]) +
               double(a[2]) * (double(b[0]) * c[1] - double(b[1]) * c[0])) /
              6;
    for (int e = 0; e < 3; ++e) ++edges[{v[k + size_t(e)], v[k + size_t((e + 1) % 3)]}];
  }
  closed = !edges.empty();
  for (const auto& [edge, count] : edges) {
    const auto back = edges.find({edge.second, edge.first});
    closed = closed && count == 1 && back != edges.end() && back->second == 1;
  }
  return volume;
}

}  // namespace

TEST_F(ModelExportTest, SubtractionsAndIntersectionsAreExportedAsTheCutSolids) {
  // A cube of side 1 less a sphere of radius 0.5 centred on its top face.
  TScene scene;
  const int cube = scene.AddObject(CreateCube(0xFFFF8000, 1), "Cube1");
  const int sphere = scene.AddObject(CreateSphere(48, 48, 0xFF00FF00, 0.5), "Sphere1");
  scene.SolidAt(sphere)->SetPosition({0, 0.5, 0});
  ASSERT_TRUE(scene.SetParent(sphere, cube));
  ASSERT_TRUE(scene.SetRelation(sphere, cube, relSoustraction));
  ASSERT_TRUE(Export(scene, folder.File("creuse.stl")));
  EXPECT_TRUE(told.empty()) << told.front();
  bool closed = false;
  const double volume = SignedVolume(StlCorners(ReadAll(folder.File("creuse.stl"))), closed);
  EXPECT_TRUE(closed);
  EXPECT_NEAR(volume, 1 - std::numbers::pi / 12, 0.02 * (1 - std::numbers::pi / 12));
  ASSERT_TRUE(Export(scene, folder.File("creuse.glb")));
  std::string skip;
  int errors = 0;
  const std::string report = Validate(folder, folder.File("creuse.glb"), errors, skip);
  if (skip.empty()) {
    EXPECT_EQ(errors, 0) << report;
  }
  ASSERT_TRUE(Export(scene, folder.File("creuse.obj")));
  const std::string obj = ReadAll(folder.File("creuse.obj"));
  EXPECT_EQ(obj.find("soustraction"), std::string::npos) << "no note for a relation that was made";
  // The cut solid has no texture coordinates: a textured cube is written in its colour, and told.
  const std::string wood = folder.File("bois.bmp");
  const uint32_t pixels[4] = {0xFF804020, 0xFF603010, 0xFF804020, 0xFF603010};
  ASSERT_TRUE(WriteBmpFile(wood, 2, 2, pixels));
  scene.SolidAt(cube)->Texturer = true;
  scene.SolidAt(cube)->TextureFile = wood;
  ASSERT_TRUE(Export(scene, folder.File("creuse-bois.stl")));
  EXPECT_EQ(told, std::vector<std::string>{std::string(kMsgRelationTextureLeftOut) + "Cube1"});
  scene.SolidAt(cube)->Texturer = false;
  told.clear();

  // A chain: the cut cube, then intersected with a slab that keeps its lower half.
  const int slab = scene.AddObject(CreateCube(0xFFFFFFFF, 1), "Dalle");
  scene.SolidAt(slab)->SetPosition({0, -0.5, 0});
  scene.LinkParent(slab, sphere);
  scene.SolidAt(slab)->Relation = relIntersection;
  ASSERT_TRUE(Export(scene, folder.File("moitie.stl")));
  EXPECT_NEAR(SignedVolume(StlCorners(ReadAll(folder.File("moitie.stl"))), closed), 0.5, 0.01);
  EXPECT_TRUE(closed);

  // A subtraction that leaves nothing: nothing to export, and said so.
  TScene empty;
  const int small = empty.AddObject(CreateCube(0xFFFFFFFF, 0.5), "Petit");
  const int big = empty.AddObject(CreateCube(0xFFFFFFFF, 2), "Grand");
  ASSERT_TRUE(empty.SetParent(big, small));
  ASSERT_TRUE(empty.SetRelation(big, small, relSoustraction));
  EXPECT_EQ(Export(empty, folder.File("vide.stl")).Message(), std::string(kMsgExportNoTriangles) + "Petit");
  EXPECT_FALSE(fs::exists(folder.File("vide.stl")));

  // A circle has no inside: both solids are written as they are, and the user is told.
  TScene open;
  const int box = open.AddObject(CreateCube(0xFFFFFFFF, 1), "Boite");
  const int disc = open.AddObject(CreateCircle(16, 0xFFFFFFFF, 0.3), "Cercle1");
  ASSERT_TRUE(open.SetParent(disc, box));
  ASSERT_TRUE(open.SetRelation(disc, box, relSoustraction));
  told.clear();
  ASSERT_TRUE(Export(open, folder.File("ouvert.stl")));
  EXPECT_EQ(told, std::vector<std::string>{std::string(kMsgRelationNotApplied) + "Cercle1 / Boite"});
  size_t triangles = 0;
  TBounds bounds;
  SceneTriangles(open, triangles, bounds);
  EXPECT_EQ(fs::file_size(folder.File("ouvert.stl")), 84 + 50 * triangles);
  ASSERT_TRUE(Export(open, folder.File("ouvert.obj")));
  EXPECT_NE(ReadAll(folder.File("ouvert.obj")).find("# Cercle1 : soustraction avec Boite"), std::string::npos);
}

TEST_F(ModelExportTest, RelationsToNothingExportableAndLongChainsGiveAValidFile) {
  // Parents that are not exported (a light, a hidden solid): the child is written whole, with the
  // note a reader can see, and the file is complete. A light is no parent of a relation; a hidden
  // solid is, and the user is told it was not applied.
  TScene scene;
  scene.NewScene(true);  // its default light is object 0
  const int cube = scene.AddObject(CreateCube(0xFFFFFFFF, 1), "Cube1");
  const int hidden = scene.AddObject(CreateCube(0xFFFFFFFF, 1), "Cache");
  const int sphere = scene.AddObject(CreateSphere(8, 8, 0xFFFFFFFF, 0.5), "Sphere1");
  scene.SolidAt(hidden)->SetVisible(false);
  ASSERT_TRUE(scene.LinkParent(cube, 0));
  scene.SolidAt(cube)->Relation = relSoustraction;
  ASSERT_TRUE(scene.SetParent(sphere, hidden));
  ASSERT_TRUE(scene.SetRelation(sphere, hidden, relIntersection));
  ASSERT_TRUE(Export(scene, folder.File("orphelins.stl")));
  EXPECT_EQ(told, std::vector<std::string>{std::string(kMsgRelationParentNotExported) + "Sphere1 / Cache"});
  told.clear();
  bool closed = false;
  // The cube and the sphere (a tessellation of 8 x 8 of a ball of volume 0.52).
  EXPECT_NEAR(SignedVolume(StlCorners(ReadAll(folder.File("orphelins.stl"))), closed), 1.45, 0.05);
  ASSERT_TRUE(Export(scene, folder.File("orphelins.obj")));
  EXPECT_NE(ReadAll(folder.File("orphelins.obj")).find("# Sphere1 : intersection avec Cache"), std::string::npos);
  told.clear();

  // 500 nested subtractions, computed in order: one closed solid. The small cubes stand beside
  // the block, so each step's work stays small (cutting 500 notches into it takes seconds).
  TScene chain;
  int previous = chain.AddObject(CreateCube(0xFFFFFFFF, 10), "Bloc");
  for (int k = 0; k < 500; ++k) {
    const int small = chain.AddObject(CreateCube(0xFFFFFFFF, 0.01), "Petit" + std::to_string(k));
    chain.SolidAt(small)->SetPosition({6 + 0.02 * k, 0, 0});
    ASSERT_TRUE(chain.LinkParent(small, previous));
    chain.SolidAt(small)->Relation = relSoustraction;
    previous = small;
  }
  ASSERT_TRUE(Export(chain, folder.File("chaine.stl")));
  EXPECT_TRUE(told.empty()) << told.front();
  EXPECT_NEAR(SignedVolume(StlCorners(ReadAll(folder.File("chaine.stl"))), closed), 1000, 1e-3);
  EXPECT_TRUE(closed);
}
