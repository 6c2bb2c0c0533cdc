// Shared points, random generator, noise, torsion and coincident-vertex moves.
#include "tools/Deformations.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <ctime>
#include <unordered_map>

namespace ixoral {

uint32_t RandomState = 0;

double RandomReal() {
  RandomState = RandomState * 134775813u + 1u;
  return RandomState * (1.0 / 4294967296.0);
}

uint32_t RandomInt(uint32_t n) {
  RandomState = RandomState * 134775813u + 1u;
  return static_cast<uint32_t>((uint64_t(n) * RandomState) >> 32);
}

void RandomizeFromClock() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count();
  RandomState = static_cast<uint32_t>(ms % (24LL * 60 * 60 * 1000));
}

namespace {

// Positions are looked up through a grid of 1e-6 cells; a match may lie in a neighbouring cell,
// so all 27 are searched and the element met first in list order wins, as a linear search would.
struct TPointIndex {
  static constexpr double kCell = 1e-6;
  std::unordered_map<uint64_t, std::vector<size_t>> Cells;
  bool Usable = true;  // huge or non-finite coordinates fall back to the linear search

  static bool CellOf(const Vec3d& p, int64_t c[3]) {
    const double v[3] = {p.x, p.y, p.z};
    for (int k = 0; k < 3; ++k) {
      const double q = std::floor(v[k] / kCell);
      if (!(std::fabs(q) < 1e15)) return false;
      c[k] = static_cast<int64_t>(q);
    }
    return true;
  }
  static uint64_t Key(int64_t x, int64_t y, int64_t z) {
    uint64_t h = static_cast<uint64_t>(x) * 0x9E3779B97F4A7C15ull;
    h ^= static_cast<uint64_t>(y) * 0xC2B2AE3D27D4EB4Full + (h << 6) + (h >> 2);
    h ^= static_cast<uint64_t>(z) * 0x165667B19E3779F9ull + (h << 6) + (h >> 2);
    return h;
  }
};

bool Within(const Vec3d& a, const Vec3d& b) {
  return std::fabs(a.x - b.x) < 1e-6 && std::fabs(a.y - b.y) < 1e-6 && std::fabs(a.z - b.z) < 1e-6;
}

}  // namespace

TSharedPointList BuildSharedPoints(const TSolidObject& solid) {
  TSharedPointList list;
  TPointIndex index;
  for (size_t c = 0; c < solid.Composantes.size(); ++c) {
    const auto& verts = solid.Composantes[c].Vertices;
    for (size_t v = 0; v < verts.size(); ++v) {
      const Vec3d p{verts[v].x, verts[v].y, verts[v].z};
      const TVertexRef ref{static_cast<int32_t>(c), static_cast<int32_t>(v)};
      int64_t cell[3];
      size_t found = SIZE_MAX;
      if (index.Usable && TPointIndex::CellOf(p, cell)) {
        for (int dx = -1; dx <= 1; ++dx)
          for (int dy = -1; dy <= 1; ++dy)
            for (int dz = -1; dz <= 1; ++dz) {
              const auto it = index.Cells.find(TPointIndex::Key(cell[0] + dx, cell[1] + dy, cell[2] + dz));
              if (it == index.Cells.end()) continue;
              for (size_t e : it->second)
                if (e < found && Within(list[e].Initial, p)) found = e;
            }
      } else {
        index.Usable = false;
        for (size_t e = 0; e < list.size() && found == SIZE_MAX; ++e)
          if (Within(list[e].Initial, p)) found = e;
      }
      if (found != SIZE_MAX) {
        list[found].Uses.push_back(ref);
        continue;
      }
      list.push_back({p, p, {ref}});
      if (index.Usable && TPointIndex::CellOf(p, cell))
        index.Cells[TPointIndex::Key(cell[0], cell[1], cell[2])].push_back(list.size() - 1);
    }
  }
  return list;
}

TSharedPointList BuildSharedPoints(const TScene& scene, int index) {
  const TSolidObject* s = scene.SolidAt(index);
  return s ? BuildSharedPoints(*s) : TSharedPointList{};
}

