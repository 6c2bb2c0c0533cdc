// Mesh solids: imported from files into a scene, kept in documents (a save of a reopened document
// gives the same bytes; a damaged or forged mesh entry refuses the document), copied and pasted,
// and the relations of a solid baked into one mesh.
#include "document/MeshSolids.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "../support/TempFolder.h"
#include "document/MeshArchive.h"
#include "document/MeshBoolean.h"
#include "document/ModelExport.h"
#include "document/ModelExportData.h"
#include "document/SceneDocument.h"
#include "scene/MeshStore.h"
#include "scene/Shapes.h"
#include "storage/Archive.h"
#include "tools/Deformations.h"
#include "tools/images/Image.h"

using namespace ixoral;
using ixoral::test::TTempFolder;
namespace fs = std::filesystem;

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A scene's cube and torus exported as one STL file.
std::string ExportedStl(const TTempFolder& folder, const std::string& name) {
  TScene scene;
  scene.AddObject(CreateCube(0xFFFFFFFF, 1), "Cube1");
  const int torus = scene.AddObject(CreateTorus(12, 10, 0xFFFFFFFF, 0.2, 0.6), "Tore1");
  scene.SolidAt(torus)->SetPosition({1.5, 0, 0});
  const std::string path = folder.File(name);
  EXPECT_TRUE(ExportModel(scene, path, {}));
  return path;
}

bool SameVertices(const TArrayOfComposante& a, const TArrayOfComposante& b) {
  if (a.size() != b.size()) return false;
  for (size_t c = 0; c < a.size(); ++c) {
    if (a[c].PrimitiveType != b[c].PrimitiveType || a[c].Vertices.size() != b[c].Vertices.size()) return false;
    for (size_t k = 0; k < a[c].Vertices.size(); ++k) {
      const D3DVERTEX &p = a[c].Vertices[k], &q = b[c].Vertices[k];
      if (p.x != q.x || p.y != q.y || p.z != q.z || p.nx != q.nx || p.tu != q.tu) return false;
    }
  }
  return true;
}

}  // namespace

TEST(MeshSolids, ImportedMeshesAreNamedAfterTheirFileAndKeptByteForByteBySaves) {
  TTempFolder folder("meshsolids");
  const std::string stl = ExportedStl(folder, "pieces.stl");
  TScene scene;
  scene.NewScene(true);
  const TExpected<TAddedSolids> first = ImportMeshFiles(scene, {stl, stl}, folder.File("textures"));
  ASSERT_TRUE(first) << first.Error().Message;
  ASSERT_EQ(first->Objects.size(), 2u);
  TSolidObject& mesh = *scene.SolidAt(first->Objects[0]);
  EXPECT_EQ(mesh.Name(), "pieces");
  EXPECT_EQ(scene.ObjectAt(first->Objects[1])->Name(), "Maillage1");
  EXPECT_EQ(mesh.ShapeType, stMaillage);
  EXPECT_EQ(mesh.GetTextParam(2), "pieces.stl");
  EXPECT_EQ(TriangleCount(mesh.Composantes), 12u + 2u * 12 * 10);

  // Deformed and moved like any solid, then saved, reopened and saved again.
  mesh.SetNoise(7, true, 0.05, 0.01);
  mesh.Bruit = true;
  ReapplyNoise(mesh);
  mesh.SetPosition({0.5, 1, -2});
  const std::string doc = folder.File("maillages.ixr");
  ASSERT_TRUE(SaveDocument(scene, doc, false));
  const std::string saved = ReadAll(doc);
  TScene loaded;
  const TResult read = LoadDocument(loaded, doc, folder.File("textures"));
  ASSERT_TRUE(read) << read.Message();
  const TSolidObject* back = loaded.SolidAt(loaded.IndexOfName("pieces"));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->ShapeType, stMaillage);
  EXPECT_TRUE(SameVertices(back->Composantes, mesh.Composantes)) << "noise is made again on the stored mesh";
  EXPECT_EQ(back->Position.z, -2);
  ASSERT_TRUE(SaveDocument(loaded, doc, true));
  EXPECT_EQ(ReadAll(doc), saved);
  // Both solids name the one mesh: the document holds it once, after the scene text.
  TZLBArchive archive;
  archive.OpenArchive(doc);
  ASSERT_EQ(archive.EntryCount(), 2);
  EXPECT_EQ(archive.GetEntry(1).FileNameUtf8(), mesh.GetTextParam(1) + kMeshEntryExtension);
}

