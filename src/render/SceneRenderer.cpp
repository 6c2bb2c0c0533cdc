// Scene drawing on the software device: one view per call, in the modeller's order.
#include "render/SceneRenderer.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <list>
#include <stdexcept>

#include "platform/Trace.h"
#include "render/device/RenderThreads.h"
#include "scene/ViewOps.h"

namespace ixoral {

namespace {

D3DLVERTEX LineVertex(double x, double y, double z, D3DCOLOR c) {
  D3DLVERTEX v;
  v.x = static_cast<float>(x), v.y = static_cast<float>(y), v.z = static_cast<float>(z);
  v.color = c;
  return v;
}

// The fixed projection of every view: the centre of projection one unit in front of the camera,
// the near plane two units in front, depth tending to 1 at infinity.
D3DMATRIX ViewProjection() {
  D3DMATRIX p;
  p._11 = 2, p._22 = 2, p._33 = 1, p._34 = 1, p._43 = -2, p._44 = -1;
  return p;
}

template <class T>
void Append(std::vector<uint8_t>& key, const T& value) {
  const auto* b = reinterpret_cast<const uint8_t*>(&value);
  key.insert(key.end(), b, b + sizeof value);
}

// A 64-bit hash of the bytes of what an object shows, eight at a time.
struct TLooksHash {
  uint64_t H = 14695981039346656037ull;
  void Word(uint64_t w) {
    H = (H ^ w) * 0x9E3779B97F4A7C15ull;
    H ^= H >> 29;
  }
  void Add(const void* data, size_t n) {
    const auto* b = static_cast<const uint8_t*>(data);
    for (; n >= 8; n -= 8, b += 8) {
      uint64_t w;
      std::memcpy(&w, b, 8);
      Word(w);
    }
    uint64_t tail = n;
    for (size_t i = 0; i < n; ++i) tail = (tail << 8) | b[i];
    Word(tail);
  }
  template <class T>
  void Value(const T& v) {
    Add(&v, sizeof v);
  }
};

// What an object looks like in a view apart from where it is: its drawing states, its mesh's
// storage, its relation, and its selection marks when they are drawn.
uint64_t Looks(const T3dObject& o, bool selected) {
  TLooksHash h;
  h.Value(o.Afficher), h.Value(o.Color), h.Value(o.BoxCenter);
  auto mesh = [&h](const TComposante& c) {
    h.Value(c.PrimitiveType), h.Value(c.Vertices.data()), h.Value(c.Vertices.size());
  };
  if (o.IsLight()) {
    const auto& l = static_cast<const TLight&>(o);
    h.Value(l.SymbolMaterial);
    mesh(l.Symbol);
  } else {
    const auto& s = static_cast<const TSolidObject&>(o);
    h.Value(s.Material), h.Value(s.Relation), h.Value(s.ShowRelation), h.Value(s.ParentId());
    h.Value(s.Texturer), h.Value(s.TextureSurface.get());
    for (const TComposante& c : s.Composantes) mesh(c);
  }
  if (selected) h.Add(o.SelectionMarks.data(), sizeof o.SelectionMarks);
  return h.H;
}

bool SameMatrix(const D3DMATRIX& a, const D3DMATRIX& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The box of some line vertices, joined to `box`; unusable when one is not a finite number.
template <class It>
void JoinLines(TMeshBox& box, It first, It last) {
  for (It v = first; v != last; ++v) {
    const float p[3] = {v->x, v->y, v->z};
    for (int k = 0; k < 3; ++k) {
      if (!std::isfinite(p[k])) box.Usable = false;
      box.Lo[k] = std::min(box.Lo[k], p[k]);
      box.Hi[k] = std::max(box.Hi[k], p[k]);
    }
  }
}

}  // namespace

D3DMATRIX WorldMatrix(const T3dObject& o) {
  return Multiply(Multiply(o.ScaleMatrix, o.RotationMatrix), o.TranslationMatrix);
}

TSceneRenderer::TSceneRenderer(TScene& scene, TDisplayDevice& display, TSettingsStore* settings)
    : FScene(scene), FDisplay(display), FSettings(settings) {
  GridLines.reserve(kGridVertexCount);
  const D3DCOLOR grey = D3DRGB(0.5, 0.5, 0.5);
  for (int i = -50; i <= 50; ++i) {
    const double s = i / 5.0;
    GridLines.push_back(LineVertex(-10, 0, s, grey));
    GridLines.push_back(LineVertex(10, 0, s, grey));
    GridLines.push_back(LineVertex(s, 0, -10, grey));
    GridLines.push_back(LineVertex(s, 0, 10, grey));
    FWallGrids[0].push_back(LineVertex(0, -10, s, grey));
    FWallGrids[0].push_back(LineVertex(0, 10, s, grey));
    FWallGrids[0].push_back(LineVertex(0, s, -10, grey));
    FWallGrids[0].push_back(LineVertex(0, s, 10, grey));
    FWallGrids[1].push_back(LineVertex(-10, s, 0, grey));
    FWallGrids[1].push_back(LineVertex(10, s, 0, grey));
    FWallGrids[1].push_back(LineVertex(s, -10, 0, grey));
    FWallGrids[1].push_back(LineVertex(s, 10, 0, grey));
  }
  AxisLines = {LineVertex(0, 0, 0, D3DRGB(1, 0, 0)), LineVertex(0.5, 0, 0, D3DRGB(1, 0, 0)),
               LineVertex(0, 0, 0, D3DRGB(0, 1, 0)), LineVertex(0, 0.5, 0, D3DRGB(0, 1, 0)),
               LineVertex(0, 0, 0, D3DRGB(0, 0, 1)), LineVertex(0, 0, 0.5, D3DRGB(0, 0, 1))};
  FSubscription = scene.Observe([this](const TSceneEvent& e) {
    ObjectsChanged(e);
    if (e.Change == TSceneChange::RedrawRequested && AutoRedraw) RedrawViews(ActiveView, HoverView);
  });
}

bool TSceneRenderer::InitDevice() {
  ForgetPictures();
  if (!FDisplay.InitDisplay() || !FDisplay.Device()) return false;
  ConfigureDevice();
  SetLayout(FScene.FourViews);
  return true;
}

bool TSceneRenderer::Resize(int width, int height) {
  ForgetPictures();
  if (!FDisplay.Resize(width, height)) return false;
  if (FDisplay.Device()) ConfigureDevice();
  // Each view gets its viewport on the new surface, the surface is shown whole on the window,
  // and the cameras stay as they are.
  SetViewports(FScene, FScene.FourViews, width, height);
  DisplayRect = {0, 0, width, height};
  FScene.Notify(TSceneChange::ViewsChanged);
  return true;
}

void TSceneRenderer::ConfigureDevice() {
  IRenderDevice& d = Device();
  // Direct3D light 0 shows lines in their vertex colours while they are drawn.
  D3DLIGHT7 line;
  line.dltType = D3DLIGHT_DIRECTIONAL;
  line.dcvDiffuse = {0, 0, 0, 0};
  line.dcvSpecular = {1, 1, 1, 0};
  line.dcvAmbient = {1, 1, 1, 0};
  line.dvDirection = {0, 1, -1};
  d.SetLight(0, line);
  d.LightEnable(0, false);
  D3DMATRIX identity = Identity();
  d.SetTransform(D3DTRANSFORMSTATE_VIEW, identity);
  d.SetTransform(D3DTRANSFORMSTATE_PROJECTION, ViewProjection());
  d.SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  d.SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  d.SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
  d.SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
  d.SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_WRAP);
  d.SetTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_WRAP);
  d.SetTextureStageState(0, D3DTSS_MINFILTER, D3DTFN_LINEAR);
  d.SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTFG_LINEAR);
  d.SetRenderState(D3DRENDERSTATE_ANTIALIAS, D3DANTIALIAS_SORTINDEPENDENT);
  d.SetRenderState(D3DRENDERSTATE_DITHERENABLE, 1);
  d.SetRenderState(D3DRENDERSTATE_FILLMODE, FFillMode);
  d.SetRenderState(D3DRENDERSTATE_LIGHTING, 1);
  d.SetRenderState(D3DRENDERSTATE_SHADEMODE, FShadeMode);
  d.SetRenderState(D3DRENDERSTATE_COLORVERTEX, 1);
  d.SetRenderState(D3DRENDERSTATE_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);
  d.SetRenderState(D3DRENDERSTATE_SPECULARENABLE, 1);
  d.SetRenderState(D3DRENDERSTATE_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL);
  d.SetRenderState(D3DRENDERSTATE_ZENABLE, 1);
  d.SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
  d.SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
  d.SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
}

