// Solid geometry on exported meshes: the difference or the intersection of two closed solids,
// computed exactly where it matters (corefinement of the two surfaces), for the exchange formats,
// which have no notion of a relation between solids.
#pragma once

#include <vector>

#include "document/ModelExportData.h"

namespace ixoral::modelexport {

enum class TBoolean { Difference, Intersection };

// `a` minus `b`, or their common part, each given as triangles (three corners per triangle,
// counter-clockwise seen from outside). False, with `out` untouched, when either is not a closed
// surface once its corners are joined, when one crosses itself, or when the computation fails.
// The result's corners carry their face's normal and no texture coordinates. `aComputed`: `a` is
// itself the result of a computation, closed and free of crossings by construction, and is not
// searched for crossings again (a search whose cost grows with the square of the flat faces a
// chain of cuts leaves).
bool ComputeBoolean(const std::vector<TVertex>& a, const std::vector<TVertex>& b, TBoolean op,
                    std::vector<TVertex>& out, bool aComputed = false);

}  // namespace ixoral::modelexport