TEST(MeshSolids, ADamagedOrForgedMeshEntryRefusesTheDocumentAndTheSceneStays) {
  TTempFolder folder("meshsolids");
  TScene scene;
  const TExpected<TAddedSolids> added = ImportMeshFiles(scene, {ExportedStl(folder, "a.stl")});
  ASSERT_TRUE(added);
  const std::string key = scene.SolidAt(0)->GetTextParam(1);
  const std::string doc = folder.File("a.ixr");
  ASSERT_TRUE(SaveDocument(scene, doc, false));
  TZLBArchive archive;
  archive.OpenArchive(doc);
  std::string text, mesh;
  archive.ExtractToStream(0, text);
  archive.ExtractToStream(1, mesh);
  archive.CloseArchive();

  // Rewrites the document with the mesh entry's name and bytes as given.
  const auto rewrite = [&](const std::string& entry, const std::string& bytes) {
    const std::string path = folder.File("forged.ixr");
    fs::remove(path);
    TZLBArchive out;
    out.CreateArchive(path, true);
    const std::vector<TArchiveInput> inputs{{"forged.ixr.tmp", "", &text}, {entry, "", &bytes}};
    EXPECT_TRUE(out.AddEntries(inputs));
    out.CloseArchive();
    TScene target;
    target.NewScene(true);
    const TResult read = LoadDocument(target, path, folder.File("textures"));
    EXPECT_EQ(target.ObjectCount(), read ? 2 : 1) << "a refused document leaves only the default light";
    return read.Message();
  };
  // Another mesh under this mesh's name would take its place for the whole run.
  TArrayOfComposante other = scene.SolidAt(0)->Composantes;
  other[0].Vertices[0].x += 1;
  EXPECT_EQ(rewrite(key + kMeshEntryExtension, EncodeMesh(other)),
            std::string(kMsgMeshEntryDamaged) + key + kMeshEntryExtension);
  std::string flipped = mesh;
  flipped[flipped.size() / 2] ^= 0x40;
  EXPECT_EQ(rewrite(key + kMeshEntryExtension, flipped).rfind(kMsgMeshEntryDamaged, 0), 0u);
  // The right mesh still reads back.
  EXPECT_EQ(rewrite(key + kMeshEntryExtension, mesh), "");
}

TEST(MeshSolids, PastedInTheRunThatKeepsTheMeshAndRefusedFromAnother) {
  TTempFolder folder("meshsolids");
  TScene scene;
  ASSERT_TRUE(ImportMeshFiles(scene, {ExportedStl(folder, "b.stl")}));
  scene.SelectObject(0);
  TMemoryClipboard clipboard;
  ASSERT_TRUE(CopyToClipboard(scene, clipboard));
  const TExpected<std::string> pasted = PasteFromClipboard(scene, clipboard);
  ASSERT_TRUE(pasted) << pasted.Error().Message;
  EXPECT_TRUE(SameVertices(scene.SolidAt(scene.IndexOfName(*pasted))->Composantes, scene.SolidAt(0)->Composantes));

  std::string record = clipboard.GetText();
  const std::string key = scene.SolidAt(0)->GetTextParam(1);
  record.replace(record.find(key), key.size(), "maillage-0123456789abcdef");
  clipboard.SetText(record);
  const int before = scene.ObjectCount();
  const TExpected<std::string> refused = PasteFromClipboard(scene, clipboard);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.Error().Message, kMsgMeshNotPasted);
  EXPECT_EQ(scene.ObjectCount(), before);
}

