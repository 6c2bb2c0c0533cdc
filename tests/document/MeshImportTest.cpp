// Mesh import: every insert exported to STL, OBJ and glTF and read back (same triangles, vertices,
// normals, colour and texture), placement of glTF nodes, normals made for files without them, and
// the refusals of damaged, oversized and escaping files.
#include "document/MeshImport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "../support/TempFolder.h"
#include "document/ModelExport.h"
#include "render/SceneRenderer.h"
#include "scene/Curves.h"
#include "scene/Shapes.h"
#include "scene/Text3D.h"
#include "tools/images/Image.h"

using namespace ixoral;
using ixoral::test::TTempFolder;
namespace fs = std::filesystem;

namespace {

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

std::string U32(uint32_t v) {
  std::string s(4, '\0');
  for (int k = 0; k < 4; ++k) s[size_t(k)] = char((v >> (8 * k)) & 0xFF);
  return s;
}

std::string F32(float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  return U32(u);
}

// A binary STL of the given triangles (9 floats each), declaring `declared` of them.
std::string BinaryStl(const std::vector<std::array<float, 9>>& triangles, uint32_t declared) {
  std::string s(80, ' ');
  s += U32(declared);
  for (const auto& t : triangles) {
    s += F32(0) + F32(0) + F32(0);
    for (float f : t) s += F32(f);
    s += std::string(2, '\0');
  }
  return s;
}

// The solid's triangles as the drawing has them, in world space: what an import must give back.
std::vector<D3DVERTEX> DrawnTriangles(const TSolidObject& s) {
  const D3DMATRIX w = WorldMatrix(s);
  std::vector<D3DVERTEX> out;
  const auto add = [&](const D3DVERTEX& a, const D3DVERTEX& b, const D3DVERTEX& c) {
    for (const D3DVERTEX* v : {&a, &b, &c}) {
      D3DVERTEX p = *v;
      const double x = v->x, y = v->y, z = v->z;
      p.x = float(x * w._11 + y * w._21 + z * w._31 + w._41);
      p.y = float(x * w._12 + y * w._22 + z * w._32 + w._42);
      p.z = float(x * w._13 + y * w._23 + z * w._33 + w._43);
      out.push_back(p);
    }
  };
  for (const TComposante& c : s.Composantes) {
    const auto& v = c.Vertices;
    if (c.PrimitiveType == D3DPT_TRIANGLELIST)
      for (size_t k = 0; k + 2 < v.size(); k += 3) add(v[k], v[k + 1], v[k + 2]);
    else if (c.PrimitiveType == D3DPT_TRIANGLESTRIP)
      for (size_t k = 2; k < v.size(); ++k) (k & 1) ? add(v[k - 1], v[k - 2], v[k]) : add(v[k - 2], v[k - 1], v[k]);
    else if (c.PrimitiveType == D3DPT_TRIANGLEFAN)
      for (size_t k = 1; k + 1 < v.size(); ++k) add(v[0], v[k], v[k + 1]);
  }
  return out;
}

// The matrix that carries normals through a placement: the 3 x 3 part's transposed inverse, up
// to a positive factor (its cofactors, signed by the determinant).
using TNormals = std::array<std::array<double, 3>, 3>;
TNormals NormalMatrix(const D3DMATRIX& w) {
  const double a[3][3] = {{w._11, w._12, w._13}, {w._21, w._22, w._23}, {w._31, w._32, w._33}};
  TNormals r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      r[size_t(i)][size_t(j)] = a[(i + 1) % 3][(j + 1) % 3] * a[(i + 2) % 3][(j + 2) % 3] -
                                a[(i + 1) % 3][(j + 2) % 3] * a[(i + 2) % 3][(j + 1) % 3];
  const double det = a[0][0] * r[0][0] + a[0][1] * r[0][1] + a[0][2] * r[0][2];
  for (auto& row : r)
    for (double& v : row) v *= det < 0 ? -1 : 1;
  return r;
}

// The unit world normal of a drawn vertex (zero where it has none).
std::array<double, 3> WorldNormal(const TNormals& m, const D3DVERTEX& v) {
  std::array<double, 3> n{};
  for (size_t j = 0; j < 3; ++j) n[j] = v.nx * m[0][j] + v.ny * m[1][j] + v.nz * m[2][j];
  const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  if (len > 1e-12)
    for (double& c : n) c /= len;
  return len > 1e-12 ? n : std::array<double, 3>{};
}

double Dot(const D3DVERTEX& a, double x, double y, double z) { return a.nx * x + a.ny * y + a.nz * z; }

struct TInsert {
  std::string Name;
  std::function<std::unique_ptr<TSolidObject>()> Create;
};

std::vector<TInsert> AllInserts() {
  std::vector<TInsert> out;
  for (const TInsertDefault& d : InsertDefaults) out.push_back({d.Prefix, d.Create});
  out.push_back({"Texte", [] { return CreateDefaultText3D([](const std::string&) { return false; }); }});
  out.push_back({"Param", [] { return CreateDefaultCurve(); }});
  return out;
}

TModelExportOptions Replacing() {
  TModelExportOptions o;
  o.Overwrite = true;
  return o;
}

TMeshImportLimits Budget(size_t triangles) {
  TMeshImportLimits l;
  l.Triangles = triangles;
  return l;
}

class MeshImportTest : public ::testing::Test {
 protected:
  TTempFolder folder{"mesh-import"};
};

}  // namespace

