// Gathers the exported solids, lights and texture pictures from the scene, and writes them in the
// chosen exchange format, every file whole or not at all.
#include "document/ModelExport.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <numbers>
#include <thread>

#include "document/MeshBoolean.h"
#include "document/ModelExportData.h"
#include "document/SceneDocument.h"
#include "platform/Encoding.h"
#include "platform/LargePages.h"
#include "render/SceneRenderer.h"
#include "storage/OutputFile.h"
#include "tools/images/Image.h"

namespace ixoral {
namespace fs = std::filesystem;
using namespace modelexport;

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Names as the formats' UTF-8 text holds them: a name read from an old document that is not
// UTF-8 is taken as the Windows-1252 text such documents hold.
std::string Utf8Name(const std::string& name) { return IsValidUtf8(name) ? name : Win1252ToUtf8(name); }

std::string JoinNames(const std::vector<std::string>& names) {
  std::string s;
  for (const std::string& n : names) s += (s.empty() ? "" : ", ") + n;
  return s;
}

// The 3 x 3 part of a row-vector matrix, and the matrix that carries normals through it: the
// transposed inverse, as cofactors over the determinant (its sign keeps the normals' side).
struct TNormalMatrix {
  double m[3][3];
  bool Valid = false;
};

TNormalMatrix NormalMatrixOf(const D3DMATRIX& w) {
  const double a[3][3] = {{w._11, w._12, w._13}, {w._21, w._22, w._23}, {w._31, w._32, w._33}};
  TNormalMatrix r;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      const int i1 = (i + 1) % 3, i2 = (i + 2) % 3, j1 = (j + 1) % 3, j2 = (j + 2) % 3;
      r.m[i][j] = a[i1][j1] * a[i2][j2] - a[i1][j2] * a[i2][j1];
    }
  const double det = a[0][0] * r.m[0][0] + a[0][1] * r.m[0][1] + a[0][2] * r.m[0][2];
  r.Valid = std::isfinite(det) && std::fabs(det) > 1e-30;
  if (r.Valid)
    for (auto& row : r.m)
      for (double& v : row) v /= det;
  return r;
}

bool Normalize(std::array<double, 3>& v) {
  const double len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (!std::isfinite(len) || len < 1e-12) return false;
  for (double& c : v) c /= len;
  return true;
}

// One vertex of the drawn mesh in world space, z mirrored: the exchange formats are right-handed
// where Direct3D is left-handed.
TVertex WorldVertex(const D3DVERTEX& v, const D3DMATRIX& w, const TNormalMatrix& nm, bool& normalOk) {
  const double x = v.x, y = v.y, z = v.z;
  const double px = x * w._11 + y * w._21 + z * w._31 + w._41;
  const double py = x * w._12 + y * w._22 + z * w._32 + w._42;
  const double pz = x * w._13 + y * w._23 + z * w._33 + w._43;
  std::array<double, 3> n{0, 0, 0};
  if (nm.Valid)
    for (int j = 0; j < 3; ++j) n[size_t(j)] = v.nx * nm.m[0][j] + v.ny * nm.m[1][j] + v.nz * nm.m[2][j];
  normalOk = Normalize(n);
  TVertex out;
  out.P = {float(px), float(py), float(-pz)};
  out.N = {float(n[0]), float(n[1]), float(-n[2])};
  out.UV = {v.tu, v.tv};
  return out;
}

