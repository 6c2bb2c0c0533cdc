// Scene objects: the virtual setters of solids and lights and the mesh access of solids.
#include "scene/Objects.h"

#include <cmath>

#include "scene/Scene.h"
#include "scene/Shapes.h"

namespace ixoral {

const std::array<const char*, kShapeTypeCount> ShapeTypeNames = {
    "Cube", "Cube Percé", "Cylindre",      "Cercle",          "Cercle Simple", "Tore",     "Sphère",    "Pyramide",
    "Cone", "Param",      "Plan Vertical", "Plan Horizontal", "User",          "Texte 3d", "ParamUser", "Maillage"};
const std::array<int, kShapeTypeCount> ShapeParamCounts = {1, 2, 3, 2, 0, 4, 3, 3, 3, 5, 1, 1, 0, 7, 5, 0};
const std::array<int, kShapeTypeCount> ShapeTextParamCounts = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 2};
const std::array<const char*, 3> RelationNames = {"Aucune", "Soustraction", "Intersection"};

D3DCOLORVALUE ColorValue(D3DCOLOR c, float alpha) {
  return {((c >> 16) & 0xFF) / 255.0f, ((c >> 8) & 0xFF) / 255.0f, (c & 0xFF) / 255.0f, alpha};
}

namespace {

// R1 x R2 x R3, each factor the identity when its angle is zero.
D3DMATRIX ComposeRotation(const Vec3d& angles, const std::array<D3DVECTOR, 3>& axes) {
  const double a[3] = {angles.x, angles.y, angles.z};
  D3DMATRIX r = Identity();
  for (int k = 0; k < 3; ++k)
    if (a[k] != 0) r = Multiply(r, RotationAboutAxis(axes[k], a[k]));
  return r;
}

D3DMATRIX Translation(const Vec3d& t) { return WithTranslation(Identity(), t); }

// Cuts to at most 255 characters, counting UTF-8 code points (a document byte each).
std::string CutText(const std::string& s) {
  size_t chars = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) continue;
    if (chars == kMaxTextParamLength) return s.substr(0, i);
    ++chars;
  }
  return s;
}

const std::string kEmpty;

}  // namespace

// ---------------------------------------------------------------- T3dObject

T3dObject::T3dObject() : ScaleMatrix(Identity()), TranslationMatrix(Identity()), RotationMatrix(Identity()) {}

void T3dObject::CopyPlacementFrom(const T3dObject& source) {
  Position = source.Position;
  VectDir = source.VectDir;
  Redim = source.Redim;
  ScaleMatrix = source.ScaleMatrix;
  TranslationMatrix = source.TranslationMatrix;
  RotationMatrix = source.RotationMatrix;
}

float T3dObject::GetParam(int i) const { return i >= 1 && i <= kParamCount ? FParams[i - 1] : 0; }
void T3dObject::SetParam(int i, float value) {
  if (i >= 1 && i <= kParamCount) FParams[i - 1] = value;
}
const std::string& T3dObject::GetTextParam(int i) const {
  return i >= 1 && i <= kTextParamCount ? FTextParams[i - 1] : kEmpty;
}
void T3dObject::SetTextParam(int i, const std::string& value) {
  if (i >= 1 && i <= kTextParamCount) FTextParams[i - 1] = CutText(value);
}

// ---------------------------------------------------------------- TSolidObject

TSolidObject::TSolidObject() {
  SetPosition({0, 0, 0});
  SetScale({1, 1, 1});
  SetDirection({0, 0, 0});
  SavedMatrices = {Identity(), Identity(), Identity()};
  VectHaut = {0, 1, 0};
  VectDir = {0, 0, 1};
}

TSolidObject::~TSolidObject() = default;

void TSolidObject::SetColor(D3DCOLOR c) {
  const D3DCOLORVALUE v = ColorValue(c, 1.0f);
  Material.ambient.r = v.r, Material.ambient.g = v.g, Material.ambient.b = v.b;
  Material.diffuse.a = ((c >> 24) & 0xFF) / 255.0f;
  Material.specular.r = v.r, Material.specular.g = v.g, Material.specular.b = v.b;
  Color = c;
}

void TSolidObject::SetSpecular(float value) {
  Material.power = value;
  const float s = value > 0 ? 1.0f : 0.0f;
  Material.specular = {s, s, s, 0};
  Specular = value;
}

void TSolidObject::SetVisible(bool value) { Afficher = value; }

