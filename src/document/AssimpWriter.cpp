// The Wavefront OBJ (with its material file and texture pictures) and binary STL writers, through
// the Open Asset Import Library. Its exporters write through an I/O system of ours that keeps
// every file in memory, so the caller writes them whole, or not at all, afterwards.
#include <assimp/Exporter.hpp>
#include <assimp/IOStream.hpp>
#include <assimp/IOSystem.hpp>
#include <assimp/material.h>
#include <assimp/scene.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>

#include "document/ModelExportData.h"

namespace ixoral::modelexport {
namespace {
namespace fs = std::filesystem;

class TMemoryStream final : public Assimp::IOStream {
 public:
  explicit TMemoryStream(std::string& target) : FTarget(target) { FTarget.clear(); }
  size_t Read(void*, size_t, size_t) override { return 0; }
  size_t Write(const void* buffer, size_t size, size_t count) override {
    const size_t n = size * count;
    if (FAt == FTarget.size()) {
      FTarget.append(static_cast<const char*>(buffer), n);
    } else {
      if (FAt + n > FTarget.size()) FTarget.resize(FAt + n);
      FTarget.replace(FAt, n, static_cast<const char*>(buffer), n);
    }
    FAt += n;
    return count;
  }
  aiReturn Seek(size_t offset, aiOrigin origin) override {
    const size_t base = origin == aiOrigin_SET ? 0 : (origin == aiOrigin_CUR ? FAt : FTarget.size());
    FAt = base + offset;
    return aiReturn_SUCCESS;
  }
  size_t Tell() const override { return FAt; }
  size_t FileSize() const override { return FTarget.size(); }
  void Flush() override {}

