// Scene text writer and reader, and clipboard records.
#include "document/SceneDocument.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <optional>

#include "platform/DataFiles.h"
#include "platform/Encoding.h"
#include "platform/NumberFormat.h"
#include "platform/Trace.h"
#include "scene/EvalExpr.h"
#include "scene/MeshStore.h"
#include "scene/Regenerate.h"
#include "scene/Shapes.h"
#include "storage/Archive.h"
#include "storage/OutputFile.h"
#include "tools/Deformations.h"
#include "tools/images/Image.h"

namespace ixoral {
namespace fs = std::filesystem;

namespace {

constexpr const char* kLightName = "Lumière";
constexpr float kLightRange = 1.8439089e18f;

// ---------------------------------------------------------------- writing

// Builds one record: every field followed by ";".
class TRecordWriter {
 public:
  void Text(const std::string& s) {
    // A field never holds the separator, the record terminator or a line break.
    std::string clean;
    clean.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
      const char c = s[i];
      if (c == ';' || c == '\r' || c == '\n') {
        clean += ' ';
      } else if (c == '\xC2' && i + 1 < s.size() && s[i + 1] == '\xA4') {  // "¤" in UTF-8
        clean += ' ';
        ++i;
      } else {
        clean += c;
      }
    }
    FOut += clean;
    FOut += ';';
  }
  void Real(double v) { Text(FormatNumber(static_cast<float>(v), kRegionalSeparator)); }
  void Int(long long v) { Text(std::to_string(v)); }
  void Vector(const Vec3d& v) { Real(v.x), Real(v.y), Real(v.z); }
  void Colour(D3DCOLOR c) {
    char buf[9];
    std::snprintf(buf, sizeof buf, "%08X", c);
    Text(buf);
  }
  std::string& Result() { return FOut; }

