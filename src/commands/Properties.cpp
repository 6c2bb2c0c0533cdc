// The inspector's fields, their values and applying them to an object.
#include "commands/Properties.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/NumberFormat.h"
#include "scene/Curves.h"
#include "scene/GlyphOutline.h"
#include "scene/MeshStore.h"
#include "scene/Shapes.h"
#include "scene/Text3D.h"
#include "tools/Deformations.h"

namespace ixoral {

namespace {

constexpr double kDegrees = 180.0 / std::numbers::pi;

TPropertyField Field(const char* key, const char* label, TPropertyKind kind) {
  TPropertyField f;
  f.Key = key;
  f.Label = label;
  f.Kind = kind;
  return f;
}
TPropertyField Check(const char* key, const char* label, const char* tool = "") {
  TPropertyField f = Field(key, label, TPropertyKind::Check);
  f.ToolButton = tool;
  return f;
}
TPropertyField Number(const char* key, const char* label, double min, double max, bool whole = false) {
  TPropertyField f = Field(key, label, TPropertyKind::Number);
  f.Min = min;
  f.Max = max;
  f.Whole = whole;
  return f;
}
TPropertyField Vector(const char* key, const char* label, bool validate = false) {
  TPropertyField f = Field(key, label, TPropertyKind::Vector);
  f.ValidateButton = validate;
  return f;
}
TPropertyField List(const char* key, const char* label, std::vector<std::string> items) {
  TPropertyField f = Field(key, label, TPropertyKind::List);
  f.Items = std::move(items);
  return f;
}
TPropertyField Colour(const char* key, const char* label) { return Field(key, label, TPropertyKind::Colour); }
TPropertyField Text(const char* key, const char* label) { return Field(key, label, TPropertyKind::Text); }

const std::vector<std::string> kPivotItems = {"Objet", "Père"};
const std::vector<std::string> kRelationItems = {"Aucune", "Soustraction", "Intersection"};
const std::vector<std::string> kLightTypeItems = {"Ambiante", "Spot"};
const std::vector<std::string> kTextPrecisionItems = {"Basse", "Moyenne", "Haute"};
const std::vector<std::string> kCurveItems = {"Ressort",   "Bizarre 1", "Bizarre 2",
                                              "Bizarre 3", "Bizarre 4", "Tore Ondulé"};

// The rows of a shape type's own section.
void AddShapeSection(uint8_t type, std::vector<TPropertyField>& out) {
  switch (type) {
    case stCube:
    case stPlanVertical:
    case stPlanHorizontal:
      out.push_back(Number("cote", "Cote", 0, kMaxLength));
      break;
    case stCubePerce:
      out.push_back(Number("cote", "Coté", 0, kMaxLength));
      out.push_back(Number("epsilon", "Epsilon", 0, kMaxLength));
      break;
    case stCylindre:
    case stPyramide:
    case stCone:
      out.push_back(Number("rayon", "Rayon", 0, kMaxLength));
      out.push_back(Number("hauteur", "Hauteur", 0, kMaxLength));
      out.push_back(Number("precision", "Précision", 0, 100, true));
      break;
    case stCercle:
      out.push_back(Number("rayon", "Rayon", 0, 100));
      out.push_back(Number("n", "Précision", 0, 100, true));
      break;
    case stTore:
      out.push_back(Number("rayon1", "Grand Rayon", 0, kMaxLength));
      out.push_back(Number("rayon2", "Petit Rayon", 0, kMaxLength));
      out.push_back(Number("precision1", "Précision 1", 0, 100, true));
      out.push_back(Number("precision2", "Précision 2", 0, 100, true));
      break;
    case stSphere:
      out.push_back(Number("rayon", "Rayon", 0, kMaxLength));
      out.push_back(Number("precision1", "Précision 1", 0, 100, true));
      out.push_back(Number("precision2", "Précision 2", 0, 100, true));
      break;
    case stParam:
      out.push_back(Number("r", "Rayon", 0, kMaxLength));
      out.push_back(Number("anglemax", "Angle max", 0.2, 10));
      out.push_back(Number("n", "Précision", 0, 15, true));
      out.push_back(List("which", "Type", kCurveItems));
      out.push_back(Number("t", kLblTours, 0, 10));
      break;
    case stTexte3d:
      out.push_back(Text("text", "Texte"));
      out.push_back(List("font", "Fonte", PropertyFontFamilies()));
      out.push_back(Check("rempli", "Remplir texte"));
      out.push_back(List("n", "Précision", kTextPrecisionItems));
      break;
    case stMaillage:  // shown, never edited: the mesh is what its file or its relation made
      out.push_back(Text("triangles", "Triangles"));
      out.push_back(Text("source", "Fichier source"));
      break;
    default:
      break;  // "Cercle Simple", "User", "ParamUser": no shape section
  }
}

// Which Params slot each number of a shape section reads and writes.
int ParamSlot(uint8_t type, const std::string& key) {
  static const std::map<std::string, int> common = {{"cote", 1}, {"epsilon", 2}, {"rayon", 1}, {"hauteur", 2}};
  switch (type) {
    case stCylindre:
    case stPyramide:
    case stCone:
      if (key == "precision") return 3;
      break;
    case stCercle:
      if (key == "n") return 2;
      break;
    case stTore:
      if (key == "rayon1") return 1;
      if (key == "rayon2") return 2;
      if (key == "precision1") return 3;
      if (key == "precision2") return 4;
      return 0;
    case stSphere:
      if (key == "precision1") return 2;
      if (key == "precision2") return 3;
      break;
    case stParam: {
      static const std::map<std::string, int> curve = {{"r", 1}, {"anglemax", 2}, {"n", 3}, {"t", 5}};
      const auto it = curve.find(key);
      return it == curve.end() ? 0 : it->second;
    }
    default:
      break;
  }
  const auto it = common.find(key);
  return it == common.end() ? 0 : it->second;
}

void SetVector(TPropertyValues& v, const std::string& key, const Vec3d& p) {
  v[key + "x"].Text = FormatNumber(p.x);
  v[key + "y"].Text = FormatNumber(p.y);
  v[key + "z"].Text = FormatNumber(p.z);
}

TPropertyValue ChoiceValue(int choice, const std::vector<std::string>& items) {
  TPropertyValue v;
  v.Choice = choice >= 0 && choice < static_cast<int>(items.size()) ? choice : -1;
  if (v.Choice >= 0) v.Text = items[static_cast<size_t>(v.Choice)];
  return v;
}

TPropertyValue CheckValue(bool checked) {
  TPropertyValue v;
  v.Checked = checked;
  return v;
}

// The light's Direct3D record, when it drives one.
bool ReadLightRecord(TScene& scene, const TLight& light, D3DLIGHT7& record) {
  return light.DeviceIndex >= 1 && scene.Device().GetLight(light.DeviceIndex, record);
}

// The edits of one apply, read against the object's stored values.
class TEditReader {
 public:
  explicit TEditReader(const TPropertyEdits& edits) : FEdits(edits) {}
  const TPropertyEdit* Find(const std::string& key) const {
    const auto it = FEdits.find(key);
    return it == FEdits.end() ? nullptr : &it->second;
  }
  std::optional<double> Number(const std::string& key, double min, double max, bool whole = false) const {
    const TPropertyEdit* e = Find(key);
    if (!e) return std::nullopt;
    return ReadFieldNumber(e->Text, min, max, whole);
  }
  std::optional<double> Number(const TPropertyField& f) const { return Number(f.Key, f.Min, f.Max, f.Whole); }
  // The vector with the used components replaced; nothing when no component was used.
  std::optional<Vec3d> Vector(const std::string& key, const Vec3d& stored) const {
    Vec3d v = stored;
    bool used = false;
    double* parts[] = {&v.x, &v.y, &v.z};
    const char* names[] = {"x", "y", "z"};
    for (int k = 0; k < 3; ++k)
      if (const auto n = Number(key + names[k], -kMaxLength, kMaxLength)) {
        *parts[k] = *n;
        used = true;
      }
    return used ? std::optional<Vec3d>(v) : std::nullopt;
  }
  std::optional<bool> Checked(const std::string& key) const {
    const TPropertyEdit* e = Find(key);
    return e ? std::optional<bool>(e->Checked) : std::nullopt;
  }
  std::optional<int> Choice(const std::string& key, size_t count) const {
    const TPropertyEdit* e = Find(key);
    if (!e || e->Choice < 0 || e->Choice >= static_cast<int>(count)) return std::nullopt;
    return e->Choice;
  }