void TSceneRenderer::SetLayout(bool four) {
  ixoral::SetLayout(FScene, four, FDisplay.SurfaceWidth, FDisplay.SurfaceHeight, FSettings);
}

std::array<D3DLVERTEX, 24> MarkerCube(const Vec3d& p, D3DCOLOR colour) {
  std::array<D3DLVERTEX, 24> lines{};
  const double lo[3] = {p.x - 0.05, p.y - 0.05, p.z - 0.05};
  const double hi[3] = {p.x + 0.05, p.y + 0.05, p.z + 0.05};
  size_t n = 0;
  // The twelve edges: four along each axis.
  for (int axis = 0; axis < 3; ++axis)
    for (int k = 0; k < 4; ++k) {
      double a[3], b[3];
      const int o1 = (axis + 1) % 3, o2 = (axis + 2) % 3;
      a[axis] = lo[axis], b[axis] = hi[axis];
      a[o1] = b[o1] = (k & 1) ? hi[o1] : lo[o1];
      a[o2] = b[o2] = (k & 2) ? hi[o2] : lo[o2];
      lines[n++] = LineVertex(a[0], a[1], a[2], colour);
      lines[n++] = LineVertex(b[0], b[1], b[2], colour);
    }
  return lines;
}

void TSceneRenderer::SetMarker(const Vec3d& p) {
  const auto cube = MarkerCube(p, D3DRGBA(0, 0, 1, 1));
  MarkerLines.assign(cube.begin(), cube.end());
  GuidePoints[1] = p;
}

void TSceneRenderer::SetObjectPointMarker(int index, const Vec3d& p) {
  if (T3dObject* o = FScene.ObjectAt(index)) {
    // The last 24 of the object's mark vertices become a red cube around the point.
    for (size_t k = 24; k < o->SelectionMarks.size(); ++k)
      o->SelectionMarks[k].x = o->SelectionMarks[k].y = o->SelectionMarks[k].z = 0;
    const auto cube = MarkerCube(p, D3DRGBA(1, 0, 0, 1));
    std::copy(cube.begin(), cube.end(), o->SelectionMarks.begin() + 24);
  }
  GuidePoints[0] = p;
}

void TSceneRenderer::SetFillMode(DWORD mode) {
  FFillMode = mode;
  if (FDisplay.Device()) Device().SetRenderState(D3DRENDERSTATE_FILLMODE, mode);
}

void TSceneRenderer::SetShadeMode(DWORD mode) {
  FShadeMode = mode;
  if (FDisplay.Device()) Device().SetRenderState(D3DRENDERSTATE_SHADEMODE, mode);
}

void TSceneRenderer::LinesMode(bool on) {
  IRenderDevice& d = Device();
  d.LightEnable(0, on);
  // The fill light lights solids only, and only in "Moderne".
  if (FFillOn || (!on && Modern())) {
    FFillOn = !on && Modern();
    d.LightEnable(kFillLightIndex, FFillOn);
  }
  d.SetRenderState(D3DRENDERSTATE_SPECULARENABLE, on ? 0 : 1);
  d.SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, on ? 0 : 1);
  for (int i = 1; i <= FScene.LightCount; ++i)
    d.LightEnable(DWORD(i), on ? false : (size_t(i) < FSavedLights.size() && FSavedLights[size_t(i)]));
}

void TSceneRenderer::ForgetPictures() {
  for (TPictureMemory& m : FPictures) m.Valid = false;
}

void TSceneRenderer::ObjectsChanged(const TSceneEvent& e) {
  // Selection and views are part of what a picture is kept with; a renamed object looks the same.
  const bool kept = e.Change == TSceneChange::RedrawRequested || e.Change == TSceneChange::SelectionChanged ||
                    e.Change == TSceneChange::ViewsChanged || e.Change == TSceneChange::ObjectRenamed ||
                    (e.Change == TSceneChange::ObjectChanged && FPlacementOnly);
  if (!kept) ForgetPictures();
  switch (e.Change) {
    case TSceneChange::ObjectChanged:
      if (FPlacementOnly)
        break;
      else if (e.Index < 0)
        FBoxes.ForgetAll();
      else
        FBoxes.Forget(FScene.ObjectAt(e.Index));
      break;
    case TSceneChange::ObjectAdded:
      FBoxes.Forget(FScene.ObjectAt(e.Index));
      break;
    case TSceneChange::SceneCleared:
    case TSceneChange::SceneLoaded:
      FBoxes.ForgetAll();
      break;
    default:
      break;
  }
}

bool TSceneRenderer::Hidden(const TSolidObject& s) {
  const TMeshBox& box = FBoxes.Of(s);
  const D3DMATRIX world = WorldMatrix(s);
  if (BoxOutsideClipVolume(box, world, FClip)) return true;
  int from = 0, to = 0;
  return FRowsOnly && box.Usable && RowsOf(box, world, FViewport, from, to) && (to <= FRowsFrom || from >= FRowsTo);
}

