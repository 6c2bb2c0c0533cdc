// The glTF 2.0 binary writer: one mesh and node per solid, a metallic-roughness material from its
// colour, transparency and specular power, its texture picture embedded, the lights as
// KHR_lights_punctual lights. tinygltf lays out the JSON and the binary container.
#include <tiny_gltf.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <ostream>
#include <streambuf>

#include "document/ModelExportData.h"

namespace ixoral::modelexport {
namespace {

// Colours of the program are display colours; glTF factors are linear.
double Linear(double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); }

// The Phong power of the drawing as a roughness: the broad highlight of a low power is a rough
// surface; without a highlight the surface is fully rough.
double Roughness(float power) {
  if (!(power > 0)) return 1.0;
  return std::clamp(std::sqrt(2.0 / (double(power) + 2.0)), 0.0, 1.0);
}

void Align4(std::vector<unsigned char>& data) {
  while (data.size() % 4) data.push_back(0);
}

template <typename T>
void Append(std::vector<unsigned char>& data, const T* values, size_t count) {
  const size_t at = data.size();
  data.resize(at + count * sizeof(T));
  std::memcpy(data.data() + at, values, count * sizeof(T));
}

// An output stream that fills a string reserved in advance: the binary file is written once,
// without the copies of a growing string stream.
class TStringBuf final : public std::streambuf {
 public:
  explicit TStringBuf(std::string& out) : FOut(out) {}

 protected:
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    FOut.append(s, size_t(n));
    return n;
  }
  int_type overflow(int_type c) override {
    if (c != traits_type::eof()) FOut.push_back(char(c));
    return traits_type::not_eof(c);
  }

 private:
  std::string& FOut;
};

// The rotation (x, y, z, w) that turns a light's local -Z onto `d` (unit).
std::vector<double> AimRotation(const std::array<float, 3>& d) {
  const double dot = -double(d[2]);
  if (dot < -0.999999) return {0, 1, 0, 0};  // facing +Z: half a turn about Y
  // axis = (0, 0, -1) x d
  double x = double(d[1]), y = -double(d[0]), z = 0, w = 1 + dot;
  const double len = std::sqrt(x * x + y * y + z * z + w * w);
  return {x / len, y / len, z / len, w / len};
}

}  // namespace

namespace {

// The glTF model being built from ours: one buffer holding every solid's positions, normals and
// texture coordinates (three views), then the pictures; a mesh, material and node per solid, a
// node per light.
class TGlbBuilder {
 public:
  explicit TGlbBuilder(const TModel& model) : FModel(model), FData(FGltf.buffers.emplace_back().data) {
    FGltf.asset.version = "2.0";
    FGltf.asset.generator = "Ixoral";
    FScene.name = "Scène";
  }

  bool Write(std::string& out, std::string& error) {
    AddVertexViews();
    AddPictures();
    size_t posAt = 0, uvAt = 0;
    for (const TSolid& s : FModel.Solids) AddSolid(s, posAt, uvAt);
    for (const TLightRecord& l : FModel.Lights) AddLight(l);
    Align4(FData);
    FGltf.scenes.push_back(FScene);
    FGltf.defaultScene = 0;

    tinygltf::TinyGLTF writer;
    out.clear();
    out.reserve(FData.size() + 64 * (FGltf.accessors.size() + FGltf.nodes.size() + FGltf.materials.size()) + 4096);
    TStringBuf buffer(out);
    std::ostream stream(&buffer);
    try {
      if (writer.WriteGltfSceneToStream(&FGltf, stream, false, true)) return true;
      error = "glTF";
    } catch (const std::exception& e) {  // the JSON library refuses what it cannot write
      error = e.what();
    }
    out.clear();
    return false;
  }

 private:
  // Several accessors share each vertex view, which then names its stride.
  int AddView(size_t offset, size_t length, int target, size_t stride = 0) {
    tinygltf::BufferView v;
    v.byteStride = stride;
    v.buffer = 0;
    v.byteOffset = offset;
    v.byteLength = length;
    v.target = target;
    FGltf.bufferViews.push_back(v);
    return int(FGltf.bufferViews.size()) - 1;
  }

