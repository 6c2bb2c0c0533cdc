// The glTF 2.0 binary writer: one mesh and node per solid, a metallic-roughness material from its
// colour, transparency and specular power, its texture picture embedded, the lights as
// KHR_lights_punctual lights. The JSON part is laid out with nlohmann::json; the binary part is
// packed straight into the file's bytes, so a scene of millions of triangles is copied once.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

#include "document/ModelExportData.h"
#include "platform/LargePages.h"

namespace ixoral::modelexport {
namespace {

using nlohmann::json;

constexpr int kArrayBuffer = 34962;  // bufferView target of vertex attributes
constexpr int kFloat = 5126;         // accessor component type
constexpr int kTriangles = 4;        // primitive mode
constexpr int kLinear = 9729, kRepeat = 10497;
constexpr size_t kGlbHeader = 12, kChunkHeader = 8;

// Colours of the program are display colours; glTF factors are linear.
double Linear(double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); }

// The Phong power of the drawing as a roughness: the broad highlight of a low power is a rough
// surface; without a highlight the surface is fully rough.
double Roughness(float power) {
  if (!(power > 0)) return 1.0;
  return std::clamp(std::sqrt(2.0 / (double(power) + 2.0)), 0.0, 1.0);
}

size_t Padded4(size_t n) { return (n + 3) & ~size_t(3); }

void PutU32(std::string& out, size_t at, uint32_t v) {
  for (int k = 0; k < 4; ++k) out[at + size_t(k)] = char((v >> (8 * k)) & 0xFF);
}

// The rotation (x, y, z, w) that turns a light's local -Z onto `d` (unit).
json AimRotation(const std::array<float, 3>& d) {
  const double dot = -double(d[2]);
  if (dot < -0.999999) return json::array({0, 1, 0, 0});  // facing +Z: half a turn about Y
  // axis = (0, 0, -1) x d
  double x = double(d[1]), y = -double(d[0]), z = 0, w = 1 + dot;
  const double len = std::sqrt(x * x + y * y + z * z + w * w);
  return json::array({x / len, y / len, z / len, w / len});
}

// The glTF model being built from ours: one buffer holding every solid's positions, normals and
// texture coordinates (three views), then the pictures; a mesh, material and node per solid, a
// node per light. The buffer is the binary chunk of `out`, written in place.
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
  TGlbBuilder(TModel& model, std::string& out) : FModel(model), FOut(out) {}

  bool Write(std::string& error) {
    FOut.clear();
    AddVertexViews();
    AddPictures();
    const size_t binLength = Padded4(FOut.size());
    FOut.resize(binLength, '\0');
    for (size_t k = 0; k < FModel.Solids.size(); ++k) AddSolid(FModel.Solids[k], FPacked[k]);
    for (const TLightRecord& l : FModel.Lights) AddLight(l);

    json doc = json::object();
    doc["asset"] = {{"version", "2.0"}, {"generator", "Ixoral"}};
    doc["scene"] = 0;
    doc["scenes"] = json::array({{{"name", "Scène"}, {"nodes", std::move(FSceneNodes)}}});
    doc["nodes"] = std::move(FNodes);
    if (!FMeshes.empty()) {
      doc["meshes"] = std::move(FMeshes);
      doc["materials"] = std::move(FMaterials);
      doc["accessors"] = std::move(FAccessors);
    }
    if (binLength > 0) {
      doc["buffers"] = json::array({{{"byteLength", binLength}}});
      doc["bufferViews"] = std::move(FViews);
    }
    if (!FImages.empty()) {
      doc["images"] = std::move(FImages);
      doc["textures"] = std::move(FTextures);
      doc["samplers"] = json::array({{{"magFilter", kLinear},
                                      {"minFilter", kLinear},
                                      {"wrapS", kRepeat},
                                      {"wrapT", kRepeat}}});  // the drawing's bilinear, wrapped addressing
    }
    if (!FLights.empty()) {
      doc["extensionsUsed"] = json::array({"KHR_lights_punctual"});
      doc["extensions"] = {{"KHR_lights_punctual", {{"lights", std::move(FLights)}}}};
    }
    std::string text;
    try {
      // Names are UTF-8 already; a damaged sequence becomes U+FFFD rather than failing the export.
      text = doc.dump(-1, ' ', false, json::error_handler_t::replace);
    } catch (const std::exception& e) {
      error = e.what();
      FOut.clear();
      return false;
    }
    text.resize(Padded4(text.size()), ' ');  // the JSON chunk is padded with spaces

    // The container: header, JSON chunk, binary chunk (already in place, moved behind the rest).
    const size_t head = kGlbHeader + kChunkHeader + text.size() + (binLength > 0 ? kChunkHeader : 0);
    const size_t total = head + binLength;
    if (total > std::numeric_limits<uint32_t>::max()) {
      error = "glTF > 4 GB";
      FOut.clear();
      return false;
    }
    FOut.insert(0, head, '\0');
    std::memcpy(FOut.data(), "glTF", 4);
    PutU32(FOut, 4, 2);
    PutU32(FOut, 8, uint32_t(total));
    PutU32(FOut, 12, uint32_t(text.size()));
    std::memcpy(FOut.data() + 16, "JSON", 4);
    std::memcpy(FOut.data() + 20, text.data(), text.size());
    if (binLength > 0) {
      const size_t at = kGlbHeader + kChunkHeader + text.size();
      PutU32(FOut, at, uint32_t(binLength));
      std::memcpy(FOut.data() + at + 4, "BIN\0", 4);
    }
    return true;
  }