// Appends the triangle (a, b, c) as Direct3D draws it (clockwise in front) turned into the
// exchange formats' counter-clockwise order. A vertex without a usable normal gets the face's.
void AddTriangle(TSolid& out, const D3DVERTEX& a, const D3DVERTEX& b, const D3DVERTEX& c, const D3DMATRIX& w,
                 const TNormalMatrix& nm) {
  bool okA, okB, okC;
  TVertex va = WorldVertex(a, w, nm, okA), vb = WorldVertex(c, w, nm, okC), vc = WorldVertex(b, w, nm, okB);
  for (const TVertex* v : {&va, &vb, &vc})
    for (float p : v->P)
      if (!std::isfinite(p)) return;  // a damaged mesh: nothing a reader could use
  if (!okA || !okB || !okC) {
    const std::array<double, 3> e1{double(vb.P[0]) - va.P[0], double(vb.P[1]) - va.P[1], double(vb.P[2]) - va.P[2]};
    const std::array<double, 3> e2{double(vc.P[0]) - va.P[0], double(vc.P[1]) - va.P[1], double(vc.P[2]) - va.P[2]};
    std::array<double, 3> f{e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                            e1[0] * e2[1] - e1[1] * e2[0]};
    if (!Normalize(f)) f = {0, 1, 0};
    const std::array<float, 3> ff{float(f[0]), float(f[1]), float(f[2])};
    if (!okA) va.N = ff;
    if (!okC) vb.N = ff;
    if (!okB) vc.N = ff;
  }
  out.Vertices.push_back(va);
  out.Vertices.push_back(vb);
  out.Vertices.push_back(vc);
}

void AddComposantes(TSolid& out, const TSolidObject& s) {
  const D3DMATRIX w = WorldMatrix(s);
  const TNormalMatrix nm = NormalMatrixOf(w);
  size_t triangles = 0;
  for (const TComposante& c : s.Composantes) {
    const size_t n = c.Vertices.size();
    if (n < 3) continue;
    if (c.PrimitiveType == D3DPT_TRIANGLELIST)
      triangles += n / 3;
    else if (c.PrimitiveType == D3DPT_TRIANGLESTRIP || c.PrimitiveType == D3DPT_TRIANGLEFAN)
      triangles += n - 2;
  }
  out.Vertices.reserve(3 * triangles);
  AdviseLargePages(out.Vertices.data(), out.Vertices.capacity() * sizeof(TVertex));
  for (const TComposante& c : s.Composantes) {
    const auto& v = c.Vertices;
    if (v.size() < 3) continue;
    switch (c.PrimitiveType) {
      case D3DPT_TRIANGLELIST:
        for (size_t k = 0; k + 2 < v.size(); k += 3) AddTriangle(out, v[k], v[k + 1], v[k + 2], w, nm);
        break;
      case D3DPT_TRIANGLESTRIP:
        // Every other triangle of a strip is drawn with its first two corners swapped.
        for (size_t k = 2; k < v.size(); ++k) {
          if ((k & 1) == 0)
            AddTriangle(out, v[k - 2], v[k - 1], v[k], w, nm);
          else
            AddTriangle(out, v[k - 1], v[k - 2], v[k], w, nm);
        }
        break;
      case D3DPT_TRIANGLEFAN:
        for (size_t k = 1; k + 1 < v.size(); ++k) AddTriangle(out, v[0], v[k], v[k + 1], w, nm);
        break;
      default:
        break;
    }
  }
}

// ---- texture pictures ----

// The texture file as a PNG or JPEG picture: those are kept as they are, the other formats the
// program reads are decoded and written as PNG. False when the file cannot be read.
bool LoadPicture(const std::string& path, TPicture& picture) {
  picture.Source = path;
  std::error_code ec;
  const auto size = fs::file_size(path, ec);
  if (ec || size == 0 || size > kMaxImageFileSize) return false;
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) return false;
  TImage image;
  std::string message;
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  if (bytes.size() > 8 && bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0) {
    picture.Bytes = std::move(bytes);
    picture.Mime = "image/png", picture.Extension = "png";
    return true;
  }
  if (bytes.size() > 3 && bytes.compare(0, 3, "\xFF\xD8\xFF") == 0) {
    if (!DecodeJpeg(data, bytes.size(), image, message)) return false;  // a damaged JPEG stays out
    picture.Bytes = std::move(bytes);
    picture.Mime = "image/jpeg", picture.Extension = "jpg";
    return true;
  }
  if (!DecodeImage(fs::path(path).extension().string(), data, bytes.size(), image, message)) return false;
  if (!EncodePng(image, picture.Bytes)) return false;
  picture.Mime = "image/png", picture.Extension = "png";
  return true;
}

// ---- gathering ----

