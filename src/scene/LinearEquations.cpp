// Elimination on the second equation, in the order the callers' results depend on.
#include "scene/LinearEquations.h"

#include <cmath>

namespace ixoral {
namespace {

// A near-singular system can still overflow; such a result is no solution either.
bool Store(double x, double y, double& X, double& Y) {
  if (!std::isfinite(x) || !std::isfinite(y)) return false;
  X = x;
  Y = y;
  return true;
}

}  // namespace

bool SolveTwoUnknowns(double a, double b, double c, double d, double e, double f, double& X, double& Y) {
  if (e != 0) {
    if (c == 0 && b * f != 0) return Store(-a / b, (e * a / b - d) / f, X, Y);
    if (b * f == e * c) return false;
    const double y = (b * d / e - a) / (c - b * f / e);
    return Store(-(d + f * y) / e, y, X, Y);
  }
  if (b * f == 0) return false;
  const double y = -d / f;
  return Store(-(a + c * y) / b, y, X, Y);
}

}  // namespace ixoral
