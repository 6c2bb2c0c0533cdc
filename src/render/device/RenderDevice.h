// The immediate-mode drawing device, shaped like a Direct3D 7 device: scenes, clears, transforms,
// viewport, material, lights, render and texture-stage states, textures and primitives.
#pragma once

#include <memory>

#include "render/device/D3DConstants.h"
#include "render/device/Surface.h"

namespace ixoral {

class IRenderDevice {
 public:
  virtual ~IRenderDevice() = default;

  virtual HRESULT BeginScene() = 0;
  virtual HRESULT EndScene() = 0;
  // Clears the given rectangles (all of the viewport when count is 0), each cut to the viewport.
  virtual HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, D3DVALUE z, DWORD stencil) = 0;
  virtual HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX& matrix) = 0;
  virtual HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX& matrix) = 0;
  virtual HRESULT SetViewport(const D3DVIEWPORT7& viewport) = 0;
  virtual HRESULT GetViewport(D3DVIEWPORT7& viewport) = 0;
  virtual HRESULT SetMaterial(const D3DMATERIAL7& material) = 0;
  virtual HRESULT GetMaterial(D3DMATERIAL7& material) = 0;
  virtual HRESULT SetLight(DWORD index, const D3DLIGHT7& light) = 0;
  virtual HRESULT GetLight(DWORD index, D3DLIGHT7& light) = 0;
  virtual HRESULT LightEnable(DWORD index, bool enable) = 0;
  virtual HRESULT GetLightEnable(DWORD index, bool& enabled) = 0;
  virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) = 0;
  virtual HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD& value) = 0;
  virtual HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD value) = 0;
  virtual HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD& value) = 0;
  // The texture of a stage; a null texture (or one the device did not make) draws untextured.
  virtual HRESULT SetTexture(DWORD stage, std::shared_ptr<TTextureSurface> texture) = 0;
  // Draws `count` vertices of the flexible format `fvf` laid out one after another; vertices that
  // do not make a whole primitive at the end are ignored.
  virtual HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, DWORD fvf, const void* vertices, DWORD count,
                                DWORD flags = 0) = 0;

  // The surface drawn on, with its attached depth and stencil planes, every drawing given so far
  // done on it.
  virtual TSurface& RenderTarget() = 0;
  // Finishes the drawing given so far: the surface then holds its pixels. A device may draw later
  // than asked within a scene; EndScene and RenderTarget flush too.
  virtual void Flush() = 0;
  // D3DSTENCILCAPS_ flags of the stencil operations the device performs.
  virtual DWORD StencilCaps() const = 0;
  // Limits what clears and drawings change to rows y0 .. y1 - 1 of the surface (the whole
  // surface again with 0 and INT_MAX); each row comes out as if everything had been drawn. False
  // when the device cannot, and then draws everywhere.
  virtual bool SetRowWindow(int y0, int y1) {
    (void)y0, (void)y1;
    return false;
  }
};

}  // namespace ixoral
