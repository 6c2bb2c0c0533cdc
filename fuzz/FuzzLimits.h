// The load limits of the harnesses: what a small scene asks for, so that an input at the limits
// still reads in a few milliseconds under the sanitizers (a mesh costs about a microsecond a
// vertex there) and a run tries hundreds of inputs a second. Each limit still lets every kind of
// object be built: a wall (4800 vertices), a sphere or torus of 30 x 30, a filled 3D text of two
// letters, two built-in curves or a user curve of a few terms a coordinate ("cos(t)", "sin(t)",
// "t"), a couple of hundred hand-moved vertices. An input that takes longer while within these
// limits is a finding: its work is not bounded by what it may build, and within the program's own
// limits it would cost the program as much more.
#pragma once

#include "document/SceneDocument.h"

namespace ixoral {

inline TLoadLimits FuzzLimits() {
  TLoadLimits l;
  l.Objects = 100;
  l.NameBytes = 16u << 10;
  l.Vertices = 6000;
  l.HandEdits = 200;
  l.HandEditWork = 20000;
  l.CurveWork = 400000;  // 12000 samples of 33 terms
  l.TextFillTests = 20000;
  l.TextBytes = 1u << 20;
  l.TextureBytes = 1u << 20;
  l.TexturePixels = 64u << 10;  // a 256 x 256 texture
  l.DecodedTexturePixels = 128u << 10;
  return l;
}

}  // namespace ixoral