 private:
  std::string FOut;
};

void WriteSolid(TRecordWriter& w, const TSolidObject& s, int parent) {
  w.Text("SolidObject");
  w.Text(s.Name());
  w.Colour(s.Color);
  w.Int(s.ShapeType);
  w.Vector(s.Position);
  w.Vector(s.VectDir);
  w.Vector(s.Redim);
  w.Vector(s.VectHaut);
  if (s.ModifiedVertices.empty()) {
    w.Text("No Modif");
  } else {
    w.Text("Modified");
    w.Int(static_cast<long long>(s.ModifiedVertices.size()));
    for (const auto& r : s.ModifiedVertices) {
      w.Int(r.Composante);
      w.Int(r.Vertex);
      D3DVERTEX v{};
      if (r.Composante >= 0 && r.Composante < s.ComposanteCount()) {
        const auto& verts = s.Composantes[static_cast<size_t>(r.Composante)].Vertices;
        if (r.Vertex >= 0 && static_cast<size_t>(r.Vertex) < verts.size()) v = verts[static_cast<size_t>(r.Vertex)];
      }
      w.Real(v.x), w.Real(v.y), w.Real(v.z), w.Real(v.tu), w.Real(v.tv);
    }
  }
  if (s.Bruit && s.NoiseParams) {
    w.Text("Bruit");
    w.Real(s.NoiseParams->Min);
    w.Real(s.NoiseParams->Max);
    w.Int(s.NoiseParams->Seed);
    w.Text(s.NoiseParams->Addition ? "1" : "0");
  } else {
    w.Text("No Bruit");
  }
  if (s.Torsion && s.TorsionParams) {
    w.Text("Torsion");
    w.Vector(s.TorsionParams->AxisStart);
    w.Vector(s.TorsionParams->AxisEnd);
    w.Real(s.TorsionParams->Angle);
  } else {
    w.Text("No Torsion");
  }
  w.Int(parent);  // the parent by its place in the list, as documents store it
  w.Int(s.Relation);
  if (s.Texturer) {
    w.Text("Texturer");
    w.Text(s.TextureFile);
  } else {
    w.Text("No Texture");
  }
  w.Real(s.Specular);
  const auto P = [&](int i) { w.Real(s.GetParam(i)); };
  switch (s.ShapeType) {
    case stCube:
    case stPlanVertical:
    case stPlanHorizontal:
      P(1);
      break;
    case stCubePerce:
    case stCercle:
      P(1), P(2);
      break;
    case stCylindre:
    case stSphere:
    case stPyramide:
    case stCone:
      P(1), P(2), P(3);
      break;
    case stTore:
      P(1), P(2), P(3), P(4);
      break;
    case stParam:
      for (int i = 1; i <= 5; ++i) P(i);
      break;
    case stTexte3d:
      w.Text(s.GetTextParam(1));
      w.Text(s.GetTextParam(2));
      for (int i = 1; i <= 7; ++i) P(i);
      break;
    case stParamUser:
      for (int i = 1; i <= 5; ++i) P(i);
      for (int i = 1; i <= 3; ++i) w.Text(s.GetTextParam(i));
      break;
    case stMaillage:
      w.Text(s.GetTextParam(1));
      w.Text(s.GetTextParam(2));
      break;
    default:
      break;
  }
}

void WriteLight(TRecordWriter& w, TScene& scene, const TLight& l) {
  D3DLIGHT7 d;
  if (l.DeviceIndex >= 1) scene.Device().GetLight(l.DeviceIndex, d);
  w.Text("LightObject");
  w.Text(l.Name());
  w.Colour(l.Color);
  w.Int(l.LightType);
  w.Vector(l.Position);
  w.Vector(l.VectDir);
  w.Vector(l.Redim);
  const auto& sp = d.dcvSpecular;
  w.Text(sp.r != 0 || sp.g != 0 || sp.b != 0 || sp.a != 0 ? "Specular" : "NoSpecular");
  w.Real(d.dvTheta);
  w.Real(d.dvPhi);
}

// ---------------------------------------------------------------- reading fields

// Walks the fields of one record; any field that is missing or does not convert fails the record.
class TFieldReader {
 public:
  explicit TFieldReader(const std::vector<std::string>& f) : F(f) {}
  bool Ok() const { return FOk; }
  size_t Position() const { return K; }
  const std::string& Text() {
    static const std::string kNone;
    if (K >= F.size()) {
      FOk = false;
      return kNone;
    }
    return F[K++];
  }
  bool Is(const char* keyword) { return K < F.size() && F[K] == keyword; }
  // Every field read: a record carries nothing after its last field.
  bool AtEnd() const { return K == F.size(); }
  size_t Remaining() const { return F.size() - std::min(K, F.size()); }
  // Every stored real was written from a single: one that is not finite in single precision
  // (1e39 is finite only as a double) fails the record like any other bad number.
  double Real() {
    const auto v = ParseNumber(Text());
    if (!v || !std::isfinite(static_cast<float>(*v))) {
      FOk = false;
      return 0;
    }
    return *v;
  }
  float Single() { return static_cast<float>(Real()); }
  long long Int(long long lo = INT32_MIN, long long hi = INT32_MAX) {
    const std::string& s = Text();
    long long v = 0;
    const char* b = s.data();
    const auto res = std::from_chars(b + (s.size() > 1 && s[0] == '+' ? 1 : 0), b + s.size(), v);
    if (s.empty() || res.ec != std::errc() || res.ptr != b + s.size() || v < lo || v > hi) {
      FOk = false;
      return 0;
    }
    return v;
  }
  Vec3d Vector() {
    const double x = Real(), y = Real(), z = Real();
    return {x, y, z};
  }
  D3DCOLOR Colour() {
    const std::string& s = Text();
    if (s.size() != 8) {
      FOk = false;
      return 0;
    }
    D3DCOLOR c = 0;
    for (char ch : s) {
      int v = -1;
      if (ch >= '0' && ch <= '9')
        v = ch - '0';
      else if (ch >= 'A' && ch <= 'F')
        v = ch - 'A' + 10;
      else if (ch >= 'a' && ch <= 'f')
        v = ch - 'a' + 10;
      if (v < 0) {
        FOk = false;
        return 0;
      }
      c = (c << 4) | static_cast<D3DCOLOR>(v);
    }
    return c;
  }
  void Fail() { FOk = false; }

