#include "document/MeshSolids.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <functional>
#include <set>

#include "document/MeshBoolean.h"
#include "document/MeshImport.h"
#include "document/ModelExportData.h"
#include "document/SceneDocument.h"
#include "render/SceneRenderer.h"
#include "scene/MeshStore.h"
#include "scene/Shapes.h"
#include "storage/OutputFile.h"

namespace ixoral {
namespace fs = std::filesystem;

namespace {

std::string FreeMeshName(const TScene& scene, const std::string& wanted) {
  if (!wanted.empty() && !scene.NameExists(wanted)) return wanted;
  for (int n = 1;; ++n)
    if (std::string name = kMeshSolidPrefix + std::to_string(n); !scene.NameExists(name)) return name;
}

// A picture the mesh file holds itself, written where the scene's textures live: the name is
// made from the file's path and the picture's bytes, so the same import finds it in place.
std::string WriteEmbeddedTexture(const std::string& meshPath, const TImportedMesh& mesh, const std::string& root,
                                 std::string& failure) {
  const std::string folder = root + "/" + DocumentTextureFolderName(meshPath);
  std::string extension = mesh.EmbeddedTextureFormat;
  extension.erase(std::remove_if(extension.begin(), extension.end(), [](char c) { return !std::isalnum(uint8_t(c)); }),
                  extension.end());
  if (extension.empty()) extension = "png";
  const std::string file = folder + "/" + DocumentTextureFolderName(mesh.Name + "." + extension) + "." + extension;
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (!WriteOutputFile(file, mesh.EmbeddedTexture)) {
    failure = file;
    return {};
  }
  HoldTextureFolderOf(file, root);
  return file;
}

}  // namespace

TExpected<TAddedSolids> ImportMeshFiles(TScene& scene, const std::vector<std::string>& paths,
                                        const std::string& textureFolder) {
  std::vector<TMeshImport> files;
  files.reserve(paths.size());
  for (const std::string& path : paths) {
    TExpected<TMeshImport> read = ImportMesh(path);
    if (!read) return read.Error();
    files.push_back(std::move(read.Value()));
  }
  const std::string root = textureFolder.empty() ? DefaultTextureFolder() : textureFolder;
  TAddedSolids added;
  for (size_t f = 0; f < files.size(); ++f) {
    for (const std::string& notice : files[f].Notices) added.Notices.push_back(notice);
    for (TImportedMesh& mesh : files[f].Meshes) {
      const D3DCOLOR colour = mesh.HasColor ? mesh.Color : kOpaqueWhite;
      std::string texture = mesh.TexturePath;
      if (texture.empty() && !mesh.EmbeddedTexture.empty() && mesh.HasTextureCoords) {
        std::string failure;
        texture = WriteEmbeddedTexture(paths[f], mesh, root, failure);
        if (texture.empty()) added.Notices.push_back(kMsgFileAccess + failure);
      }
      const std::string key = KeepMesh(MakeComposantes(std::move(mesh.Triangles)));
      std::unique_ptr<TSolidObject> solid = CreateMeshSolid(key, fs::path(paths[f]).filename().string(), colour);
      if (!texture.empty() && mesh.HasTextureCoords) {
        scene.Device().LoadTexture(*solid, texture);
        solid->Texturer = true;
        solid->TextureFile = texture;
      }
      const int index = scene.AddObject(std::move(solid), FreeMeshName(scene, mesh.Name));
      scene.RebuildSelectionMarks(index);
      added.Objects.push_back(index);
    }
  }
  return added;
}

namespace {

using modelexport::TVertex;

// The solids related to `parent` (a subtraction or an intersection naming it), in list order.
std::vector<int> RelatedTo(const TScene& scene, int parent) {
  std::vector<int> out;
  for (int i = 0; i < scene.ObjectCount(); ++i)
    if (const TSolidObject* s = scene.SolidAt(i);
        s && i != parent && s->Relation != relAucune && scene.ParentOf(i) == parent)
      out.push_back(i);
  return out;
}

// The solids related to `i`, directly or through another, each after the solid its relation
// names, in list order below each: the order their relations apply in.
void RelationOrder(const TScene& scene, int i, std::set<int>& used, std::vector<int>& order) {
  for (int child : RelatedTo(scene, i))
    if (used.insert(child).second) {  // a solid met twice (a cycle) goes in once
      order.push_back(child);
      RelationOrder(scene, child, used, order);
    }
}

}  // namespace

TExpected<TAddedSolids> ApplyRelation(TScene& scene, int object) {
  const TSolidObject* picked = scene.SolidAt(object);
  if (!picked) return TError(kMsgNeedSelection);
  // The top of the chain of relations the solid belongs to.
  int top = object;
  std::set<int> climbed{top};
  while (scene.SolidAt(top)->Relation != relAucune && scene.SolidAt(scene.ParentOf(top)) &&
         climbed.insert(scene.ParentOf(top)).second)
    top = scene.ParentOf(top);
  TSolidObject& root = *scene.SolidAt(top);
  if (RelatedTo(scene, top).empty()) return TError(kMsgNoRelationToApply + root.Name());

  // A chain F <- G <- H is ((F op G) op H), as the exports and POV-Ray make it; several solids
  // related to one apply one after the other.
  std::set<int> used{top};
  std::vector<int> order;
  RelationOrder(scene, top, used, order);
  std::vector<TVertex> world = modelexport::WorldTriangles(root);
  for (size_t k = 0; k < order.size(); ++k) {
    const TSolidObject& related = *scene.SolidAt(order[k]);
    const auto op =
        related.Relation == relSoustraction ? modelexport::TBoolean::Difference : modelexport::TBoolean::Intersection;
    std::vector<TVertex> combined;
    if (!modelexport::ComputeBoolean(world, modelexport::WorldTriangles(related), op, combined, k > 0))
      return TError(kMsgRelationFailed + related.Name() + " / " + scene.ObjectAt(scene.ParentOf(order[k]))->Name());
    world = std::move(combined);
    if (world.empty()) break;
  }
  if (world.empty()) return TError(kMsgRelationEmpty + root.Name());

  // Back into the top solid's own frame and the program's convention: z mirrored back, each
  // triangle's winding turned back (the world triangles are counter-clockwise in front). A normal
  // goes back through the transpose of the world matrix (it went out through its inverse).
  const D3DMATRIX w = WorldMatrix(root);
  D3DMATRIX local;
  if (!Invert(w, local)) return TError(kMsgRelationFailed + root.Name());
  TComposante mesh;
  mesh.Vertices.reserve(world.size());
  for (size_t t = 0; t + 2 < world.size(); t += 3)
    for (size_t c : {t, t + 2, t + 1}) {
      const TVertex& from = world[c];
      const double x = from.P[0], y = from.P[1], z = -double(from.P[2]);
      const double nx = from.N[0], ny = from.N[1], nz = -double(from.N[2]);
      D3DVERTEX v{};
      v.x = float(x * local._11 + y * local._21 + z * local._31 + local._41);
      v.y = float(x * local._12 + y * local._22 + z * local._32 + local._42);
      v.z = float(x * local._13 + y * local._23 + z * local._33 + local._43);
      Vec3d n{nx * w._11 + ny * w._12 + nz * w._13, nx * w._21 + ny * w._22 + nz * w._23,
              nx * w._31 + ny * w._32 + nz * w._33};
      const double length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
      if (length > 1e-12) n = {n.x / length, n.y / length, n.z / length};
      v.nx = float(n.x), v.ny = float(n.y), v.nz = float(n.z);
      v.tu = from.UV[0], v.tv = from.UV[1];
      mesh.Vertices.push_back(v);
    }

  TAddedSolids made;
  for (int i : used)
    if (scene.SolidAt(i)->Texturer) {
      made.Notices.push_back(kMsgRelationTextureLost + root.Name());
      break;
    }
  // The new solid takes the top solid's looks, placement and association; the solids grouped
  // under any of the replaced ones (without a relation) are grouped under it.
  const std::string name = root.Name();
  auto solid = CreateMeshSolid(KeepMesh(MakeComposantes(std::move(mesh))), "", root.Color);
  solid->SetSpecular(root.Specular);
  solid->Material.power = root.Material.power;
  const uint8_t relation = root.Relation;
  const TObjectId parent = scene.ParentIdOf(top);
  std::vector<TObjectId> replaced, grouped;
  for (int i : used) replaced.push_back(scene.IdAt(i));
  for (int i = 0; i < scene.ObjectCount(); ++i)
    if (!used.count(i) && used.count(scene.ParentOf(i))) grouped.push_back(scene.IdAt(i));
  const int at = scene.AddObject(std::move(solid), name);
  TSolidObject& placed = *scene.SolidAt(at);  // placed once added: adding resets the matrices
  placed.CopyPlacementFrom(root);
  placed.SavedMatrices = root.SavedMatrices;
  placed.VectHaut = root.VectHaut;
  placed.PivotStyle = root.PivotStyle;
  placed.Afficher = root.Afficher;
  const TObjectId madeId = scene.IdAt(at);
  for (TObjectId g : grouped) scene.LinkParent(scene.IndexOf(g), scene.IndexOf(madeId));
  for (TObjectId r : replaced)
    if (scene.IndexOf(r) >= 0) scene.DeleteObject(scene.IndexOf(r));
  const int index = scene.IndexOf(madeId);
  scene.RenameObject(index, name);
  if (parent != kNoObject && scene.IndexOf(parent) >= 0) {
    scene.LinkParent(index, scene.IndexOf(parent));
    scene.SolidAt(index)->Relation = relation;
  }
  scene.RebuildSelectionMarks(index);
  made.Objects.push_back(index);
  return made;
}

}  // namespace ixoral
