// The software device's recorder: construction, scenes, and the clears and drawings given, each
// recorded with the snapshot of the states it is drawn with; outside a scene each is flushed at
// once. The flush itself is in BandScheduler.cpp, the stages in their own files.
#include "render/device/SoftwareDevice.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "render/device/DeviceQueue.h"
#include "render/device/DeviceStates.h"

namespace ixoral {

using namespace device;

namespace {

// Rows of a band when the device chooses: small enough to share the work out evenly, large
// enough that most small triangles fall in one band.
constexpr int kDefaultBandRows = 16;
// Vertex bytes recorded beyond which the drawing recorded so far is done before going on.
constexpr size_t kMaxPendingBytes = size_t{64} << 20;

}  // namespace

TSoftwareDevice::TSoftwareDevice(TSurface& target, TMemoryLightDevice& lights, const TOptions& options)
    : FTarget(target),
      FLights(lights),
      FState(std::make_unique<TState>(target)),
      FQueue(std::make_unique<TQueue>(
          std::make_shared<TRenderThreads>(options.Threads > 0 ? options.Threads : TRenderThreads::DefaultCount()),
          options.BandRows > 0 ? std::min(options.BandRows, kMaxSurfaceSide) : kDefaultBandRows)) {}

TSoftwareDevice::TSoftwareDevice(TSurface& target, TMemoryLightDevice& lights)
    : TSoftwareDevice(target, lights, TOptions{}) {}

TSoftwareDevice::TSoftwareDevice(TSurface& target, TMemoryLightDevice& lights, std::shared_ptr<TRenderThreads> threads)
    : FTarget(target),
      FLights(lights),
      FState(std::make_unique<TState>(target)),
      FQueue(std::make_unique<TQueue>(
          threads ? std::move(threads) : std::make_shared<TRenderThreads>(TRenderThreads::DefaultCount()),
          kDefaultBandRows)) {}

TSoftwareDevice::~TSoftwareDevice() { Flush(); }

int TSoftwareDevice::ThreadCount() const { return FQueue->Threads->Count(); }
int TSoftwareDevice::BandRows() const { return FQueue->BandRows; }
TRenderThreads& TSoftwareDevice::Threads() const { return *FQueue->Threads; }

TSurface& TSoftwareDevice::RenderTarget() {
  Flush();
  return FTarget;
}

DWORD TSoftwareDevice::StencilCaps() const {
  return D3DSTENCILCAPS_KEEP | D3DSTENCILCAPS_ZERO | D3DSTENCILCAPS_REPLACE | D3DSTENCILCAPS_INCRSAT |
         D3DSTENCILCAPS_DECRSAT | D3DSTENCILCAPS_INVERT | D3DSTENCILCAPS_INCR | D3DSTENCILCAPS_DECR;
}

HRESULT TSoftwareDevice::BeginScene() {
  if (FState->InScene) return D3DERR_SCENE_IN_SCENE;
  FState->InScene = true;
  return D3D_OK;
}

HRESULT TSoftwareDevice::EndScene() {
  if (!FState->InScene) return D3DERR_SCENE_NOT_IN_SCENE;
  FState->InScene = false;
  Flush();
  return D3D_OK;
}

HRESULT TSoftwareDevice::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, D3DVALUE z,
                               DWORD stencil) {
  if ((flags & D3DCLEAR_ZBUFFER) && !FTarget.HasDepth()) return D3DERR_ZBUFFER_NOTPRESENT;
  if ((flags & D3DCLEAR_STENCIL) && !FTarget.HasStencil()) return D3DERR_STENCILBUFFER_NOTPRESENT;
  const D3DVIEWPORT7& vp = FState->Viewport;
  const int64_t vx0 = vp.dwX, vy0 = vp.dwY;
  const int64_t vx1 = std::min<int64_t>(vx0 + vp.dwWidth, FTarget.Width());
  const int64_t vy1 = std::min<int64_t>(vy0 + vp.dwHeight, FTarget.Height());
  D3DRECT whole{0, 0, FTarget.Width(), FTarget.Height()};
  if (count == 0 || rects == nullptr) {
    rects = &whole;
    count = 1;
  }
  const float zc = std::isfinite(z) ? std::clamp(z, 0.0f, 1.0f) : 1.0f;
  TQueue& q = *FQueue;
  for (DWORD i = 0; i < count; ++i) {
    const int64_t x0 = std::max<int64_t>(rects[i].x1, vx0), x1 = std::min<int64_t>(rects[i].x2, vx1);
    const int64_t y0 = std::max<int64_t>(rects[i].y1, vy0), y1 = std::min<int64_t>(rects[i].y2, vy1);
    if (x0 >= x1 || y0 >= y1 || !(flags & (D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL))) continue;
    TCommand c;
    c.IsClear = true;
    c.X0 = int(x0), c.Y0 = int(y0), c.X1 = int(x1), c.Y1 = int(y1);
    c.Pitch = FTarget.Width();
    c.Flags = flags;
    c.Color = color;
    c.Z = zc;
    c.StencilValue = static_cast<uint8_t>(stencil);
    c.ColorBuf = FTarget.Pixels();
    c.DepthBuf = FTarget.HasDepth() ? FTarget.Depth() : nullptr;
    c.StencilBuf = FTarget.HasStencil() ? FTarget.Stencil() : nullptr;
    q.Commands.push_back(c);
  }
  if (!FState->InScene) Flush();
  return D3D_OK;
}