void WriteBackSharedPoints(TSolidObject& solid, const TSharedPointList& list) {
  for (const auto& e : list)
    for (const auto& r : e.Uses) {
      if (r.Composante < 0 || r.Composante >= solid.ComposanteCount()) continue;
      auto& verts = solid.Composantes[static_cast<size_t>(r.Composante)].Vertices;
      if (r.Vertex < 0 || static_cast<size_t>(r.Vertex) >= verts.size()) continue;
      D3DVERTEX& v = verts[static_cast<size_t>(r.Vertex)];
      v.x = static_cast<float>(e.Moved.x);
      v.y = static_cast<float>(e.Moved.y);
      v.z = static_cast<float>(e.Moved.z);
    }
}

void WriteBackSharedPoints(TScene& scene, const TSharedPointList& list, int index) {
  if (TSolidObject* s = scene.SolidAt(index)) WriteBackSharedPoints(*s, list);
}

void ApplyNoise(TSharedPointList& list, bool addition, double min, double max) {
  const double sign = addition ? 1 : -1;
  for (auto& e : list) {
    const double ox = min + (max - min) * RandomReal();
    const double oy = min + (max - min) * RandomReal();
    const double oz = min + (max - min) * RandomReal();
    e.Moved = {e.Initial.x + sign * ox, e.Initial.y + sign * oy, e.Initial.z + sign * oz};
  }
}

void ApplyTorsion(TSharedPointList& list, const Vec3d& f, const Vec3d& r, double angle) {
  for (auto& e : list) e.Moved = e.Initial;
  if (NearlyEqual(f, r)) return;
  const D3DVECTOR d = Difference(f, r);
  const float len = Magnitude(d);
  if (!(len > 0) || !std::isfinite(len)) return;
  const double k = angle / len;
  const D3DVECTOR a = Divide(d, len);
  D3DVECTOR p = CrossProduct({0, 1, 0}, a);
  float plen = Magnitude(p);
  if (!(plen > 0)) {
    p = CrossProduct({1, 0, 0}, a);
    plen = Magnitude(p);
  }
  p = Divide(p, plen);
  const D3DVECTOR q = CrossProduct(a, p);
  for (auto& e : list) {
    const D3DVECTOR v = Difference(f, e.Initial);
    const float u = DotProduct(v, a), vv = DotProduct(v, p), w = DotProduct(v, q);
    const double th = k * u, c = std::cos(th), s = std::sin(th);
    e.Moved = {f.x + u * a.x + vv * (p.x * c + q.x * s) + w * (q.x * c - p.x * s),
               f.y + u * a.y + vv * (p.y * c + q.y * s) + w * (q.y * c - p.y * s),
               f.z + u * a.z + vv * (p.z * c + q.z * s) + w * (q.z * c - p.z * s)};
  }
}

void ReapplyNoise(TSolidObject& solid) {
  if (!solid.NoiseParams) return;
  const TNoiseParams n = *solid.NoiseParams;
  RandomState = static_cast<uint32_t>(n.Seed);
  TSharedPointList list = BuildSharedPoints(solid);
  ApplyNoise(list, n.Addition, n.Min, n.Max);
  WriteBackSharedPoints(solid, list);
  solid.SetNoise(n.Seed, n.Addition, n.Max, n.Min);
}

void ReapplyTorsion(TSolidObject& solid) {
  if (!solid.TorsionParams) return;
  const TTorsionParams t = *solid.TorsionParams;
  TSharedPointList list = BuildSharedPoints(solid);
  ApplyTorsion(list, t.AxisStart, t.AxisEnd, t.Angle);
  WriteBackSharedPoints(solid, list);
  solid.SetTorsion(t.AxisStart, t.AxisEnd, t.Angle);
}

int MoveCoincidentVertices(TSolidObject& solid, const Vec3d& from, const Vec3d& to) {
  int moved = 0;
  for (auto& c : solid.Composantes)
    for (auto& v : c.Vertices)
      if (NearVertex(v, from)) {
        v.x = static_cast<float>(to.x);
        v.y = static_cast<float>(to.y);
        v.z = static_cast<float>(to.z);
        ++moved;
      }
  return moved;
}

