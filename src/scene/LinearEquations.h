// Two linear equations in two unknowns, as used by picking and by the fill of 3D text.
#pragma once

namespace ixoral {

// Solves a + b·X + c·Y = 0 and d + e·X + f·Y = 0. Returns false, leaving X and Y untouched, when
// the system has no single solution (the determinant b·f − c·e is zero).
bool SolveTwoUnknowns(double a, double b, double c, double d, double e, double f, double& X, double& Y);

}  // namespace ixoral
