// What the model writers receive: the exported solids as world-space triangles already turned to
// the right-handed, counter-clockwise convention of the exchange formats, their materials, the
// texture pictures and the lights. Shared by the glTF and the OBJ/STL writers only.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "scene/D3DTypes.h"
#include "scene/Objects.h"

namespace ixoral::modelexport {

struct TVertex {
  std::array<float, 3> P;   // world position, right-handed (z mirrored)
  std::array<float, 3> N;   // unit normal in the same frame
  std::array<float, 2> UV;  // Direct3D convention: origin at the picture's top left
};

struct TSolid {
  std::string Name;
  std::vector<TVertex> Vertices;  // three per triangle, counter-clockwise seen from the front
  D3DCOLOR Color = 0xFFFFFFFF;
  float Specular = 0;    // the Direct3D specular power; 0: no highlight
  int Texture = -1;      // index among the pictures
  std::string Relation;  // "" or the CSG note: "soustraction" / "intersection"
  std::string RelationParent;
};

struct TPicture {
  std::string Source;     // the texture file as the solid names it
  std::string Bytes;      // PNG or JPEG
  std::string Mime;       // "image/png" or "image/jpeg"
  std::string Extension;  // "png" or "jpg"
};

struct TLightRecord {
  std::string Name;
  int Type = 1;  // D3DLIGHT_POINT, D3DLIGHT_SPOT, D3DLIGHT_DIRECTIONAL
  std::array<float, 3> Color{1, 1, 1};
  std::array<float, 3> Position{};           // right-handed
  std::array<float, 3> Direction{0, 0, -1};  // right-handed, unit
  float InnerCone = 0, OuterCone = 0;        // half angles, radians
};

struct TModel {
  std::vector<TSolid> Solids;
  std::vector<TPicture> Pictures;
  std::vector<TLightRecord> Lights;
};

// A written file: its full path and bytes.
using TFileSet = std::map<std::string, std::string>;

// The whole ".glb" file. The solids' vertices are released as they are packed into it.
bool WriteGlb(TModel& model, std::string& out, std::string& error);
// The OBJ, its material file and texture pictures (OBJ), or the binary STL, keyed by full path.
// `renamed` lists the names the OBJ format could not hold as they were ("old → new").
bool WriteWithAssimp(const TModel& model, const std::string& path, bool obj, TFileSet& files,
                     std::vector<std::string>& renamed, std::string& error);

// The solid's drawn triangles in world placement, as the writers receive them.
std::vector<TVertex> WorldTriangles(const TSolidObject& solid);

// The note written where a format allows one about the CSG relations it cannot express.
std::string RelationNote(const TSolid& solid);

}  // namespace ixoral::modelexport