TEST(MeshSolids, ApplyingARelationBakesTheCutIntoOneMeshInTheParentsPlace) {
  // A turned, moved cube of side 1 less a sphere on its top face, with a cylinder grouped under it.
  TScene scene;
  const int cube = scene.AddObject(CreateCube(0xFFFF8000, 1), "Cube1");
  const int sphere = scene.AddObject(CreateSphere(24, 24, 0xFF00FF00, 0.5), "Sphere1");
  const int cylinder = scene.AddObject(CreateCylinder(12, 0xFFFFFFFF, 1, 0.1), "Cylindre1");
  scene.SolidAt(sphere)->SetPosition({0, 0.5, 0});
  ASSERT_TRUE(scene.SetParent(sphere, cube));
  ASSERT_TRUE(scene.SetRelation(sphere, cube, relSoustraction));
  ASSERT_TRUE(scene.LinkParent(cylinder, cube));
  TSolidObject& c = *scene.SolidAt(cube);
  c.SetOrientation({0, 0, 1}, {0.6f, 0.8f, 0});
  c.SetPosition({2, 1, 0});
  c.SetScale({2, 1, 1});
  const TObjectId cylinderId = scene.IdAt(cylinder);
  std::vector<modelexport::TVertex> expected;
  ASSERT_TRUE(modelexport::ComputeBoolean(modelexport::WorldTriangles(c),
                                          modelexport::WorldTriangles(*scene.SolidAt(sphere)),
                                          modelexport::TBoolean::Difference, expected));

  // Asked on the related solid, the relation is applied from the top of its chain.
  const TExpected<TAddedSolids> made = ApplyRelation(scene, sphere);
  ASSERT_TRUE(made) << made.Error().Message;
  ASSERT_EQ(scene.ObjectCount(), 2);
  const TSolidObject& baked = *scene.SolidAt(made->Objects[0]);
  EXPECT_EQ(baked.Name(), "Cube1");
  EXPECT_EQ(baked.ShapeType, stMaillage);
  EXPECT_EQ(baked.Color, 0xFFFF8000u);
  EXPECT_EQ(baked.Position.x, 2);
  EXPECT_EQ(scene.ParentIdOf(scene.IndexOf(cylinderId)), baked.Id());
  // Drawn where the cut solid was: the same triangles in world space, facing the same way.
  const std::vector<modelexport::TVertex> now = modelexport::WorldTriangles(baked);
  ASSERT_EQ(now.size(), expected.size());
  double worst = 0;
  for (size_t k = 0; k < now.size(); ++k)
    for (int j = 0; j < 3; ++j) {
      worst = std::max(worst, double(std::fabs(now[k].P[size_t(j)] - expected[k].P[size_t(j)])));
      EXPECT_NEAR(now[k].N[size_t(j)], expected[k].N[size_t(j)], 1e-4) << k;
    }
  EXPECT_LT(worst, 1e-5);

  // Nothing related any more: said, and nothing changes.
  const TExpected<TAddedSolids> again = ApplyRelation(scene, made->Objects[0]);
  ASSERT_FALSE(again);
  EXPECT_EQ(again.Error().Message, std::string(kMsgNoRelationToApply) + "Cube1");
  EXPECT_EQ(scene.ObjectCount(), 2);
}

TEST(MeshSolids, RelationsThatCannotBeBakedLeaveTheSceneAsItWas) {
  TScene scene;
  const int box = scene.AddObject(CreateCube(0xFFFFFFFF, 1), "Boite");
  const int disc = scene.AddObject(CreateCircle(16, 0xFFFFFFFF, 0.3), "Cercle1");
  ASSERT_TRUE(scene.SetParent(disc, box));
  ASSERT_TRUE(scene.SetRelation(disc, box, relSoustraction));
  const TExpected<TAddedSolids> open = ApplyRelation(scene, box);
  ASSERT_FALSE(open);
  EXPECT_EQ(open.Error().Message, std::string(kMsgRelationFailed) + "Cercle1 / Boite");
  EXPECT_EQ(scene.ObjectCount(), 2);

  TScene empty;
  const int small = empty.AddObject(CreateCube(0xFFFFFFFF, 0.5), "Petit");
  const int big = empty.AddObject(CreateCube(0xFFFFFFFF, 2), "Grand");
  ASSERT_TRUE(empty.SetParent(big, small));
  ASSERT_TRUE(empty.SetRelation(big, small, relSoustraction));
  const TExpected<TAddedSolids> nothing = ApplyRelation(empty, small);
  ASSERT_FALSE(nothing);
  EXPECT_EQ(nothing.Error().Message, std::string(kMsgRelationEmpty) + "Petit");
  EXPECT_EQ(empty.ObjectCount(), 2);
}