struct TGathered {
  TModel Model;
  std::vector<std::string> Skipped;  // solids without triangles
  // For each solid of the model: the object it comes from and the object its relation is with
  // (-1 for none).
  std::vector<int> Objects, RelationParents;
  std::vector<std::string> Notices;
};

// The relations of the model's solids made into geometry, as POV-Ray draws them: a solid related
// to a parent that is exported too becomes the parent (as its own relation leaves it) minus, or
// intersected with, the solid, under the parent's name and colour; the parent is then not written
// on its own. A chain F <- G <- H gives ((F op G) op H). A relation that cannot be computed (an
// open surface, a mesh crossing itself) leaves both solids as they are, with its note in the file
// and a notice naming them.
void ApplyRelations(TGathered& g) {
  const size_t n = g.Model.Solids.size();
  std::map<int, size_t> at;
  for (size_t k = 0; k < n; ++k) at[g.Objects[k]] = k;
  const auto parentOf = [&](size_t k) -> std::optional<size_t> {
    if (g.Model.Solids[k].Relation.empty()) return std::nullopt;
    auto it = at.find(g.RelationParents[k]);
    if (it == at.end() || it->second == k) return std::nullopt;
    return it->second;
  };
  for (size_t k = 0; k < n; ++k)
    if (!g.Model.Solids[k].Relation.empty() && !at.contains(g.RelationParents[k]))
      g.Notices.push_back(kMsgRelationParentNotExported + g.Model.Solids[k].Name + " / " +
                          g.Model.Solids[k].RelationParent);
  // Each solid's geometry once its own relation is applied, made from the top of its chain down:
  // its own triangles until a relation replaces them (only computed results are held apart).
  std::vector<std::vector<TVertex>> result(n);
  std::vector<const std::vector<TVertex>*> geometry(n);
  for (size_t k = 0; k < n; ++k) geometry[k] = &g.Model.Solids[k].Vertices;
  std::vector<char> made(n, 0), consumed(n, 0), applied(n, 0);
  for (size_t k = 0; k < n; ++k) {
    if (made[k]) continue;
    std::vector<size_t> chain{k};
    std::vector<char> seen(n, 0);
    seen[k] = 1;
    for (auto p = parentOf(k); p && !made[chain.back()] && !seen[*p]; p = parentOf(*p)) {
      seen[*p] = 1;
      chain.push_back(*p);
    }
    for (size_t c = chain.size(); c-- > 0;) {
      const size_t j = chain[c];
      if (made[j]) continue;
      made[j] = 1;
      const auto p = parentOf(j);
      if (!p || !made[*p]) continue;
      const TBoolean op = g.Model.Solids[j].Relation == "soustraction" ? TBoolean::Difference : TBoolean::Intersection;
      std::vector<TVertex> combined;
      if (ComputeBoolean(*geometry[*p], g.Model.Solids[j].Vertices, op, combined, geometry[*p] == &result[*p])) {
        result[j] = std::move(combined);
        geometry[j] = &result[j];
        consumed[*p] = 1;
        applied[j] = 1;
      } else {
        g.Notices.push_back(kMsgRelationNotApplied + g.Model.Solids[j].Name + " / " + g.Model.Solids[j].RelationParent);
      }
    }
  }
  std::vector<TSolid> solids;
  for (size_t k = 0; k < n; ++k) {
    if (consumed[k]) continue;  // written inside the solid related to it
    if (applied[k]) {
      // A parent is always consumed, so it is still in place here.
      const TSolid& parent = g.Model.Solids[at[g.RelationParents[k]]];
      if (result[k].empty()) {  // nothing is left of them
        g.Skipped.push_back(parent.Name);
        continue;
      }
      if (parent.Texture >= 0 || g.Model.Solids[k].Texture >= 0)
        g.Notices.push_back(kMsgRelationTextureLeftOut + parent.Name);
      TSolid s;
      s.Name = parent.Name;
      s.Color = parent.Color;
      s.Specular = parent.Specular;
      s.Vertices = std::move(result[k]);  // the cut faces have no texture coordinates
      solids.push_back(std::move(s));
    } else {
      solids.push_back(std::move(g.Model.Solids[k]));
    }
  }
  g.Model.Solids = std::move(solids);
}

