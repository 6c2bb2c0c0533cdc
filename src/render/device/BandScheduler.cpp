// The band scheduler: a flush of the recorded drawing, first set up in chunks of primitives
// shared out among the drawing threads, then drawn band of rows by band of rows, each band's
// primitives in the order they were given, so that every thread count gives the same pixels.
#include <algorithm>
#include <functional>

#include "render/device/DeviceQueue.h"
#include "render/device/DeviceStates.h"
#include "render/device/PixelStage.h"
#include "render/device/SoftwareDevice.h"

namespace ixoral {

using namespace device;

namespace {

// Primitives set up in one task: their vertices stay in the processor's cache.
constexpr DWORD kPrimitiveChunk = 512;
// Below this much work (vertices, and cleared pixels / 256) a flush draws on the caller's thread.
constexpr size_t kSmallFlush = 64;

// Not inlined, so that profiles show the clearing on its own.
[[gnu::noinline]] void ClearRows(const TCommand& c, int y0, int y1) {
  y0 = std::max(y0, c.Y0), y1 = std::min(y1, c.Y1);
  const size_t n = size_t(c.X1 - c.X0);
  for (int y = y0; y < y1; ++y) {
    const size_t row = size_t(y) * size_t(c.Pitch) + size_t(c.X0);
    if (c.Flags & D3DCLEAR_TARGET) std::fill_n(c.ColorBuf + row, n, c.Color);
    if (c.Flags & D3DCLEAR_ZBUFFER) std::fill_n(c.DepthBuf + row, n, c.Z);
    if (c.Flags & D3DCLEAR_STENCIL) std::fill_n(c.StencilBuf + row, n, c.StencilValue);
  }
}

}  // namespace

void TSoftwareDevice::Flush() {
  TQueue& q = *FQueue;
  TState& s = *FState;
  if (q.Commands.empty()) return;
  const int height = FTarget.Height();
  const int rows = q.BandRows;
  const int bands = std::max(1, (height + rows - 1) / rows);
  // Little work is done on the caller's thread alone: waking the others would cost more.
  size_t work = q.VertexTotal;
  for (const TCommand& c : q.Commands)
    if (c.IsClear) work += size_t(c.X1 - c.X0) * size_t(c.Y1 - c.Y0) / 256;
  const bool small = work < kSmallFlush;
  auto forEach = [&](size_t n, const std::function<void(size_t)>& task) {
    if (small) {
      for (size_t i = 0; i < n; ++i) task(i);
    } else {
      q.Threads.ForEach(n, task);
    }
  };
  // 1. In chunks of primitives: transformation and lighting of their vertices, then clipping,
  // projection, culling and set-up while the vertices are still in the cache, each primitive
  // sorted into the bands it touches. Vertices two chunks share are done by both, the same way.
  q.Pieces.clear();
  for (uint32_t i = 0; i < q.Commands.size(); ++i) {
    const TCommand& c = q.Commands[i];
    if (c.IsClear) {
      q.Pieces.push_back({i, 0, 1});
      continue;
    }
    const DWORD n = PrimitiveCount(c.Type, c.Count);
    for (DWORD first = 0; first < n; first += kPrimitiveChunk)
      q.Pieces.push_back({i, first, std::min(n, first + kPrimitiveChunk)});
  }
  if (q.Binned.size() < q.Pieces.size()) q.Binned.resize(q.Pieces.size());
  forEach(q.Pieces.size(), [&q, bands, rows](size_t i) {
    const TPiece& pc = q.Pieces[i];
    const TCommand& c = q.Commands[pc.Cmd];
    TBinned& b = q.Binned[i];
    b.Prims.clear();
    if (c.IsClear) {
      TPrim& r = b.Prims.emplace_back();
      r.Kind = pkClear, r.Ref = pc.Cmd, r.Y0 = c.Y0, r.Y1 = c.Y1 - 1;
    } else {
      const TPix& p = q.Pix[c.Pix];
      const TVertexState& vs = q.Vertex[c.Vertex];
      // The vertices of primitives First .. Last - 1: from .. to - 1, and a fan's centre.
      const DWORD k0 = pc.First, k1 = pc.Last;
      DWORD from = k0, to = k1;
      switch (c.Type) {
        case D3DPT_POINTLIST: break;
        case D3DPT_LINELIST: from = 2 * k0, to = 2 * k1; break;
        case D3DPT_LINESTRIP: to = k1 + 1; break;
        case D3DPT_TRIANGLELIST: from = 3 * k0, to = 3 * k1; break;
        case D3DPT_TRIANGLESTRIP: to = k1 + 2; break;
        case D3DPT_TRIANGLEFAN: from = k0 + 1, to = k1 + 2; break;
      }
      static thread_local std::vector<TVtx> scratch;
      static thread_local std::vector<uint8_t> need, keep;
      if (scratch.size() < to - from) scratch.resize(to - from);
      const uint8_t* data = q.Data.data() + c.DataOff;
      TVtx centre{};
      const TVtx* got = scratch.data();
      auto v = [got, from](DWORD j) -> const TVtx& { return got[j - from]; };
      const bool triangles = c.Type >= D3DPT_TRIANGLELIST;
      if (triangles) {
        // Positions first: only the corners of triangles that may be drawn are lit.
        const bool fan = c.Type == D3DPT_TRIANGLEFAN;
        static thread_local std::vector<TCorner> corners;
        if (corners.size() < to - from) corners.resize(to - from);
        TCorner centreCorner;
        PositionsAndCorners(vs, p.Vp, data + size_t(from) * c.Stride, c.Stride, to - from,
                             corners.data());
        if (fan) PositionsAndCorners(vs, p.Vp, data, c.Stride, 1, &centreCorner);
        auto corner = [&](DWORD j) -> const TCorner& { return corners[j - from]; };
        need.assign(to - from, 0);
        keep.assign(k1 - k0, 0);
        bool needCentre = false;
        for (DWORD k = k0; k < k1; ++k) {
          DWORD i0, i1, i2;  // the corners as SetupTriangle takes them
          if (c.Type == D3DPT_TRIANGLELIST) i0 = 3 * k, i1 = 3 * k + 1, i2 = 3 * k + 2;
          else if (c.Type == D3DPT_TRIANGLESTRIP) i0 = k, i1 = k % 2 ? k + 2 : k + 1, i2 = k % 2 ? k + 1 : k + 2;
          else i0 = 0, i1 = k + 1, i2 = k + 2;
          if (!MayDraw(p, fan ? centreCorner : corner(i0), corner(i1), corner(i2))) continue;
          keep[k - k0] = 1;
          if (fan) needCentre = true;
          else need[i0 - from] = 1;
          need[i1 - from] = need[i2 - from] = 1;
        }
        ProcessVertices(vs, c.Fvf, data + size_t(from) * c.Stride, to - from, scratch.data(), need.data());
        if (needCentre) ProcessVertices(vs, c.Fvf, data, 1, &centre);
      } else {
        ProcessVertices(vs, c.Fvf, data + size_t(from) * c.Stride, to - from, scratch.data());
      }
      for (DWORD k = k0; k < k1; ++k) {
        if (triangles && !keep[k - k0]) continue;
        switch (c.Type) {
          case D3DPT_POINTLIST: SetupPoint(p, c.Pix, v(k), b.Prims); break;
          case D3DPT_LINELIST: SetupLine(p, c.Pix, v(2 * k), v(2 * k + 1), false, b.Prims); break;
          case D3DPT_LINESTRIP: SetupLine(p, c.Pix, v(k), v(k + 1), false, b.Prims); break;
          case D3DPT_TRIANGLELIST:
            SetupTriangle(p, c.Pix, v(3 * k), v(3 * k + 1), v(3 * k + 2), b.Prims);
            break;
          case D3DPT_TRIANGLESTRIP:
            // Odd triangles are taken in the order (i, i+2, i+1) to keep the strip's winding.
            if (k % 2 == 0) SetupTriangle(p, c.Pix, v(k), v(k + 1), v(k + 2), b.Prims);
            else SetupTriangle(p, c.Pix, v(k), v(k + 2), v(k + 1), b.Prims);
            break;
          case D3DPT_TRIANGLEFAN: SetupTriangle(p, c.Pix, centre, v(k + 1), v(k + 2), b.Prims); break;
        }
      }
    }
    b.Start.assign(size_t(bands) + 1, 0);
    for (const TPrim& r : b.Prims)
      for (int k = r.Y0 / rows; k <= r.Y1 / rows; ++k) ++b.Start[size_t(k) + 1];
    for (int k = 0; k < bands; ++k) b.Start[size_t(k) + 1] += b.Start[size_t(k)];
    b.Refs.resize(b.Start[size_t(bands)]);
    std::vector<uint32_t> at(b.Start.begin(), b.Start.end() - 1);
    for (uint32_t j = 0; j < b.Prims.size(); ++j)
      for (int k = b.Prims[j].Y0 / rows; k <= b.Prims[j].Y1 / rows; ++k) b.Refs[at[size_t(k)]++] = j;
  });
  // 2. Each band draws its primitives in the order they were given.
  const size_t pieces = q.Pieces.size();
  forEach(size_t(bands), [&q, pieces, rows, height](size_t band) {
    const int y0 = int(band) * rows, y1 = std::min(height, y0 + rows);
    for (size_t i = 0; i < pieces; ++i) {
      const TBinned& b = q.Binned[i];
      for (uint32_t k = b.Start[band]; k < b.Start[band + 1]; ++k) {
        const TPrim& r = b.Prims[b.Refs[k]];
        switch (r.Kind) {
          case pkTriangle: DrawTriangle(q.Pix[r.Ref], r, y0, y1); break;
          case pkLine: DrawLine(q.Pix[r.Ref], r, y0, y1); break;
          case pkPoint: DrawPoint(q.Pix[r.Ref], r); break;
          case pkClear: ClearRows(q.Commands[r.Ref], y0, y1); break;
        }
      }
    }
  });
  q.Commands.clear();
  q.Data.clear();
  q.VertexTotal = 0;
  q.Pix.clear();
  q.Vertex.clear();
  q.Textures.clear();
  s.PixIndex = s.VertexIndex = UINT32_MAX;
}

}  // namespace ixoral