 private:
  const std::vector<std::string>& F;
  size_t K = 0;
  bool FOk = true;
};

struct THandEdit {
  TVertexRef Ref;
  Vec3d P;
  float Tu = 0, Tv = 0;
};

// Points sampled by one tube: four per step of the search, two per segment, and the ends.
constexpr uint64_t kCurveSamples = 12000;

// The cost of a curve before it is built: its samples times the length of what each evaluates.
uint64_t CurveWork(long long type, const std::array<std::string, kTextParamCount>& t) {
  if (type != stParamUser) return kCurveSamples * 16;
  uint64_t length = 0;
  for (const std::string& text : t) {
    TEvalExprMath e;
    e.SetExpression(text);
    length += e.GetCompiled().size() + 1;
  }
  return kCurveSamples * length;
}

// The vertices a primitive's generator makes from these Params (counts rounded and limited as
// the builders take them), known before anything is built; 0 for the other shapes.
uint64_t PrimitiveVertices(long long type, const std::array<float, kParamCount>& p) {
  const auto n = [&](int i) -> uint64_t {
    const float v = p[static_cast<size_t>(i - 1)];
    if (!(v > -1e9f && v < 1e9f)) return 0;
    const long r = std::lround(v);
    return r < 1 ? 0 : static_cast<uint64_t>(std::min<long>(r, kMaxPrecision));
  };
  const auto fan = [](uint64_t k) { return k ? k + 2 : 0; };
  switch (type) {
    case stCube:
      return 36;
    case stCubePerce:
      return 120;
    case stCylindre:
      return (n(3) ? 4 * (n(3) + 1) : 0) + 2 * fan(n(3));
    case stCercle:
      return 2 * fan(n(2));
    case stTore:
      return 6 * n(3) * n(4);
    case stSphere:
      return 6 * n(2) * n(3);
    case stPyramide:
      return 12;
    case stCone:
      return 2 * fan(n(3));
    case stPlanVertical:
    case stPlanHorizontal:
      return 4800;
    default:
      return 0;
  }
}

// The hand edits of a solid record ("Modified", their count, seven fields each, or "No Modif").
// False when they are more than the budget allows (the refusal is recorded).
bool ReadHandEdits(TFieldReader& r, TLoadBudget& budget, std::vector<THandEdit>& edits) {
  if (r.Is("Modified")) {
    r.Text();
    const long long n = r.Int(0, INT32_MAX);
    if (r.Ok() && budget.HandEdits + static_cast<uint64_t>(n) > budget.Limits.HandEdits)
      return budget.Refuse("plus de " + std::to_string(budget.Limits.HandEdits) + " points déplacés à la main");
    budget.HandEdits += static_cast<uint64_t>(n);
    edits.reserve(static_cast<size_t>(std::min<long long>(n, static_cast<long long>(r.Remaining() / 7))));
    for (long long k = 0; k < n && r.Ok(); ++k) {  // each entry reads 7 fields: ends with the record
      THandEdit e;
      e.Ref.Composante = static_cast<int32_t>(r.Int());
      e.Ref.Vertex = static_cast<int32_t>(r.Int());
      e.P = r.Vector();
      e.Tu = r.Single();
      e.Tv = r.Single();
      edits.push_back(e);
    }
  } else if (!r.Is("No Modif")) {
    r.Fail();
  } else {
    r.Text();
  }
  return true;
}

std::optional<TNoiseParams> ReadNoise(TFieldReader& r) {
  if (r.Is("Bruit")) {
    r.Text();
    TNoiseParams n;
    n.Min = r.Real();
    n.Max = r.Real();
    n.Seed = static_cast<int32_t>(r.Int());
    n.Addition = r.Text() == "1";
    return n;
  }
  if (r.Text() != "No Bruit") r.Fail();
  return std::nullopt;
}

std::optional<TTorsionParams> ReadTorsion(TFieldReader& r) {
  if (r.Is("Torsion")) {
    r.Text();
    TTorsionParams t;
    t.AxisStart = r.Vector();
    t.AxisEnd = r.Vector();
    t.Angle = r.Real();
    return t;
  }
  if (r.Text() != "No Torsion") r.Fail();
  return std::nullopt;
}

// The mesh first: noise, then torsion, then the hand edits, as every rebuild orders them. False
// when an edit names no vertex (the record fails) or replacing them costs more than the budget.
bool ApplyStoredEdits(TSolidObject& solid, const std::optional<TNoiseParams>& noise,
                      const std::optional<TTorsionParams>& torsion, const std::vector<THandEdit>& edits,
                      TLoadBudget& budget) {
  if (noise) {
    solid.SetNoise(noise->Seed, noise->Addition, noise->Max, noise->Min);
    ReapplyNoise(solid);
  }
  if (torsion) {
    solid.SetTorsion(torsion->AxisStart, torsion->AxisEnd, torsion->Angle);
    ReapplyTorsion(solid);
  }
  if (edits.empty()) return true;
  TCoincidentVertexIndex index(solid);
  for (size_t k = 0; k < edits.size(); ++k) {
    if (!ApplyStoredHandEdit(solid, index, static_cast<int>(k), edits[k].Ref, edits[k].P, edits[k].Tu, edits[k].Tv))
      return false;
    if (budget.HandEditWork + index.Examined() > budget.Limits.HandEditWork)
      return budget.Refuse("points déplacés à la main trop coûteux à replacer");
  }
  budget.HandEditWork += index.Examined();
  return true;
}

std::string ParseSolid(TScene& scene, TFieldReader& r, const std::string& name, D3DCOLOR colour, long long type,
                       const Vec3d& pos, const Vec3d& dir, const Vec3d& redim, TLoadBudget& budget) {
  const Vec3d up = r.Vector();
  std::vector<THandEdit> edits;
  if (!ReadHandEdits(r, budget, edits)) return {};
  const std::optional<TNoiseParams> noise = ReadNoise(r);
  const std::optional<TTorsionParams> torsion = ReadTorsion(r);
  const long long parent = r.Int();
  const long long relation = r.Int(0, 255);
  std::optional<std::string> texture;
  if (r.Is("Texturer")) {
    r.Text();
    texture = r.Text();
  } else if (r.Text() != "No Texture") {
    r.Fail();
  }
  const float specular = r.Single();
  std::array<float, kParamCount> p{};
  std::array<std::string, kTextParamCount> t;
  if (type >= 0 && type < kShapeTypeCount) {
    if (type == stTexte3d) t[0] = r.Text(), t[1] = r.Text();
    for (int i = 0; i < ShapeParamCounts[static_cast<size_t>(type)]; ++i) p[static_cast<size_t>(i)] = r.Single();
    if (type == stParamUser) t[0] = r.Text(), t[1] = r.Text(), t[2] = r.Text();
    if (type == stMaillage) t[0] = r.Text(), t[1] = r.Text();
  }
  if (!r.Ok() || !r.AtEnd()) return {};

  // A 3D text is named by its text, made unique as names are; a user curve is always white.
  std::string objectName = name;
  if (type == stTexte3d) objectName = t[0] = scene.UniqueName(t[0]);
  if (type == stParamUser) colour = kOpaqueWhite;
  if (++budget.Objects > budget.Limits.Objects)
    return budget.Refuse("plus de " + std::to_string(budget.Limits.Objects) + " objets"), "";
  if ((budget.NameBytes += objectName.size()) > budget.Limits.NameBytes)
    return budget.Refuse("noms d'objets trop longs"), "";
  if (type == stParam || type == stParamUser) {
    if ((budget.CurveWork += CurveWork(type, t)) > budget.Limits.CurveWork)
      return budget.Refuse("courbes paramétriques trop longues à calculer"), "";
  }
  uint64_t planned = PrimitiveVertices(type, p);
  if (type == stMaillage)  // each mesh solid holds a copy of its mesh: counted before it is made
    if (const auto mesh = FindMesh(t[0]))
      for (const TComposante& c : *mesh) planned += c.Vertices.size();
  if (budget.Vertices + planned > budget.Limits.Vertices)
    return budget.Refuse("plus de " + std::to_string(budget.Limits.Vertices) + " sommets"), "";
  TTextAllowance allowance;
  allowance.Vertices = budget.Limits.Vertices - std::min(budget.Vertices, budget.Limits.Vertices);
  allowance.FillTests = budget.Limits.TextFillTests - std::min(budget.TextFillTests, budget.Limits.TextFillTests);
  TSolidObject stored;
  for (int i = 0; i < kParamCount; ++i) stored.SetParam(i + 1, p[static_cast<size_t>(i)]);
  for (int i = 0; i < kTextParamCount; ++i) stored.SetTextParam(i + 1, t[static_cast<size_t>(i)]);
  // The generator writes the Params it used (rounded counts, even sides, the precision the
  // converter accepted); they, not the stored reals, describe the mesh from now on.
  std::unique_ptr<TSolidObject> solid;
  if (type >= 0 && type < kShapeTypeCount)
    solid = RegenerateSolid(static_cast<uint8_t>(type), stored, colour, &allowance);
  // A mesh this run does not keep (a damaged document, a record copied in another run) fails.
  if (!solid && type == stMaillage) return {};
  if (!solid) return "-";  // no generator for this shape: the record is skipped
  solid->ShapeType = static_cast<uint8_t>(type);
  if (type == stTexte3d) {
    budget.TextFillTests = budget.Limits.TextFillTests - allowance.FillTests;
    if (allowance.Exhausted)
      return budget.Refuse(allowance.FillTests == 0 ? "textes 3D trop longs à remplir"
                                                    : "plus de " + std::to_string(budget.Limits.Vertices) + " sommets"),
             "";
  }
  if ((budget.Vertices += solid->VertexCount()) > budget.Limits.Vertices)
    return budget.Refuse("plus de " + std::to_string(budget.Limits.Vertices) + " sommets"), "";

  if (!ApplyStoredEdits(*solid, noise, torsion, edits, budget)) return {};
  if (texture && budget.Pastable && !budget.Pastable->Allows(*texture)) {
    budget.DroppedTextures.push_back(*texture);
    texture.reset();
  }
  if (texture) {
    std::error_code ec;
    if (budget.LoadStoredTextures && fs::is_regular_file(*texture, ec)) scene.Device().LoadTexture(*solid, *texture);
    solid->Texturer = true;
    solid->TextureFile = *texture;
  }

  const int index = scene.AddObject(std::move(solid), objectName);
  scene.SelectObject(index);
  TSolidObject* s = scene.SolidAt(index);
  s->SetPosition(pos);
  s->SetScale(redim);
  s->SetSpecular(specular);
  s->SetOrientation(ToSingle(dir), ToSingle(up));
  // The parent is a place in the list, maybe of a record still to come: linked once all are read.
  budget.ParentLinks.emplace_back(index, parent);
  s->Relation = static_cast<uint8_t>(relation);
  scene.RebuildSelectionMarks(index);
  return s->Name();
}

std::string ParseLight(TScene& scene, TFieldReader& r, D3DCOLOR colour, long long type, const Vec3d& pos,
                       const Vec3d& dir, const Vec3d& redim, TLoadBudget& budget) {
  const std::string& specularWord = r.Text();
  if (specularWord != "Specular" && specularWord != "NoSpecular") r.Fail();
  const float theta = r.Single(), phi = r.Single();
  if (!r.Ok() || !r.AtEnd() || scene.LightCount >= TMemoryLightDevice::kMaxLightIndex) return {};
  if (++budget.Objects > budget.Limits.Objects)
    return budget.Refuse("plus de " + std::to_string(budget.Limits.Objects) + " objets"), "";

  const int n = ++scene.LightCount;
  D3DLIGHT7 l;
  l.dltType = type == ltSpot ? D3DLIGHT_SPOT : D3DLIGHT_DIRECTIONAL;
  l.dcvAmbient = ColorValue(colour, 0);
  l.dvPosition = ToSingle(pos);
  l.dvDirection = ToSingle(dir);
  l.dvRange = kLightRange;
  l.dvFalloff = 1;
  l.dvAttenuation0 = 0, l.dvAttenuation1 = 1, l.dvAttenuation2 = 0;
  l.dvTheta = theta;
  l.dvPhi = phi;
  scene.Device().SetLight(n, l);
  scene.Device().LightEnable(n, true);

  const double length = std::sqrt(dir.x * dir.x + dir.y * dir.y + dir.z * dir.z);
  std::unique_ptr<TLight> light = type == ltSpot ? CreateSpotLight(colour, &scene, theta, static_cast<float>(length))
                                                 : CreateAimedLight(pos, ToSingle(dir), colour, &scene);
  const int index = scene.AddObject(std::move(light), kLightName + std::to_string(n));
  TLight* o = scene.LightAt(index);
  o->DeviceIndex = n;
  o->SetSpecular(specularWord == "NoSpecular" ? 0.0f : 1.0f);
  o->SetType(type == ltSpot ? ltSpot : ltAimed);
  o->SpotAngle = theta;
  o->AimVector = o->VectDir;
  scene.Device().SetLight(n, l);
  o->SetScale(redim);
  o->SetPosition(pos);
  o->SetDirection(dir);
  o->SetColor(colour);
  // Resizing the cone above recomputes the device angles from the light's scale; the angles the
  // document holds are the ones the light had, so they are put back.
  D3DLIGHT7 now;
  if (scene.Device().GetLight(n, now)) {
    now.dvTheta = theta;
    now.dvPhi = phi;
    scene.Device().SetLight(n, now);
  }
  return o->Name();
}

std::string ReadUntil(const std::string& bytes, size_t& at, char stop, bool dropLineEnds) {
  const size_t end = std::min(bytes.find(stop, at), bytes.size());
  std::string out;
  out.reserve(end - at);
  for (; at < end; ++at) {
    const char c = bytes[at];
    if (!dropLineEnds || (c != '\r' && c != '\n')) out += c;
  }
  if (at < bytes.size()) ++at;  // the stop byte
  return out;
}

// The two bytes after a record terminator are its line end.
void SkipLineEnd(const std::string& bytes, size_t& at) {
  for (int k = 0; k < 2 && at < bytes.size() && (bytes[at] == '\r' || bytes[at] == '\n'); ++k) ++at;
}

}  // namespace

