// The about box's flight.
#include "commands/AboutFlight.h"

#include <cmath>
#include <limits>

#include "document/SceneDocument.h"
#include "scene/ViewOps.h"

namespace ixoral {

bool BoxInFront(const TSolidObject& solid, const Vec3d& camera, const Vec3d& d) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  Vec3d lo{inf, inf, inf}, hi{-inf, -inf, -inf};
  for (const TComposante& c : solid.Composantes)
    for (const D3DVERTEX& v : c.Vertices) {
      lo = {std::min(lo.x, double(v.x)), std::min(lo.y, double(v.y)), std::min(lo.z, double(v.z))};
      hi = {std::max(hi.x, double(v.x)), std::max(hi.y, double(v.y)), std::max(hi.z, double(v.z))};
    }
  if (lo.x > hi.x) return false;  // no vertex: nothing to draw
  const Vec3d planePoint = camera + d * 2.0;
  for (int corner = 0; corner < 8; ++corner) {
    const Vec3d local{corner & 1 ? hi.x : lo.x, corner & 2 ? hi.y : lo.y, corner & 4 ? hi.z : lo.z};
    // The box is tested where the solid stands, not around its own origin.
    if (Dot(solid.TransformPoint(local) - planePoint, d) > 0) return true;
  }
  return false;
}

bool TAboutFlight::LoadScene(const std::string& path, IPrompt& prompt) {
  const bool loaded = !path.empty() && ShowResult(prompt, LoadDocument(FScene, path), TNoticeKind::Error);
  FScene.ClearSelection();
  FElapsed = 0;
  Apply();
  return loaded;
}

double TAboutFlight::PathTime() const { return std::round(30 * FElapsed / 100); }

void TAboutFlight::Apply() {
  Vec3d camera;
  const D3DMATRIX m = FlyThroughCamera(PathTime(), camera);
  FScene.Views[0].CameraMatrix = m;
  const Vec3d d{m._13, m._23, m._33};
  for (int i = 0; i < FScene.ObjectCount(); ++i)
    if (TSolidObject* s = FScene.SolidAt(i)) s->SetVisible(BoxInFront(*s, camera, d));
}

}  // namespace ixoral