int MoveCoincidentVertices(TScene& scene, int index, const Vec3d& from, const Vec3d& to) {
  TSolidObject* s = scene.SolidAt(index);
  return s ? MoveCoincidentVertices(*s, from, to) : 0;
}

namespace {
// The running index (1-based) of vertex (c, v), or 0 when it names no vertex.
int RunningIndex(const TSolidObject& s, const TVertexRef& r) {
  if (r.Composante < 0 || r.Composante >= s.ComposanteCount()) return 0;
  const auto& verts = s.Composantes[static_cast<size_t>(r.Composante)].Vertices;
  if (r.Vertex < 0 || static_cast<size_t>(r.Vertex) >= verts.size()) return 0;
  size_t n = 1 + static_cast<size_t>(r.Vertex);
  for (int c = 0; c < r.Composante; ++c) n += s.Composantes[static_cast<size_t>(c)].Vertices.size();
  return n > static_cast<size_t>(INT32_MAX) ? 0 : static_cast<int>(n);
}
}  // namespace

bool ApplyStoredHandEdit(TSolidObject& s, int rank, const TVertexRef& ref, const Vec3d& p, float tu, float tv) {
  const int running = RunningIndex(s, ref);
  if (running == 0) return false;
  const D3DVERTEX& old = s.Composantes[static_cast<size_t>(ref.Composante)].Vertices[static_cast<size_t>(ref.Vertex)];
  MoveCoincidentVertices(s, {old.x, old.y, old.z}, p);
  // The mapping is written where the vertex now lies (its single-precision position).
  const D3DVERTEX& now = s.Composantes[static_cast<size_t>(ref.Composante)].Vertices[static_cast<size_t>(ref.Vertex)];
  s.SetTexCoordAt({now.x, now.y, now.z}, tu, tv, running);
  s.SetModified(rank, ref);
  return true;
}

namespace {
// Cells ten times the coincidence distance: the vertices within 1e-6 of a point lie in the cells
// that the box of half-side 1.5e-6 around it touches (the margin absorbs the rounding of the
// division), which is most often the point's own cell alone.
constexpr double kMoveCell = 1e-5;
constexpr double kMoveMargin = 1.5e-6;

bool MoveCellOf(double x, double y, double z, int64_t c[3]) {
  const double v[3] = {x, y, z};
  for (int k = 0; k < 3; ++k) {
    const double q = std::floor(v[k] / kMoveCell);
    if (!(std::fabs(q) < 1e15)) return false;
    c[k] = static_cast<int64_t>(q);
  }
  return true;
}
}  // namespace

TCoincidentVertexIndex::TCoincidentVertexIndex(TSolidObject& solid) : FSolid(solid) {
  for (size_t c = 0; c < solid.Composantes.size(); ++c)
    for (size_t v = 0; v < solid.Composantes[c].Vertices.size(); ++v)
      Insert({static_cast<uint32_t>(c), static_cast<uint32_t>(v)});
}

void TCoincidentVertexIndex::Insert(TRef r) {
  const D3DVERTEX& v = At(r);
  int64_t c[3];
  if (MoveCellOf(v.x, v.y, v.z, c))
    FCells[TPointIndex::Key(c[0], c[1], c[2])].push_back(r);
  else
    FFar.push_back(r);
}

