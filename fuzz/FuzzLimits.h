// The load limits of the harnesses: a tenth of the program's, so that a document at the limits
// still loads within libFuzzer's -timeout under the sanitizers (which slow the reader about
// tenfold); anything slower relative to its limits is a finding.
#pragma once

#include "document/SceneDocument.h"

namespace ixoral {

inline TLoadLimits FuzzLimits() {
  TLoadLimits l;
  l.Objects /= 10;
  l.NameBytes /= 10;
  l.Vertices /= 10;
  l.HandEdits /= 10;
  l.HandEditWork /= 10;
  l.CurveWork /= 10;
  l.TextFillTests /= 10;
  return l;
}

}  // namespace ixoral