// Each kind of solid the window inserts, turned, moved and scaled, goes out through each format
// and comes back with the same triangles in the same order, the same corners within float
// rounding, its colour, and normals that face the same way.
TEST_F(MeshImportTest, EveryInsertComesBackFromStlObjAndGltf) {
  for (const TInsert& insert : AllInserts()) {
    TScene scene;
    scene.NewScene(true);
    const int i = scene.AddObject(insert.Create(), insert.Name);
    TSolidObject& s = *scene.SolidAt(i);
    s.SetColor(0xC0336699);
    s.SetPosition({1.5, -0.25, 2});
    s.SetDirection({1, 0.5, -0.3});
    s.SetScale({1.2, 0.8, 1.1});
    const std::vector<D3DVERTEX> want = DrawnTriangles(s);
    const TNormals normals = NormalMatrix(WorldMatrix(s));
    ASSERT_GT(want.size(), 0u) << insert.Name;
    for (const char* ext : {".stl", ".obj", ".glb"}) {
      SCOPED_TRACE(insert.Name + ext);
      const std::string file = folder.File(insert.Name + ext);
      ASSERT_TRUE(ExportModel(scene, file, Replacing()));
      const TExpected<TMeshImport> read = ImportMesh(file);
      ASSERT_TRUE(read) << read.Error().Message << " / " << read.Error().Reason;
      EXPECT_TRUE(read->Notices.empty());
      ASSERT_EQ(read->Meshes.size(), 1u);
      const TImportedMesh& m = read->Meshes[0];
      EXPECT_EQ(m.Name, insert.Name);
      ASSERT_EQ(m.Triangles.PrimitiveType, D3DPT_TRIANGLELIST);
      ASSERT_EQ(m.Triangles.Vertices.size(), want.size());
      const bool stl = std::string(ext) == ".stl";
      EXPECT_EQ(m.HasColor, !stl);
      if (!stl) {
        EXPECT_EQ(m.Color, 0xC0336699u);
      }
      size_t far = 0, turned = 0;
      for (size_t k = 0; k < want.size(); ++k) {
        const D3DVERTEX &a = want[k], &b = m.Triangles.Vertices[k];
        const double tol =
            1e-5 * std::max({1.0, std::fabs(double(a.x)), std::fabs(double(a.y)), std::fabs(double(a.z))});
        far += std::fabs(a.x - b.x) > tol || std::fabs(a.y - b.y) > tol || std::fabs(a.z - b.z) > tol;
        EXPECT_NEAR(std::sqrt(Dot(b, b.nx, b.ny, b.nz)), 1.0, 1e-5);
        // OBJ and glTF keep each corner's normal; STL one a face, the mean of its corners'.
        std::array<double, 3> n{};
        for (size_t c = stl ? k - k % 3 : k; c < (stl ? k - k % 3 + 3 : k + 1); ++c) {
          const std::array<double, 3> u = WorldNormal(normals, want[c]);
          for (size_t j = 0; j < 3; ++j) n[j] += u[j];
        }
        const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        if (len > 1e-3) turned += Dot(b, n[0], n[1], n[2]) < 0.9999 * len;
      }
      EXPECT_EQ(far, 0u) << "corners moved";
      EXPECT_EQ(turned, 0u) << "normals turned";
    }
  }
}

