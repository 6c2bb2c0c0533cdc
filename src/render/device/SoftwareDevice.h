// "Logiciel": the software rasterizer with Direct3D 7 fixed-function semantics (per-vertex
// lighting, flat/Gouraud shading, z-buffer, 8-bit stencil, alpha blending, one texture stage).
// Single-threaded, so the same input always gives the same pixels.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "render/device/RenderDevice.h"
#include "scene/LightDevice.h"

namespace ixoral {

class TSoftwareDevice final : public IRenderDevice {
 public:
  // Draws on `target` (which must outlive the device); lights are read from and written to
  // `lights`, the one store of the scene's Direct3D lights.
  TSoftwareDevice(TSurface& target, TMemoryLightDevice& lights);
  ~TSoftwareDevice() override;

  // Vertices one DrawPrimitive call accepts.
  static constexpr DWORD kMaxVertices = 1u << 22;

  HRESULT BeginScene() override;
  HRESULT EndScene() override;
  HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, D3DVALUE z,
                DWORD stencil) override;
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
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, DWORD fvf, const void* vertices, DWORD count,
                        DWORD flags = 0) override;
  TSurface& RenderTarget() override { return FTarget; }
  DWORD StencilCaps() const override;

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
  void ProcessVertices(DWORD fvf, const uint8_t* data, DWORD count);
  void DrawTriangle(const TVtx& v0, const TVtx& v1, const TVtx& v2);
  void DrawLine(const TVtx& v0, const TVtx& v1, bool lastPixel);
  void DrawPoint(const TVtx& v);
  void PreparePixelState();
  void UpdateMatrices();

  TSurface& FTarget;
  TMemoryLightDevice& FLights;
  std::unique_ptr<TState> FState;
  std::vector<TVtx> FVerts;
};

}  // namespace ixoral