std::string DocumentTextureFolderName(const std::string& documentPath) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(documentPath, ec);
  const std::string key = (ec ? fs::path(documentPath) : absolute).lexically_normal().string();
  char hash[9];
  std::snprintf(hash, sizeof hash, "%08X", Crc32(key.data(), key.size()));
  std::string stem = fs::path(documentPath).stem().string();
  for (char& c : stem)
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) c = '_';
  return stem.substr(0, 64) + "-" + hash;
}

// ---------------------------------------------------------------- records

std::string SerializeObject(TScene& scene) { return SerializeObjectAt(scene, scene.CurrentObject()); }

std::string SerializeObjectAt(TScene& scene, int index) {
  TRecordWriter w;
  if (const TSolidObject* s = scene.SolidAt(index))
    WriteSolid(w, *s, scene.ParentOf(index));
  else if (const TLight* l = scene.LightAt(index))
    WriteLight(w, scene, *l);
  return w.Result();
}

namespace {

// Where a solid record's placement fields stand: colour 2, position 4-6, direction 7-9, size
// 10-12, up vector 13-15, then parent and relation after the hand edits, noise and torsion, and
// the specular power after the texture. Empty when the record is not a well-formed solid record.
struct TPlacementFields {
  size_t Parent = 0, Relation = 0, Specular = 0;
};

std::optional<TPlacementFields> FindPlacementFields(const std::vector<std::string>& f) {
  if (f.size() < 24 || f[0] != "SolidObject") return std::nullopt;
  size_t k = 16;
  auto skip = [&](const char* present, const char* absent, size_t extra) -> bool {
    if (k >= f.size()) return false;
    if (f[k] == absent) return ++k, true;
    if (f[k] != present) return false;
    k += 1 + extra;
    return k <= f.size();
  };
  if (k < f.size() && f[k] == "Modified") {
    if (k + 1 >= f.size()) return std::nullopt;
    long long n = 0;
    const auto res = std::from_chars(f[k + 1].data(), f[k + 1].data() + f[k + 1].size(), n);
    if (res.ec != std::errc() || n < 0 || static_cast<unsigned long long>(n) > f.size()) return std::nullopt;
    k += 2 + 7 * static_cast<size_t>(n);
  } else if (!skip("", "No Modif", 0)) {
    return std::nullopt;
  }
  if (!skip("Bruit", "No Bruit", 4) || !skip("Torsion", "No Torsion", 7)) return std::nullopt;
  TPlacementFields p;
  p.Parent = k++;
  p.Relation = k++;
  if (!skip("Texturer", "No Texture", 1)) return std::nullopt;
  p.Specular = k;
  if (p.Specular >= f.size()) return std::nullopt;
  return p;
}

}  // namespace

