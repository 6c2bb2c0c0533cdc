// What a view cannot show: the box of each solid's mesh, kept until the mesh changes, and the
// test of a placed box against the volume the device clips every primitive to.
#pragma once

#include <unordered_map>
#include <utility>
#include <vector>

#include "scene/Objects.h"

namespace ixoral {

// The smallest box around every vertex position of a mesh, in the object's own frame. Not usable
// for an empty mesh or one with a position that is not a finite number: such a solid is always
// given to the device, which knows what to do with it.
struct TMeshBox {
  float Lo[3]{0, 0, 0};
  float Hi[3]{0, 0, 0};
  bool Usable = false;
};

TMeshBox MeshBoxOf(const TSolidObject& solid);

// The placement of a view's volume: VIEW x PROJECTION, and the same product of the entries'
// magnitudes, which bounds what the device's single-precision rounding can move a vertex by.
struct TClipSpace {
  double M[4][4]{};
  double Magnitude[4][4]{};
};

TClipSpace ClipSpaceOf(const D3DMATRIX& view, const D3DMATRIX& projection);

// True only when every point of `box`, placed by `world`, lands outside one and the same plane of
// the clip volume (0 <= z <= w, -w <= x, y <= w) by more than the device's rounding: none of the
// solid's points, lines or triangles can then leave a pixel, a depth or a stencil value. An
// unusable box, or numbers too large to judge, are never outside.
bool BoxOutsideClipVolume(const TMeshBox& box, const D3DMATRIX& world, const TClipSpace& clip);

// The boxes of the solids drawn, each computed once and kept while the solid's mesh is the same
// storage: the same object, the same number of components and, for each, the same vertex array
// and count. A mesh changed in place keeps its storage; the scene's change notices, or Forget,
// tell the cache about those.
class TMeshBoxCache {
 public:
  const TMeshBox& Of(const TSolidObject& solid);
  void Forget(const T3dObject* object);
  void ForgetAll() { FEntries.clear(); }
  size_t Size() const { return FEntries.size(); }

 private:
  struct TEntry {
    TObjectId Id = kNoObject;
    std::vector<std::pair<const void*, size_t>> Storage;
    TMeshBox Box;
  };
  static bool SameStorage(const TEntry& e, const TSolidObject& solid);
  std::unordered_map<const TSolidObject*, TEntry> FEntries;
};

}  // namespace ixoral