void TSolidObject::SetPosition(const Vec3d& value) {
  TranslationMatrix = Translation(value);
  Position = value;
}

void TSolidObject::SetDirection(const Vec3d& value) {
  VectDir = value;
  NormalizeSafe(VectDir);
  const D3DVECTOR d = ToSingle(VectDir);
  const D3DVECTOR up = PerpendicularUp(d);
  VectHaut = ToDouble(up);
  RotationMatrix = Orientation(d, up);
}

void TSolidObject::Rotate(const Vec3d& angles, const std::array<D3DVECTOR, 3>& axes, TScene* scene) {
  const D3DMATRIX r = ComposeRotation(angles, axes);
  Vec3d pivot = Position;
  if (scene)
    pivot = scene->PivotPoint(*this);
  else if (PivotStyle == 1)
    PivotStyle = 0;  // no scene, so no parent chain to turn about
  const D3DMATRIX& savedRot = SavedMatrices[0];
  const D3DMATRIX& savedTrans = SavedMatrices[1];
  const D3DMATRIX& savedScale = SavedMatrices[2];
  if (PivotStyle == 1) {
    D3DMATRIX m = Multiply(Multiply(savedScale, savedRot), savedTrans);
    m = Multiply(Multiply(Multiply(m, Translation({-pivot.x, -pivot.y, -pivot.z})), r), Translation(pivot));
    const TDecomposition d = Decompose(m);
    RotationMatrix = d.Rotation;
    ScaleMatrix = d.Scaling;
    TranslationMatrix = d.Translation;
    Position = {TranslationMatrix._41, TranslationMatrix._42, TranslationMatrix._43};
    Redim = {ScaleMatrix._11, ScaleMatrix._22, ScaleMatrix._33};
  } else {
    RotationMatrix = Multiply(savedRot, r);
  }
  VectDir = ToDouble(ApplyToDirection({0, 0, 1}, RotationMatrix));
  VectHaut = ToDouble(ApplyToDirection({0, 1, 0}, RotationMatrix));
}

void TSolidObject::SetScale(const Vec3d& value) {
  const Vec3d s{std::max(value.x, 0.0), std::max(value.y, 0.0), std::max(value.z, 0.0)};
  ScaleMatrix = WithScale(Identity(), s);
  Redim = s;
}

void TSolidObject::SaveMatrices() { SavedMatrices = {RotationMatrix, TranslationMatrix, ScaleMatrix}; }

void TSolidObject::SetComposanteCount(int n) {
  if (n <= 0)
    Composantes.clear();
  else
    Composantes.resize(static_cast<size_t>(n));
}

TComposante TSolidObject::GetComposante(int i) const {
  if (i < 0 || i >= ComposanteCount()) return {};
  return Composantes[static_cast<size_t>(i)];
}

void TSolidObject::SetComposante(int i, const TComposante& c) {
  if (i < 0 || i >= ComposanteCount()) return;
  Composantes[static_cast<size_t>(i)] = c;
}

Vec3d TSolidObject::TransformPoint(const Vec3d& p) const {
  return ApplyMatrix(p, Multiply(Multiply(ScaleMatrix, RotationMatrix), TranslationMatrix));
}

void TSolidObject::SetOrientation(const D3DVECTOR& dir, const D3DVECTOR& up) {
  const D3DVECTOR d = NormalizeSafe(dir), u = NormalizeSafe(up);
  VectDir = ToDouble(d);
  VectHaut = ToDouble(u);
  RotationMatrix = Orientation(d, u);
}

TVertexRef TSolidObject::VertexByRunningIndex(int n) const {
  if (n < 1) return {};
  size_t remaining = static_cast<size_t>(n);
  for (size_t c = 0; c < Composantes.size(); ++c) {
    const size_t count = Composantes[c].Vertices.size();
    if (remaining <= count) return {static_cast<int32_t>(c), static_cast<int32_t>(remaining - 1)};
    remaining -= count;
  }
  return {};
}

D3DVERTEX* TSolidObject::VertexAt(const TVertexRef& r) {
  if (r.Composante < 0 || r.Composante >= ComposanteCount()) return nullptr;
  auto& verts = Composantes[static_cast<size_t>(r.Composante)].Vertices;
  if (r.Vertex < 0 || static_cast<size_t>(r.Vertex) >= verts.size()) return nullptr;
  return &verts[static_cast<size_t>(r.Vertex)];
}