bool ApplyPlacementOnly(TScene& scene, int index, const std::string& current, const std::string& wanted) {
  TSolidObject* s = scene.SolidAt(index);
  if (!s) return false;
  const std::vector<std::string> a = SplitRecord(current), b = SplitRecord(wanted);
  const auto pa = FindPlacementFields(a), pb = FindPlacementFields(b);
  if (!pa || !pb || a.size() != b.size() || pa->Parent != pb->Parent || pa->Specular != pb->Specular) return false;
  auto placement = [&](size_t k) {
    return k == 2 || (k >= 4 && k <= 15) || k == pa->Parent || k == pa->Relation || k == pa->Specular;
  };
  for (size_t k = 0; k < a.size(); ++k)
    if (!placement(k) && a[k] != b[k]) return false;

  std::vector<std::string> values{b[2]};
  for (size_t k = 4; k <= 15; ++k) values.push_back(b[k]);
  values.push_back(b[pb->Parent]);
  values.push_back(b[pb->Relation]);
  values.push_back(b[pb->Specular]);
  TFieldReader r(values);
  const D3DCOLOR colour = r.Colour();
  const Vec3d pos = r.Vector(), dir = r.Vector(), redim = r.Vector(), up = r.Vector();
  const long long parent = r.Int();
  const long long relation = r.Int(0, 255);
  const float specular = r.Single();
  if (!r.Ok() || !r.AtEnd()) return false;
  // As a record is read: the colour with the mesh, then the placement in the reader's order.
  s->SetColor(colour);
  s->SetPosition(pos);
  s->SetScale(redim);
  s->SetSpecular(specular);
  s->SetOrientation(ToSingle(dir), ToSingle(up));
  scene.LinkParent(index, parent >= 0 && parent < scene.ObjectCount() ? static_cast<int>(parent) : -1);
  s->Relation = static_cast<uint8_t>(relation);
  scene.RebuildSelectionMarks(index);
  return true;
}

