// Scene drawing on the software device: one view per call, in the modeller's order.
#include "render/SceneRenderer.h"

#include <algorithm>
#include <cmath>
#include <list>
#include <stdexcept>

#include "platform/Trace.h"
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
  if (!FDisplay.InitDisplay() || !FDisplay.Device()) return false;
  ConfigureDevice();
  SetLayout(FScene.FourViews);
  return true;
}

bool TSceneRenderer::Resize(int width, int height) {
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
  d.SetRenderState(D3DRENDERSTATE_SPECULARENABLE, on ? 0 : 1);
  d.SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, on ? 0 : 1);
  for (int i = 1; i <= FScene.LightCount; ++i)
    d.LightEnable(DWORD(i), on ? false : (size_t(i) < FSavedLights.size() && FSavedLights[size_t(i)]));
}

void TSceneRenderer::ObjectsChanged(const TSceneEvent& e) {
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

bool TSceneRenderer::Hidden(const TSolidObject& s) { return BoxOutsideClipVolume(FBoxes.Of(s), WorldMatrix(s), FClip); }

void TSceneRenderer::SetSkippedStates() {
  if (!FSkipped) return;
  IRenderDevice& d = Device();
  d.SetMaterial(FSkipped->Material);
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
  d.SetMaterial(s.Material);
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
    d.SetMaterial(s.Material);
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
  // Boxes of objects that are gone are let go of now and then.
  if (FBoxes.Size() > 2 * size_t(sc.ObjectCount()) + 64) FBoxes.ForgetAll();
  DWORD clear = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER;
  if (d.RenderTarget().HasStencil()) clear |= D3DCLEAR_STENCIL;
  d.Clear(0, nullptr, clear, FDisplay.BackgroundColor, 1.0f, 0);
  d.BeginScene();
  D3DMATRIX identity = Identity();
  d.SetTransform(D3DTRANSFORMSTATE_WORLD, identity);
  LinesMode(true);
  // 4. Grid.
  if (ShowGrid) d.DrawPrimitive(D3DPT_LINELIST, D3DFVF_LVERTEX, GridLines.data(), DWORD(GridLines.size()));
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
  // 11. Guide line.
  if (ShowGuideLine) DrawGuideLine();
  // 12.
  d.EndScene();
  // 13. The axes of the selected solid (or the world's), always on top.
  if (ShowAxes) DrawAxes((main && main->Afficher && !main->IsLight()) ? main : nullptr);
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
