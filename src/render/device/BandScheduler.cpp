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

// The surface's rows in bands of Rows rows (the last one may be shorter).
struct TBands {
  int Height, Rows, Count;
  TBands(int height, int rows) : Height(height), Rows(rows), Count(std::max(1, (height + rows - 1) / rows)) {}
};

// Whether the recorded drawing is so little work that waking the other threads would cost more.
bool IsSmallFlush(const TRecording& q) {
  size_t work = q.VertexTotal;
  for (const TCommand& c : q.Commands)
    if (c.IsClear) work += size_t(c.X1 - c.X0) * size_t(c.Y1 - c.Y0) / 256;
  return work < kSmallFlush;
}

// The set-up tasks: each clear on its own, each drawing in chunks of primitives.
void CutIntoPieces(TRecording& q) {
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
}

// The primitives of a piece of a drawing: their vertices transformed and lit (for triangles,
// only the corners of those that may be drawn, found from the positions first), then the
// primitives set up into `out`.
void SetUpDrawing(const TRecording& q, const TPiece& pc, std::vector<TPrim>& out) {
  using TVtx = TSoftwareDevice::TVtx;
  const TCommand& c = q.Commands[pc.Cmd];
  const TPix& p = q.Pix[c.Pix];
  const TVertexState& vs = q.Vertex[c.Vertex];
  const TPrimitiveRun run(c.Type, pc.First, pc.Last);
  const DWORD n = run.To - run.From;
  static thread_local std::vector<TVtx> scratch;
  static thread_local std::vector<uint8_t> need, keep;
  static thread_local std::vector<TCorner> corners;
  if (scratch.size() < n) scratch.resize(n);
  const uint8_t* data = q.Data.data() + c.DataOff;
  const uint8_t* first = data + size_t(run.From) * c.Stride;
  TVtx centre{};
  if (!run.Triangles()) {
    ProcessVertices(vs, c.Fvf, first, n, scratch.data());
    SetupPrimitives(p, c.Pix, run, scratch.data(), centre, nullptr, out);
    return;
  }
  if (corners.size() < n) corners.resize(n);
  TCorner centreCorner{};
  PositionsAndCorners(vs, p.Vp, first, c.Stride, n, corners.data());
  if (c.Type == D3DPT_TRIANGLEFAN) PositionsAndCorners(vs, p.Vp, data, c.Stride, 1, &centreCorner);
  need.assign(n, 0);
  keep.assign(run.Last - run.First, 0);
  const bool needCentre = MarkDrawnTriangles(p, run, corners.data(), centreCorner, need.data(), keep.data());
  ProcessVertices(vs, c.Fvf, first, n, scratch.data(), need.data());
  if (needCentre) ProcessVertices(vs, c.Fvf, data, 1, &centre);
  SetupPrimitives(p, c.Pix, run, scratch.data(), centre, keep.data(), out);
}

// Lists for each band the primitives of b that touch it, in their order.
void SortIntoBands(TBinned& b, const TBands& bands) {
  const int rows = bands.Rows;
  b.Start.assign(size_t(bands.Count) + 1, 0);
  for (const TPrim& r : b.Prims)
    for (int k = r.Y0 / rows; k <= r.Y1 / rows; ++k) ++b.Start[size_t(k) + 1];
  for (int k = 0; k < bands.Count; ++k) b.Start[size_t(k) + 1] += b.Start[size_t(k)];
  b.Refs.resize(b.Start[size_t(bands.Count)]);
  std::vector<uint32_t> at(b.Start.begin(), b.Start.end() - 1);
  for (uint32_t j = 0; j < b.Prims.size(); ++j)
    for (int k = b.Prims[j].Y0 / rows; k <= b.Prims[j].Y1 / rows; ++k) b.Refs[at[size_t(k)]++] = j;
}

// Set-up task i: a clear as it is, or the primitives of a piece of a drawing, sorted into bands.
void SetUpPiece(TRecording& q, size_t i, const TBands& bands) {
  const TPiece& pc = q.Pieces[i];
  const TCommand& c = q.Commands[pc.Cmd];
  TBinned& b = q.Binned[i];
  b.Prims.clear();
  if (c.IsClear) {
    TPrim& r = b.Prims.emplace_back();
    r.Kind = pkClear, r.Ref = pc.Cmd, r.Y0 = c.Y0, r.Y1 = c.Y1 - 1;
  } else {
    SetUpDrawing(q, pc, b.Prims);
  }
  SortIntoBands(b, bands);
}

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

// Draws a band, within rows from .. to - 1: the primitives that touch it, piece after piece, in
// the order they were given.
void DrawBand(const TRecording& q, size_t band, const TBands& bands, int from, int to) {
  const int y0 = std::max(from, int(band) * bands.Rows);
  const int y1 = std::min({bands.Height, int(band) * bands.Rows + bands.Rows, to});
  if (y0 >= y1) return;
  for (size_t i = 0; i < q.Pieces.size(); ++i) {
    const TBinned& b = q.Binned[i];
    for (uint32_t k = b.Start[band]; k < b.Start[band + 1]; ++k) {
      const TPrim& r = b.Prims[b.Refs[k]];
      if (r.Kind == pkClear)
        ClearRows(q.Commands[r.Ref], y0, y1);
      else
        DrawRows(q.Pix[r.Ref], r, y0, y1);
    }
  }
}

// Forgets the drawing once done, keeping the memory of the lists for the next one.
void ClearRecording(TRecording& q) {
  q.Commands.clear();
  q.Data.clear();
  q.VertexTotal = 0;
  q.Pix.clear();
  q.Vertex.clear();
  q.Textures.clear();
}

}  // namespace

bool TSoftwareDevice::SetRowWindow(int y0, int y1) {
  Flush();
  FQueue->RowsFrom = y0, FQueue->RowsTo = y1;
  return true;
}

void TSoftwareDevice::Flush() {
  TQueue& q = *FQueue;
  if (q.Commands.empty()) return;
  const TBands bands(FTarget.Height(), q.BandRows);
  // Little work is done on the caller's thread alone.
  const bool small = IsSmallFlush(q);
  auto forEach = [&](size_t n, const std::function<void(size_t)>& task) {
    if (small) {
      for (size_t i = 0; i < n; ++i) task(i);
    } else {
      q.Threads->ForEach(n, task);
    }
  };
  // 1. In chunks of primitives: transformation and lighting of their vertices, then clipping,
  // projection, culling and set-up while the vertices are still in the cache, each primitive
  // sorted into the bands it touches. Vertices two chunks share are done by both, the same way.
  CutIntoPieces(q);
  forEach(q.Pieces.size(), [&q, &bands](size_t i) { SetUpPiece(q, i, bands); });
  // 2. Each band draws its primitives in the order they were given.
  // Outside the row window nothing changes.
  const int from = std::clamp(q.RowsFrom, 0, bands.Height), to = std::clamp(q.RowsTo, from, bands.Height);
  const size_t firstBand = size_t(from / bands.Rows);
  const size_t lastBand = to > from ? size_t((to - 1) / bands.Rows) + 1 : firstBand;
  forEach(lastBand - firstBand,
          [&q, &bands, firstBand, from, to](size_t k) { DrawBand(q, firstBand + k, bands, from, to); });
  ClearRecording(q);
  FState->PixIndex = FState->VertexIndex = UINT32_MAX;
}

}  // namespace ixoral