std::vector<std::string> SplitRecord(const std::string& record) {
  std::vector<std::string> fields;
  fields.reserve(static_cast<size_t>(std::count(record.begin(), record.end(), ';')));
  size_t start = 0;
  for (size_t semi; (semi = record.find(';', start)) != std::string::npos; start = semi + 1) {
    if (semi - start <= kMaxFieldLength) {  // no more characters than bytes
      fields.emplace_back(record, start, semi - start);
      continue;
    }
    // Cut after the 255th character, keeping that character whole.
    std::string field;
    size_t chars = 0;
    for (size_t i = start; i < semi; ++i) {
      const bool continuation = (static_cast<unsigned char>(record[i]) & 0xC0) == 0x80;
      if (!continuation) ++chars;
      if (chars > kMaxFieldLength) break;
      field += record[i];
    }
    fields.push_back(std::move(field));
  }
  return fields;
}

namespace {
bool ReadSceneTextWithin(TScene& scene, const std::string& bytes, TLoadBudget& budget);
}  // namespace

bool TLoadBudget::Refuse(const std::string& why) {
  if (Refusal.empty()) Refusal = why;
  return false;
}

bool TLoadBudget::CountTexture(uint64_t kept, uint64_t decoded) {
  if ((TexturePixels += kept) > Limits.TexturePixels)
    return Refuse("textures de plus de " + std::to_string(Limits.TexturePixels) + " pixels");
  if ((DecodedTexturePixels += decoded) > Limits.DecodedTexturePixels)
    return Refuse("images de texture de plus de " + std::to_string(Limits.DecodedTexturePixels) + " pixels");
  return true;
}

TSceneRestorePoint::TSceneRestorePoint(TScene& s)
    : Scene(s), Objects(s.ObjectCount()), LightCount(s.LightCount), Selection(s.Selection()), Views(s.Views) {}

void TSceneRestorePoint::Restore() {
  Scene.TruncateObjects(Objects);
  Scene.LightCount = LightCount;
  Scene.RestoreSelection(Selection);
  Scene.Views = Views;
}

void TLoadBudget::LinkParents(TScene& scene) {
  for (const auto& [index, parent] : ParentLinks)
    scene.LinkParent(index, parent >= 0 && parent < scene.ObjectCount() ? static_cast<int>(parent) : -1);
  ParentLinks.clear();
}

