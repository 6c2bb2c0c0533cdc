// Primitive shape generators: one builder per kind of component, one create function per
// primitive, and the default inserts of the main window.
//
// Builders are pure geometry in object space. Counts below 1 give an empty component (no division
// by zero); counts above what the program can produce (kMaxPrecision) are clamped, so no caller
// (a document, a field) can make a builder allocate without bound.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "scene/Objects.h"

namespace ixoral {

inline constexpr int kMaxPrecision = 100;
inline constexpr D3DCOLOR kOpaqueWhite = 0xFFFFFFFF;

// Component builders.
TComposante BuildCube(double cote);
TComposante BuildCubePerceSection(int index, double cote, double epsilon);
TComposante BuildWall(int columns, int rows, float cote);
TComposante BuildFloor(int columns, int rows, float cote);
TComposante BuildCylinderSide(int n, double hauteur, double rayon);
// facing 0: +z, 1: -z.
TComposante BuildDisc(int facing, int n, double rayon, double z);
TComposante BuildConeSide(int n, double hauteur, double rayon);
TComposante BuildTorus(int n1, int n2, double rayon2, double rayon1);
TComposante BuildSphere(int n1, int n2, double rayon);
TComposante BuildSpotSymbol(int n, double length, double radius);
TComposante BuildAimSymbol(int n, double apexHeight, double radius, double tailLength);

// Factories shared by every generator.
// Takes the components over (callers move large meshes in rather than copying them).
std::unique_ptr<TSolidObject> NewSolidFromComposantes(TArrayOfComposante components, D3DCOLOR colour);
// Moves the given components into a component array, in order.
template <typename... T>
TArrayOfComposante MakeComposantes(T&&... parts) {
  TArrayOfComposante out;
  out.reserve(sizeof...(parts));
  (out.push_back(std::forward<T>(parts)), ...);
  return out;
}
std::unique_ptr<TLight> NewLightFromSymbol(const TComposante& symbol, D3DCOLOR colour, TScene* scene);

// Create functions: a new object with its components, ShapeType and Params.
std::unique_ptr<TSolidObject> CreateCube(D3DCOLOR colour, double cote);
std::unique_ptr<TSolidObject> CreateCubePerce(D3DCOLOR colour, double cote, double epsilon);
std::unique_ptr<TSolidObject> CreateCylinder(int precision, D3DCOLOR colour, double hauteur, double rayon);
std::unique_ptr<TSolidObject> CreateCircle(int n, D3DCOLOR colour, double rayon);
std::unique_ptr<TSolidObject> CreateTorus(int precision1, int precision2, D3DCOLOR colour, double rayon2,
                                          double rayon1);
std::unique_ptr<TSolidObject> CreateSphere(int precision1, int precision2, D3DCOLOR colour, double rayon);
std::unique_ptr<TSolidObject> CreateConeOrPyramid(int precision, D3DCOLOR colour, double hauteur, double rayon);
std::unique_ptr<TSolidObject> CreateWall(D3DCOLOR colour, float cote);
std::unique_ptr<TSolidObject> CreateFloor(D3DCOLOR colour, float cote);
std::unique_ptr<TLight> CreateSpotLight(D3DCOLOR colour, TScene* scene, float angle, float length);
std::unique_ptr<TLight> CreateAimedLight(const Vec3d& origin, const D3DVECTOR& target, D3DCOLOR colour, TScene* scene);

// Rebuilds a primitive's components from its Params (codes 0-3, 5-8, 10, 11), with the counts
// rounded to the nearest integer; false for shapes without a primitive generator.
bool BuildPrimitiveComposantes(uint8_t shapeType, const TSolidObject& params, TArrayOfComposante& out);

// The same rebuild through the create functions: a new object whose Params are the ones the
// generator writes (counts rounded and clamped), not the stored reals. Null for other shapes.
std::unique_ptr<TSolidObject> RebuildPrimitiveObject(uint8_t shapeType, const TSolidObject& params, D3DCOLOR colour);

// The insert commands of the main window for primitive solids, with their default values.
enum class TInsertKind { Cube, CubePerce, Cylindre, Cone, Pyramide, Tore, Sphere, Cercle, ParoiV, ParoiH };

struct TInsertDefault {
  TInsertKind Kind;
  const char* Keyword;  // the batch tool's word for it
  const char* Prefix;   // the name prefix, followed by the command's running number
  std::unique_ptr<TSolidObject> (*Create)();
};

extern const std::array<TInsertDefault, 10> InsertDefaults;
const TInsertDefault* FindInsertDefault(const std::string& keyword);

}  // namespace ixoral