  // One attribute of every vertex (of the textured solids only, for the mapping), packed: the
  // block is sized once, then filled.
  template <class TMember>
  size_t AppendAttribute(TMember member, size_t components, bool texturedOnly) {
    size_t count = 0;
    for (const TSolid& s : FModel.Solids)
      if (!texturedOnly || s.Texture >= 0) count += s.Vertices.size();
    const size_t at = FData.size();
    FData.resize(at + count * components * sizeof(float));
    unsigned char* into = FData.data() + at;
    for (const TSolid& s : FModel.Solids)
      if (!texturedOnly || s.Texture >= 0)
        for (const TVertex& v : s.Vertices) {
          std::memcpy(into, (v.*member).data(), components * sizeof(float));
          into += components * sizeof(float);
        }
    return at;
  }

  void AddVertexViews() {
    size_t vertexCount = 0, uvCount = 0;
    for (const TSolid& s : FModel.Solids) {
      vertexCount += s.Vertices.size();
      if (s.Texture >= 0) uvCount += s.Vertices.size();
    }
    FData.reserve(vertexCount * 32 + 1024);
    const size_t posOffset = AppendAttribute(&TVertex::P, 3, false);
    FPosView = AddView(posOffset, FData.size() - posOffset, TINYGLTF_TARGET_ARRAY_BUFFER, 12);
    const size_t normalOffset = AppendAttribute(&TVertex::N, 3, false);
    FNormalView = AddView(normalOffset, FData.size() - normalOffset, TINYGLTF_TARGET_ARRAY_BUFFER, 12);
    if (uvCount > 0) {
      const size_t uvOffset = AppendAttribute(&TVertex::UV, 2, true);
      FUvView = AddView(uvOffset, FData.size() - uvOffset, TINYGLTF_TARGET_ARRAY_BUFFER, 8);
    }
  }

  // The pictures, embedded after the geometry, each used by one texture.
  void AddPictures() {
    for (const TPicture& p : FModel.Pictures) {
      Align4(FData);
      const size_t at = FData.size();
      Append(FData, reinterpret_cast<const unsigned char*>(p.Bytes.data()), p.Bytes.size());
      tinygltf::Image image;
      image.mimeType = p.Mime;
      image.bufferView = AddView(at, p.Bytes.size(), 0);
      FGltf.images.push_back(image);
      tinygltf::Texture texture;
      texture.source = int(FGltf.images.size()) - 1;
      texture.sampler = 0;
      FGltf.textures.push_back(texture);
    }
    if (!FModel.Pictures.empty()) {
      tinygltf::Sampler sampler;  // the drawing's bilinear, wrapped texture addressing
      sampler.magFilter = TINYGLTF_TEXTURE_FILTER_LINEAR;
      sampler.minFilter = TINYGLTF_TEXTURE_FILTER_LINEAR;
      sampler.wrapS = sampler.wrapT = TINYGLTF_TEXTURE_WRAP_REPEAT;
      FGltf.samplers.push_back(sampler);
    }
  }

  int AddAccessor(int view, size_t offset, size_t count, int type, const std::vector<double>& min,
                  const std::vector<double>& max) {
    tinygltf::Accessor a;
    a.bufferView = view;
    a.byteOffset = offset;
    a.componentType = TINYGLTF_COMPONENT_TYPE_FLOAT;
    a.count = count;
    a.type = type;
    a.minValues = min;
    a.maxValues = max;
    FGltf.accessors.push_back(a);
    return int(FGltf.accessors.size()) - 1;
  }

