// Boxes of meshes and their test against the clip volume of a view.
#include "render/ViewCulling.h"

#include <algorithm>
#include <cmath>

namespace ixoral {

namespace {

// The device rounds each product of the world, view and projection matrices and each vertex
// transform to single precision; a few units of 6e-8 of the magnitudes involved at most. This
// margin leaves a thousand times that before a box is called outside.
constexpr double kRoundingMargin = 1e-4;

// Clip-space combinations whose sign tells the side of each plane: z, w - z, x + w, w - x,
// y + w, w - y (positive inside), as coefficients of (x, y, z, w).
constexpr double kPlanes[6][4] = {{0, 0, 1, 0},  {0, 0, -1, 1}, {1, 0, 0, 1},
                                  {-1, 0, 0, 1}, {0, 1, 0, 1},  {0, -1, 0, 1}};

}  // namespace

TMeshBox MeshBoxOf(const TSolidObject& solid) {
  TMeshBox box;
  float lo[3] = {INFINITY, INFINITY, INFINITY}, hi[3] = {-INFINITY, -INFINITY, -INFINITY};
  bool any = false, finite = true;
  for (const TComposante& c : solid.Composantes)
    for (const D3DVERTEX& v : c.Vertices) {
      const float p[3] = {v.x, v.y, v.z};
      for (int k = 0; k < 3; ++k) {
        // NaN fails both comparisons and is caught below with the infinities.
        lo[k] = std::min(lo[k], p[k]);
        hi[k] = std::max(hi[k], p[k]);
        finite &= std::isfinite(p[k]);
      }
      any = true;
    }
  if (!any || !finite) return box;
  std::copy(lo, lo + 3, box.Lo);
  std::copy(hi, hi + 3, box.Hi);
  box.Usable = true;
  return box;
}

TClipSpace ClipSpaceOf(const D3DMATRIX& view, const D3DMATRIX& projection) {
  TClipSpace c;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      for (int k = 0; k < 4; ++k) {
        c.M[i][j] += double(view.m[i][k]) * projection.m[k][j];
        c.Magnitude[i][j] += std::fabs(double(view.m[i][k])) * std::fabs(double(projection.m[k][j]));
      }
  return c;
}

bool BoxOutsideClipVolume(const TMeshBox& box, const D3DMATRIX& world, const TClipSpace& clip) {
  if (!box.Usable) return false;
  // World x VIEW x PROJECTION, row vectors as the device applies them, and its magnitudes.
  double m[4][4] = {}, a[4][4] = {};
  for (int i = 0; i < 4; ++i)
    for (int k = 0; k < 4; ++k) {
      const double w = world.m[i][k], aw = std::fabs(w);
      for (int j = 0; j < 4; ++j) {
        m[i][j] += w * clip.M[k][j];
        a[i][j] += aw * clip.Magnitude[k][j];
      }
    }
  double centre[3], half[3], reach[4];
  for (int k = 0; k < 3; ++k) {
    centre[k] = (double(box.Lo[k]) + box.Hi[k]) / 2;
    half[k] = (double(box.Hi[k]) - box.Lo[k]) / 2;
    reach[k] = std::max(std::fabs(double(box.Lo[k])), std::fabs(double(box.Hi[k])));
  }
  reach[3] = 1;
  // How far rounding may move each clip coordinate of any point of the box.
  double slack[4];
  for (int j = 0; j < 4; ++j) {
    slack[j] = 0;
    for (int k = 0; k < 4; ++k) slack[j] += reach[k] * a[k][j];
    slack[j] *= kRoundingMargin;
  }
  for (const auto& plane : kPlanes) {
    // The plane's signed distance is linear in the object-space point: g . (x, y, z) + g3.
    double g[4];
    for (int k = 0; k < 4; ++k) {
      g[k] = 0;
      for (int j = 0; j < 4; ++j) g[k] += plane[j] * m[k][j];
    }
    double farthest = g[3], error = 0;
    for (int k = 0; k < 3; ++k) farthest += centre[k] * g[k] + half[k] * std::fabs(g[k]);
    for (int j = 0; j < 4; ++j) error += std::fabs(plane[j]) * slack[j];
    // Comparisons with NaN are false: what cannot be judged is kept.
    if (std::isfinite(farthest) && std::isfinite(error) && farthest + error < 0) return true;
  }
  return false;
}

bool TMeshBoxCache::SameStorage(const TEntry& e, const TSolidObject& solid) {
  if (e.Id != solid.Id() || e.Storage.size() != solid.Composantes.size()) return false;
  for (size_t i = 0; i < e.Storage.size(); ++i) {
    const std::vector<D3DVERTEX>& v = solid.Composantes[i].Vertices;
    if (e.Storage[i].first != static_cast<const void*>(v.data()) || e.Storage[i].second != v.size()) return false;
  }
  return true;
}

const TMeshBox& TMeshBoxCache::Of(const TSolidObject& solid) {
  TEntry& e = FEntries[&solid];
  if (!e.Storage.empty() && SameStorage(e, solid)) return e.Box;
  e.Id = solid.Id();
  e.Storage.clear();
  for (const TComposante& c : solid.Composantes) e.Storage.emplace_back(c.Vertices.data(), c.Vertices.size());
  e.Box = MeshBoxOf(solid);
  return e.Box;
}

void TMeshBoxCache::Forget(const T3dObject* object) {
  if (const auto* s = dynamic_cast<const TSolidObject*>(object)) FEntries.erase(s);
}

}  // namespace ixoral
