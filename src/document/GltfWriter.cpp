// The glTF 2.0 binary writer: one mesh and node per solid, a metallic-roughness material from its
// colour, transparency and specular power, its texture picture embedded, the lights as
// KHR_lights_punctual lights. tinygltf lays out the JSON and the binary container.
#include <tiny_gltf.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <ostream>
#include <streambuf>
#include <utility>

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
  // What the accessors of a packed solid need once its vertices are released.
  struct TPacked {
    size_t Count = 0;
    std::array<double, 3> Min{std::numeric_limits<double>::max(), std::numeric_limits<double>::max(),
                              std::numeric_limits<double>::max()};
    std::array<double, 3> Max{std::numeric_limits<double>::lowest(), std::numeric_limits<double>::lowest(),
                              std::numeric_limits<double>::lowest()};
  };

 public:
  explicit TGlbBuilder(TModel& model) : FModel(model), FData(FGltf.buffers.emplace_back().data) {
    FGltf.asset.version = "2.0";
    FGltf.asset.generator = "Ixoral";
    FScene.name = "Scène";
  }

  bool Write(std::string& out, std::string& error) {
    AddVertexViews();
    AddPictures();
    // Sized once: tinygltf's records are copied, long names and all, whenever a list grows.
    const size_t solids = FModel.Solids.size();
    FGltf.accessors.reserve(3 * solids);
    FGltf.materials.reserve(solids);
    FGltf.meshes.reserve(solids);
    FGltf.nodes.reserve(solids + FModel.Lights.size());
    FScene.nodes.reserve(solids + FModel.Lights.size());
    size_t posAt = 0, uvAt = 0;
    for (size_t k = 0; k < FModel.Solids.size(); ++k) AddSolid(FModel.Solids[k], FPacked[k], posAt, uvAt);
    for (const TLightRecord& l : FModel.Lights) AddLight(l);
    Align4(FData);
    FGltf.scenes.push_back(std::move(FScene));
    FGltf.defaultScene = 0;

    tinygltf::TinyGLTF writer;
    out.clear();
    // The buffer, and the JSON text: its entries and every name, written for the node, the mesh
    // and the material of each solid (a scene of long names would otherwise grow the file twice).
    size_t names = 0;
    for (const TSolid& s : FModel.Solids)
      names += 3 * s.Name.size() + (s.Relation.empty() ? 0 : 2 * (s.RelationParent.size() + s.Name.size()) + 256);
    for (const TLightRecord& l : FModel.Lights) names += 2 * l.Name.size();
    out.reserve(FData.size() + names + 160 * (FGltf.accessors.size() + FGltf.nodes.size() + FGltf.materials.size()) +
                4096);
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

  // Every vertex's position and normal, and the mapping of the textured solids' vertices, each in
  // a packed block of the buffer sized once. A solid's vertices are released as soon as they are
  // packed (its count and bounds kept for its accessors), so the export never holds the scene's
  // triangles twice over beside the buffer.
  void AddVertexViews() {
    size_t vertexCount = 0, uvCount = 0;
    for (const TSolid& s : FModel.Solids) {
      vertexCount += s.Vertices.size();
      if (s.Texture >= 0) uvCount += s.Vertices.size();
    }
    FData.reserve(vertexCount * 24 + uvCount * 8 + 1024);
    const size_t posOffset = FData.size();
    const size_t normalOffset = posOffset + vertexCount * 12, uvOffset = normalOffset + vertexCount * 12;
    FData.resize(uvOffset + uvCount * 8);
    unsigned char *pos = FData.data() + posOffset, *normal = FData.data() + normalOffset, *uv = FData.data() + uvOffset;
    for (TSolid& s : FModel.Solids) {
      TPacked packed;
      packed.Count = s.Vertices.size();
      for (const TVertex& v : s.Vertices) {
        for (size_t k = 0; k < 3; ++k)
          packed.Min[k] = std::min(packed.Min[k], double(v.P[k])),
          packed.Max[k] = std::max(packed.Max[k], double(v.P[k]));
        std::memcpy(pos, v.P.data(), 12);
        std::memcpy(normal, v.N.data(), 12);
        pos += 12, normal += 12;
        if (s.Texture >= 0) std::memcpy(uv, v.UV.data(), 8), uv += 8;
      }
      FPacked.push_back(packed);
      std::vector<TVertex>().swap(s.Vertices);
    }
    FPosView = AddView(posOffset, normalOffset - posOffset, TINYGLTF_TARGET_ARRAY_BUFFER, 12);
    FNormalView = AddView(normalOffset, uvOffset - normalOffset, TINYGLTF_TARGET_ARRAY_BUFFER, 12);
    if (uvCount > 0) FUvView = AddView(uvOffset, uvCount * 8, TINYGLTF_TARGET_ARRAY_BUFFER, 8);
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
    FGltf.accessors.push_back(std::move(a));
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
    FGltf.materials.push_back(std::move(mat));
    return int(FGltf.materials.size()) - 1;
  }

  // `posAt` and `uvAt`: the solid's first vertex in the position and mapping views.
  void AddSolid(const TSolid& s, const TPacked& packed, size_t& posAt, size_t& uvAt) {
    const size_t n = packed.Count;
    const std::vector<double> mn(packed.Min.begin(), packed.Min.end()), mx(packed.Max.begin(), packed.Max.end());
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
    mesh.primitives.push_back(std::move(prim));
    FGltf.meshes.push_back(std::move(mesh));

    tinygltf::Node node;
    node.name = s.Name;
    node.mesh = int(FGltf.meshes.size()) - 1;
    if (!s.Relation.empty())
      node.extras = tinygltf::Value(tinygltf::Value::Object{{"relation", tinygltf::Value(s.Relation)},
                                                            {"relationParent", tinygltf::Value(s.RelationParent)},
                                                            {"note", tinygltf::Value(RelationNote(s))}});
    FGltf.nodes.push_back(std::move(node));
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
    FGltf.nodes.push_back(std::move(node));
    FScene.nodes.push_back(int(FGltf.nodes.size()) - 1);
  }

  TModel& FModel;
  std::vector<TPacked> FPacked;
  tinygltf::Model FGltf;
  std::vector<unsigned char>& FData;
  tinygltf::Scene FScene;
  int FPosView = -1, FNormalView = -1, FUvView = -1;
};

}  // namespace

bool WriteGlb(TModel& model, std::string& out, std::string& error) { return TGlbBuilder(model).Write(out, error); }

}  // namespace ixoral::modelexport