 private:
  // Several accessors share each vertex view, which then names its stride.
  int AddView(size_t offset, size_t length, int target, size_t stride = 0) {
    json v = {{"buffer", 0}, {"byteOffset", offset}, {"byteLength", length}};
    if (stride) v["byteStride"] = stride;
    if (target) v["target"] = target;
    FViews.push_back(std::move(v));
    return int(FViews.size()) - 1;
  }

  // Every vertex's position and normal, and the mapping of the textured solids' vertices, each in
  // a packed block of the buffer sized once. A solid's vertices are released as soon as they are
  // packed (its count and bounds kept for its accessors), so the export never holds the scene's
  // triangles twice over beside the buffer. Room is left for the pictures and the JSON part, so
  // neither grows the file's bytes once more.
  void AddVertexViews() {
    size_t vertexCount = 0, uvCount = 0, names = 0, pictures = 0;
    for (const TSolid& s : FModel.Solids) {
      vertexCount += s.Vertices.size();
      if (s.Texture >= 0) uvCount += s.Vertices.size();
      names += 3 * s.Name.size() + (s.Relation.empty() ? 0 : 2 * (s.RelationParent.size() + s.Name.size()) + 256);
    }
    for (const TPicture& p : FModel.Pictures) pictures += Padded4(p.Bytes.size());
    for (const TLightRecord& l : FModel.Lights) names += 2 * l.Name.size() + 256;
    const size_t json = names + 600 * FModel.Solids.size() + 200 * FModel.Pictures.size() + 4096;
    const size_t normalOffset = vertexCount * 12, uvOffset = 2 * normalOffset;
    FOut.reserve(uvOffset + uvCount * 8 + pictures + json);
    AdviseLargePages(FOut.data(), FOut.capacity());
    FOut.resize(uvOffset + uvCount * 8);
    char *pos = FOut.data(), *normal = FOut.data() + normalOffset, *uv = FOut.data() + uvOffset;
    FPacked.reserve(FModel.Solids.size());
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
    if (vertexCount == 0) return;
    FPosView = AddView(0, normalOffset, kArrayBuffer, 12);
    FNormalView = AddView(normalOffset, normalOffset, kArrayBuffer, 12);
    if (uvCount > 0) FUvView = AddView(uvOffset, uvCount * 8, kArrayBuffer, 8);
  }

  // The pictures, embedded after the geometry, each used by one texture.
  void AddPictures() {
    for (const TPicture& p : FModel.Pictures) {
      FOut.resize(Padded4(FOut.size()), '\0');
      const size_t at = FOut.size();
      FOut.append(p.Bytes);
      FImages.push_back({{"mimeType", p.Mime}, {"bufferView", AddView(at, p.Bytes.size(), 0)}});
      FTextures.push_back({{"source", int(FImages.size()) - 1}, {"sampler", 0}});
    }
  }