namespace {
bool SamePosition(const D3DVERTEX& v, const Vec3d& p) {
  return double(v.x) == p.x && double(v.y) == p.y && double(v.z) == p.z;
}
}  // namespace

Vec3d TSolidObject::GetTexCoordAt(const Vec3d& p, int n) const {
  const D3DVERTEX* v = const_cast<TSolidObject*>(this)->VertexAt(VertexByRunningIndex(n));
  if (v && SamePosition(*v, p)) return {v->tu, v->tv, 0};
  return NotFoundVector;
}

bool TSolidObject::SetTexCoordAt(const Vec3d& p, float tu, float tv, int n) {
  D3DVERTEX* v = VertexAt(VertexByRunningIndex(n));
  if (!v || !SamePosition(*v, p)) return false;
  v->tu = tu;
  v->tv = tv;
  return true;
}

void TSolidObject::SetModifiedCount(int n) { ModifiedVertices.resize(n > 0 ? size_t(n) : 0); }

void TSolidObject::GetModified(int k, TVertexRef& ref) const {
  if (k >= 0 && k < ModifiedCount()) ref = ModifiedVertices[static_cast<size_t>(k)];
}

void TSolidObject::SetModified(int k, const TVertexRef& ref) {
  if (k >= 0 && k < ModifiedCount())
    ModifiedVertices[static_cast<size_t>(k)] = ref;
  else
    ModifiedVertices.push_back(ref);
}

void TSolidObject::AddModified(int composante, int vertex) {
  const TVertexRef r{composante, vertex};
  for (const auto& m : ModifiedVertices)
    if (m == r) return;
  ModifiedVertices.push_back(r);
}

void TSolidObject::MarkModifiedAt(const Vec3d& p) {
  for (size_t c = 0; c < Composantes.size(); ++c) {
    const auto& verts = Composantes[c].Vertices;
    for (size_t v = 0; v < verts.size(); ++v)
      if (SamePosition(verts[v], p)) {
        AddModified(static_cast<int>(c), static_cast<int>(v));
        return;
      }
  }
}

void TSolidObject::SetNoise(int32_t seed, bool addition, double max, double min) {
  Bruit = true;
  NoiseParams = std::make_unique<TNoiseParams>(TNoiseParams{min, max, seed, addition});
}

void TSolidObject::SetTorsion(const Vec3d& axisStart, const Vec3d& axisEnd, double angle) {
  Torsion = true;
  TorsionParams = std::make_unique<TTorsionParams>(TTorsionParams{axisStart, axisEnd, angle});
}

void TSolidObject::CopyDeformationRecordsFrom(const TSolidObject& source) {
  if (source.Bruit && source.NoiseParams) {
    const TNoiseParams& n = *source.NoiseParams;
    SetNoise(n.Seed, n.Addition, n.Max, n.Min);
  }
  if (source.Torsion && source.TorsionParams) {
    const TTorsionParams& t = *source.TorsionParams;
    SetTorsion(t.AxisStart, t.AxisEnd, t.Angle);
  }
}

size_t TSolidObject::VertexCount() const {
  size_t n = 0;
  for (const auto& c : Composantes) n += c.Vertices.size();
  return n;
}

// ---------------------------------------------------------------- TLight

TLight::TLight(TScene* scene) : Scene(scene), SavedRotation(Identity()) {
  Redim = {0, 0, 0};
  // With no light type yet these three do nothing, as for every new light.
  SetPosition({0, 0, 0});
  SetScale({1, 1, 1});
  SetDirection({0, 0, 0});
  Afficher = true;
  AimVector = {0, 0, -1};
  VectDir = {0, 0, -1};
}

TLight::~TLight() {
  if (ILightDevice* dev = DeviceLight()) dev->LightEnable(DeviceIndex, false);
}

ILightDevice* TLight::DeviceLight() const {
  if (DeviceIndex < 1 || !Scene) return nullptr;
  return &Scene->Device();
}

void TLight::UpdateDevicePlacement(D3DLIGHT7& light) const {
  Vec3d first;
  if (!Symbol.Vertices.empty()) first = {Symbol.Vertices[0].x, Symbol.Vertices[0].y, Symbol.Vertices[0].z};
  const Vec3d p = ApplyMatrix(first, Multiply(Multiply(ScaleMatrix, RotationMatrix), TranslationMatrix));
  light.dvPosition = ToSingle(p);
}