bool TSceneRenderer::RowsOf(const TMeshBox& box, const D3DMATRIX& world, const D3DVIEWPORT7& vp, int& from,
                            int& to) const {
  if (!box.Usable) return false;
  double m[4][4] = {};
  for (int i = 0; i < 4; ++i)
    for (int k = 0; k < 4; ++k)
      for (int j = 0; j < 4; ++j) m[i][j] += double(world.m[i][k]) * FClip.M[k][j];
  double lo = INFINITY, hi = -INFINITY;
  for (int corner = 0; corner < 8; ++corner) {
    const double p[3] = {(corner & 1) ? box.Hi[0] : box.Lo[0], (corner & 2) ? box.Hi[1] : box.Lo[1],
                         (corner & 4) ? box.Hi[2] : box.Lo[2]};
    double c[4];
    for (int j = 0; j < 4; ++j) c[j] = p[0] * m[0][j] + p[1] * m[1][j] + p[2] * m[2][j] + m[3][j];
    // Wholly in front of the near plane, nothing is clipped there and each point of the box
    // projects between its corners; otherwise the rows cannot be told from them.
    if (!(c[2] > 0) || !(c[3] > 0)) return false;
    const double y = double(vp.dwY) + (1 - c[1] / c[3]) * 0.5 * double(vp.dwHeight);
    lo = std::min(lo, y), hi = std::max(hi, y);
  }
  if (!std::isfinite(lo) || !std::isfinite(hi)) return false;
  // Two rows of margin for the device's rounding and the width of lines.
  const double top = double(vp.dwY), bottom = double(vp.dwY) + vp.dwHeight;
  from = int(std::clamp(std::floor(lo) - 2, top, bottom));
  to = int(std::clamp(std::ceil(hi) + 3, top, bottom));
  return true;
}

std::vector<uint8_t> TSceneRenderer::ViewKey(const TVue& view) {
  std::vector<uint8_t> k;
  k.reserve(2048);
  IRenderDevice& d = Device();
  const TScene& sc = FScene;
  Append(k, &d), Append(k, FDisplay.OffscreenSurface()), Append(k, FDisplay.SurfaceWidth);
  Append(k, FDisplay.SurfaceHeight);
  Append(k, view.ModelViewMatrix()), Append(k, view.Viewport);
  Append(k, ShowGrid), Append(k, ShowAxes), Append(k, ShowSelectionMarks), Append(k, ShowAllLights);
  Append(k, ShowGuideLine), Append(k, ShowMarker), Append(k, IsolateObject), Append(k, IsolatedIndex);
  Append(k, GuidePoints), Append(k, MarkerLines.size());
  for (const D3DLVERTEX& v : MarkerLines) Append(k, v);
  Append(k, FDisplay.BackgroundColor), Append(k, FDisplay.RelationDisplay);
  Append(k, int(Look.Style)), Append(k, Look.EdgeSamples);
  Append(k, sc.ObjectCount()), Append(k, sc.LightCount), Append(k, sc.CurrentObject());
  Append(k, sc.SelectionCount());
  for (int i = 0; i < sc.SelectionCount(); ++i) Append(k, sc.SelectedAt(i));
  // The device's states as this view starts from them.
  for (DWORD s = 0; s < kRenderStateCount; ++s) {
    DWORD v = 0;
    d.GetRenderState(D3DRENDERSTATETYPE(s), v);
    Append(k, v);
  }
  for (DWORD s = 0; s < kTextureStageStateCount; ++s) {
    DWORD v = 0;
    d.GetTextureStageState(0, D3DTEXTURESTAGESTATETYPE(s), v);
    Append(k, v);
  }
  D3DMATRIX projection;
  d.GetTransform(D3DTRANSFORMSTATE_PROJECTION, projection);
  Append(k, projection);
  D3DMATERIAL7 material;
  d.GetMaterial(material);
  Append(k, material);
  for (int i = 0; i <= sc.LightCount; ++i) {
    D3DLIGHT7 l;
    bool on = false;
    Append(k, d.GetLight(DWORD(i), l) == D3D_OK ? l : D3DLIGHT7{});
    d.GetLightEnable(DWORD(i), on);
    Append(k, on);
  }
  return k;
}

void TSceneRenderer::PrepareRows(int index, const TVue& view) {
  const D3DVIEWPORT7& vp = view.Viewport;
  FViewport = vp;
  FRowsFrom = int(vp.dwY), FRowsTo = int(vp.dwY + vp.dwHeight);
  FRowsOnly = false;
  // A view the device could not take (outside the surface) draws where the last one was: its
  // picture is not kept.
  D3DVIEWPORT7 actual;
  FKeepable = SkipHidden && Device().GetViewport(actual) == D3D_OK && std::memcmp(&actual, &vp, sizeof vp) == 0;
  TPictureMemory& m = FPictures[size_t(index)];
  const TScene& sc = FScene;
  const int n = sc.ObjectCount();
  FNowObjects.resize(size_t(n));
  for (int i = 0; i < n; ++i) {
    const T3dObject& o = *sc.ObjectAt(i);
    TObjectState& st = FNowObjects[size_t(i)];
    st.Object = &o, st.Id = o.Id(), st.Looks = Looks(o, sc.IsSelected(i));
    st.Scale = o.ScaleMatrix, st.Rotation = o.RotationMatrix, st.Translation = o.TranslationMatrix;
  }
  std::vector<uint8_t> key = SkipHidden ? ViewKey(view) : std::vector<uint8_t>{};
  // The tool dialogs' previews change their one object's mesh in place and are drawn whole.
  bool rows = FKeepable && m.Valid && !ShowGuideLine && !IsolateObject && m.Key == key && m.Objects.size() == size_t(n);
  int from = INT_MAX, to = INT_MIN;
  const int main = sc.CurrentObject();
  for (int i = 0; rows && i < n; ++i) {
    const TObjectState& was = m.Objects[size_t(i)];
    const TObjectState& now = FNowObjects[size_t(i)];
    if (was.Object != now.Object || was.Id != now.Id || was.Looks != now.Looks) {
      rows = false;
      break;
    }
    if (SameMatrix(was.Scale, now.Scale) && SameMatrix(was.Rotation, now.Rotation) &&
        SameMatrix(was.Translation, now.Translation))
      continue;
    // A moved light lights everything; a transparent solid's place in the drawing order, and a
    // relation's stencil drawing (a parent is drawn by its child's relation even when hidden),
    // depend on more than its own rows. A hidden solid shows nowhere else, unless as the
    // selection's marks or the main object's marker.
    const TSolidObject* s = sc.SolidAt(i);
    for (int j = 0; s && j < n && rows; ++j) {
      const TSolidObject* c = sc.SolidAt(j);
      if (FDisplay.RelationDisplay && c && c->Relation != relAucune && c->ParentId() == s->Id()) rows = false;
    }
    if (!rows) break;
    if (!s || !s->Afficher || (s->Color >> 24) < 255 || (FDisplay.RelationDisplay && s->Relation != relAucune)) {
      rows = s && !s->Afficher && !sc.IsSelected(i) && i != main;
      continue;
    }
    // The mesh, and what is drawn in its frame: selection marks, the axes and the marker cube.
    TMeshBox box = FBoxes.Of(*s);
    if (sc.IsSelected(i)) JoinLines(box, s->SelectionMarks.begin(), s->SelectionMarks.end());
    if (i == main) {
      JoinLines(box, AxisLines.begin(), AxisLines.end());
      JoinLines(box, MarkerLines.begin(), MarkerLines.end());
    }
    const TObjectState* placements[2] = {&was, &now};
    for (const TObjectState* p : placements) {
      if (!rows) break;
      const D3DMATRIX world = Multiply(Multiply(p->Scale, p->Rotation), p->Translation);
      if (BoxOutsideClipVolume(box, world, FClip)) continue;
      int a = 0, b = 0;
      if (!RowsOf(box, world, vp, a, b)) rows = false;
      from = std::min(from, a), to = std::max(to, b);
    }
  }
  m.Key = std::move(key);
  m.Objects.swap(FNowObjects);
  m.Valid = false;
  if (!rows) return;
  if (from > to) from = to = FRowsFrom;  // nothing moved where this view sees it
  if (!Device().SetRowWindow(from, to)) return;
  FRowsOnly = true;
  FRowsFrom = from, FRowsTo = to;
  // The picture as this view left it, outside the rows drawn again: frames or other drawings
  // over it since are undone.
  const int top = int(vp.dwY), bottom = int(vp.dwY + vp.dwHeight);
  CopyKeptRows(m, vp, top, std::clamp(from, top, bottom), false);
  CopyKeptRows(m, vp, std::clamp(to, top, bottom), bottom, false);
}