std::string ParseObject(TScene& scene, const std::vector<std::string>& fields, TLoadBudget* budget) {
  TLoadBudget own;
  if (!budget) budget = &own;
  if (budget->Refused()) return {};
  // A record read alone links its parent at once; a caller reading many links them at the end.
  struct TLinkOwn {
    TLoadBudget& Budget;
    TScene& Scene;
    bool Own;
    ~TLinkOwn() {
      if (Own) Budget.LinkParents(Scene);
    }
  } linkOwn{*budget, scene, budget == &own};
  TFieldReader r(fields);
  const std::string& kind = r.Text();
  const bool solid = kind == "SolidObject";
  if (!solid && kind != "LightObject") return {};
  const std::string name = scene.UniqueName(r.Text());
  const D3DCOLOR colour = r.Colour();
  const long long type = r.Int(0, 255);
  const Vec3d pos = r.Vector(), dir = r.Vector(), redim = r.Vector();
  if (!r.Ok()) return {};
  return solid ? ParseSolid(scene, r, name, colour, type, pos, dir, redim, *budget)
               : ParseLight(scene, r, colour, type, pos, dir, redim, *budget);
}

// ---------------------------------------------------------------- scene text

std::string WriteSceneText(TScene& scene) {
  std::string out;
  const std::string end = std::string(1, kRecordEnd) + "\r\n";
  if (scene.SaveViews) {
    out += kDocHeader11 + end;
    TRecordWriter w;
    for (const TVue& v : scene.Views) {
      w.Text(ViewTypeNames[v.ViewType <= 3 ? v.ViewType : 3]);
      w.Vector(v.Camera.Position);
      w.Vector(ToDouble(v.Camera.Direction));
      w.Vector(v.Pos);
      w.Vector(v.Rot);
      w.Vector(v.Scale);
    }
    out += Utf8ToWin1252(w.Result());
  } else {
    out += kDocHeader + end;
  }
  out += std::to_string(scene.ObjectCount()) + end;
  for (int i = 0; i < scene.ObjectCount(); ++i) out += Utf8ToWin1252(SerializeObjectAt(scene, i)) + "\r\n" + end;
  return out;
}

namespace {

// The fields a record may hold: the solid record's own, plus seven per hand edit still allowed.
uint64_t MaxRecordFields(const TLoadBudget& budget) {
  return 64 + 7 * (budget.Limits.HandEdits - std::min(budget.HandEdits, budget.Limits.HandEdits));
}

}  // namespace

bool ReadSceneText(TScene& scene, const std::string& bytes, std::string* refusal, const TLoadLimits& limits) {
  TLoadBudget budget;
  budget.Limits = limits;
  budget.LoadStoredTextures = false;
  TSceneRestorePoint restore(scene);
  const bool ok = ReadSceneTextWithin(scene, bytes, budget);
  budget.LinkParents(scene);
  if (budget.Refused()) {
    restore.Restore();
    if (refusal) *refusal = budget.Refusal;
    return false;
  }
  return ok;
}

namespace {
bool ReadSceneTextWithin(TScene& scene, const std::string& bytes, TLoadBudget& budget) {
  size_t at = 0;
  std::string header = ReadUntil(bytes, at, kRecordEnd, false);
  SkipLineEnd(bytes, at);
  if (header == kDocHeader11) {
    for (TVue& v : scene.Views) {
      std::vector<std::string> f;
      f.reserve(16);
      for (int k = 0; k < 16; ++k) f.push_back(ReadUntil(bytes, at, ';', false));
      int type = 4;
      for (int t = 0; t < 4; ++t)
        if (f[0] == ViewTypeNames[static_cast<size_t>(t)]) type = t;
      std::vector<std::string> numbers(f.begin() + 1, f.end());
      TFieldReader r(numbers);
      const Vec3d cam = r.Vector(), camDir = r.Vector(), pos = r.Vector(), rot = r.Vector(), scale = r.Vector();
      if (!r.Ok()) return false;
      v.SetViewType(type);
      v.SetViewScale(scale);
      v.SetViewTranslation(pos);
      v.SetViewRotation(rot);
      v.SetCamera({cam, ToSingle(camDir)});
    }
    header = kDocHeader;
  }
  const std::string countText = ReadUntil(bytes, at, kRecordEnd, false);
  SkipLineEnd(bytes, at);
  if (header != kDocHeader) return false;
  long long count = 0;
  const auto res = std::from_chars(countText.data(), countText.data() + countText.size(), count);
  if (res.ec != std::errc() || res.ptr != countText.data() + countText.size() || count < 0) return false;
  bool ok = true;
  // Every record ends with its terminator: the count can never run past the text.
  for (long long k = 0; k < count; ++k) {
    if (at >= bytes.size()) return false;
    const size_t end = std::min(bytes.find(kRecordEnd, at), bytes.size());
    if (!ok) {  // the remaining records are passed over unread
      at = end < bytes.size() ? end + 1 : end;
      SkipLineEnd(bytes, at);
      continue;
    }
    // A record longer than any the writer produces is refused before it is split into fields.
    const auto fields = static_cast<uint64_t>(std::count(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                                         bytes.begin() + static_cast<std::ptrdiff_t>(end), ';'));
    if (fields > MaxRecordFields(budget))
      return budget.Refuse("un objet de plus de " + std::to_string(MaxRecordFields(budget)) + " champs");
    const std::string record = Win1252ToUtf8(ReadUntil(bytes, at, kRecordEnd, true));
    SkipLineEnd(bytes, at);
    if (ParseObject(scene, SplitRecord(record), &budget).empty()) ok = false;
    if (budget.Refused()) return false;
  }
  return ok;
}
}  // namespace