 private:
  const TPropertyEdits& FEdits;
};

// The components of the shape section from the values read (or stored), with the Params they
// leave; false when the type has no shape section.
bool RegenerateShape(TSolidObject& s, const TEditReader& edits, const TPropertyLayout& layout, bool& textChanged) {
  // Each shape number: the value read when its field was used, else the stored one.
  std::map<int, double> values;
  for (const TPropertyField& f : layout.Fields) {
    const int slot = ParamSlot(s.ShapeType, f.Key);
    if (slot == 0 || f.Kind != TPropertyKind::Number) continue;
    const auto read = edits.Number(f);
    values[slot] = read ? *read : double(s.GetParam(slot));
  }
  const auto p = [&](int slot) { return values.count(slot) ? values[slot] : double(s.GetParam(slot)); };
  // Counts are whole; the builders bound what they are given (a stored count from a document may
  // lie outside the field's range and is kept as it is).
  const auto n = [&](int slot) {
    const double v = std::nearbyint(p(slot));
    return std::isfinite(v) ? static_cast<int>(std::clamp(v, -1e6, 1e6)) : 0;
  };
  TArrayOfComposante parts;
  std::vector<std::pair<int, double>> stored;
  switch (s.ShapeType) {
    case stCube:
      parts = MakeComposantes(BuildCube(p(1)));
      stored = {{1, p(1)}};
      break;
    case stCubePerce:
      for (int i = 0; i < 12; ++i) parts.push_back(BuildCubePerceSection(i, p(1), p(2)));
      stored = {{1, p(1)}, {2, p(2)}};
      break;
    case stCylindre:
      parts = MakeComposantes(BuildCylinderSide(n(3), p(2), p(1)), BuildDisc(0, n(3), p(1), p(2) / 2),
                              BuildDisc(1, n(3), p(1), -p(2) / 2));
      stored = {{1, p(1)}, {2, p(2)}, {3, n(3)}};
      break;
    case stPyramide:
    case stCone: {
      const int sides = s.ShapeType == stPyramide ? 4 : n(3);
      parts = MakeComposantes(BuildDisc(1, sides, p(1), 0), BuildConeSide(sides, p(2), p(1)));
      stored = {{1, p(1)}, {2, p(2)}, {3, sides}};
      break;
    }
    case stCercle:
      // Facing +z first, as the inspector has always rebuilt circles.
      parts = MakeComposantes(BuildDisc(0, n(2), p(1), 0), BuildDisc(1, n(2), p(1), 0));
      stored = {{1, p(1)}, {2, n(2)}};
      break;
    case stTore:
      parts = MakeComposantes(BuildTorus(n(3), n(4), p(2), p(1)));
      stored = {{1, p(1)}, {2, p(2)}, {3, n(3)}, {4, n(4)}};
      break;
    case stSphere:
      parts = MakeComposantes(BuildSphere(n(2), n(3), p(1)));
      stored = {{1, p(1)}, {2, n(2)}, {3, n(3)}};
      break;
    case stParam: {
      const int which =
          edits.Choice("which", kCurveItems.size())
              .value_or(static_cast<int>(std::nearbyint(std::isfinite(s.GetParam(4)) ? s.GetParam(4) : 0)));
      double anglemax = p(2);
      if (anglemax == 0) anglemax = s.GetParam(2);
      const int sides = n(3);
      auto curve = CreateBuiltinCurve(sides, which, kOpaqueWhite, p(5), anglemax, p(1));
      if (!curve) return false;
      parts = std::move(curve->Composantes);
      stored = {{1, p(1)}, {2, anglemax}, {3, sides}, {4, which}, {5, p(5)}};
      break;
    }
    case stTexte3d: {
      // A temporary object holds the parameters the text is built from.
      TSolidObject params;
      for (int i = 1; i <= kParamCount; ++i) params.SetParam(i, s.GetParam(i));
      std::string text = s.GetTextParam(1);
      if (const TPropertyEdit* e = edits.Find("text"); e && !e->Text.empty()) text = e->Text;
      std::string font = s.GetTextParam(2);
      if (const TPropertyEdit* e = edits.Find("font"); e && !e->Text.empty()) font = e->Text;
      const auto& families = PropertyFontFamilies();
      if (std::find(families.begin(), families.end(), font) == families.end()) font = "Arial";
      if (const auto c = edits.Choice("n", kTextPrecisionItems.size())) params.SetParam(1, float(*c + 1));
      const float precision = params.GetParam(1);
      if (!(precision >= 1 && precision <= 3)) params.SetParam(1, 1);
      if (const auto fill = edits.Checked("rempli")) params.SetParam(4, *fill ? 1.0f : 0.0f);
      params.SetParam(4, params.GetParam(4) != 0 ? 1.0f : 0.0f);
      params.SetTextParam(1, text);
      params.SetTextParam(2, font);
      auto built = RebuildText3DObject(params, 0);
      if (!built) return false;
      parts = std::move(built->Composantes);
      stored = {{1, params.GetParam(1)}, {4, params.GetParam(4)}};
      textChanged = params.GetTextParam(1) != s.GetTextParam(1);
      s.SetTextParam(1, params.GetTextParam(1));
      s.SetTextParam(2, font);
      break;
    }
    case stMaillage: {
      const auto mesh = FindMesh(s.GetTextParam(1));
      if (!mesh) return false;
      parts = *mesh;
      break;
    }
    default:
      return false;
  }
  s.Composantes = std::move(parts);
  for (const auto& [slot, value] : stored) s.SetParam(slot, static_cast<float>(value));
  return true;
}

bool AnyShapeFieldUsed(const TSolidObject& s, const TEditReader& edits, const TPropertyLayout& layout) {
  for (const TPropertyField& f : layout.Fields) {
    switch (f.Kind) {
      case TPropertyKind::Number:
        if (ParamSlot(s.ShapeType, f.Key) != 0 && edits.Number(f)) return true;
        break;
      case TPropertyKind::List:
        if ((f.Key == "which" || f.Key == "font" || (f.Key == "n" && s.ShapeType == stTexte3d)) &&
            edits.Choice(f.Key, f.Items.size()))
          return true;
        break;
      case TPropertyKind::Check:
        if (f.Key == "rempli" && edits.Checked(f.Key)) return true;
        break;
      case TPropertyKind::Text:
        if (s.ShapeType == stMaillage) break;
        if (const TPropertyEdit* e = edits.Find(f.Key); e && !e->Text.empty()) return true;
        break;
      default:
        break;
    }
  }
  return false;
}

bool ApplyToSolid(TScene& scene, int index, TSolidObject& s, const TEditReader& edits, TPropertyApplyResult& result) {
  const TPropertyLayout layout = DescribeProperties(scene, index);
  bool changed = false;
  // The relation to the parent, as the scene's SetRelation sets it (which would tell the
  // observers on its own: the whole apply is told once).
  const int parent = scene.ParentOf(index);
  if (const auto r = edits.Choice("relation", kRelationItems.size()); r && parent >= 0) {
    if (scene.CanRelate(index, parent)) {
      s.ShowRelation = true;
      s.Relation = static_cast<uint8_t>(*r);
      changed = true;
    }
  }
  if (const auto v = edits.Vector("redim", s.Redim)) {
    s.SetScale(*v);
    changed = true;
  }
  // Colour and transparency make one colour with its alpha byte.
  D3DCOLOR colour = s.Color;
  if (const TPropertyEdit* e = edits.Find("color")) colour = (colour & 0xFF000000u) | (e->Colour & 0x00FFFFFFu);
  if (const auto t = edits.Number("Blend", 0, 100))
    colour = (colour & 0x00FFFFFFu) | (D3DCOLOR(AlphaOfTransparency(*t)) << 24);
  if (colour != s.Color || edits.Find("color")) {
    s.SetColor(colour);
    changed = true;
  }
  if (const auto show = edits.Checked("showrelation")) {
    s.ShowRelation = *show;
    changed = true;
  }
  if (const auto pivot = edits.Choice("pivotstyle", kPivotItems.size())) {
    if (*pivot == 0 || scene.IsSolid(parent)) {
      s.PivotStyle = static_cast<uint8_t>(*pivot);
      changed = true;
    }
  }
  if (const auto v = edits.Number("specular", 0, 5)) {
    s.SetSpecular(SpecularPower(*v));
    changed = true;
  }
  if (const auto t = edits.Checked("texturer")) {
    s.Texturer = *t;
    changed = true;
  }
  bool force = false;
  // A deformation can be switched on only when its record exists (the dialogs make it).
  if (const auto b = edits.Checked("bruit"); b && (!*b || s.NoiseParams)) {
    force |= *b != s.Bruit;
    s.Bruit = *b;
    changed = true;
  }
  if (const auto t = edits.Checked("torsion"); t && (!*t || s.TorsionParams)) {
    force |= *t != s.Torsion;
    s.Torsion = *t;
    changed = true;
  }
  if (force || AnyShapeFieldUsed(s, edits, layout)) {
    bool textChanged = false;
    if (RegenerateShape(s, edits, layout, textChanged)) {
      // Base mesh, then the stored noise, then the stored torsion; hand-moved points are not
      // applied again.
      if (s.Bruit) ReapplyNoise(s);
      if (s.Torsion) ReapplyTorsion(s);
      s.SetColor(colour);
      scene.RebuildSelectionMarks(index);
      result.Rebuilt = true;
      result.TextChanged = textChanged;
      changed = true;
    }
  }
  return changed;
}

bool ApplyToLight(TScene& scene, TLight& l, const TEditReader& edits) {
  bool changed = false;
  if (const TPropertyEdit* e = edits.Find("color")) {
    l.SetColor(0xFF000000u | (e->Colour & 0x00FFFFFFu));
    changed = true;
  }
  if (const auto sp = edits.Checked("specular")) {
    l.SetSpecular(*sp ? 1.0f : 0.0f);
    changed = true;
  }
  bool typeChanged = false;
  if (const auto t = edits.Choice("type", kLightTypeItems.size())) {
    const uint8_t type = *t == 0 ? ltAmbiante : ltSpot;
    typeChanged = type != l.LightType;
    l.SetType(type);
    changed = true;
    if (type == ltAmbiante && typeChanged) {
      D3DLIGHT7 r;
      double d = Length(l.AimVector);
      if (ReadLightRecord(scene, l, r)) d = Length(ToDouble(r.dvDirection) - ToDouble(r.dvPosition));
      l.Symbol = BuildAimSymbol(10, 0.1, 0.1, d);
    }
  }
  if (l.LightType == ltSpot) {
    const auto lit = edits.Number("eclaire", 0, 179);
    const auto outer = edits.Number("ombre", 0, 180);
    if (lit || outer || typeChanged) {
      const double litAngle = lit ? *lit / kDegrees : l.GetParam(1);
      const double outerAngle = outer ? *outer / kDegrees : l.GetParam(2);
      D3DLIGHT7 r;
      const bool hasRecord = ReadLightRecord(scene, l, r);
      const double length = hasRecord ? Length(ToDouble(r.dvDirection)) : Length(l.AimVector);
      l.Symbol = BuildSpotSymbol(10, length, std::tan(litAngle / 2) * length);
      if (hasRecord) {
        r.dvTheta = static_cast<float>(litAngle);
        r.dvPhi = static_cast<float>(outerAngle);
        scene.Device().SetLight(l.DeviceIndex, r);
      }
      l.SetParam(1, static_cast<float>(litAngle));
      l.SetParam(2, static_cast<float>(outerAngle));
      l.SpotAngle = static_cast<float>(litAngle);  // the lit angle the cone is resized from
      changed = true;
    }
  }
  return changed;
}

}  // namespace

const TPropertyField* TPropertyLayout::Find(const std::string& key) const {
  for (const auto& f : Fields)
    if (f.Key == key) return &f;
  return nullptr;
}

const std::vector<std::string>& PropertyFontFamilies() {
  static const std::vector<std::string> families = ScreenFontFamilies();
  return families;
}

std::optional<double> ReadFieldNumber(const std::string& text, double min, double max, bool whole) {
  if (!IsNumberEntry(text)) return std::nullopt;
  const auto read = ParseNumber(text);
  if (!read) return std::nullopt;
  const float single = static_cast<float>(*read);
  if (!std::isfinite(single) || single < min || single > max) return std::nullopt;
  double value = single;
  if (whole) value = std::nearbyint(value);  // the default rounding: to nearest, halves to even
  return value;
}

double TransparencyOfAlpha(uint8_t alpha) { return (25500.0 - 100.0 * alpha) / 255.0; }

uint8_t AlphaOfTransparency(double percent) {
  const double t = std::clamp(percent, 0.0, 100.0);
  return static_cast<uint8_t>(D3DRGBA(0, 0, 0, (255.0 - t * 255.0 / 100.0) / 255.0) >> 24);
}

double SpecularShown(float power) { return power > 0 ? 5.1 - double(power) : 0.0; }

float SpecularPower(double shown) { return shown != 0 ? static_cast<float>(5.0 - shown + 0.1) : 0.0f; }

TPropertyLayout DescribeProperties(const TScene& scene, int index) {
  TPropertyLayout layout;
  const T3dObject* o = scene.ObjectAt(index);
  if (!o) return layout;
  layout.Object = index;
  layout.Title = o->Name();
  layout.Light = o->IsLight();
  auto& f = layout.Fields;
  f.push_back(Check("afficher", kLblAfficher));
  f.push_back(Vector("position", kLblPosition));
  if (const TSolidObject* s = scene.SolidAt(index)) {
    layout.ShapeType = s->ShapeType;
    f.push_back(List("pivotstyle", kLblPivotStyle, kPivotItems));
    f.push_back(Vector("vectdir", kLblVectDir, true));
    f.push_back(Vector("vecthaut", kLblVectHaut, true));
    f.push_back(Vector("redim", kLblRedim));
    f.push_back(Colour("color", kLblColor));
    f.push_back(Check("texturer", kLblTexturer, "btnTexturer"));
    f.push_back(Check("bruit", kLblBruit, "btnBruit"));
    f.push_back(Check("torsion", kLblTorsion, "btnTorsion"));
    f.push_back(List("relation", kLblRelation, kRelationItems));
    f.push_back(Check("showrelation", kLblShowRelation));
    f.push_back(Number("specular", kLblSpecular, 0, 5));
    f.push_back(Number("Blend", kLblBlend, 0, 100));
    AddShapeSection(s->ShapeType, f);
  } else {
    f.push_back(Vector("vectdir", kLblLightDirection, true));
    f.push_back(Colour("color", kLblColor));
    f.push_back(Check("specular", kLblLightSpecular));
    f.push_back(List("type", kLblLightType, kLightTypeItems));
    f.push_back(Number("eclaire", kLblEclaire, 0, 179));
    f.push_back(Number("ombre", kLblOmbre, 0, 180));
  }
  return layout;
}

TPropertyValues ReadProperties(const TScene& scene, int index) {
  TPropertyValues v;
  const T3dObject* o = scene.ObjectAt(index);
  if (!o) return v;
  v["afficher"] = CheckValue(o->Afficher);
  SetVector(v, "position", o->Position);
  SetVector(v, "vectdir", o->VectDir);
  v["color"].Colour = 0xFF000000u | (o->Color & 0x00FFFFFFu);
  if (const TSolidObject* s = scene.SolidAt(index)) {
    SetVector(v, "vecthaut", s->VectHaut);
    SetVector(v, "redim", s->Redim);
    v["pivotstyle"] = ChoiceValue(s->PivotStyle, kPivotItems);
    v["texturer"] = CheckValue(s->Texturer);
    v["texturer"].Visible = s->Texturer;
    v["bruit"] = CheckValue(s->Bruit);
    v["bruit"].Visible = s->Bruit;
    v["torsion"] = CheckValue(s->Torsion);
    v["torsion"].Visible = s->Torsion;
    v["relation"] = ChoiceValue(s->Relation, kRelationItems);
    v["showrelation"] = CheckValue(s->ShowRelation);
    v["showrelation"].Enabled = s->Relation != relAucune;
    v["specular"].Text = FormatNumber(SpecularShown(s->Specular));
    v["Blend"].Text = FormatNumber(TransparencyOfAlpha(static_cast<uint8_t>(s->Color >> 24)));
    const auto param = [&](int slot) { return FormatNumber(s->GetParam(slot)); };
    TPropertyLayout shape;
    AddShapeSection(s->ShapeType, shape.Fields);
    for (const TPropertyField& f : shape.Fields)
      if (f.Kind == TPropertyKind::Number)
        if (const int slot = ParamSlot(s->ShapeType, f.Key)) v[f.Key].Text = param(slot);
    if (s->ShapeType == stPyramide) v["precision"].Visible = false;
    if (s->ShapeType == stMaillage) {
      v["triangles"].Text = std::to_string(TriangleCount(s->Composantes));
      v["triangles"].Enabled = false;
      v["source"].Text = s->GetTextParam(2).empty() ? "(relation appliquée)" : s->GetTextParam(2);
      v["source"].Enabled = false;
    }
    if (s->ShapeType == stParam) {
      const float which = s->GetParam(4);
      const int w = std::isfinite(which) ? static_cast<int>(std::nearbyint(which)) : -1;
      v["which"] = ChoiceValue(w, kCurveItems);
      v["t"].Visible = w == 0 || w == 5;
      v["t"].Label = w == 5 ? kLblOndulations : kLblTours;
    }
    if (s->ShapeType == stTexte3d) {
      v["text"].Text = s->GetTextParam(1);
      const auto& families = PropertyFontFamilies();
      const auto it = std::find(families.begin(), families.end(), s->GetTextParam(2));
      v["font"] = ChoiceValue(it == families.end() ? -1 : static_cast<int>(it - families.begin()), families);
      v["rempli"] = CheckValue(s->GetParam(4) != 0);
      const float precision = s->GetParam(1);
      v["n"] = ChoiceValue(std::isfinite(precision) ? static_cast<int>(std::nearbyint(precision)) - 1 : -1,
                           kTextPrecisionItems);
    }
  } else if (const TLight* l = scene.LightAt(index)) {
    v["specular"] = CheckValue(l->Specular != 0);
    // Aimed lights (3) are driven as directional lights, as "Ambiante" is.
    v["type"] = ChoiceValue(l->LightType == ltSpot ? 1 : l->LightType == ltNone ? -1 : 0, kLightTypeItems);
    v["eclaire"].Text = FormatNumber(l->GetParam(1) * kDegrees);
    v["ombre"].Text = FormatNumber(l->GetParam(2) * kDegrees);
    v["eclaire"].Visible = v["ombre"].Visible = l->LightType == ltSpot;
  }
  return v;
}

TPropertyApplyResult ApplyProperties(TScene& scene, int index, const TPropertyEdits& edits) {
  TPropertyApplyResult result;
  T3dObject* o = scene.ObjectAt(index);
  if (!o || edits.empty()) return result;
  const TEditReader read(edits);
  bool changed = false;
  if (const auto a = read.Checked("afficher")) {
    o->SetVisible(*a);
    changed = true;
  }
  if (const auto p = read.Vector("position", o->Position)) {
    o->SetPosition(*p);
    changed = true;
  }
  if (TSolidObject* s = scene.SolidAt(index))
    changed |= ApplyToSolid(scene, index, *s, read, result);
  else if (TLight* l = scene.LightAt(index))
    changed |= ApplyToLight(scene, *l, read);
  if (!changed) return result;
  result.Changed = true;
  // A 3D text is named after its text (made unique, as every name in a scene).
  const std::string& text = o->GetTextParam(1);
  if (result.TextChanged && !text.empty() && text != o->Name()) {
    scene.RenameObject(index, scene.UniqueName(text));
    result.Renamed = true;
  } else {
    scene.Notify(TSceneChange::ObjectChanged, index);
  }
  scene.RedrawViews();
  return result;
}

bool ValidateVector(TScene& scene, int index, const std::string& key, const std::array<std::string, 3>& texts) {
  T3dObject* o = scene.ObjectAt(index);
  if (!o || (key != "vectdir" && key != "vecthaut")) return false;
  double v[3];
  for (int k = 0; k < 3; ++k) {
    const auto n = ReadFieldNumber(texts[static_cast<size_t>(k)], -kMaxLength, kMaxLength, false);
    if (!n) return false;
    v[k] = *n;
  }
  const Vec3d value{v[0], v[1], v[2]};
  // A zero direction, or an up vector along the direction, leaves no orientation to build.
  if (Length(value) == 0) return false;
  if (key == "vectdir") {
    o->SetDirection(value);
  } else {
    TSolidObject* s = scene.SolidAt(index);
    if (!s) return false;
    const D3DVECTOR dir = ToSingle(s->VectDir), up = ToSingle(value);
    if (Magnitude(CrossProduct(NormalizeSafe(dir), NormalizeSafe(up))) < 1e-6f) return false;
    s->SetOrientation(dir, up);
  }
  scene.Notify(TSceneChange::ObjectChanged, index);
  scene.RedrawViews();
  return true;
}

}  // namespace ixoral