void TSceneRenderer::CopyKeptRows(TPictureMemory& m, const D3DVIEWPORT7& vp, int from, int to, bool keep) {
  TSurface& t = Device().RenderTarget();
  const size_t w = vp.dwWidth, pitch = size_t(t.Width());
  const bool depth = t.HasDepth() && m.Depth.size() == m.Colour.size();
  const bool stencil = t.HasStencil() && m.Stencil.size() == m.Colour.size();
  ForEachRowSlice(FDisplay.RenderThreads().get(), from, to, [&](int a, int b) {
    for (int row = a; row < b; ++row) {
      const size_t at = size_t(row) * pitch + vp.dwX, kept = (size_t(row) - vp.dwY) * w;
      if (keep) {
        std::copy_n(t.Pixels() + at, w, m.Colour.data() + kept);
        if (depth) std::copy_n(t.Depth() + at, w, m.Depth.data() + kept);
        if (stencil) std::copy_n(t.Stencil() + at, w, m.Stencil.data() + kept);
      } else {
        std::copy_n(m.Colour.data() + kept, w, t.Pixels() + at);
        if (depth) std::copy_n(m.Depth.data() + kept, w, t.Depth() + at);
        if (stencil) std::copy_n(m.Stencil.data() + kept, w, t.Stencil() + at);
      }
    }
  });
}

void TSceneRenderer::KeepPicture(int index, const TVue& view) {
  TPictureMemory& m = FPictures[size_t(index)];
  if (FRowsOnly) Device().SetRowWindow(0, INT_MAX);
  const bool rowsOnly = FRowsOnly;
  FRowsOnly = false;
  if (!FKeepable) return;
  const D3DVIEWPORT7& vp = view.Viewport;
  TSurface& t = Device().RenderTarget();
  const size_t w = vp.dwWidth, n = w * vp.dwHeight;
  if (!rowsOnly) {
    m.Colour.resize(n);
    m.Depth.resize(t.HasDepth() ? n : 0);
    m.Stencil.resize(t.HasStencil() ? n : 0);
  }
  CopyKeptRows(m, vp, FRowsFrom, FRowsTo, true);
  m.Valid = true;
}

void TSceneRenderer::SetSkippedStates() {
  if (!FSkipped) return;
  IRenderDevice& d = Device();
  d.SetMaterial(MaterialOf(*FSkipped));
  d.SetTransform(D3DTRANSFORMSTATE_WORLD, WorldMatrix(*FSkipped));
  d.SetTexture(0, nullptr);
  FSkipped = nullptr;
}

void TSceneRenderer::DrawComposantes(const TSolidObject& s) {
  if (FStatesOnly) return;
  for (const TComposante& c : s.Composantes)
    if (!c.Vertices.empty())
      Device().DrawPrimitive(static_cast<D3DPRIMITIVETYPE>(c.PrimitiveType), D3DFVF_VERTEX, c.Vertices.data(),
                             DWORD(c.Vertices.size()));
}

void TSceneRenderer::DrawSolidCulled(const TSolidObject& s, DWORD cull) {
  IRenderDevice& d = Device();
  d.SetRenderState(D3DRENDERSTATE_CULLMODE, cull);
  d.SetTransform(D3DTRANSFORMSTATE_WORLD, WorldMatrix(s));
  d.SetMaterial(MaterialOf(s));
  DrawComposantes(s);
}

void TSceneRenderer::DrawSolid(const TSolidObject& s) {
  IRenderDevice& d = Device();
  const TSolidObject* parent = FScene.SolidById(s.ParentId());
  const bool related = FDisplay.RelationDisplay && s.Relation != relAucune && s.ShowRelation && parent;
  // A relation shows nothing when both of its solids are out of sight, but the states its
  // drawing leaves are those the next solid starts from. The previews of the tool dialogs, which
  // change their one object's mesh in place, draw it always.
  const bool hidden = SkipHidden && !IsolateObject && Hidden(s) && (!related || Hidden(*parent));
  FSkippedCount += hidden ? 1 : 0;
  if (hidden && !related) {
    FSkipped = &s;
    return;
  }
  SetSkippedStates();
  if (s.Texturer) d.SetTexture(0, s.TextureSurface);
  if (related) {
    FStatesOnly = hidden;
    DrawRelation(s, *parent, s.Relation);
    FStatesOnly = false;
  } else {
    d.SetMaterial(MaterialOf(s));
    d.SetTransform(D3DTRANSFORMSTATE_WORLD, WorldMatrix(s));
    DrawComposantes(s);
  }
  d.SetTexture(0, nullptr);
}