// Fills the model; fails with what keeps anything from being written.
TResult Gather(TScene& scene, const TModelExportOptions& options, bool withLights, TGathered& g) {
  std::vector<int> objects = options.Objects;
  if (objects.empty() && !options.SelectionOnly)
    for (int i = 0; i < scene.ObjectCount(); ++i)
      if (scene.ObjectAt(i)->Afficher) objects.push_back(i);
  std::vector<char> taken(size_t(std::max(scene.ObjectCount(), 0)), 0);
  std::map<std::string, int> pictures;
  // The solids' triangles in world coordinates, computed first on every core: each solid's are
  // its own work.
  std::vector<TSolid> meshes(objects.size());
  {
    std::atomic<size_t> next{0};
    auto work = [&] {
      for (size_t k = next++; k < objects.size(); k = next++)
        if (const TSolidObject* s = scene.SolidAt(objects[k])) AddComposantes(meshes[k], *s);
    };
    const unsigned helpers = std::min<unsigned>(std::max(1u, std::thread::hardware_concurrency()) - 1, 7);
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < helpers && objects.size() > 8; ++t) threads.emplace_back(work);
    work();
    for (std::thread& t : threads) t.join();
  }
  for (size_t k = 0; k < objects.size(); ++k) {
    const int i = objects[k];
    if (i < 0 || i >= scene.ObjectCount() || taken[size_t(i)]) continue;
    taken[size_t(i)] = 1;
    if (const TSolidObject* s = scene.SolidAt(i)) {
      TSolid solid = std::move(meshes[k]);
      solid.Name = Utf8Name(s->Name());
      solid.Color = s->Color;
      solid.Specular = s->Specular;
      const TSolidObject* parent = scene.SolidAt(scene.ParentOf(i));
      int relationParent = -1;
      if (s->Relation != relAucune && parent) {
        solid.Relation = s->Relation == relSoustraction ? "soustraction" : "intersection";
        solid.RelationParent = Utf8Name(parent->Name());
        relationParent = scene.ParentOf(i);
      }
      if (solid.Vertices.empty()) {
        g.Skipped.push_back(solid.Name);
        continue;
      }
      if (s->Texturer && !s->TextureFile.empty()) {
        auto it = pictures.find(s->TextureFile);
        if (it == pictures.end()) {
          TPicture picture;
          if (!LoadPicture(s->TextureFile, picture)) return TError(kMsgTextureUnreadable + s->TextureFile);
          g.Model.Pictures.push_back(std::move(picture));
          it = pictures.emplace(s->TextureFile, int(g.Model.Pictures.size()) - 1).first;
        }
        solid.Texture = it->second;
      }
      g.Model.Solids.push_back(std::move(solid));
      g.Objects.push_back(i);
      g.RelationParents.push_back(relationParent);
    } else if (const TLight* l = scene.LightAt(i); l && withLights) {
      D3DLIGHT7 d;
      if (l->DeviceIndex >= 1) scene.Device().GetLight(l->DeviceIndex, d);
      TLightRecord r;
      r.Name = Utf8Name(l->Name());
      r.Type = d.dltType;
      const D3DCOLOR c = l->Color;
      r.Color = {((c >> 16) & 0xFF) / 255.0f, ((c >> 8) & 0xFF) / 255.0f, (c & 0xFF) / 255.0f};
      r.Position = {d.dvPosition.x, d.dvPosition.y, -d.dvPosition.z};
      std::array<double, 3> dir{d.dvDirection.x, d.dvDirection.y, -double(d.dvDirection.z)};
      if (!Normalize(dir)) dir = {0, 0, -1};
      r.Direction = {float(dir[0]), float(dir[1]), float(dir[2])};
      r.OuterCone = std::clamp(d.dvPhi / 2, 0.001f, float(std::numbers::pi / 2));
      r.InnerCone = std::clamp(d.dvTheta / 2, 0.0f, r.OuterCone * 0.999f);
      bool finite = true;
      for (float v : r.Position) finite = finite && std::isfinite(v);
      if (finite) g.Model.Lights.push_back(r);
    }
  }
  if (g.Model.Solids.empty()) {
    if (!g.Skipped.empty()) return TError(kMsgExportNoTriangles + JoinNames(g.Skipped));
    return TError(options.SelectionOnly ? kMsgExportEmptySelection : kMsgExportEmptyScene);
  }
  ApplyRelations(g);
  if (g.Model.Solids.empty()) return TError(kMsgExportNoTriangles + JoinNames(g.Skipped));
  return {};
}

}  // namespace

