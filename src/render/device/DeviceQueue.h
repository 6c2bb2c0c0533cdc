// The drawing a software device records within a scene until its next flush: the commands in the
// order given, their vertices and state snapshots, and what the flush's set-up makes of them.
#pragma once

#include <climits>
#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

#include "render/device/RenderThreads.h"
#include "render/device/TriangleSetup.h"

namespace ixoral {

namespace device {

// One drawing or clear given to the device, in the order given.
struct TCommand {
  bool IsClear = false;
  D3DPRIMITIVETYPE Type = D3DPT_POINTLIST;
  DWORD Fvf = 0, Count = 0;
  uint32_t Stride = 0, Pix = 0, Vertex = 0;
  size_t DataOff = 0;
  // A clear: rows Y0 .. Y1 - 1 and columns X0 .. X1 - 1 of the planes in Flags.
  int X0 = 0, Y0 = 0, X1 = 0, Y1 = 0, Pitch = 0;
  DWORD Flags = 0;
  D3DCOLOR Color = 0;
  float Z = 1;
  uint8_t StencilValue = 0;
  uint32_t* ColorBuf = nullptr;
  float* DepthBuf = nullptr;
  uint8_t* StencilBuf = nullptr;
};

// A task: vertices or primitives First .. Last - 1 of a command.
struct TPiece {
  uint32_t Cmd;
  DWORD First, Last;
};

// What one set-up task made, and for each band the primitives in it (Refs[Start[b] .. Start[b + 1]).
struct TBinned {
  std::vector<TPrim> Prims;
  std::vector<uint32_t> Refs, Start;
};

// The commands recorded and their data, and the set-up tasks of the flush that draws them.
struct TRecording {
  std::vector<TCommand> Commands;
  std::vector<uint8_t> Data;  // the vertices given, as given
  size_t VertexTotal = 0;
  std::vector<TPix> Pix;
  std::vector<TVertexState> Vertex;
  std::vector<std::shared_ptr<TTextureSurface>> Textures;  // kept alive until drawn
  std::vector<TPiece> Pieces;
  std::vector<TBinned> Binned;
};

}  // namespace device

// The recording and the threads that draw it.
struct TSoftwareDevice::TQueue : device::TRecording {
  std::shared_ptr<TRenderThreads> Threads;
  int BandRows;
  // Rows the flush may change: RowsFrom .. RowsTo - 1.
  int RowsFrom = 0, RowsTo = INT_MAX;
  TQueue(std::shared_ptr<TRenderThreads> threads, int bandRows) : Threads(std::move(threads)), BandRows(bandRows) {}
};

}  // namespace ixoral