void TSceneRenderer::DrawRelation(const TSolidObject& a, const TSolidObject& b, uint8_t relation) {
  IRenderDevice& d = Device();
  auto rs = [&d](D3DRENDERSTATETYPE s, DWORD v) { d.SetRenderState(s, v); };
  const bool subtraction = relation == relSoustraction;
  const DWORD cA = subtraction ? D3DCULL_CW : D3DCULL_CCW;
  const bool stencil = d.RenderTarget().HasStencil();
  auto clearStencil = [&] {
    if (stencil) d.Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1, 0);
  };
  // 1: colour writes off (zero x source + one x destination), stencil cleared.
  rs(D3DRENDERSTATE_STENCILWRITEMASK, 0xFFFFFFFF);
  rs(D3DRENDERSTATE_STENCILMASK, 0xFFFFFFFF);
  rs(D3DRENDERSTATE_STENCILENABLE, 1);
  rs(D3DRENDERSTATE_STENCILFUNC, D3DCMP_ALWAYS);
  rs(D3DRENDERSTATE_STENCILZFAIL, D3DSTENCILOP_KEEP);
  rs(D3DRENDERSTATE_STENCILFAIL, D3DSTENCILOP_KEEP);
  rs(D3DRENDERSTATE_STENCILPASS, D3DSTENCILOP_KEEP);
  rs(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
  rs(D3DRENDERSTATE_SRCBLEND, D3DBLEND_ZERO);
  rs(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ONE);
  clearStencil();
  rs(D3DRENDERSTATE_ZENABLE, 1);
  rs(D3DRENDERSTATE_ZWRITEENABLE, 1);
  // 2: the depth of A's back faces (subtraction) or front faces (intersection).
  DrawSolidCulled(a, cA);
  // 3: count B's surfaces in front of that depth.
  rs(D3DRENDERSTATE_ZWRITEENABLE, 0);
  rs(D3DRENDERSTATE_STENCILFUNC, D3DCMP_ALWAYS);
  rs(D3DRENDERSTATE_STENCILZFAIL, D3DSTENCILOP_KEEP);
  rs(D3DRENDERSTATE_STENCILFAIL, D3DSTENCILOP_KEEP);
  rs(D3DRENDERSTATE_STENCILPASS, D3DSTENCILOP_INCRSAT);
  DrawSolidCulled(b, D3DCULL_CCW);
  rs(D3DRENDERSTATE_STENCILPASS, D3DSTENCILOP_DECRSAT);
  DrawSolidCulled(b, D3DCULL_CW);
  // 4: A where it lies inside B.
  rs(D3DRENDERSTATE_STENCILREF, 0);
  rs(D3DRENDERSTATE_STENCILFUNC, D3DCMP_NOTEQUAL);
  rs(D3DRENDERSTATE_STENCILPASS, D3DSTENCILOP_KEEP);
  rs(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
  rs(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
  rs(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
  rs(D3DRENDERSTATE_ZENABLE, 0);
  DrawSolidCulled(a, cA);
  // 5: B's front depth everywhere, no colour.
  rs(D3DRENDERSTATE_STENCILENABLE, 0);
  rs(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
  rs(D3DRENDERSTATE_SRCBLEND, D3DBLEND_ZERO);
  rs(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ONE);
  rs(D3DRENDERSTATE_ZWRITEENABLE, 1);
  rs(D3DRENDERSTATE_ZENABLE, 1);
  rs(D3DRENDERSTATE_ZFUNC, D3DCMP_ALWAYS);
  DrawSolidCulled(b, D3DCULL_CCW);
  // 6: count A's surfaces in front of B's front surface.
  rs(D3DRENDERSTATE_STENCILENABLE, 1);
  clearStencil();
  rs(D3DRENDERSTATE_ZWRITEENABLE, 0);
  rs(D3DRENDERSTATE_ZFUNC, D3DCMP_LESSEQUAL);
  rs(D3DRENDERSTATE_STENCILFUNC, D3DCMP_ALWAYS);
  rs(D3DRENDERSTATE_STENCILZFAIL, D3DSTENCILOP_KEEP);
  rs(D3DRENDERSTATE_STENCILFAIL, D3DSTENCILOP_KEEP);
  rs(D3DRENDERSTATE_STENCILPASS, D3DSTENCILOP_INCRSAT);
  DrawSolidCulled(a, D3DCULL_CCW);
  rs(D3DRENDERSTATE_STENCILPASS, D3DSTENCILOP_DECRSAT);
  DrawSolidCulled(a, D3DCULL_CW);
  // 7: B's front surface outside A (subtraction) or inside it (intersection).
  rs(D3DRENDERSTATE_STENCILREF, 0);
  rs(D3DRENDERSTATE_STENCILFUNC, subtraction ? D3DCMP_EQUAL : D3DCMP_NOTEQUAL);
  rs(D3DRENDERSTATE_STENCILPASS, D3DSTENCILOP_KEEP);
  rs(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
  rs(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
  rs(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
  rs(D3DRENDERSTATE_ZENABLE, 0);
  DrawSolidCulled(b, D3DCULL_CCW);
  // 8
  rs(D3DRENDERSTATE_STENCILENABLE, 0);
  rs(D3DRENDERSTATE_ZWRITEENABLE, 1);
  rs(D3DRENDERSTATE_ZENABLE, 1);
}

void TSceneRenderer::DrawView(int index) {
  if (!FDisplay.Device() || index < 0 || index > 3) return;
  IRenderDevice& d = Device();
  TVue& view = FScene.Views[size_t(index)];
  TScene& sc = FScene;
  // 1. Lights as they are, and the eye direction that sorts transparent objects.
  FSavedLights.assign(size_t(std::max(sc.LightCount, 0)) + 1, false);
  for (int i = 1; i <= sc.LightCount; ++i) {
    bool on = false;
    d.GetLightEnable(DWORD(i), on);
    FSavedLights[size_t(i)] = on;
  }
  D3DMATRIX inv;
  D3DVECTOR eye{0, 0, 1};
  if (Invert(Multiply(view.RotationMatrix, view.CameraMatrix), inv))
    eye = NormalizeSafe(ToSingle(ApplyMatrix({0, 0, 1}, inv)));
  // 2, 3.
  d.SetRenderState(D3DRENDERSTATE_AMBIENTMATERIALSOURCE, D3DMCS_COLOR1);
  d.SetViewport(view.Viewport);
  const D3DMATRIX viewMatrix = view.ModelViewMatrix();
  d.SetTransform(D3DTRANSFORMSTATE_VIEW, viewMatrix);
  D3DMATRIX projection;
  d.GetTransform(D3DTRANSFORMSTATE_PROJECTION, projection);
  FClip = ClipSpaceOf(viewMatrix, projection);
  FSkipped = nullptr;
  FSkippedCount = 0;
  PrepareRows(index, view);
  // Boxes of objects that are gone are let go of now and then.
  if (FBoxes.Size() > 2 * size_t(sc.ObjectCount()) + 64) FBoxes.ForgetAll();
  // "Moderne" paints its gradient over every pixel the clear would colour (the view's rows being
  // drawn), unless the device kept the last view's place because it could not take this one.
  D3DVIEWPORT7 actual;
  const bool painted =
      Modern() && d.GetViewport(actual) == D3D_OK && std::memcmp(&actual, &view.Viewport, sizeof actual) == 0;
  DWORD clear = (painted ? DWORD(0) : DWORD(D3DCLEAR_TARGET)) | D3DCLEAR_ZBUFFER;
  if (d.RenderTarget().HasStencil()) clear |= D3DCLEAR_STENCIL;
  d.Clear(0, nullptr, clear, FDisplay.BackgroundColor, 1.0f, 0);
  if (Modern()) {
    PaintGradient(d.RenderTarget(), view.Viewport, FRowsFrom, FRowsTo, FDisplay.BackgroundColor,
                  FDisplay.RenderThreads().get());
    d.SetLight(kFillLightIndex, FillLight(viewMatrix));
    KeepLightsAtViewScale(viewMatrix);
  }
  d.BeginScene();
  D3DMATRIX identity = Identity();
  d.SetTransform(D3DTRANSFORMSTATE_WORLD, identity);
  LinesMode(true);
  // 4. Grid.
  if (ShowGrid) {
    const std::vector<D3DLVERTEX>& grid = GridFor(view);
    d.DrawPrimitive(D3DPT_LINELIST, D3DFVF_LVERTEX, grid.data(), DWORD(grid.size()));
  }
  T3dObject* main = sc.ObjectAt(sc.CurrentObject());
  // 5. Point marker in the main object's frame.
  if (ShowMarker && !MarkerLines.empty()) {
    if (main) d.SetTransform(D3DTRANSFORMSTATE_WORLD, WorldMatrix(*main));
    d.DrawPrimitive(D3DPT_LINELIST, D3DFVF_LVERTEX, MarkerLines.data(), DWORD(MarkerLines.size()));
  }
  // 6. Selection marks: the main object when visible, then the others.
  if (main && ShowSelectionMarks && main->Afficher) {
    for (int k = 0; k < sc.SelectionCount(); ++k) {
      const T3dObject* o = sc.ObjectAt(sc.SelectedAt(k));
      if (!o) continue;
      d.SetTransform(D3DTRANSFORMSTATE_WORLD, WorldMatrix(*o));
      d.DrawPrimitive(D3DPT_LINELIST, D3DFVF_LVERTEX, o->SelectionMarks.data(), DWORD(o->SelectionMarks.size()));
    }
  }
  // 7.
  LinesMode(false);
  d.SetRenderState(D3DRENDERSTATE_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);
  // The view's zoom scales the normals too; "Moderne" shades by their directions alone.
  DWORD normalize = 0;
  if (Modern()) {
    d.GetRenderState(D3DRENDERSTATE_NORMALIZENORMALS, normalize);
    d.SetRenderState(D3DRENDERSTATE_NORMALIZENORMALS, 1);
  }
  // 8. Parents drawn by their child's relation.
  std::vector<char> byRelation(size_t(sc.ObjectCount()), 0);
  if (FDisplay.RelationDisplay)
    for (int i = 0; i < sc.ObjectCount(); ++i) {
      const TSolidObject* s = sc.SolidAt(i);
      const int p = sc.ParentOf(i);
      if (s && s->Afficher && s->Relation != relAucune && s->ShowRelation && sc.SolidAt(p)) byRelation[size_t(p)] = 1;
    }
  // 9. Scene order; transparent solids wait, sorted by their key.
  struct TDeferred {
    double Key;
    const TSolidObject* Solid;
  };
  std::list<TDeferred> deferred;
  for (int i = 0; i < sc.ObjectCount(); ++i) {
    const T3dObject* o = sc.ObjectAt(i);
    if (!o->Afficher || byRelation[size_t(i)]) continue;
    if (o->IsLight() || (IsolateObject && i != IsolatedIndex)) {
      if (!o->IsLight() || !(i == sc.CurrentObject() || ShowAllLights)) continue;
      DrawLightSymbol(static_cast<const TLight&>(*o));
      continue;
    }
    const TSolidObject& s = static_cast<const TSolidObject&>(*o);
    if ((s.Color >> 24) < 255) {
      const Vec3d c = ApplyMatrix(s.BoxCenter, Multiply(s.RotationMatrix, s.TranslationMatrix));
      const D3DVECTOR cs = ToSingle(c);
      const double length = std::sqrt(c.x * c.x + c.y * c.y + c.z * c.z);
      const double key = length == 0 ? 0 : length * std::asin(std::cos(AngleBetween(eye, cs)));
      auto it = deferred.begin();
      while (it != deferred.end() && it->Key < key) ++it;
      deferred.insert(it, {key, &s});
      continue;
    }
    DrawSolid(s);
  }
  // 10.
  for (const TDeferred& t : deferred) DrawSolid(*t.Solid);
  SetSkippedStates();
  if (FFillOn) {
    d.LightEnable(kFillLightIndex, false);
    FFillOn = false;
  }
  for (const auto& [i, light] : FScaledLights) d.SetLight(DWORD(i), light);
  FScaledLights.clear();
  if (Modern()) d.SetRenderState(D3DRENDERSTATE_NORMALIZENORMALS, normalize);
  // 11. Guide line.
  if (ShowGuideLine) DrawGuideLine();
  // 12.
  d.EndScene();
  // 13. The axes of the selected solid (or the world's), always on top.
  if (ShowAxes) DrawAxes((main && main->Afficher && !main->IsLight()) ? main : nullptr);
  KeepPicture(index, view);
  // The picture kept is the device's; what "Moderne" adds over it is done again on each drawing,
  // over the whole view, so that a view drawn by rows looks the same as one drawn whole.
  if (Modern()) FinishModern(view);
  if (HandleOperation != opSelect)
    if (const std::optional<THandleSet> h = HandlesIn(index))
      DrawHandles(d.RenderTarget(), view.Viewport, *h, HandleOperation, HeldAxis, PixelRatio);
}

std::optional<THandleSet> TSceneRenderer::HandlesIn(int index) const {
  if (index < 0 || index > 3 || !ShowSelectionMarks) return std::nullopt;
  const T3dObject* main = FScene.ObjectAt(FScene.CurrentObject());
  if (!main || !main->Afficher || !FScene.IsSelected(FScene.CurrentObject())) return std::nullopt;
  const TVue& view = FScene.Views[size_t(index)];
  const TClipSpace clip = ClipSpaceOf(view.ModelViewMatrix(), ViewProjection());
  const double p[3] = {main->TranslationMatrix._41, main->TranslationMatrix._42, main->TranslationMatrix._43};
  double c[4];
  for (int j = 0; j < 4; ++j) c[j] = p[0] * clip.M[0][j] + p[1] * clip.M[1][j] + p[2] * clip.M[2][j] + clip.M[3][j];
  if (!(c[3] > 1e-9) || !(c[2] >= 0) || !std::isfinite(c[0] / c[3]) || !std::isfinite(c[1] / c[3])) return std::nullopt;
  const D3DVIEWPORT7& vp = view.Viewport;
  const double x = double(vp.dwX) + (1 + c[0] / c[3]) * 0.5 * double(vp.dwWidth);
  const double y = double(vp.dwY) + (1 - c[1] / c[3]) * 0.5 * double(vp.dwHeight);
  if (std::abs(x) > 1e6 || std::abs(y) > 1e6) return std::nullopt;
  return HandlesAt(x, y, PixelRatio);
}

D3DMATERIAL7 TSceneRenderer::MaterialOf(const TSolidObject& s) const {
  if (!Modern()) return s.Material;
  // A solid's colour is its ambient reflection; "Moderne" gives it a diffuse one too, so that
  // faces are shaded by the angle at which light meets them and the faces of a box part.
  D3DMATERIAL7 m = s.Material;
  const float a = m.diffuse.a;
  m.diffuse = {m.ambient.r * kModernDiffuse, m.ambient.g * kModernDiffuse, m.ambient.b * kModernDiffuse, a};
  m.ambient = {m.ambient.r * kModernAmbient, m.ambient.g * kModernAmbient, m.ambient.b * kModernAmbient, m.ambient.a};
  return m;
}

void TSceneRenderer::KeepLightsAtViewScale(const D3DMATRIX& view) {
  // The device lights in the camera's frame, where the view's zoom has scaled every distance:
  // a light's reach and its fall with distance are scaled back, so that zooming out does not
  // bring the lights closer. Their records are put back once the solids are drawn.
  FScaledLights.clear();
  const double det = double(view._11) * (double(view._22) * view._33 - double(view._23) * view._32) -
                     double(view._12) * (double(view._21) * view._33 - double(view._23) * view._31) +
                     double(view._13) * (double(view._21) * view._32 - double(view._22) * view._31);
  const double scale = std::cbrt(std::abs(det));
  if (!std::isfinite(scale) || scale < 1e-12 || std::abs(scale - 1) < 1e-9) return;
  IRenderDevice& d = Device();
  for (int i = 1; i <= FScene.LightCount; ++i) {
    D3DLIGHT7 l;
    if (d.GetLight(DWORD(i), l) != D3D_OK || l.dltType == D3DLIGHT_DIRECTIONAL) continue;
    FScaledLights.emplace_back(i, l);
    l.dvRange = float(std::min(double(l.dvRange) * scale, double(FLT_MAX)));
    l.dvAttenuation1 = float(l.dvAttenuation1 / scale);
    l.dvAttenuation2 = float(std::min(l.dvAttenuation2 / (scale * scale), double(FLT_MAX)));
    d.SetLight(DWORD(i), l);
  }
}

const std::vector<D3DLVERTEX>& TSceneRenderer::GridFor(const TVue& view) const {
  if (!Modern() || view.ViewType == vtPerspective) return GridLines;
  // The world axis the view looks along most: its third column of the view's linear part.
  const D3DMATRIX m = view.ModelViewMatrix();
  D3DMATRIX inv;
  if (!Invert(m, inv)) return GridLines;
  const double along[3] = {std::abs(double(inv.m[2][0])), std::abs(double(inv.m[2][1])), std::abs(double(inv.m[2][2]))};
  if (along[0] > along[1] && along[0] > along[2]) return FWallGrids[0];
  if (along[2] > along[1] && along[2] > along[0]) return FWallGrids[1];
  return GridLines;
}

void TSceneRenderer::FinishModern(const TVue& view) {
  IRenderDevice& d = Device();
  TScene& sc = FScene;
  // The selected solids shown, drawn whole (behind others too) on a cleared depth plane, then
  // outlined in the selection's colour where that plane was not reached.
  std::vector<const TSolidObject*> marked;
  if (ShowSelectionMarks && d.RenderTarget().HasDepth())
    for (int k = 0; k < sc.SelectionCount(); ++k) {
      const int i = sc.SelectedAt(k);
      const TSolidObject* s = sc.SolidAt(i);
      if (s && s->Afficher && (!IsolateObject || i == IsolatedIndex)) marked.push_back(s);
    }
  if (!marked.empty()) {
    constexpr D3DRENDERSTATETYPE kChanged[] = {
        D3DRENDERSTATE_ZENABLE,       D3DRENDERSTATE_ZWRITEENABLE,     D3DRENDERSTATE_ZFUNC,
        D3DRENDERSTATE_STENCILENABLE, D3DRENDERSTATE_ALPHABLENDENABLE, D3DRENDERSTATE_SRCBLEND,
        D3DRENDERSTATE_DESTBLEND,     D3DRENDERSTATE_CULLMODE,         D3DRENDERSTATE_LIGHTING,
        D3DRENDERSTATE_FILLMODE};
    DWORD was[std::size(kChanged)];
    for (size_t i = 0; i < std::size(kChanged); ++i) d.GetRenderState(kChanged[i], was[i]);
    D3DMATRIX world;
    d.GetTransform(D3DTRANSFORMSTATE_WORLD, world);
    d.Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1, 0);
    d.BeginScene();
    d.SetRenderState(D3DRENDERSTATE_ZENABLE, 1);
    d.SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, 1);
    d.SetRenderState(D3DRENDERSTATE_ZFUNC, D3DCMP_ALWAYS);
    d.SetRenderState(D3DRENDERSTATE_STENCILENABLE, 0);
    d.SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
    d.SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_ZERO);
    d.SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ONE);
    d.SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    d.SetRenderState(D3DRENDERSTATE_LIGHTING, 0);
    d.SetRenderState(D3DRENDERSTATE_FILLMODE, D3DFILL_SOLID);
    for (const TSolidObject* s : marked) {
      d.SetTransform(D3DTRANSFORMSTATE_WORLD, WorldMatrix(*s));
      DrawComposantes(*s);
    }
    d.EndScene();
    for (size_t i = 0; i < std::size(kChanged); ++i) d.SetRenderState(kChanged[i], was[i]);
    d.SetTransform(D3DTRANSFORMSTATE_WORLD, world);
    const int width = std::max(1, int(std::lround(2 * PixelRatio)));
    OutlineDrawn(d.RenderTarget(), view.Viewport, width, D3DRGBA(1, 0.78, 0.1, 1));
  }
  SmoothEdges(d.RenderTarget(), view.Viewport, Look.EdgeSamples, FDisplay.RenderThreads().get());
}

void TSceneRenderer::DrawLightSymbol(const TLight& l) {
  SetSkippedStates();
  IRenderDevice& d = Device();
  DWORD fill = D3DFILL_SOLID;
  d.GetRenderState(D3DRENDERSTATE_FILLMODE, fill);
  d.SetRenderState(D3DRENDERSTATE_FILLMODE, D3DFILL_WIREFRAME);
  LinesMode(true);
  d.SetTransform(D3DTRANSFORMSTATE_WORLD, WorldMatrix(l));
  d.SetMaterial(l.SymbolMaterial);
  if (!l.Symbol.Vertices.empty())
    d.DrawPrimitive(static_cast<D3DPRIMITIVETYPE>(l.Symbol.PrimitiveType), D3DFVF_VERTEX, l.Symbol.Vertices.data(),
                    DWORD(l.Symbol.Vertices.size()));
  LinesMode(false);
  d.SetRenderState(D3DRENDERSTATE_FILLMODE, fill);
}

void TSceneRenderer::DrawGuideLine() {
  IRenderDevice& d = Device();
  const D3DLVERTEX guide[2] = {LineVertex(GuidePoints[0].x, GuidePoints[0].y, GuidePoints[0].z, D3DRGB(0, 1, 0)),
                               LineVertex(GuidePoints[1].x, GuidePoints[1].y, GuidePoints[1].z, D3DRGB(0, 1, 0))};
  d.SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 0);
  d.SetRenderState(D3DRENDERSTATE_SPECULARENABLE, 0);
  d.SetRenderState(D3DRENDERSTATE_AMBIENTMATERIALSOURCE, D3DMCS_COLOR1);
  d.LightEnable(0, true);
  d.DrawPrimitive(D3DPT_LINELIST, D3DFVF_LVERTEX, guide, 2);
  d.SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
  d.SetRenderState(D3DRENDERSTATE_SPECULARENABLE, 1);
  d.LightEnable(0, false);
}

void TSceneRenderer::DrawAxes(const T3dObject* of) {
  IRenderDevice& d = Device();
  d.SetTransform(D3DTRANSFORMSTATE_WORLD, of ? WorldMatrix(*of) : Identity());
  d.SetRenderState(D3DRENDERSTATE_AMBIENTMATERIALSOURCE, D3DMCS_COLOR1);
  d.LightEnable(0, true);
  d.SetRenderState(D3DRENDERSTATE_ZENABLE, 0);
  d.SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 0);
  d.SetRenderState(D3DRENDERSTATE_SPECULARENABLE, 0);
  d.DrawPrimitive(D3DPT_LINELIST, D3DFVF_LVERTEX, AxisLines.data(), DWORD(AxisLines.size()));
  d.SetRenderState(D3DRENDERSTATE_ZENABLE, 1);
  d.LightEnable(0, false);
  d.SetRenderState(D3DRENDERSTATE_SPECULARENABLE, 1);
  d.SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
}

void TSceneRenderer::DrawViewFrame(int index, bool active) {
  TSurface* surface = FDisplay.OffscreenSurface();
  if (!surface || index < 0 || index > 3) return;
  const TVue& view = FScene.Views[size_t(index)];
  const int x = int(view.Viewport.dwX), y = int(view.Viewport.dwY);
  const int w = int(view.Viewport.dwWidth), h = int(view.Viewport.dwHeight);
  TCanvas canvas(*surface);
  canvas.SetTextColor(0xFFFF00);
  const double ratio = std::isfinite(PixelRatio) ? std::clamp(PixelRatio, 1.0, 8.0) : 1.0;
  const TScreenFont& font = TScreenFont::Default(static_cast<int>(std::lround(13 * ratio)));
  if (font.Valid()) {
    canvas.SetFont(&font);
    canvas.TextOut(x + static_cast<int>(std::lround(10 * ratio)), y + static_cast<int>(std::lround(5 * ratio)),
                   view.ViewTypeName());
  }
  const int k = static_cast<int>(std::lround(ratio));
  const TPen p1{k, 0xFFFFFF}, p2{2 * k, 0x808080};
  canvas.SetPen(active ? p2 : p1);
  canvas.MoveTo(x + 1, y + h);
  canvas.LineTo(x + 1, y);
  canvas.LineTo(x + w - 1, y);
  canvas.SetPen(active ? p1 : p2);
  canvas.MoveTo(x + w - 2, y - 1);
  canvas.LineTo(x + w - 2, y + h - 1);
  canvas.LineTo(x + 1, y + h - 1);
}

D3DRECT TSceneRenderer::ViewDestination(int index) const {
  const D3DRECT& r = DisplayRect;
  if (!FScene.FourViews) return r;
  const int32_t hw = (r.x2 - r.x1) / 2, hh = (r.y2 - r.y1) / 2;
  switch (index) {
    case 0:
      return {r.x1, r.y1, r.x1 + hw, r.y1 + hh};
    case 1:
      return {r.x1 + hw, r.y1, r.x2, r.y1 + hh};
    case 2:
      return {r.x1, r.y1 + hh, r.x1 + hw, r.y2};
    default:
      return {r.x1 + hw, r.y1 + hh, r.x2, r.y2};
  }
}

void TSceneRenderer::PresentView(int view, int active, int hover) {
  DrawView(view);
  if (FScene.FourViews) {
    DrawViewFrame(active, true);
    if (hover != active) DrawViewFrame(hover, false);
  }
  const D3DVIEWPORT7& vp = FScene.Views[size_t(std::clamp(view, 0, 3))].Viewport;
  const D3DRECT source{int32_t(vp.dwX), int32_t(vp.dwY), int32_t(vp.dwX + vp.dwWidth), int32_t(vp.dwY + vp.dwHeight)};
  // Without surfaces there is nothing to show; the failure goes to the trace.
  if (!FDisplay.Blit(source, ViewDestination(view))) Trace(ErrorName(DDERR_INVALIDPARAMS));
}

void TSceneRenderer::RedrawViews(int active, int hover, bool activeFirst) {
  if (!FScene.FourViews) {
    PresentView(0, active, hover);
    return;
  }
  if (activeFirst && active > 0 && active < 4) {
    for (int i = active; i < 4; ++i) PresentView(i, active, hover);
    for (int i = 0; i < active; ++i) PresentView(i, active, hover);
  } else {
    for (int i = 0; i < 4; ++i) PresentView(i, active, hover);
  }
}

void TSceneRenderer::BlitAll() {
  TSurface* s = FDisplay.OffscreenSurface();
  if (!s || !FDisplay.Device()) return;
  Trace(kTraceBlitAll);
  if (!FDisplay.Blit({0, 0, s->Width(), s->Height()}, DisplayRect)) Trace(ErrorName(DDERR_INVALIDPARAMS));
}

void TSceneRenderer::SetDisplayRect(const D3DRECT& rect, int active, int hover) {
  DisplayRect = rect;
  RedrawViews(active, hover, false);
}

}  // namespace ixoral
