// "Logiciel": the software rasterizer with Direct3D 7 fixed-function semantics (per-vertex
// lighting, flat/Gouraud shading, z-buffer, 8-bit stencil, alpha blending, one texture stage).
// Within a scene the drawing is recorded and done at the next flush (EndScene, RenderTarget,
// SetViewport, Flush, the device's end) by every core: in chunks of primitives, vertices are
// transformed (the corners of triangles that may be drawn lit) and primitives set up and sorted
// into bands of surface rows; then each band draws its primitives in the order they were given.
// Outside a scene each call is done before it returns. Every pixel is computed exactly as with
// one thread, so the same input always gives the same pixels whatever the thread count.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "render/device/RenderDevice.h"
#include "scene/LightDevice.h"

namespace ixoral {

class TRenderThreads;

class TSoftwareDevice final : public IRenderDevice {
 public:
  struct TOptions {
    // Drawing threads, the caller's included; 0: IXORAL_RENDER_THREADS when set, else one per core.
    int Threads = 0;
    // Rows of the surface in one band; 0: the device's choice.
    int BandRows = 0;
  };

  // Draws on `target` (which must outlive the device); lights are read from and written to
  // `lights`, the one store of the scene's Direct3D lights.
  TSoftwareDevice(TSurface& target, TMemoryLightDevice& lights);
  TSoftwareDevice(TSurface& target, TMemoryLightDevice& lights, const TOptions& options);
  // Draws with `threads` (null: threads of its own, as above), which outlive the device when
  // others hold them too: the display device hands the same threads to each device it makes.
  // Rows per band: the device's choice.
  TSoftwareDevice(TSurface& target, TMemoryLightDevice& lights, std::shared_ptr<TRenderThreads> threads);
  // Finishes the drawing given so far; the drawing threads are joined unless shared.
  ~TSoftwareDevice() override;
  TSoftwareDevice(const TSoftwareDevice&) = delete;
  TSoftwareDevice& operator=(const TSoftwareDevice&) = delete;

  // Threads that draw (the caller's included), and rows per band.
  int ThreadCount() const;
  int BandRows() const;
  // The drawing threads themselves.
  TRenderThreads& Threads() const;

  // Vertices one DrawPrimitive call accepts.
  static constexpr DWORD kMaxVertices = 1u << 22;

  HRESULT BeginScene() override;
  HRESULT EndScene() override;
  HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, D3DVALUE z, DWORD stencil) override;
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX& matrix) override;
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX& matrix) override;
  HRESULT SetViewport(const D3DVIEWPORT7& viewport) override;
  HRESULT GetViewport(D3DVIEWPORT7& viewport) override;
  HRESULT SetMaterial(const D3DMATERIAL7& material) override;
  HRESULT GetMaterial(D3DMATERIAL7& material) override;
  HRESULT SetLight(DWORD index, const D3DLIGHT7& light) override;
  HRESULT GetLight(DWORD index, D3DLIGHT7& light) override;
  HRESULT LightEnable(DWORD index, bool enable) override;
  HRESULT GetLightEnable(DWORD index, bool& enabled) override;
  HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
  HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD& value) override;
  HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD value) override;
  HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD& value) override;
  HRESULT SetTexture(DWORD stage, std::shared_ptr<TTextureSurface> texture) override;
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, DWORD fvf, const void* vertices, DWORD count, DWORD flags = 0) override;
  // The surface, with every drawing given so far done on it.
  TSurface& RenderTarget() override;
  void Flush() override;
  DWORD StencilCaps() const override;
  // The drawing given so far is done first, in the window it was given with.
  bool SetRowWindow(int y0, int y1) override;

  // A vertex after transformation and lighting: clip-space position, diffuse and specular colours
  // (0..255) and texture coordinates.
  struct TVtx {
    float x, y, z, w;
    float r, g, b, a;
    float sr, sg, sb;
    float u, v;
  };

 private:
  struct TState;
  struct TQueue;
  void PreparePixelState();
  uint32_t PixelStateIndex();
  uint32_t VertexStateIndex();
  void UpdateMatrices();

  TSurface& FTarget;
  TMemoryLightDevice& FLights;
  std::unique_ptr<TState> FState;
  std::unique_ptr<TQueue> FQueue;
};

}  // namespace ixoral
