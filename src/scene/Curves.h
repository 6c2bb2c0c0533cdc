// Parametric curve shapes: a tube of constant radius swept along a space curve P(x), x in 0..1,
// closed by a disc at each end. Built-in curves use six fixed formulas, user curves three
// equations in t read by the expression evaluator.
//
// Bounds: the number of sides n is rounded down to an even number and limited to 0..100 (below 2
// every tube piece is an empty component); a segment spans at least one sampling step, so a tube
// has at most 2000 segments plus the closing segment and two caps (2003 components); the radius
// is limited to ±42 000 000 and curve points to ±1e15, and a point that is not a number is (0, 0, 0).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "scene/Objects.h"

namespace ixoral {

inline constexpr double kCurveStep = 0.0005;
inline constexpr int kMaxCurveSides = 100;
inline constexpr double kMaxCurveRadius = 42000000.0;
inline constexpr double kMaxCurveCoordinate = 1e15;
inline constexpr int kMaxCurveComponents = 2003;

// Names of the built-in curves, in the order of "which".
inline constexpr int kBuiltinCurveCount = 6;
extern const std::array<const char*, kBuiltinCurveCount> BuiltinCurveNames;

// The built-in formula "which" (low 7 bits; outside 0..5 the origin) at x with shape factor t.
Vec3d CurvePoint(int which, double t, double x);

// One tube piece between two rings: triangle strip of 4 · (n + 1) vertices.
TComposante BuildTubeSegment(const Vec3d& p0, const Vec3d& p1, const D3DVECTOR& dir0, const D3DVECTOR& dir1, double r,
                             int n);
// A disc closing the tube at P, facing away from dir: triangle fan of n + 2 vertices.
TComposante BuildTubeCap(const Vec3d& p, const D3DVECTOR& dir, double r, int n);

// Samples the curve adaptively and builds its segments and two caps (n already even).
TArrayOfComposante SampleCurveTube(const std::function<Vec3d(double)>& point, int n, double r, double anglemax);

std::unique_ptr<TSolidObject> CreateBuiltinCurve(int n, int which, D3DCOLOR colour, double t, double anglemax,
                                                 double r);
// The texts are stored normalised in TextParams 1..3.
std::unique_ptr<TSolidObject> CreateUserCurve(int n, const std::string& xText, const std::string& yText,
                                              D3DCOLOR colour, double tmax, double tmin, const std::string& zText,
                                              double anglemax, double r);

// The main window's "Paramétrique" command: "Bizarre 3", t 5, anglemax 0.3, r 0.1, n 10, white.
inline constexpr const char* kDefaultCurvePrefix = "Param";
inline constexpr const char* kDefaultCurveHint = "Courbe paramétrique";
std::unique_ptr<TSolidObject> CreateDefaultCurve();

// Rebuilds the components of a curve (shape 9 or 14) from its Params and TextParams, as a
// document or the inspector needs; false for other shapes.
bool BuildCurveComposantes(uint8_t shapeType, const TSolidObject& params, TArrayOfComposante& out);
// The same through the create functions: a new object with the Params they write (n rounded and
// made even, which rounded). Null for other shapes.
std::unique_ptr<TSolidObject> RebuildCurveObject(uint8_t shapeType, const TSolidObject& params, D3DCOLOR colour);

}  // namespace ixoral
