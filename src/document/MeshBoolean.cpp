// Mesh booleans through CGAL's Polygon Mesh Processing: the triangle soups are joined at their
// shared corners, oriented outward, checked closed and free of self-intersections, then
// corefined.
#include "document/MeshBoolean.h"

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/corefinement.h>
#include <CGAL/Polygon_mesh_processing/orient_polygon_soup.h>
#include <CGAL/Polygon_mesh_processing/orientation.h>
#include <CGAL/Polygon_mesh_processing/polygon_soup_to_polygon_mesh.h>
#include <CGAL/Polygon_mesh_processing/repair_polygon_soup.h>
#include <CGAL/Polygon_mesh_processing/self_intersections.h>
#include <CGAL/Polygon_mesh_processing/triangulate_faces.h>
#include <CGAL/Surface_mesh.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

namespace ixoral::modelexport {
namespace {

using TKernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using TMesh = CGAL::Surface_mesh<TKernel::Point_3>;
namespace PMP = CGAL::Polygon_mesh_processing;

// The closed, outward-facing surface of a triangle soup; false when it is none. `searchCrossings`:
// whether to look for a surface crossing itself.
bool ClosedSurface(const std::vector<TVertex>& soup, TMesh& mesh, bool searchCrossings) {
  std::vector<TKernel::Point_3> points;
  std::vector<std::array<size_t, 3>> faces;
  // Corners are joined when they lie within a millionth of the solid's size of each other: the
  // seam of a sphere or a torus, computed by sine and cosine on both sides, differs in its last
  // bits.
  double extent = 0;
  for (const TVertex& v : soup)
    for (float c : v.P) {
      if (!std::isfinite(c)) return false;
      extent = std::max(extent, std::abs(double(c)));
    }
  const double step = std::max(extent, 1e-30) * 1e-6;
  std::map<std::array<long long, 3>, size_t> index;
  for (size_t k = 0; k + 2 < soup.size(); k += 3) {
    std::array<size_t, 3> face{};
    for (int c = 0; c < 3; ++c) {
      const std::array<float, 3>& p = soup[k + size_t(c)].P;
      const std::array<long long, 3> cell{std::llround(p[0] / step), std::llround(p[1] / step),
                                          std::llround(p[2] / step)};
      const auto [it, added] = index.emplace(cell, points.size());
      if (added) points.emplace_back(p[0], p[1], p[2]);
      face[size_t(c)] = it->second;
    }
    // A triangle two of whose corners were joined has no area: left out.
    if (face[0] != face[1] && face[1] != face[2] && face[0] != face[2]) faces.push_back(face);
  }
  if (faces.size() < 4) return false;
  // Triangles without area (the poles of a sphere) and repeated ones go first.
  PMP::repair_polygon_soup(points, faces);
  // Points where the surface is not a manifold are split; the checks below then find whether a
  // closed surface remains.
  PMP::orient_polygon_soup(points, faces);
  PMP::polygon_soup_to_polygon_mesh(points, faces, mesh);
  if (mesh.is_empty() || !CGAL::is_closed(mesh) || !CGAL::is_triangle_mesh(mesh)) return false;
  if (searchCrossings && PMP::does_self_intersect(mesh)) return false;
  if (!PMP::is_outward_oriented(mesh)) PMP::reverse_face_orientations(mesh);
  return true;
}

}  // namespace

bool ComputeBoolean(const std::vector<TVertex>& a, const std::vector<TVertex>& b, TBoolean op,
                    std::vector<TVertex>& out, bool aComputed) {
  TMesh first, second, result;
  try {
    if (!ClosedSurface(a, first, !aComputed) || !ClosedSurface(b, second, true)) return false;
    const bool computed = op == TBoolean::Difference ? PMP::corefine_and_compute_difference(first, second, result)
                                                     : PMP::corefine_and_compute_intersection(first, second, result);
    if (!computed) return false;
    PMP::triangulate_faces(result);
  } catch (const std::exception&) {
    return false;  // CGAL's precondition failures: the relation is left as it is
  }
  std::vector<TVertex> made;
  made.reserve(result.number_of_faces() * 3);
  for (const auto f : result.faces()) {
    std::array<TKernel::Point_3, 3> corner;
    int n = 0;
    for (const auto v : CGAL::vertices_around_face(result.halfedge(f), result))
      if (n < 3) corner[size_t(n++)] = result.point(v);
    if (n != 3) continue;
    const TKernel::Vector_3 normal = CGAL::cross_product(corner[1] - corner[0], corner[2] - corner[0]);
    const double length = std::sqrt(CGAL::to_double(normal.squared_length()));
    if (!(length > 0)) continue;
    for (const auto& p : corner) {
      TVertex v;
      v.P = {float(CGAL::to_double(p.x())), float(CGAL::to_double(p.y())), float(CGAL::to_double(p.z()))};
      v.N = {float(CGAL::to_double(normal.x()) / length), float(CGAL::to_double(normal.y()) / length),
             float(CGAL::to_double(normal.z()) / length)};
      v.UV = {0, 0};
      made.push_back(v);
    }
  }
  out = std::move(made);
  return true;
}

}  // namespace ixoral::modelexport