  int AddAccessor(int view, size_t offset, size_t count, const char* type, const TPacked* bounds = nullptr) {
    json a = {
        {"bufferView", view}, {"byteOffset", offset}, {"componentType", kFloat}, {"count", count}, {"type", type}};
    if (bounds) {
      a["min"] = bounds->Min;
      a["max"] = bounds->Max;
    }
    FAccessors.push_back(std::move(a));
    return int(FAccessors.size()) - 1;
  }

  int AddMaterial(const TSolid& s) {
    const D3DCOLOR c = s.Color;
    const double alpha = ((c >> 24) & 0xFF) / 255.0;
    json pbr = {
        {"baseColorFactor",
         {Linear(((c >> 16) & 0xFF) / 255.0), Linear(((c >> 8) & 0xFF) / 255.0), Linear((c & 0xFF) / 255.0), alpha}},
        {"metallicFactor", 0.0},
        {"roughnessFactor", Roughness(s.Specular)}};
    if (s.Texture >= 0) pbr["baseColorTexture"] = {{"index", s.Texture}};
    FMaterials.push_back({{"name", s.Name},
                          {"pbrMetallicRoughness", std::move(pbr)},
                          {"alphaMode", alpha < 1 ? "BLEND" : "OPAQUE"},
                          {"extras", {{"specularPower", double(s.Specular)}}}});
    return int(FMaterials.size()) - 1;
  }

  void AddSolid(const TSolid& s, const TPacked& packed) {
    const size_t n = packed.Count;
    json attributes = json::object();
    if (n > 0) {
      attributes["POSITION"] = AddAccessor(FPosView, FPosAt * 12, n, "VEC3", &packed);
      attributes["NORMAL"] = AddAccessor(FNormalView, FPosAt * 12, n, "VEC3");
      if (s.Texture >= 0) {
        attributes["TEXCOORD_0"] = AddAccessor(FUvView, FUvAt * 8, n, "VEC2");
        FUvAt += n;
      }
      FPosAt += n;
    }
    json primitive = {{"mode", kTriangles}, {"attributes", std::move(attributes)}, {"material", AddMaterial(s)}};
    FMeshes.push_back({{"name", s.Name}, {"primitives", json::array({std::move(primitive)})}});

    json node = {{"name", s.Name}, {"mesh", int(FMeshes.size()) - 1}};
    if (!s.Relation.empty())
      node["extras"] = {{"relation", s.Relation}, {"relationParent", s.RelationParent}, {"note", RelationNote(s)}};
    FNodes.push_back(std::move(node));
    FSceneNodes.push_back(int(FNodes.size()) - 1);
  }

  void AddLight(const TLightRecord& l) {
    json light = {{"name", l.Name},
                  {"color", {l.Color[0], l.Color[1], l.Color[2]}},
                  {"intensity", 1.0},
                  {"type", l.Type == 2 ? "spot" : (l.Type == 3 ? "directional" : "point")}};
    if (l.Type == 2) light["spot"] = {{"innerConeAngle", l.InnerCone}, {"outerConeAngle", l.OuterCone}};
    FLights.push_back(std::move(light));
    json node = {{"name", l.Name}, {"extensions", {{"KHR_lights_punctual", {{"light", int(FLights.size()) - 1}}}}}};
    if (l.Type != 3) node["translation"] = {l.Position[0], l.Position[1], l.Position[2]};
    if (l.Type != 1) node["rotation"] = AimRotation(l.Direction);
    FNodes.push_back(std::move(node));
    FSceneNodes.push_back(int(FNodes.size()) - 1);
  }

  TModel& FModel;
  std::string& FOut;
  std::vector<TPacked> FPacked;
  json FViews = json::array(), FAccessors = json::array(), FMaterials = json::array(), FMeshes = json::array();
  json FNodes = json::array(), FSceneNodes = json::array(), FImages = json::array(), FTextures = json::array();
  json FLights = json::array();
  int FPosView = -1, FNormalView = -1, FUvView = -1;
  size_t FPosAt = 0, FUvAt = 0;
};

}  // namespace

bool WriteGlb(TModel& model, std::string& out, std::string& error) { return TGlbBuilder(model, out).Write(error); }

}  // namespace ixoral::modelexport