namespace modelexport {
std::vector<TVertex> WorldTriangles(const TSolidObject& solid) {
  TSolid out;
  AddComposantes(out, solid);
  return std::move(out.Vertices);
}

std::string RelationNote(const TSolid& solid) {
  if (solid.Relation.empty()) return {};
  return solid.Name + " : " + solid.Relation + " avec " + solid.RelationParent +
         " (relation CSG non appliquée, les deux solides sont exportés séparément)";
}
}  // namespace modelexport

std::optional<TModelFormat> ModelFormatOf(const std::string& path) {
  const std::string ext = Lower(fs::path(path).extension().string());
  if (ext == ".glb") return TModelFormat::Gltf;
  if (ext == ".obj") return TModelFormat::Obj;
  if (ext == ".stl") return TModelFormat::Stl;
  return std::nullopt;
}

std::vector<int> SelectedObjectsForExport(const TScene& scene) {
  std::vector<int> objects;
  if (scene.CurrentObject() >= 0) objects.push_back(scene.CurrentObject());
  for (int i : scene.SelectedObjects())
    if (std::find(objects.begin(), objects.end(), i) == objects.end()) objects.push_back(i);
  return objects;
}

TResult ExportModel(TScene& scene, const std::string& path, const TModelExportOptions& options) {
  const std::optional<TModelFormat> format = ModelFormatOf(path);
  if (!format) return TError(kMsgUnknownModelFormat + path);
  std::error_code ec;
  // Whether an existing file may be replaced: allowed outright, asked, or refused.
  const auto replaceAnswer = [&](const std::string& file) -> std::optional<TError> {
    if (options.Overwrite || !fs::exists(fs::symlink_status(file, ec))) return std::nullopt;
    if (!options.MayReplace) return ReplaceRefused(file);
    if (!options.MayReplace(file)) return TError();  // declined: nothing to tell
    return std::nullopt;
  };
  if (auto refused = replaceAnswer(path)) return *refused;
  TGathered g;
  if (TResult gathered = Gather(scene, options, *format == TModelFormat::Gltf, g); !gathered) return gathered;

  TFileSet files;
  std::vector<std::string> renamed;
  std::string error;
  bool made = false;
  if (*format == TModelFormat::Gltf) {
    made = WriteGlb(g.Model, files[path], error);
  } else {
    made = WriteWithAssimp(g.Model, path, *format == TModelFormat::Obj, files, renamed, error);
  }
  if (!made) return TError(kMsgExportFailed + error);
  // The companions first and the main file last; on a failure the files this export created are
  // taken away again, so no half export stays behind.
  std::vector<std::string> order;
  for (const auto& [file, bytes] : files)
    if (file != path) order.push_back(file);
  order.push_back(path);
  // Its companions (the OBJ's material file, its pictures) replace nothing either unless allowed.
  for (const std::string& file : order)
    if (file != path)
      if (auto refused = replaceAnswer(file)) return *refused;
  std::vector<std::string> created;
  for (const std::string& file : order) {
    const bool existed = fs::exists(file, ec);
    std::error_code failure;
    if (!WriteOutputFile(file, files[file], &failure)) {
      for (const std::string& c : created) fs::remove(c, ec);
      return FileAccessFailure(file, failure);
    }
    if (!existed) created.push_back(file);
  }
  TResult exported;
  if (!g.Skipped.empty()) exported.AddNotice(kMsgExportSkipped + JoinNames(g.Skipped));
  for (const std::string& notice : g.Notices) exported.AddNotice(notice);
  if (!renamed.empty()) exported.AddNotice(kMsgNamesAdapted + JoinNames(renamed));
  return exported;
}

}  // namespace ixoral