void TLight::SetColor(D3DCOLOR c) {
  const D3DCOLORVALUE v = ColorValue(c, 1.0f);
  SymbolMaterial.diffuse = v;
  SymbolMaterial.ambient = v;
  if (ILightDevice* dev = DeviceLight()) {
    D3DLIGHT7 l;
    dev->GetLight(DeviceIndex, l);
    l.dcvDiffuse = v;
    l.dcvAmbient = v;
    if (Specular == 1.0f) l.dcvSpecular = c == 0xFF000000u ? D3DCOLORVALUE{} : v;
    dev->SetLight(DeviceIndex, l);
  }
  Color = c;
}

void TLight::SetSpecular(float value) {
  ILightDevice* dev = DeviceLight();
  if (!dev) return;
  D3DLIGHT7 l;
  dev->GetLight(DeviceIndex, l);
  l.dcvSpecular = value != 0 ? ColorValue(Color, 1.0f) : D3DCOLORVALUE{};
  dev->SetLight(DeviceIndex, l);
  Specular = value;
}

void TLight::SetVisible(bool value) {
  ILightDevice* dev = DeviceLight();
  if (!dev) return;
  dev->LightEnable(DeviceIndex, value);
  Afficher = value;
}

void TLight::SetPosition(const Vec3d& value) {
  if (LightType != ltSpot) return;
  TranslationMatrix = Translation(value);
  Position = value;
  if (ILightDevice* dev = DeviceLight()) {
    D3DLIGHT7 l;
    dev->GetLight(DeviceIndex, l);
    UpdateDevicePlacement(l);
    dev->SetLight(DeviceIndex, l);
  }
}

void TLight::SetDirection(const Vec3d& value) {
  if (LightType != ltSpot && LightType != ltAimed) return;
  VectDir = value;
  NormalizeSafe(VectDir);
  const D3DVECTOR d = ToSingle(VectDir);
  RotationMatrix = LightOrientation(d, PerpendicularUp(d));
  if (ILightDevice* dev = DeviceLight()) {
    D3DLIGHT7 l;
    dev->GetLight(DeviceIndex, l);
    l.dvDirection = d;
    UpdateDevicePlacement(l);
    dev->SetLight(DeviceIndex, l);
  }
}

void TLight::Rotate(const Vec3d& angles, const std::array<D3DVECTOR, 3>& axes, TScene*) {
  RotationMatrix = Multiply(SavedRotation, ComposeRotation(angles, axes));
  VectDir = ToDouble(ApplyToDirection({0, 0, -1}, RotationMatrix));
  if (ILightDevice* dev = DeviceLight()) {
    D3DLIGHT7 l;
    dev->GetLight(DeviceIndex, l);
    l.dvDirection = ToSingle(VectDir);
    UpdateDevicePlacement(l);
    dev->SetLight(DeviceIndex, l);
  }
}

void TLight::SetScale(const Vec3d& value) {
  if (LightType != ltSpot) return;
  Vec3d s = value;
  if (s.x * s.y * s.z == 1) s = {0, 0, 0};
  double f = s.x >= 0 ? s.x + 1 : 1 / std::fabs(s.x - 1);
  if (s.x == 1) f = 1;
  const double angle = SpotAngle * f;
  const double len = std::sqrt(AimVector.x * AimVector.x + AimVector.y * AimVector.y + AimVector.z * AimVector.z);
  Symbol = BuildSpotSymbol(10, len, std::tan(angle / 2) * len);
  if (ILightDevice* dev = DeviceLight()) {
    D3DLIGHT7 l;
    dev->GetLight(DeviceIndex, l);
    l.dvTheta = static_cast<float>(angle);
    l.dvPhi = static_cast<float>(angle + 0.08);
    dev->SetLight(DeviceIndex, l);
    // Recolour from the light's own ambient colour, made opaque, after the new angles are stored.
    SetColor(D3DRGB(l.dcvAmbient.r, l.dcvAmbient.g, l.dcvAmbient.b));
  }
  Redim.x = s.x;
}

void TLight::SaveMatrices() { SavedRotation = RotationMatrix; }

void TLight::SetType(uint8_t t) {
  if (ILightDevice* dev = DeviceLight()) {
    D3DLIGHT7 l;
    dev->GetLight(DeviceIndex, l);
    if (t == 1) l.dltType = D3DLIGHT_DIRECTIONAL;
    if (t == 2) l.dltType = D3DLIGHT_SPOT;
    dev->SetLight(DeviceIndex, l);
  }
  LightType = t;
}

}  // namespace ixoral
