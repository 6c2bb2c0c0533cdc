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

bool WriteGlb(const TModel& model, std::string& out, std::string& error) {
  tinygltf::Model m;
  m.asset.version = "2.0";
  m.asset.generator = "Ixoral";
  m.buffers.resize(1);
  std::vector<unsigned char>& data = m.buffers[0].data;
  tinygltf::Scene scene;
  scene.name = "Scène";

  // Three views of the buffer hold every solid's positions, normals and texture coordinates.
  size_t vertexCount = 0, uvCount = 0;
  for (const TSolid& s : model.Solids) {
    vertexCount += s.Vertices.size();
    if (s.Texture >= 0) uvCount += s.Vertices.size();
  }
  // Several accessors share each vertex view, which then names its stride.
  auto addView = [&](size_t offset, size_t length, int target, size_t stride = 0) {
    tinygltf::BufferView v;
    v.byteStride = stride;
    v.buffer = 0;
    v.byteOffset = offset;
    v.byteLength = length;
    v.target = target;
    m.bufferViews.push_back(v);
    return int(m.bufferViews.size()) - 1;
  };
  data.reserve(vertexCount * 32 + 1024);
  // One attribute of every vertex (of the textured solids only, for the mapping), packed: the
  // block is sized once, then filled.
  auto appendAttribute = [&](auto member, size_t components, bool texturedOnly) {
    size_t count = 0;
    for (const TSolid& s : model.Solids)
      if (!texturedOnly || s.Texture >= 0) count += s.Vertices.size();
    const size_t at = data.size();
    data.resize(at + count * components * sizeof(float));
    unsigned char* into = data.data() + at;
    for (const TSolid& s : model.Solids)
      if (!texturedOnly || s.Texture >= 0)
        for (const TVertex& v : s.Vertices) {
          std::memcpy(into, (v.*member).data(), components * sizeof(float));
          into += components * sizeof(float);
        }
    return at;
  };
  const size_t posOffset = appendAttribute(&TVertex::P, 3, false);
  const int posView = addView(posOffset, data.size() - posOffset, TINYGLTF_TARGET_ARRAY_BUFFER, 12);
  const size_t normalOffset = appendAttribute(&TVertex::N, 3, false);
  const int normalView = addView(normalOffset, data.size() - normalOffset, TINYGLTF_TARGET_ARRAY_BUFFER, 12);
  int uvView = -1;
  if (uvCount > 0) {
    const size_t uvOffset = appendAttribute(&TVertex::UV, 2, true);
    uvView = addView(uvOffset, data.size() - uvOffset, TINYGLTF_TARGET_ARRAY_BUFFER, 8);
  }

  // The pictures, embedded after the geometry, each used by one texture.
  for (const TPicture& p : model.Pictures) {
    Align4(data);
    const size_t at = data.size();
    Append(data, reinterpret_cast<const unsigned char*>(p.Bytes.data()), p.Bytes.size());
    tinygltf::Image image;
    image.mimeType = p.Mime;
    image.bufferView = addView(at, p.Bytes.size(), 0);
    m.images.push_back(image);
    tinygltf::Texture texture;
    texture.source = int(m.images.size()) - 1;
    texture.sampler = 0;
    m.textures.push_back(texture);
  }
  if (!model.Pictures.empty()) {
    tinygltf::Sampler sampler;  // the drawing's bilinear, wrapped texture addressing
    sampler.magFilter = TINYGLTF_TEXTURE_FILTER_LINEAR;
    sampler.minFilter = TINYGLTF_TEXTURE_FILTER_LINEAR;
    sampler.wrapS = sampler.wrapT = TINYGLTF_TEXTURE_WRAP_REPEAT;
    m.samplers.push_back(sampler);
  }

  size_t posAt = 0, uvAt = 0;
  for (const TSolid& s : model.Solids) {
    const size_t n = s.Vertices.size();
    auto addAccessor = [&](int view, size_t offset, int type, const std::vector<double>& min,
                           const std::vector<double>& max) {
      tinygltf::Accessor a;
      a.bufferView = view;
      a.byteOffset = offset;
      a.componentType = TINYGLTF_COMPONENT_TYPE_FLOAT;
      a.count = n;
      a.type = type;
      a.minValues = min;
      a.maxValues = max;
      m.accessors.push_back(a);
      return int(m.accessors.size()) - 1;
    };
    std::vector<double> mn(3, std::numeric_limits<double>::max()), mx(3, std::numeric_limits<double>::lowest());
    for (const TVertex& v : s.Vertices)
      for (size_t k = 0; k < 3; ++k) mn[k] = std::min(mn[k], double(v.P[k])), mx[k] = std::max(mx[k], double(v.P[k]));
    tinygltf::Primitive prim;
    prim.mode = TINYGLTF_MODE_TRIANGLES;
    prim.attributes["POSITION"] = addAccessor(posView, posAt * 12, TINYGLTF_TYPE_VEC3, mn, mx);
    prim.attributes["NORMAL"] = addAccessor(normalView, posAt * 12, TINYGLTF_TYPE_VEC3, {}, {});
    if (s.Texture >= 0) {
      prim.attributes["TEXCOORD_0"] = addAccessor(uvView, uvAt * 8, TINYGLTF_TYPE_VEC2, {}, {});
      uvAt += n;
    }
    posAt += n;

    tinygltf::Material mat;
    mat.name = s.Name;
    const D3DCOLOR c = s.Color;
    const double alpha = ((c >> 24) & 0xFF) / 255.0;
    mat.pbrMetallicRoughness.baseColorFactor = {Linear(((c >> 16) & 0xFF) / 255.0),
                                                Linear(((c >> 8) & 0xFF) / 255.0),
                                                Linear((c & 0xFF) / 255.0), alpha};
    mat.pbrMetallicRoughness.metallicFactor = 0;
    mat.pbrMetallicRoughness.roughnessFactor = Roughness(s.Specular);
    if (s.Texture >= 0) mat.pbrMetallicRoughness.baseColorTexture.index = s.Texture;
    mat.alphaMode = alpha < 1 ? "BLEND" : "OPAQUE";
    mat.extras = tinygltf::Value(tinygltf::Value::Object{{"specularPower", tinygltf::Value(double(s.Specular))}});
    m.materials.push_back(mat);
    prim.material = int(m.materials.size()) - 1;

    tinygltf::Mesh mesh;
    mesh.name = s.Name;
    mesh.primitives.push_back(prim);
    m.meshes.push_back(mesh);

    tinygltf::Node node;
    node.name = s.Name;
    node.mesh = int(m.meshes.size()) - 1;
    if (!s.Relation.empty())
      node.extras = tinygltf::Value(tinygltf::Value::Object{
          {"relation", tinygltf::Value(s.Relation)},
          {"relationParent", tinygltf::Value(s.RelationParent)},
          {"note", tinygltf::Value(RelationNote(s))}});
    m.nodes.push_back(node);
    scene.nodes.push_back(int(m.nodes.size()) - 1);
  }

  for (const TLightRecord& l : model.Lights) {
    tinygltf::Light light;
    light.name = l.Name;
    light.color = {l.Color[0], l.Color[1], l.Color[2]};
    light.intensity = 1;
    light.type = l.Type == 2 ? "spot" : (l.Type == 3 ? "directional" : "point");
    if (l.Type == 2) {
      light.spot.innerConeAngle = l.InnerCone;
      light.spot.outerConeAngle = l.OuterCone;
    }
    m.lights.push_back(light);
    tinygltf::Node node;
    node.name = l.Name;
    if (l.Type != 3) node.translation = {l.Position[0], l.Position[1], l.Position[2]};
    if (l.Type != 1) node.rotation = AimRotation(l.Direction);
    node.extensions["KHR_lights_punctual"] = tinygltf::Value(
        tinygltf::Value::Object{{"light", tinygltf::Value(int(m.lights.size()) - 1)}});
    m.nodes.push_back(node);
    scene.nodes.push_back(int(m.nodes.size()) - 1);
  }
  Align4(data);
  m.scenes.push_back(scene);
  m.defaultScene = 0;

  tinygltf::TinyGLTF writer;
  out.clear();
  out.reserve(data.size() + 64 * (m.accessors.size() + m.nodes.size() + m.materials.size()) + 4096);
  TStringBuf buffer(out);
  std::ostream stream(&buffer);
  try {
    if (writer.WriteGltfSceneToStream(&m, stream, false, true)) return true;
    error = "glTF";
  } catch (const std::exception& e) {  // the JSON library refuses what it cannot write
    error = e.what();
  }
  out.clear();
  return false;
}

}  // namespace ixoral::modelexport