  int AddMaterial(const TSolid& s) {
    tinygltf::Material mat;
    mat.name = s.Name;
    const D3DCOLOR c = s.Color;
    const double alpha = ((c >> 24) & 0xFF) / 255.0;
    mat.pbrMetallicRoughness.baseColorFactor = {Linear(((c >> 16) & 0xFF) / 255.0), Linear(((c >> 8) & 0xFF) / 255.0),
                                                Linear((c & 0xFF) / 255.0), alpha};
    mat.pbrMetallicRoughness.metallicFactor = 0;
    mat.pbrMetallicRoughness.roughnessFactor = Roughness(s.Specular);
    if (s.Texture >= 0) mat.pbrMetallicRoughness.baseColorTexture.index = s.Texture;
    mat.alphaMode = alpha < 1 ? "BLEND" : "OPAQUE";
    mat.extras = tinygltf::Value(tinygltf::Value::Object{{"specularPower", tinygltf::Value(double(s.Specular))}});
    FGltf.materials.push_back(mat);
    return int(FGltf.materials.size()) - 1;
  }

  // `posAt` and `uvAt`: the solid's first vertex in the position and mapping views.
  void AddSolid(const TSolid& s, size_t& posAt, size_t& uvAt) {
    const size_t n = s.Vertices.size();
    std::vector<double> mn(3, std::numeric_limits<double>::max()), mx(3, std::numeric_limits<double>::lowest());
    for (const TVertex& v : s.Vertices)
      for (size_t k = 0; k < 3; ++k) mn[k] = std::min(mn[k], double(v.P[k])), mx[k] = std::max(mx[k], double(v.P[k]));
    tinygltf::Primitive prim;
    prim.mode = TINYGLTF_MODE_TRIANGLES;
    prim.attributes["POSITION"] = AddAccessor(FPosView, posAt * 12, n, TINYGLTF_TYPE_VEC3, mn, mx);
    prim.attributes["NORMAL"] = AddAccessor(FNormalView, posAt * 12, n, TINYGLTF_TYPE_VEC3, {}, {});
    if (s.Texture >= 0) {
      prim.attributes["TEXCOORD_0"] = AddAccessor(FUvView, uvAt * 8, n, TINYGLTF_TYPE_VEC2, {}, {});
      uvAt += n;
    }
    posAt += n;
    prim.material = AddMaterial(s);

    tinygltf::Mesh mesh;
    mesh.name = s.Name;
    mesh.primitives.push_back(prim);
    FGltf.meshes.push_back(mesh);

    tinygltf::Node node;
    node.name = s.Name;
    node.mesh = int(FGltf.meshes.size()) - 1;
    if (!s.Relation.empty())
      node.extras = tinygltf::Value(tinygltf::Value::Object{{"relation", tinygltf::Value(s.Relation)},
                                                            {"relationParent", tinygltf::Value(s.RelationParent)},
                                                            {"note", tinygltf::Value(RelationNote(s))}});
    FGltf.nodes.push_back(node);
    FScene.nodes.push_back(int(FGltf.nodes.size()) - 1);
  }

  void AddLight(const TLightRecord& l) {
    tinygltf::Light light;
    light.name = l.Name;
    light.color = {l.Color[0], l.Color[1], l.Color[2]};
    light.intensity = 1;
    light.type = l.Type == 2 ? "spot" : (l.Type == 3 ? "directional" : "point");
    if (l.Type == 2) {
      light.spot.innerConeAngle = l.InnerCone;
      light.spot.outerConeAngle = l.OuterCone;
    }
    FGltf.lights.push_back(light);
    tinygltf::Node node;
    node.name = l.Name;
    if (l.Type != 3) node.translation = {l.Position[0], l.Position[1], l.Position[2]};
    if (l.Type != 1) node.rotation = AimRotation(l.Direction);
    node.extensions["KHR_lights_punctual"] =
        tinygltf::Value(tinygltf::Value::Object{{"light", tinygltf::Value(int(FGltf.lights.size()) - 1)}});
    FGltf.nodes.push_back(node);
    FScene.nodes.push_back(int(FGltf.nodes.size()) - 1);
  }

  const TModel& FModel;
  tinygltf::Model FGltf;
  std::vector<unsigned char>& FData;
  tinygltf::Scene FScene;
  int FPosView = -1, FNormalView = -1, FUvView = -1;
};

}  // namespace

bool WriteGlb(const TModel& model, std::string& out, std::string& error) {
  return TGlbBuilder(model).Write(out, error);
}

}  // namespace ixoral::modelexport
