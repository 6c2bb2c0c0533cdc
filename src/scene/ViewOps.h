// Operations of a scene on its views: the four-view and one-view layouts, navigation applied to the
// fixed views together or the perspective view alone, resetting positions, the view parameters kept
// in the settings store, mouse picking of objects and vertices, and the about box's camera flight.
#pragma once

#include <string>
#include <vector>

#include "platform/Result.h"
#include "scene/Scene.h"

namespace ixoral {

class TSettingsStore;

inline constexpr const char* kMsgMatrixNonInvertible = "Matrix non invertible";
inline constexpr const char* kTraceDefaultViewports = "Tailles des viewports par défaut";
inline constexpr const char* kTraceNoTwoUnknowns =
    "aucune équation à deux inconnues n'a pu etre résolue. étrange. ce n'est pas censé arriver.";

// The viewports alone: the four quarters of a w x h surface, or view 0 over all of it.
void SetViewports(TScene& scene, bool four, int w, int h);
// Four views in the quarters of a W x H surface, each with its default type and then what the
// settings store holds for it (when `settings` is given); or view 0 alone over the whole surface
// with the perspective camera. Sets FourViews.
void SetLayout(TScene& scene, bool four, int surfaceWidth, int surfaceHeight, TSettingsStore* settings);

// Navigation from the active view: the perspective view alone, or every other view together.
void ApplyViewTranslation(TScene& scene, int active, const Vec3d& v);
void ApplyViewRotation(TScene& scene, int active, const Vec3d& v);
void ApplyViewScale(TScene& scene, int active, const Vec3d& v);

// Where a view aims: the point of its axis nearest the world's origin, at least 1.5 ahead of the
// centre of projection; `distance` is how far ahead it lies.
Vec3d ViewAim(const TVue& view, double& distance);
// "Cadrer la sélection", "Tout cadrer": the navigation of the active view (and its companions)
// set so the objects' bounding box stands at the view's aim, filling most of the view, the view's
// turn kept. Objects whose bounds are not finite numbers are left out; false, with nothing
// changed, when none is left. A box of no size is centred without changing the zoom.
bool FrameObjects(TScene& scene, int active, const std::vector<int>& objects);

// "Position initiale": the main selected object back to its initial placement, or with nothing
// selected the navigation of the active view (and its companions) reset.
void ResetPosition(TScene& scene, int active);
// One object back to its initial placement (what "Position initiale" does to the main one).
void ResetObjectPlacement(T3dObject& object);

// The sub-key of a view's parameters: "\Parametres\" + its index.
std::string ViewParamsKey(const TVue& view);
// Writes the sixteen values of the view.
void SaveViewParams(const TVue& view, TSettingsStore& settings);
// Reads them back; a stored type that is none of "Face", "Gauche", "Haut", "User" makes the whole
// stored view ignored; a value that is not a number keeps the view's value and is traced.
void LoadViewParams(TVue& view, TSettingsStore& settings);

// The pick ray of a view for the fractions (h, v) of the mouse across it: origin and direction in
// the world, before the objects' transforms. False when the navigation cannot be inverted.
bool PickRay(const TVue& view, double h, double v, Vec3d& origin, D3DVECTOR& direction);

// Distance from O along the ray to the triangle ABC (coordinates rounded to 5 decimals), or -1.
double RayTriangleDistance(const Vec3d& o, const D3DVECTOR& dr, const Vec3d& a, const Vec3d& b, const Vec3d& c);
// The same, and `corner` (0, 1, 2 for A, B, C) the corner nearest to the hit point.
double NearestCornerHit(const Vec3d& o, const D3DVECTOR& dr, const Vec3d& a, const Vec3d& b, const Vec3d& c,
                        int& corner);

// Index of the visible solid hit first (at least 1 unit away) by the click at (h, v) of the view,
// or -1. A navigation that cannot be inverted fails with "Matrix non invertible", which the
// window shows as an information.
TExpected<int> PickObject(TScene& scene, const TVue& view, double h, double v);

struct TVertexHit {
  Vec3d Position = NotFoundVector;  // local position of the vertex
  int32_t Vertex = 0;
  int32_t Composante = 0;
  bool Found() const { return !(Position == NotFoundVector); }
};
// The vertex of object `index` nearest to where the click at (h, v) hits it (none found: not
// Found()). Fails as PickObject does.
TExpected<TVertexHit> PickVertex(TScene& scene, const TVue& view, int index, double h, double v);

// The camera of the about box's flight at time t: its matrix, and its position in `position`.
D3DMATRIX FlyThroughCamera(double t, Vec3d& position);

// Numbers as the settings store keeps them: the general form with the regional comma.
std::string FormatGeneralNumber(double value);

}  // namespace ixoral
