// Deformation engines: the shared-point list that keeps seams closed, the program-wide random
// generator, noise, torsion, moves of coincident vertices, and re-applying what a solid stores.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "scene/Scene.h"

namespace ixoral {

// The program-wide pseudo-random generator. Stored documents depend on it: the same Seed must
// always give the same offsets.
extern uint32_t RandomState;
// Steps the generator; a uniform real in [0, 1).
double RandomReal();
// Steps the generator; a uniform integer in [0, n).
uint32_t RandomInt(uint32_t n);
// Milliseconds since midnight UTC.
void RandomizeFromClock();

// One distinct vertex position of a solid and every vertex lying there.
struct TSharedPoint {
  Vec3d Initial;
  Vec3d Moved;
  std::vector<TVertexRef> Uses;
};
using TSharedPointList = std::vector<TSharedPoint>;

// Distinct positions in the order first met (components in order, vertices in order); a vertex
// joins the first element within 1e-6 of it in each coordinate. Empty for an index that is not a solid.
TSharedPointList BuildSharedPoints(const TScene& scene, int index);
TSharedPointList BuildSharedPoints(const TSolidObject& solid);
// Sets every listed vertex to its element's Moved position (normals and mapping untouched).
void WriteBackSharedPoints(TScene& scene, const TSharedPointList& list, int index);
void WriteBackSharedPoints(TSolidObject& solid, const TSharedPointList& list);

// Three draws per element, x then y then z; offset = min + (max - min) * r, added or subtracted.
void ApplyNoise(TSharedPointList& list, bool addition, double min, double max);
// Turns each point about the axis F -> R by angle x (distance along the axis / |R - F|).
// No axis (F and R within 1e-6): nothing moves.
void ApplyTorsion(TSharedPointList& list, const Vec3d& fixedPoint, const Vec3d& rotatingPoint, double angle);

// RandomState := Seed, noise, write back, record again.
void ReapplyNoise(TSolidObject& solid);
// Torsion from the stored record, write back, record again (skipped without an axis).
void ReapplyTorsion(TSolidObject& solid);

// Moves every vertex lying within 1e-6 of `from` to `to`; returns how many moved.
int MoveCoincidentVertices(TSolidObject& solid, const Vec3d& from, const Vec3d& to);
int MoveCoincidentVertices(TScene& scene, int index, const Vec3d& from, const Vec3d& to);
// A hand edit read back from a document: vertex (c, v) goes to p with its mapping (tu, tv), and
// is recorded at `rank` of ModifiedVertices. False when (c, v) names no vertex.
bool ApplyStoredHandEdit(TSolidObject& solid, int rank, const TVertexRef& ref, const Vec3d& p, float tu, float tv);

// The vertices of one solid by position, for many moves of coincident vertices in a row (the
// hand edits of a document): each move examines the vertices near its point instead of the whole
// mesh. The solid's vertex positions must change only through Move while the index is in use.
class TCoincidentVertexIndex {
 public:
  explicit TCoincidentVertexIndex(TSolidObject& solid);
  // What MoveCoincidentVertices(solid, from, to) does, with the same result.
  int Move(const Vec3d& from, const Vec3d& to);
  // Vertices compared so far, moved or not: the work the moves have cost.
  uint64_t Examined() const { return FExamined; }

 private:
  struct TRef {
    uint32_t Composante, Vertex;
  };
  D3DVERTEX& At(TRef r) { return FSolid.Composantes[r.Composante].Vertices[r.Vertex]; }
  void Insert(TRef r);
  TSolidObject& FSolid;
  std::unordered_map<uint64_t, std::vector<TRef>> FCells;
  std::vector<TRef> FFar;  // positions too large for a cell, searched one by one
  std::vector<TRef> FFound;
  uint64_t FExamined = 0;
};

// ApplyStoredHandEdit through an index of the solid's vertices.
bool ApplyStoredHandEdit(TSolidObject& solid, TCoincidentVertexIndex& index, int rank, const TVertexRef& ref,
                         const Vec3d& p, float tu, float tv);

// Copies one object's whole state between two scenes (colour excepted); nothing when either
// index names no object of the same kind.
void CopyObjectState(TScene& destination, int destinationIndex, TScene& source, int sourceIndex);
inline void CopyObjectState(TScene& destination, int index, TScene& source) {
  CopyObjectState(destination, index, source, index);
}

}  // namespace ixoral
