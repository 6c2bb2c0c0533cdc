// Rebuilding any generated solid's components from its shape code and stored parameters, as the
// scene document reader and the property inspector need.
#pragma once

#include "scene/Objects.h"
#include "scene/Text3D.h"

namespace ixoral {

// Primitives (codes 0-3, 5-8, 10, 11), built-in and user curves (9, 14), 3D text (13) and kept
// meshes (15, from the run's mesh store). False for shapes without a generator ("Cercle Simple",
// "User") and for a mesh this run does not keep.
bool RegenerateComposantes(uint8_t shapeType, const TSolidObject& params, TArrayOfComposante& out);

// A new solid made by the shape's create function from the stored Params and TextParams, so its
// Params are the ones the generator wrote (rounded counts, even tube sides, the precision the
// outline converter accepted). Null for shapes without a generator.
// A 3D text spends out of `textAllowance` when one is given (Text3D.h).
std::unique_ptr<TSolidObject> RegenerateSolid(uint8_t shapeType, const TSolidObject& params, D3DCOLOR colour,
                                              TTextAllowance* textAllowance = nullptr);

}  // namespace ixoral