// Textured solids keep their texture coordinates: OBJ names its picture beside it, glTF holds it.
TEST_F(MeshImportTest, TexturesAndTheirCoordinatesComeBack) {
  std::vector<uint32_t> pixels(8 * 8, 0xFF204080);
  ASSERT_TRUE(WriteBmpFile(folder.File("bois.bmp"), 8, 8, pixels.data()));
  TScene scene;
  scene.NewScene(true);
  const int i = scene.AddObject(CreateSphere(8, 8, 0xFFFFFFFF, 0.5), "Boule");
  scene.SolidAt(i)->Texturer = true;
  scene.SolidAt(i)->TextureFile = folder.File("bois.bmp");
  const std::vector<D3DVERTEX> want = DrawnTriangles(*scene.SolidAt(i));
  for (const char* name : {"boule.obj", "boule.glb"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(ExportModel(scene, folder.File(name), Replacing()));
    const TExpected<TMeshImport> read = ImportMesh(folder.File(name));
    ASSERT_TRUE(read) << read.Error().Reason;
    const TImportedMesh& m = read->Meshes.at(0);
    ASSERT_TRUE(m.HasTextureCoords);
    ASSERT_EQ(m.Triangles.Vertices.size(), want.size());
    for (size_t k = 0; k < want.size(); ++k) {
      EXPECT_NEAR(m.Triangles.Vertices[k].tu, want[k].tu, 1e-5);
      EXPECT_NEAR(m.Triangles.Vertices[k].tv, want[k].tv, 1e-5);
    }
    if (std::string(name).ends_with(".obj")) {
      EXPECT_EQ(m.TexturePath, fs::canonical(folder.File("boule_bois.png")).string());
      EXPECT_TRUE(m.EmbeddedTexture.empty());
    } else {
      EXPECT_TRUE(m.TexturePath.empty());
      EXPECT_EQ(m.EmbeddedTexture.compare(0, 4, "\x89PNG"), 0);
      EXPECT_EQ(m.EmbeddedTextureFormat, "png");
    }
  }
}

// Several meshes: named after the file and numbered, each keeping the name it has in the file.
TEST_F(MeshImportTest, MeshesOfOneFileAreNamedAfterIt) {
  TScene scene;
  scene.NewScene(true);
  scene.AddObject(CreateCube(0xFFFF0000, 0.5), "Rouge");
  scene.AddObject(CreateCube(0xFF00FF00, 0.5), "Vert");
  ASSERT_TRUE(ExportModel(scene, folder.File("deux.obj"), {}));
  const TExpected<TMeshImport> read = ImportMesh(folder.File("deux.obj"));
  ASSERT_TRUE(read);
  ASSERT_EQ(read->Meshes.size(), 2u);
  EXPECT_EQ(read->Meshes[0].Name, "deux");
  EXPECT_EQ(read->Meshes[1].Name, "deux 2");
  EXPECT_EQ(read->Meshes[0].SourceName, "Rouge");
  EXPECT_EQ(read->Meshes[1].Color, 0xFF00FF00u);
}

// A glTF node's translation and scale place its mesh; normals it lacks are made: flat across an
// edge sharper than the crease, shared across a gentle fold.
TEST_F(MeshImportTest, GltfNodesPlaceTheirMeshesAndMissingNormalsAreMade) {
  // Two triangles sharing the edge (0,0,0)-(1,0,0), folded by 30°, indexed.
  std::string bin;
  for (float f : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f, 0.f, -0.866025f, 0.5f}) bin += F32(f);
  for (uint16_t i : {0, 1, 2, 1, 0, 3}) bin += std::string{char(i), '\0'};
  const std::string json = R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],
    "nodes":[{"mesh":0,"translation":[10,0,0],"scale":[2,2,2]}],
    "meshes":[{"name":"Pli","primitives":[{"attributes":{"POSITION":0},"indices":1}]}],
    "buffers":[{"uri":"pli.bin","byteLength":60}],
    "bufferViews":[{"buffer":0,"byteOffset":0,"byteLength":48},{"buffer":0,"byteOffset":48,"byteLength":12}],
    "accessors":[{"bufferView":0,"componentType":5126,"count":4,"type":"VEC3","min":[0,-0.866025,0],"max":[1,1,0.5]},
                 {"bufferView":1,"componentType":5123,"count":6,"type":"SCALAR"}]})";
  WriteFile(folder.File("pli.bin"), bin);
  WriteFile(folder.File("pli.gltf"), json);
  const TExpected<TMeshImport> read = ImportMesh(folder.File("pli.gltf"));
  ASSERT_TRUE(read) << read.Error().Reason;
  const TImportedMesh& m = read->Meshes.at(0);
  EXPECT_EQ(m.SourceName, "Pli");
  EXPECT_FALSE(m.HasColor);
  const auto& v = m.Triangles.Vertices;
  ASSERT_EQ(v.size(), 6u);
  // File (0, 1, 2) is drawn (0, 2, 1); positions scaled by 2, moved by 10 and z mirrored.
  EXPECT_FLOAT_EQ(v[1].x, 10);
  EXPECT_FLOAT_EQ(v[1].y, 2);
  EXPECT_FLOAT_EQ(v[2].x, 12);
  EXPECT_NEAR(v[4].y, -1.73205, 1e-5);
  EXPECT_NEAR(v[4].z, -1.0, 1e-5);
  // The first face's normal is +z in the file, -z drawn; corners on the shared edge lean
  // towards the other face, the lone corner does not.
  EXPECT_NEAR(v[1].nz, -1, 1e-6);
  EXPECT_GT(v[0].nz, -0.99);
  EXPECT_GT(v[0].ny, 0.1);
  EXPECT_NEAR(v[0].nx * v[0].nx + v[0].ny * v[0].ny + v[0].nz * v[0].nz, 1, 1e-5);

  // Folded by 120° instead, the edge stays sharp.
  std::string sharp = bin;
  const std::string steep = F32(0.f) + F32(0.866025f) + F32(-0.5f);
  sharp.replace(36, 12, steep);
  WriteFile(folder.File("pli.bin"), sharp);
  const TExpected<TMeshImport> again = ImportMesh(folder.File("pli.gltf"));
  ASSERT_TRUE(again);
  EXPECT_NEAR(again->Meshes.at(0).Triangles.Vertices[0].nz, -1, 1e-6);
}