 private:
  std::string& FTarget;
  size_t FAt = 0;
};

// Files the exporter opens for writing land in `Files`; nothing is read from the disk.
class TMemoryIOSystem final : public Assimp::IOSystem {
 public:
  bool Exists(const char* file) const override { return Files.count(file) > 0; }
  char getOsSeparator() const override { return '/'; }
  Assimp::IOStream* Open(const char* file, const char* mode) override {
    if (!mode || (mode[0] != 'w' && mode[0] != 'a')) return nullptr;
    return new TMemoryStream(Files[file]);
  }
  void Close(Assimp::IOStream* stream) override { delete stream; }
  TFileSet Files;
};

// A name as OBJ files can hold it: one word, no comment sign.
std::string ObjName(const std::string& name) {
  std::string s;
  for (unsigned char c : name) s += (c <= 0x20 || c == '#' || c == 0x7F) ? '_' : char(c);
  return s.empty() ? "solide" : s;
}

aiColor3D Rgb(D3DCOLOR c) { return {((c >> 16) & 0xFF) / 255.0f, ((c >> 8) & 0xFF) / 255.0f, (c & 0xFF) / 255.0f}; }

// One mesh of the triangles of `solids`, in order; with `textured`, their texture coordinates.
aiMesh* NewTriangleMesh(const std::string& name, const std::vector<const TSolid*>& solids, bool textured) {
  auto* mesh = new aiMesh;
  mesh->mName = name;
  mesh->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
  unsigned n = 0;
  for (const TSolid* p : solids) n += unsigned(p->Vertices.size());
  mesh->mNumVertices = n;
  mesh->mVertices = new aiVector3D[n];
  mesh->mNormals = new aiVector3D[n];
  if (textured) {
    mesh->mTextureCoords[0] = new aiVector3D[n];
    mesh->mNumUVComponents[0] = 2;
  }
  unsigned k = 0;
  for (const TSolid* p : solids)
    for (const TVertex& v : p->Vertices) {
      mesh->mVertices[k] = {v.P[0], v.P[1], v.P[2]};
      mesh->mNormals[k] = {v.N[0], v.N[1], v.N[2]};
      // OBJ texture coordinates start at the picture's bottom left.
      if (textured) mesh->mTextureCoords[0][k] = {v.UV[0], 1.0f - v.UV[1], 0};
      ++k;
    }
  mesh->mNumFaces = n / 3;
  mesh->mFaces = new aiFace[n / 3];
  for (unsigned f = 0; f < n / 3; ++f) {
    mesh->mFaces[f].mNumIndices = 3;
    mesh->mFaces[f].mIndices = new unsigned[3]{3 * f, 3 * f + 1, 3 * f + 2};
  }
  return mesh;
}

// The material of a solid: its colour, highlight, opacity and, when `picture` is named, its texture.
aiMaterial* NewMaterial(const std::string& name, const TSolid& s, const std::string& picture) {
  auto* mat = new aiMaterial;
  const aiString matName(name);
  mat->AddProperty(&matName, AI_MATKEY_NAME);
  const aiColor3D colour = Rgb(s.Color);
  mat->AddProperty(&colour, 1, AI_MATKEY_COLOR_DIFFUSE);
  mat->AddProperty(&colour, 1, AI_MATKEY_COLOR_AMBIENT);
  // As the drawing does: a white highlight of the solid's power, none at power 0.
  const float sp = s.Specular > 0 ? 1.0f : 0.0f;
  const aiColor3D specular(sp, sp, sp);
  mat->AddProperty(&specular, 1, AI_MATKEY_COLOR_SPECULAR);
  const float power = s.Specular;
  mat->AddProperty(&power, 1, AI_MATKEY_SHININESS);
  const float opacity = ((s.Color >> 24) & 0xFF) / 255.0f;
  mat->AddProperty(&opacity, 1, AI_MATKEY_OPACITY);
  if (!picture.empty()) {
    const aiString file(picture);
    mat->AddProperty(&file, AI_MATKEY_TEXTURE_DIFFUSE(0));
  }
  return mat;
}

}  // namespace

bool WriteWithAssimp(const TModel& model, const std::string& path, bool obj, TFileSet& files,
                     std::vector<std::string>& renamed, std::string& error) {
  const fs::path target(path);
  const fs::path folder = target.parent_path();
  // The material file and the pictures are named in the OBJ file, where a name is one word.
  const std::string stem = ObjName(target.stem().string());
  const std::string exportedPath = (folder / (stem + target.extension().string())).string();

  std::vector<std::string> pictureNames;
  if (obj) {
    std::set<std::string> used{stem + ".mtl"};
    for (const TPicture& p : model.Pictures) {
      const std::string base = stem + "_" + ObjName(fs::path(p.Source).stem().string());
      std::string name = base + "." + p.Extension;
      for (int k = 2; used.count(name); ++k) name = base + "_" + std::to_string(k) + "." + p.Extension;
      used.insert(name);
      pictureNames.push_back(name);
    }
  }

  // OBJ: one object, mesh and material per solid. STL has neither names nor materials: one mesh
  // holds every triangle, which spares the library's per-mesh work.
  std::vector<std::vector<const TSolid*>> parts;
  if (obj)
    for (const TSolid& s : model.Solids) parts.push_back({&s});
  else
    parts.emplace_back();
  if (!obj)
    for (const TSolid& s : model.Solids) parts[0].push_back(&s);

  auto scene = std::make_unique<aiScene>();
  const unsigned count = unsigned(parts.size());
  scene->mRootNode = new aiNode("Ixoral");
  scene->mRootNode->mNumChildren = count;
  scene->mRootNode->mChildren = new aiNode*[count];
  scene->mNumMeshes = count;
  scene->mMeshes = new aiMesh*[count];
  scene->mNumMaterials = count;
  scene->mMaterials = new aiMaterial*[count];
  std::set<std::string> names;
  std::map<std::string, std::string> written;  // solid name -> name in the file
  for (unsigned i = 0; i < count; ++i) {
    const TSolid& s = *parts[i].front();
    std::string name = obj ? ObjName(s.Name) : std::string("Ixoral");
    if (obj) {
      const std::string base = name;
      for (int k = 2; names.count(name); ++k) name = base + "_" + std::to_string(k);
      names.insert(name);
      if (name != s.Name) renamed.push_back(s.Name + " → " + name);
      written[s.Name] = name;
    }

    const bool textured = s.Texture >= 0 && obj;
    aiMesh* mesh = NewTriangleMesh(name, parts[i], textured);
    mesh->mMaterialIndex = i;
    scene->mMeshes[i] = mesh;
    scene->mMaterials[i] = NewMaterial(name, s, textured ? pictureNames[size_t(s.Texture)] : std::string());

    auto* node = new aiNode(name);
    node->mParent = scene->mRootNode;
    node->mNumMeshes = 1;
    node->mMeshes = new unsigned[1]{i};
    scene->mRootNode->mChildren[i] = node;
  }

  Assimp::Exporter exporter;
  auto* io = new TMemoryIOSystem;  // owned by the exporter from here on
  exporter.SetIOHandler(io);
  if (exporter.Export(scene.get(), obj ? "obj" : "stlb", exportedPath) != aiReturn_SUCCESS) {
    error = exporter.GetErrorString();
    return false;
  }
  for (auto& [file, bytes] : io->Files) files[file == exportedPath ? path : file] = std::move(bytes);
  if (!files.count(path)) {
    error = path;
    return false;
  }
  if (obj) {
    // The CSG relations the format cannot express, as comments at the top of the file.
    std::string note;
    auto inFile = [&](const std::string& name) {
      const auto it = written.find(name);
      return it != written.end() ? it->second : ObjName(name);
    };
    for (const TSolid& s : model.Solids) {
      if (s.Relation.empty()) continue;
      TSolid named;
      named.Name = inFile(s.Name);
      named.Relation = s.Relation;
      named.RelationParent = inFile(s.RelationParent);
      note += "# " + RelationNote(named) + "\n";
    }
    if (!note.empty()) files[path].insert(0, "# Ixoral\n" + note);
    for (size_t k = 0; k < model.Pictures.size(); ++k)
      files[(folder / pictureNames[k]).string()] = model.Pictures[k].Bytes;
  }
  return true;
}

}  // namespace ixoral::modelexport