int TCoincidentVertexIndex::Move(const Vec3d& from, const Vec3d& to) {
  std::vector<TRef>& found = FFound;
  found.clear();
  auto take = [&](std::vector<TRef>& list) {
    for (size_t k = 0; k < list.size();) {
      ++FExamined;
      if (NearVertex(At(list[k]), from)) {
        found.push_back(list[k]);
        list[k] = list.back();
        list.pop_back();
      } else {
        ++k;
      }
    }
  };
  int64_t lo[3], hi[3];
  if (MoveCellOf(from.x - kMoveMargin, from.y - kMoveMargin, from.z - kMoveMargin, lo) &&
      MoveCellOf(from.x + kMoveMargin, from.y + kMoveMargin, from.z + kMoveMargin, hi)) {
    // Distinct buckets only: one met twice would be searched twice.
    std::array<std::vector<TRef>*, 27> buckets{};
    size_t count = 0;
    for (int64_t x = lo[0]; x <= hi[0]; ++x)
      for (int64_t y = lo[1]; y <= hi[1]; ++y)
        for (int64_t z = lo[2]; z <= hi[2]; ++z) {
          const auto it = FCells.find(TPointIndex::Key(x, y, z));
          if (it == FCells.end() || it->second.empty()) continue;
          if (std::find(buckets.begin(), buckets.begin() + static_cast<std::ptrdiff_t>(count), &it->second) ==
              buckets.begin() + static_cast<std::ptrdiff_t>(count))
            buckets[count++] = &it->second;
        }
    for (size_t k = 0; k < count; ++k) take(*buckets[k]);
  }
  take(FFar);
  for (TRef r : found) {
    D3DVERTEX& v = At(r);
    v.x = static_cast<float>(to.x);
    v.y = static_cast<float>(to.y);
    v.z = static_cast<float>(to.z);
    Insert(r);
  }
  return static_cast<int>(found.size());
}

bool ApplyStoredHandEdit(TSolidObject& s, TCoincidentVertexIndex& index, int rank, const TVertexRef& ref,
                         const Vec3d& p, float tu, float tv) {
  const int running = RunningIndex(s, ref);
  if (running == 0) return false;
  const D3DVERTEX& old = s.Composantes[static_cast<size_t>(ref.Composante)].Vertices[static_cast<size_t>(ref.Vertex)];
  index.Move({old.x, old.y, old.z}, p);
  const D3DVERTEX& now = s.Composantes[static_cast<size_t>(ref.Composante)].Vertices[static_cast<size_t>(ref.Vertex)];
  s.SetTexCoordAt({now.x, now.y, now.z}, tu, tv, running);
  s.SetModified(rank, ref);
  return true;
}

void CopyObjectState(TScene& destination, int index, TScene& source, int sourceIndex) {
  if (TSolidObject* src = source.SolidAt(sourceIndex)) {
    TSolidObject* d = destination.SolidAt(index);
    if (!d) return;
    d->ShapeType = src->ShapeType;
    d->Composantes = src->Composantes;
    d->ModifiedVertices = src->ModifiedVertices;
    for (int k = 1; k <= kParamCount; ++k) d->SetParam(k, src->GetParam(k));
    d->SetTextParam(1, src->GetTextParam(1));
    d->SetTextParam(2, src->GetTextParam(2));
    if (src->Texturer) {
      // The same surface, as a clone shares it (TScene::CloneObjectInto).
      if (src->TextureSurface)
        d->TextureSurface = src->TextureSurface;
      else
        destination.Device().LoadTexture(*d, src->TextureFile);
      d->Texturer = true;
    } else {
      d->Texturer = false;
    }
    d->TextureFile = src->TextureFile;
    d->CopyDeformationRecordsFrom(*src);
    // Renaming tells the scene's observers; the same name is no change.
    if (d->Name() != src->Name()) destination.RenameObject(index, src->Name());
    d->CopyPlacementFrom(*src);
    d->SetSpecular(src->Specular);
    d->SelectionMarks = src->SelectionMarks;
    d->BoxCenter = src->BoxCenter;
    return;
  }
  TLight* src = source.LightAt(sourceIndex);
  TLight* d = destination.LightAt(index);
  if (!src || !d) return;
  D3DLIGHT7 l;
  if (src->DeviceIndex >= 1 && d->DeviceIndex >= 1 && source.Device().GetLight(src->DeviceIndex, l))
    destination.Device().SetLight(d->DeviceIndex, l);
  d->Symbol = src->Symbol;
  d->LightType = src->LightType;
  d->Color = src->Color;
  d->SymbolMaterial = src->SymbolMaterial;
  d->AimVector = src->AimVector;
  d->SpotAngle = src->SpotAngle;
  for (int k = 1; k <= kParamCount; ++k) d->SetParam(k, src->GetParam(k));
  destination.RenameObject(index, src->Name());
  d->CopyPlacementFrom(*src);
}

}  // namespace ixoral