TEST_F(MeshImportTest, AsciiStlAndPlyAreRead) {
  WriteFile(folder.File("a.stl"),
            "solid a\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\n"
            "vertex 0 1 0\nendloop\nendfacet\nendsolid a\n");
  WriteFile(folder.File("a.ply"),
            "ply\nformat ascii 1.0\nelement vertex 4\nproperty float x\nproperty float y\n"
            "property float z\nelement face 1\nproperty list uchar int vertex_indices\n"
            "end_header\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n4 0 1 2 3\n");
  const TExpected<TMeshImport> stl = ImportMesh(folder.File("a.stl"));
  ASSERT_TRUE(stl) << stl.Error().Reason;
  ASSERT_EQ(stl->Meshes.at(0).Triangles.Vertices.size(), 3u);
  EXPECT_FLOAT_EQ(stl->Meshes[0].Triangles.Vertices[0].nz, -1);  // +z in the file
  const TExpected<TMeshImport> ply = ImportMesh(folder.File("a.ply"));
  ASSERT_TRUE(ply) << ply.Error().Reason;
  EXPECT_EQ(ply->Meshes.at(0).Triangles.Vertices.size(), 6u);  // the quad as two triangles
}

// ---- what must be refused ----

class MeshImportRefusalTest : public MeshImportTest {
 protected:
  // The failure's message, or "" with the import's first notice after a "|".
  std::string Outcome(const std::string& name, const TMeshImportLimits& limits = {}) {
    const TExpected<TMeshImport> read = ImportMesh(folder.File(name), limits);
    if (read) return "|" + (read->Notices.empty() ? std::string() : read->Notices.front());
    reason = read.Error().Reason;
    return read.Error().Message;
  }
  std::string Unreadable(const std::string& name) { return kMsgMeshUnreadable + folder.File(name); }
  std::string reason;
};