uint32_t TSoftwareDevice::PixelStateIndex() {
  TState& s = *FState;
  TQueue& q = *FQueue;
  // The planes may have been attached or detached since.
  const TPix& cur = s.CurPix;
  if (cur.Color != FTarget.Pixels() || cur.Depth != (FTarget.HasDepth() ? FTarget.Depth() : nullptr) ||
      cur.StencilBuf != (FTarget.HasStencil() ? FTarget.Stencil() : nullptr))
    s.PixDirty = true;
  if (s.PixDirty) {
    PreparePixelState();
    s.PixDirty = false;
    s.PixIndex = UINT32_MAX;
  }
  if (s.PixIndex == UINT32_MAX) {
    q.Pix.push_back(s.CurPix);
    if (s.CurPix.Textured) q.Textures.push_back(s.Textures[0]);
    s.PixIndex = static_cast<uint32_t>(q.Pix.size() - 1);
  }
  return s.PixIndex;
}

uint32_t TSoftwareDevice::VertexStateIndex() {
  TState& s = *FState;
  TQueue& q = *FQueue;
  if (s.VertexDirty || s.LightRevision != FLights.Revision()) {
    UpdateMatrices();
    TVertexState& vs = s.CurVertex;
    std::memcpy(vs.Rs, s.Rs, sizeof vs.Rs);
    vs.Material = s.Material;
    std::memcpy(vs.Wv, s.Wv, sizeof vs.Wv);
    std::memcpy(vs.Wvp, s.Wvp, sizeof vs.Wvp);
    std::memcpy(vs.Nrm, s.Nrm, sizeof vs.Nrm);
    // Enabled lights in camera space.
    vs.Lights.clear();
    if (s.Rs[D3DRENDERSTATE_LIGHTING] != 0) {
      for (const auto& [index, l] : FLights.Lights()) {
        bool on = false;
        if (!FLights.GetLightEnable(index, on) || !on) continue;
        vs.Lights.push_back(CameraSpaceLight(l, s.View.m));
      }
    }
    vs.AnySpecularLight = false;
    for (const TLightC& l : vs.Lights) vs.AnySpecularLight |= l.HasSpecular;
    s.VertexDirty = false;
    s.LightRevision = FLights.Revision();
    s.VertexIndex = UINT32_MAX;
  }
  if (s.VertexIndex == UINT32_MAX) {
    q.Vertex.push_back(s.CurVertex);
    s.VertexIndex = static_cast<uint32_t>(q.Vertex.size() - 1);
  }
  return s.VertexIndex;
}

HRESULT TSoftwareDevice::DrawPrimitive(D3DPRIMITIVETYPE type, DWORD fvf, const void* vertices, DWORD count,
                                       DWORD /*flags*/) {
  if ((fvf & D3DFVF_POSITION_MASK) != D3DFVF_XYZ) return D3DERR_INVALIDVERTEXTYPE;
  if (fvf & ~(D3DFVF_POSITION_MASK | D3DFVF_NORMAL | D3DFVF_RESERVED1 | D3DFVF_DIFFUSE | D3DFVF_SPECULAR |
              D3DFVF_TEXCOUNT_MASK))
    return D3DERR_INVALIDVERTEXTYPE;
  if (type < D3DPT_POINTLIST || type > D3DPT_TRIANGLEFAN) return D3DERR_INVALIDPRIMITIVETYPE;
  if (count > kMaxVertices) return D3DERR_TOOMANYVERTICES;
  if (count == 0 || vertices == nullptr) return D3D_OK;
  if (!FTarget.Valid()) return D3D_OK;
  TQueue& q = *FQueue;
  const size_t stride = TVertexLayout(fvf).Stride;
  const size_t bytes = stride * count;
  if (!q.Commands.empty() && q.Data.size() + bytes > kMaxPendingBytes) Flush();
  TCommand c;
  c.Pix = PixelStateIndex();
  const TPix& p = q.Pix[c.Pix];
  if (p.X0 >= p.X1 || p.Y0 >= p.Y1) return D3D_OK;  // empty viewport
  if (PrimitiveCount(type, count) == 0) return D3D_OK;
  c.Vertex = VertexStateIndex();
  c.Type = type;
  c.Fvf = fvf;
  c.Count = count;
  c.Stride = static_cast<uint32_t>(stride);
  c.DataOff = q.Data.size();
  const auto* data = static_cast<const uint8_t*>(vertices);
  q.Data.insert(q.Data.end(), data, data + bytes);
  q.VertexTotal += count;
  q.Commands.push_back(c);
  if (!FState->InScene) Flush();
  return D3D_OK;
}

}  // namespace ixoral