TError FileAccessFailure(const std::string& path, const std::error_code& failure) {
  return TError(kMsgFileAccess + path, ReasonOf(failure));
}

TError ReplaceRefused(const std::string& path) {
  return FileAccessFailure(path, std::make_error_code(std::errc::file_exists));
}

TResult WriteScene(TScene& scene, const std::string& path, bool overwrite) {
  std::error_code ec;
  if (fs::exists(path, ec) && !overwrite) return ReplaceRefused(path);
  std::error_code failure;
  if (!WriteOutputFile(path, WriteSceneText(scene), &failure)) return FileAccessFailure(path, failure);
  return {};
}

bool ReadScene(TScene& scene, const std::string& path) {
  std::error_code ec;
  const auto size = fs::file_size(path, ec);
  if (ec || size > kMaxEntrySize) return false;
  std::ifstream in(path, std::ios::binary);
  std::string bytes(size, '\0');
  if (!in.read(bytes.data(), static_cast<std::streamsize>(size))) return false;
  return ReadSceneText(scene, bytes);
}

// ---------------------------------------------------------------- clipboard

TResult CopyToClipboard(TScene& scene, IClipboard& clipboard) {
  if (!scene.HasSelection()) return TError(kMsgNeedSelection);
  clipboard.SetText(SerializeObject(scene));
  return {};
}

namespace {

// The path with "." and ".." resolved and every link followed, as far as it exists.
fs::path Resolved(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec);
  return ec ? fs::path() : p.lexically_normal();
}

}  // namespace

void TPastableTextures::Chosen(const std::string& path) {
  const fs::path p = Resolved(path);
  if (!p.empty()) FChosen.insert(p.string());
}

bool TPastableTextures::Allows(const std::string& path) const {
  const fs::path p = Resolved(path);
  if (p.empty()) return false;
  if (FChosen.count(p.string())) return true;
  const fs::path root = Resolved(ExtractedFolder.empty() ? DefaultTextureFolder() : ExtractedFolder);
  if (root.empty()) return false;
  // Inside the folder, at any depth (each document's pictures have a folder of their own).
  const std::string r = root.string(), q = p.string();
  return q.size() > r.size() && q.compare(0, r.size(), r) == 0 && (r.back() == '/' || q[r.size()] == '/');
}

TExpected<std::string> PasteFromClipboard(TScene& scene, IClipboard& clipboard, const TPastableTextures& pastable,
                                          std::vector<std::string>* notices) {
  std::string text = clipboard.GetText();
  // No more fields than the writer puts in one record: the text is not split otherwise.
  const TLoadBudget limits;
  if (text.size() > kMaxEntrySize ||
      static_cast<uint64_t>(std::count(text.begin(), text.end(), ';')) > MaxRecordFields(limits))
    text.clear();
  if (!IsValidUtf8(text)) text = Win1252ToUtf8(text);
  TLoadBudget budget;
  budget.Pastable = &pastable;
  std::string name;
  try {
    const std::vector<std::string> fields = SplitRecord(text);
    name = ParseObject(scene, fields, &budget);
    if (name.empty() && !budget.Refused() && fields.size() > 3 && fields[0] == "SolidObject" &&
        fields[3] == std::to_string(stMaillage))
      return TError(kMsgMeshNotPasted);
  } catch (const std::bad_alloc&) {
    // A texture the memory cannot hold: the solid is built, textured, before it joins the scene,
    // so nothing was added.
    return TError(kMsgImageOutOfMemory);
  }
  budget.LinkParents(scene);
  if (name.empty() || name == "-") return TError(kMsgForeignClipboard);
  // A picture another document brought: its folder is kept while this run may save it.
  if (const TSolidObject* s = scene.ObjectCount() > 0 ? scene.SolidAt(scene.ObjectCount() - 1) : nullptr;
      s && s->Texturer)
    HoldTextureFolderOf(s->TextureFile, pastable.ExtractedFolder);
  if (notices)
    for (const std::string& path : budget.DroppedTextures)
      notices->push_back(kMsgTextureNotPasted + path + kMsgTextureNotPastedEnd);
  return name;
}

}  // namespace ixoral