TEST_F(MeshImportRefusalTest, EmptyUnknownMissingAndSpecialFiles) {
  WriteFile(folder.File("vide.stl"), "");
  EXPECT_EQ(Outcome("vide.stl"), kMsgMeshEmpty + folder.File("vide.stl"));
  WriteFile(folder.File("cube.3ds"), "x");
  EXPECT_EQ(Outcome("cube.3ds"), kMsgMeshUnknownFormat + folder.File("cube.3ds"));
  EXPECT_EQ(Outcome("absent.obj"), Unreadable("absent.obj"));
  // A pipe never ends: it must not be read at all.
  ASSERT_EQ(::mkfifo(folder.File("tube.stl").c_str(), 0600), 0);
  EXPECT_EQ(Outcome("tube.stl"), Unreadable("tube.stl"));
  fs::create_directory(folder.File("dossier.obj"));
  EXPECT_EQ(Outcome("dossier.obj"), Unreadable("dossier.obj"));
}

TEST_F(MeshImportRefusalTest, StlWhoseSizeOrCountLies) {
  // 2 GB of nothing with an STL name is refused on its size, before anything is read.
  {
    std::ofstream(folder.File("enorme.stl"));
    fs::resize_file(folder.File("enorme.stl"), 2ull << 30);
  }
  EXPECT_EQ(Outcome("enorme.stl"), kMsgMeshTooLarge + folder.File("enorme.stl"));
  // Garbage that is neither a binary STL of its size nor text.
  std::string garbage(5000, '\0');
  for (size_t k = 0; k < garbage.size(); ++k) garbage[k] = char((k * 7919) >> 3);
  WriteFile(folder.File("bruit.stl"), garbage);
  EXPECT_EQ(Outcome("bruit.stl"), Unreadable("bruit.stl"));
  const std::array<float, 9> t{0, 0, 0, 1, 0, 0, 0, 1, 0};
  // Four billion triangles declared for one present.
  WriteFile(folder.File("menteur.stl"), BinaryStl({t}, 4'000'000'000u));
  EXPECT_EQ(Outcome("menteur.stl"), Unreadable("menteur.stl"));
  // A count whose size wraps around to the file's in 32 bits.
  WriteFile(folder.File("tour.stl"), BinaryStl({t}, 1u + (1u << 31)));
  EXPECT_EQ(Outcome("tour.stl"), Unreadable("tour.stl"));
  EXPECT_NE(reason.find("2147483649"), std::string::npos) << reason;
  // An honest count beyond the budget names it.
  WriteFile(folder.File("gros.stl"), BinaryStl(std::vector<std::array<float, 9>>(11, t), 11));
  EXPECT_EQ(Outcome("gros.stl", Budget(10)), kMsgMeshTooLarge + folder.File("gros.stl") + " (11 triangles)");
  EXPECT_EQ(Outcome("gros.stl", Budget(11)), "|");
}

TEST_F(MeshImportRefusalTest, ObjWithBadIndicesOrInvalidCoordinates) {
  WriteFile(folder.File("indices.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\nf 1 2 999\n");
  EXPECT_EQ(Outcome("indices.obj"), Unreadable("indices.obj"));
  WriteFile(folder.File("negatif.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 -7\n");
  EXPECT_EQ(Outcome("negatif.obj"), Unreadable("negatif.obj"));
  // Texture coordinates or normals named where the file has none: the library would write
  // through them.
  WriteFile(folder.File("vt.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1/1 2/1 3/1\n");
  EXPECT_EQ(Outcome("vt.obj"), Unreadable("vt.obj"));
  WriteFile(folder.File("vn.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nf 1//1 2//1 3//2\n");
  EXPECT_EQ(Outcome("vn.obj"), Unreadable("vn.obj"));
  WriteFile(folder.File("relatif.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 0\nf -3 -2 -1\nf -0 1 2\n");
  EXPECT_EQ(Outcome("relatif.obj"), Unreadable("relatif.obj"));
  // Texture coordinates for some corners of one mesh only: the library refuses the file.
  WriteFile(folder.File("partiel.obj"),
            "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0.5 0.25\nvn 0 0 1\nf 1/1/1 2/1/1 3/1/1\n"
            "f 1//1 3//1 2//1 # retournée\n");
  EXPECT_EQ(Outcome("partiel.obj"), Unreadable("partiel.obj"));
  // A material file whose statements come before its first material: the library would write
  // them into a material that does not exist. They are left out.
  WriteFile(folder.File("avant.mtl"), "Kd 1 0 0\nmap_Kd avant.png\nnewmtl bleu\nKd 0 0 1\n");
  WriteFile(folder.File("avant.obj"), "mtllib avant.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl bleu\nf 1 2 3\n");
  const TExpected<TMeshImport> before = ImportMesh(folder.File("avant.obj"));
  ASSERT_TRUE(before);
  EXPECT_EQ(before->Meshes.at(0).Color, 0xFF0000FFu);
  // One triangle with a coordinate that is no number is left out, and said; the other is kept.
  WriteFile(folder.File("nan.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 0\nv nan 0 0\nv 0 inf 1\nf 1 2 3\nf 1 2 4\nf 5 2 3\n");
  EXPECT_EQ(Outcome("nan.obj"), "|" + std::string(kMsgMeshNonFinite) + folder.File("nan.obj") + " (2 triangles)");
  EXPECT_EQ(ImportMesh(folder.File("nan.obj"))->Meshes.at(0).Triangles.Vertices.size(), 3u);
  WriteFile(folder.File("tout-nan.obj"), "v nan 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  EXPECT_EQ(Outcome("tout-nan.obj"), kMsgMeshEmpty + folder.File("tout-nan.obj"));
  WriteFile(folder.File("lignes.obj"), "v 0 0 0\nv 1 0 0\nl 1 2\n");
  EXPECT_EQ(Outcome("lignes.obj"), kMsgMeshEmpty + folder.File("lignes.obj"));
  // Polygons beyond the budget once made into triangles.
  WriteFile(folder.File("poly.obj"), "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 2 0\nf 1 2 3 4 5\n");
  EXPECT_EQ(Outcome("poly.obj", Budget(2)), kMsgMeshTooLarge + folder.File("poly.obj") + " (3 triangles)");
}

// Nothing outside the mesh's folder is read: not a glTF buffer, not an OBJ's material file, not a
// texture; embedded data within the file is.
TEST_F(MeshImportRefusalTest, NamesLeavingTheFolderAreNotRead) {
  fs::create_directory(folder.File("m"));
  WriteFile(folder.File("secret.bin"), std::string(36, '\0'));
  const auto gltf = [](const std::string& uri) {
    return R"({"asset":{"version":"2.0"},"scenes":[{"nodes":[0]}],"nodes":[{"mesh":0}],
      "meshes":[{"primitives":[{"attributes":{"POSITION":0}}]}],"buffers":[{"uri":")" +
           uri + R"(","byteLength":36}],"bufferViews":[{"buffer":0,"byteLength":36}],
      "accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3","min":[0,0,0],"max":[1,1,0]}]})";
  };
  for (const std::string uri : {"../secret.bin", "../../etc/passwd", "/etc/passwd", "sous/../../secret.bin",
                                "file:///etc/passwd", "%2E%2E/secret.bin", "..\\\\secret.bin"}) {
    WriteFile(folder.File("m/fuite.gltf"), gltf(uri));
    EXPECT_EQ(Outcome("m/fuite.gltf"), Unreadable("m/fuite.gltf")) << uri;
    EXPECT_NE(reason.find("hors du dossier"), std::string::npos) << uri << ": " << reason;
  }
  // A link inside the folder to a file outside it is refused by the reading itself.
  fs::create_symlink(folder.File("secret.bin"), folder.File("m/lien.bin"));
  WriteFile(folder.File("m/lien.gltf"), gltf("lien.bin"));
  EXPECT_EQ(Outcome("m/lien.gltf"), Unreadable("m/lien.gltf"));
  EXPECT_NE(reason.find("lien.bin"), std::string::npos) << reason;
  // The same triangle as data inside the file.
  std::string data = "data:application/octet-stream;base64,";
  data += "AAAAAAAAAAAAAAAAAACAPwAAAAAAAAAAAAAAAAAAgD8AAAAA";
  WriteFile(folder.File("m/dedans.gltf"), gltf(data));
  EXPECT_EQ(Outcome("m/dedans.gltf"), "|");

  WriteFile(folder.File("dehors.mtl"), "newmtl rouge\nKd 1 0 0\nmap_Kd ../secret.png\n");
  WriteFile(folder.File("m/mat.obj"), "mtllib ../dehors.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl rouge\nf 1 2 3\n");
  EXPECT_EQ(Outcome("m/mat.obj"), "|" + std::string(kMsgMeshOutsideFolder) + "../dehors.mtl");
  WriteFile(folder.File("m/mat.mtl"), "newmtl rouge\nKd 1 0 0\nd 0.5\nmap_Kd ../secret.png\n");
  WriteFile(folder.File("m/mat.obj"), "mtllib mat.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl rouge\nf 1 2 3\n");
  const TExpected<TMeshImport> read = ImportMesh(folder.File("m/mat.obj"));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->Meshes.at(0).Color, 0x80FF0000u);
  EXPECT_TRUE(read->Meshes[0].TexturePath.empty());
  EXPECT_EQ(read->Notices, std::vector<std::string>{kMsgMeshOutsideFolder + std::string("../secret.png")});
  WriteFile(folder.File("m/mat.mtl"), "newmtl rouge\nKd 1 0 0\nmap_Kd absente.png\n");
  EXPECT_EQ(Outcome("m/mat.obj"), "|" + std::string(kMsgMeshTextureMissing) + "absente.png");
}

// A glTF whose JSON would make the reader go deep, loop, or size arrays beyond the file.
TEST_F(MeshImportRefusalTest, GltfStructuresBeyondTheFile) {
  const std::string head = R"({"asset":{"version":"2.0"},)";
  const auto refused = [&](const std::string& name, const std::string& json) {
    WriteFile(folder.File(name), json);
    return Outcome(name);
  };
  EXPECT_EQ(refused("profond.gltf", head + R"("extras":)" + std::string(100000, '[') + "}"),
            Unreadable("profond.gltf"));
  EXPECT_EQ(refused("cycle.gltf", head + R"("nodes":[{"children":[1]},{"children":[0]}]})"), Unreadable("cycle.gltf"));
  EXPECT_EQ(refused("soi.gltf", head + R"("nodes":[{"children":[0]}]})"), Unreadable("soi.gltf"));
  EXPECT_EQ(refused("deux-parents.gltf", head + R"("nodes":[{"children":[2]},{"children":[2]},{}]})"),
            Unreadable("deux-parents.gltf"));
  EXPECT_EQ(refused("v1.gltf", R"({"asset":{"version":"1.0"}})"), Unreadable("v1.gltf"));
  EXPECT_EQ(refused("compte.gltf", head + R"("accessors":[{"componentType":5126,"count":4000000000,"type":"VEC3",
                    "sparse":{"count":1,"indices":{"bufferView":0,"componentType":5125},"values":{"bufferView":0}}}]})"),
            kMsgMeshTooLarge + folder.File("compte.gltf") + " (1333333333 triangles)");
  EXPECT_EQ(refused("tampon.gltf", head + R"("buffers":[{"byteLength":1e15}]})"),
            kMsgMeshTooLarge + folder.File("tampon.gltf"));
  std::string glb = "glTF" + U32(2) + U32(1000) + U32(900) + "JSON";
  EXPECT_EQ(refused("court.glb", glb), Unreadable("court.glb"));
}

TEST_F(MeshImportRefusalTest, PlyCountsBeyondTheBytes) {
  const std::string header = "ply\nformat binary_little_endian 1.0\nelement vertex ";
  const std::string props = "\nproperty float x\nproperty float y\nproperty float z\n";
  EXPECT_EQ((WriteFile(folder.File("v.ply"), header + "4000000000" + props + "end_header\n" + std::string(36, '\0')),
             Outcome("v.ply")),
            kMsgMeshTooLarge + folder.File("v.ply") + " (1333333333 triangles)");
  EXPECT_EQ((WriteFile(folder.File("court.ply"), header + "30" + props + "end_header\n" + std::string(36, '\0')),
             Outcome("court.ply")),
            Unreadable("court.ply"));
  // A face whose list claims four billion corners.
  const std::string face = "element face 1\nproperty list uint uint vertex_indices\nend_header\n";
  EXPECT_EQ((WriteFile(folder.File("liste.ply"), header + "3" + props + face + std::string(36, '\0') +
                                                     U32(4000000000u) + U32(0) + U32(1) + U32(2)),
             Outcome("liste.ply")),
            Unreadable("liste.ply"));
  // A face without a corner stops the library's own checks: refused before.
  EXPECT_EQ((WriteFile(folder.File("vide.ply"), header + "3" + props + face + std::string(36, '\0') + U32(0)),
             Outcome("vide.ply")),
            Unreadable("vide.ply"));
  EXPECT_EQ((WriteFile(folder.File("texte.ply"), "ply\nformat ascii 1.0\nelement vertex 3" + props + face +
                                                     "0 0 0\n1 0 0\n0 1 0\n999999999 0 1 2\n"),
             Outcome("texte.ply")),
            Unreadable("texte.ply"));
  // A header the library would read past the file's end: its last line is no "end_header".
  EXPECT_EQ((WriteFile(folder.File("entete.ply"),
                       "ply\nformat ascii 1.0\nelement vertex 3" + props + "end_header_header\n0 0 0\n"),
             Outcome("entete.ply")),
            Unreadable("entete.ply"));
  EXPECT_EQ((WriteFile(folder.File("sans-fin.ply"), "ply\nformat ascii 1.0\n" + std::string(70000, ' ')),
             Outcome("sans-fin.ply")),
            Unreadable("sans-fin.ply"));
}