TEST(MeshSolids, AnUnreadableFileAddsNothingAndNamesTheFile) {
  TTempFolder folder("meshsolids");
  const std::string good = ExportedStl(folder, "bon.stl");
  const std::string bad = folder.File("vide.stl");
  std::ofstream(bad).flush();
  TScene scene;
  const TExpected<TAddedSolids> added = ImportMeshFiles(scene, {good, bad});
  ASSERT_FALSE(added);
  EXPECT_NE(added.Error().Message.find("vide.stl"), std::string::npos) << added.Error().Message;
  EXPECT_EQ(scene.ObjectCount(), 0);
}

TEST(MeshSolids, ATexturedMeshKeepsItsPictureThroughImportSaveAndOpen) {
  TTempFolder folder("meshsolids");
  const std::string picture = folder.File("damier.bmp");
  const uint32_t pixels[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
  ASSERT_TRUE(WriteBmpFile(picture, 2, 2, pixels));
  TScene source;
  const int cube = source.AddObject(CreateCube(0xFFFFFFFF, 1), "Cube1");
  source.SolidAt(cube)->Texturer = true;
  source.SolidAt(cube)->TextureFile = picture;
  fs::create_directory(folder.File("obj"));
  const std::string obj = folder.File("obj/caisse.obj");
  ASSERT_TRUE(ExportModel(source, obj, {}));

  // A plain cube first, so that the textured mesh is not the first solid of the document.
  TScene scene;
  scene.AddObject(CreateCube(0xFFFFFFFF, 1), "Cube1");
  const TExpected<TAddedSolids> added = ImportMeshFiles(scene, {obj}, folder.File("textures"));
  ASSERT_TRUE(added) << added.Error().Message;
  const TSolidObject& mesh = *scene.SolidAt(added->Objects.at(0));
  ASSERT_TRUE(mesh.Texturer);
  EXPECT_EQ(fs::path(mesh.TextureFile).parent_path(), fs::path(folder.File("obj")));

  const std::string doc = folder.File("caisse.ixr");
  ASSERT_TRUE(SaveDocument(scene, doc, false));
  TScene loaded;
  const TResult read = LoadDocument(loaded, doc, folder.File("textures"));
  ASSERT_TRUE(read) << read.Message();
  const TSolidObject& back = *loaded.SolidAt(loaded.IndexOfName("caisse"));
  EXPECT_TRUE(back.Texturer);
  EXPECT_EQ(ReadAll(back.TextureFile), ReadAll(mesh.TextureFile));
  EXPECT_TRUE(SameVertices(back.Composantes, mesh.Composantes));
  EXPECT_FALSE(loaded.SolidAt(loaded.IndexOfName("Cube1"))->Texturer);

  // A glTF binary carries its picture inside: written to a folder of the texture folder.
  const std::string glb = folder.File("caisse.glb");
  ASSERT_TRUE(ExportModel(source, glb, {}));
  const TExpected<TAddedSolids> embedded = ImportMeshFiles(scene, {glb}, folder.File("textures"));
  ASSERT_TRUE(embedded) << embedded.Error().Message;
  const TSolidObject& inside = *scene.SolidAt(embedded->Objects.at(0));
  ASSERT_TRUE(inside.Texturer);
  EXPECT_EQ(inside.TextureFile.rfind(folder.File("textures") + "/", 0), 0u) << inside.TextureFile;
  EXPECT_EQ(ReadAll(inside.TextureFile).compare(0, 4, "\x89PNG"), 0);
}
