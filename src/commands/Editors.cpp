// The shape and light editors' work on their preview scenes and on the main scene.
#include "commands/Editors.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "commands/Modeller.h"
#include "platform/NumberFormat.h"
#include "scene/Curves.h"
#include "scene/EvalExpr.h"
#include "scene/Shapes.h"

namespace ixoral {

namespace {

// The preview's object `index` joins the main scene as `name` (already free there), selected.
int CopyIntoMain(TModeller& modeller, TScene& preview, int index, const std::string& name) {
  TScene& main = modeller.Scene();
  TScene::CloneObjectInto(main, index, preview);
  const int added = main.ObjectCount() - 1;
  main.RenameObject(added, name);
  main.Notify(TSceneChange::ObjectRenamed, added);
  return added;
}

constexpr double kDegree = std::numbers::pi / 180.0;

}  // namespace

// ---------------------------------------------------------------- text editor

TEditorFontMetrics MeasureEditorFont(TTTFToVectorConverter& converter) {
  const TFontMeasure m = MeasureFont(converter);
  TEditorFontMetrics r;
  r.Characters = m.Count;
  if (m.Count == 0) return r;  // no outline at all: the generator's own defaults apply
  r.MeanWidth = static_cast<int32_t>(std::llround(static_cast<double>(m.Sum) / 254.0));
  r.Height = m.Height;
  r.BaseLine = m.Lowest;
  return r;
}

TTextEditor::TTextEditor(TScene& preview) : FPreview(preview), FConverter(std::make_unique<TTTFToVectorConverter>()) {
  FConverter->SetPrecision(1);
}

bool TTextEditor::SetFont(const std::string& family, int precision, std::string* message) {
  auto converter = std::make_unique<TTTFToVectorConverter>();
  converter->Font.Name = family;
  converter->SetPrecision(precision);
  const bool readable = converter->Face() != nullptr;
  FConverter = std::move(converter);
  FMetrics = MeasureEditorFont(*FConverter);
  if (!readable && message) *message = kMsgFontUnreadable + family;
  return readable;
}

void TTextEditor::SetPrecision(int precision) { FConverter->SetPrecision(precision); }

std::string TTextEditor::Apply(const std::string& text, bool fill, D3DCOLOR colour) {
  const bool replace = FAttempted;
  FAttempted = true;
  if (text.empty()) return kMsgPasDeTexte;
  // Only the text built before goes: the preview's lights stay.
  if (replace && FBuilt && FPreview.ObjectCount() > 0 && FPreview.IsSolid(FPreview.ObjectCount() - 1))
    FPreview.DeleteObject(FPreview.ObjectCount() - 1);
  auto object = CreateText3D(text, *FConverter, FMetrics.BaseLine, fill, colour | 0xFF000000u, FMetrics.MeanWidth,
                             kEditorTextDepth, FMetrics.Height, kEditorTextScale);
  const int index = FPreview.AddObject(std::move(object), kPreviewTextName);
  FPreview.SelectObject(index);
  FPreview.RedrawViews();
  FBuilt = true;
  FBuiltText = text;
  return {};
}

int TTextEditor::Confirm(TModeller& modeller) {
  const int last = FPreview.ObjectCount() - 1;
  if (!FBuilt || !FPreview.IsSolid(last)) return -1;
  return modeller.Step(step::Insertion, [&] {
    const std::string name = modeller.Scene().UniqueName(FBuiltText);
    const int added = CopyIntoMain(modeller, FPreview, last, name);
    modeller.SelectFromBrowser(added);
    return added;
  });
}

// ---------------------------------------------------------------- parametric curve editor

std::optional<double> ReadCurveBound(const std::string& text) {
  std::string t = text;
  std::replace(t.begin(), t.end(), '.', ',');
  const std::optional<double> v = ParseNumber(t);
  if (!v || !std::isfinite(*v) || std::fabs(*v) > kMaxCurveBound) return std::nullopt;
  return v;
}

std::string TCurveEditor::Apply(const std::string& x, const std::string& y, const std::string& z,
                                const std::string& from, const std::string& to) {
  const std::optional<double> tmin = ReadCurveBound(from);
  const std::optional<double> tmax = ReadCurveBound(to);
  if (!tmin || !tmax) return kMsgBornesInvalides;
  TEvalExprMath ex, ey, ez;
  ex.SetExpression(x);
  ey.SetExpression(y);
  ez.SetExpression(z);
  if (!ex.IsValid()) return std::string(kMsgEquationX) + "\n" + ex.GetStatus();
  if (!ey.IsValid()) return std::string(kMsgEquationY) + "\n" + ey.GetStatus();
  if (!ez.IsValid()) return std::string(kMsgEquationZ) + "\n" + ez.GetStatus();
  // The curve built before goes; the preview's lights stay.
  for (int i = FPreview.ObjectCount() - 1; i >= 0; --i)
    if (FPreview.IsSolid(i)) FPreview.DeleteObject(i);
  auto curve = CreateUserCurve(10, ex.GetExpression(), ey.GetExpression(), kOpaqueWhite, *tmax, *tmin,
                               ez.GetExpression(), 0.3, 0.1);
  const int index = FPreview.AddObject(std::move(curve), kPreviewCurveName);
  FPreview.SelectObject(index);
  FPreview.RedrawViews();
  FBuilt = true;
  return {};
}

int TCurveEditor::Confirm(TModeller& modeller) {
  const int last = FPreview.ObjectCount() - 1;
  if (!FBuilt || !FPreview.IsSolid(last)) return -1;
  return modeller.Step(step::Insertion, [&] {
    TScene& main = modeller.Scene();
    const int added = CopyIntoMain(modeller, FPreview, last, main.UniqueName(kCurveObjectName));
    TSolidObject* curve = main.SolidAt(added);
    curve->SetColor(kOpaqueWhite);
    curve->SetSpecular(kCurveSpecularPower);
    main.Notify(TSceneChange::ObjectChanged, added);
    modeller.SelectFromBrowser(added);
    return added;
  });
}

// ---------------------------------------------------------------- light editor

D3DLIGHT7 DefaultLightRecord() {
  D3DLIGHT7 l{};
  l.dltType = D3DLIGHT_SPOT;
  l.dcvDiffuse = {0.5f, 0.5f, 1.0f, 0.0f};
  l.dcvSpecular = {1, 1, 1, 1};
  l.dcvAmbient = {1, 1, 1, 0};
  l.dvPosition = {-1, 0, -1};
  l.dvDirection = {0.7f, 0, 0.7f};
  l.dvRange = 1.8439089e18f;
  l.dvFalloff = 1;
  l.dvAttenuation0 = 0;
  l.dvAttenuation1 = 1;
  l.dvAttenuation2 = 0;
  l.dvTheta = 0.8726646f;
  l.dvPhi = 0.9599311f;
  return l;
}

TLightFields FieldsOfRecord(const D3DLIGHT7& r) {
  TLightFields f;
  f.Spot = r.dltType != D3DLIGHT_DIRECTIONAL;
  auto byte = [](float v) { return static_cast<D3DCOLOR>(std::clamp(std::lround(v * 255.0f), 0L, 255L)); };
  f.Colour = 0xFF000000u | byte(r.dcvSpecular.r) << 16 | byte(r.dcvSpecular.g) << 8 | byte(r.dcvSpecular.b);
  f.Centre = {r.dvPosition.x, r.dvPosition.y, r.dvPosition.z};
  f.Direction = {r.dvDirection.x, r.dvDirection.y, r.dvDirection.z};
  f.LitAngle = r.dvTheta / kDegree;
  f.OuterAngle = r.dvPhi / kDegree;
  return f;
}

TLightEditor::TLightEditor(TScene& main, TScene& preview) : FPreview(preview), FRecord(DefaultLightRecord()) {
  // The number the light takes in the main scene; the main scene's count moves only on "&OK".
  FNumber = main.LightCount + 1;
  FPreview.LightCount = FNumber;
  FPreview.Device().SetLight(FNumber, FRecord);
  FPreview.Device().LightEnable(FNumber, true);

  const Vec3d dir{FRecord.dvDirection.x, FRecord.dvDirection.y, FRecord.dvDirection.z};
  const D3DCOLOR ambient = 0xFF000000u | 0xFFFFFFu;  // the record's ambient colour, alpha 1
  FIndex = FPreview.AddObject(CreateSpotLight(ambient, &FPreview, FRecord.dvTheta, static_cast<float>(Length(dir))),
                              kLightBaseName + std::to_string(FNumber));
  TLight* l = Light();
  l->DeviceIndex = FNumber;
  l->SetType(ltSpot);
  l->SetSpecular(1);
  l->AimVector = dir;
  l->SpotAngle = FRecord.dvTheta;
  l->SetParam(1, FRecord.dvTheta);
  l->SetParam(2, FRecord.dvPhi);
  l->SetPosition({FRecord.dvPosition.x, FRecord.dvPosition.y, FRecord.dvPosition.z});
  l->SetDirection(dir);
  FPreview.ClearSelection();
  FPreview.SelectObject(FIndex);
  Apply(FieldsOfRecord(FRecord));
}

void TLightEditor::Apply(const TLightFields& f) {
  TLight* l = Light();
  if (!l) return;
  FRecord.dltType = f.Spot ? D3DLIGHT_SPOT : D3DLIGHT_DIRECTIONAL;
  ISceneDevice& device = FPreview.Device();
  device.SetLight(FNumber, FRecord);
  const D3DCOLOR colour = f.Colour | 0xFF000000u;
  const double lit = f.LitAngle * kDegree;
  if (f.Spot) {
    const double length = Length(Vec3d{FRecord.dvDirection.x, FRecord.dvDirection.y, FRecord.dvDirection.z});
    l->Symbol = BuildSpotSymbol(10, length, std::tan(f.LitAngle * std::numbers::pi / 360.0) * length);
  } else {
    l->Symbol = BuildAimSymbol(10, 0.1, 0.1, Length(f.Direction - f.Centre));
  }
  device.SetLight(FNumber, FRecord);
  l->SetColor(colour);
  l->SetDirection(f.Direction);
  l->SetPosition(f.Centre);
  l->DeviceIndex = FNumber;
  l->SpotAngle = static_cast<float>(lit);
  if (f.Spot) {
    FRecord.dvTheta = static_cast<float>(lit);
    FRecord.dvPhi = static_cast<float>(f.OuterAngle * kDegree);
    l->SetParam(1, FRecord.dvTheta);
    l->SetParam(2, FRecord.dvPhi);
    // The cone angles reach the device at once, so that what is shown is what "&OK" keeps.
    D3DLIGHT7 now;
    if (device.GetLight(FNumber, now)) {
      now.dvTheta = FRecord.dvTheta;
      now.dvPhi = FRecord.dvPhi;
      device.SetLight(FNumber, now);
    }
  }
  FPreview.Notify(TSceneChange::ObjectChanged, FIndex);
  FPreview.RedrawViews();
}

TLightFields TLightEditor::FieldsAfterDrag(const TLightFields& fields) const {
  TLightFields f = fields;
  const TLight* l = Light();
  if (!l) return f;
  f.Centre = l->Position;
  f.Direction = l->VectDir;
  const double sx = l->Redim.x;
  const double s = sx >= 0 ? sx + 1 : 1 / std::fabs(sx - 1);
  const double lit = l->SpotAngle * s;
  f.LitAngle = lit / kDegree;
  f.OuterAngle = (lit + kOuterConeMargin) / kDegree;
  return f;
}

int TLightEditor::Confirm(TModeller& modeller) {
  if (!Light()) return -1;
  return modeller.Step(step::Lumiere, [&] {
    TScene& main = modeller.Scene();
    // The main scene's count reaches the reserved number as the copy takes it.
    main.LightCount = FNumber - 1;
    TScene::CloneObjectInto(main, FIndex, FPreview);
    const int added = main.ObjectCount() - 1;
    modeller.SelectFromBrowser(added);
    return added;
  });
}

void TLightEditor::Cancel() { FPreview.Device().LightEnable(FNumber, false); }

}  // namespace ixoral
