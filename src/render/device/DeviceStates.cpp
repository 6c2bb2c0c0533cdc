// The software device's states: their initial values, the state calls, the matrices of a drawing
// and the pixel stages' snapshot of the states; vertex formats and primitive counts.
#include "render/device/DeviceStates.h"

#include <algorithm>
#include <cmath>

namespace ixoral {

using namespace device;

namespace {

void Mul(const float a[4][4], const float b[4][4], float out[4][4]) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      double s = 0;
      for (int k = 0; k < 4; ++k) s += double(a[i][k]) * b[k][j];
      out[i][j] = static_cast<float>(s);
    }
}

}  // namespace

namespace device {

DWORD PrimitiveCount(D3DPRIMITIVETYPE type, DWORD count) {
  switch (type) {
    case D3DPT_POINTLIST:
      return count;
    case D3DPT_LINELIST:
      return count / 2;
    case D3DPT_LINESTRIP:
      return count >= 2 ? count - 1 : 0;
    case D3DPT_TRIANGLELIST:
      return count / 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
      return count >= 3 ? count - 2 : 0;
  }
  return 0;
}

TLightC CameraSpaceLight(const D3DLIGHT7& l, const float v[4][4]) {
  TLightC c{};
  c.Type = l.dltType;
  c.Diffuse[0] = l.dcvDiffuse.r, c.Diffuse[1] = l.dcvDiffuse.g, c.Diffuse[2] = l.dcvDiffuse.b;
  c.Specular[0] = l.dcvSpecular.r, c.Specular[1] = l.dcvSpecular.g, c.Specular[2] = l.dcvSpecular.b;
  c.Ambient[0] = l.dcvAmbient.r, c.Ambient[1] = l.dcvAmbient.g, c.Ambient[2] = l.dcvAmbient.b;
  const float p[3] = {l.dvPosition.x, l.dvPosition.y, l.dvPosition.z};
  const float d[3] = {l.dvDirection.x, l.dvDirection.y, l.dvDirection.z};
  for (int j = 0; j < 3; ++j) {
    c.Pos[j] = p[0] * v[0][j] + p[1] * v[1][j] + p[2] * v[2][j] + v[3][j];
    c.Dir[j] = d[0] * v[0][j] + d[1] * v[1][j] + d[2] * v[2][j];
  }
  const float len = std::sqrt(c.Dir[0] * c.Dir[0] + c.Dir[1] * c.Dir[1] + c.Dir[2] * c.Dir[2]);
  if (len > 0 && std::isfinite(len))
    for (float& x : c.Dir) x /= len;
  c.Range = l.dvRange;
  c.A0 = l.dvAttenuation0, c.A1 = l.dvAttenuation1, c.A2 = l.dvAttenuation2;
  c.CosTheta = std::cos(l.dvTheta * 0.5f);
  c.CosPhi = std::cos(l.dvPhi * 0.5f);
  c.Falloff = l.dvFalloff;
  c.HasSpecular = c.Specular[0] != 0 || c.Specular[1] != 0 || c.Specular[2] != 0;
  return c;
}

}  // namespace device

TSoftwareDevice::TState::TState(const TSurface& target) {
  DWORD* rs = Rs;
  rs[D3DRENDERSTATE_TEXTUREPERSPECTIVE] = 1;
  rs[D3DRENDERSTATE_ZENABLE] = target.HasDepth() ? D3DZB_TRUE : D3DZB_FALSE;
  rs[D3DRENDERSTATE_FILLMODE] = D3DFILL_SOLID;
  rs[D3DRENDERSTATE_SHADEMODE] = D3DSHADE_GOURAUD;
  rs[D3DRENDERSTATE_ZWRITEENABLE] = 1;
  rs[D3DRENDERSTATE_LASTPIXEL] = 1;
  rs[D3DRENDERSTATE_SRCBLEND] = D3DBLEND_ONE;
  rs[D3DRENDERSTATE_DESTBLEND] = D3DBLEND_ZERO;
  rs[D3DRENDERSTATE_CULLMODE] = D3DCULL_CCW;
  rs[D3DRENDERSTATE_ZFUNC] = D3DCMP_LESSEQUAL;
  rs[D3DRENDERSTATE_ALPHAFUNC] = D3DCMP_ALWAYS;
  rs[D3DRENDERSTATE_STENCILFAIL] = D3DSTENCILOP_KEEP;
  rs[D3DRENDERSTATE_STENCILZFAIL] = D3DSTENCILOP_KEEP;
  rs[D3DRENDERSTATE_STENCILPASS] = D3DSTENCILOP_KEEP;
  rs[D3DRENDERSTATE_STENCILFUNC] = D3DCMP_ALWAYS;
  rs[D3DRENDERSTATE_STENCILMASK] = 0xFFFFFFFF;
  rs[D3DRENDERSTATE_STENCILWRITEMASK] = 0xFFFFFFFF;
  rs[D3DRENDERSTATE_TEXTUREFACTOR] = 0xFFFFFFFF;
  rs[D3DRENDERSTATE_CLIPPING] = 1;
  rs[D3DRENDERSTATE_LIGHTING] = 1;
  rs[D3DRENDERSTATE_COLORVERTEX] = 1;
  rs[D3DRENDERSTATE_LOCALVIEWER] = 1;
  rs[D3DRENDERSTATE_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
  rs[D3DRENDERSTATE_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
  rs[D3DRENDERSTATE_AMBIENTMATERIALSOURCE] = D3DMCS_COLOR2;
  rs[D3DRENDERSTATE_EMISSIVEMATERIALSOURCE] = D3DMCS_MATERIAL;
  for (DWORD st = 0; st < kTextureStageCount; ++st) {
    DWORD* t = Tss[st];
    t[D3DTSS_COLOROP] = st == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    t[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
    t[D3DTSS_COLORARG2] = D3DTA_CURRENT;
    t[D3DTSS_ALPHAOP] = st == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    t[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    t[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    t[D3DTSS_TEXCOORDINDEX] = st;
    t[D3DTSS_ADDRESS] = t[D3DTSS_ADDRESSU] = t[D3DTSS_ADDRESSV] = D3DTADDRESS_WRAP;
    t[D3DTSS_MAGFILTER] = D3DTFG_POINT;
    t[D3DTSS_MINFILTER] = D3DTFN_POINT;
    t[D3DTSS_MIPFILTER] = 1;
  }
  for (int i = 0; i < 4; ++i) World.m[i][i] = View.m[i][i] = Proj.m[i][i] = 1;
  Viewport.dwWidth = static_cast<DWORD>(target.Width());
  Viewport.dwHeight = static_cast<DWORD>(target.Height());
}

HRESULT TSoftwareDevice::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX& m) {
  switch (state) {
    case D3DTRANSFORMSTATE_WORLD:
      FState->World = m;
      break;
    case D3DTRANSFORMSTATE_VIEW:
      FState->View = m;
      break;
    case D3DTRANSFORMSTATE_PROJECTION:
      FState->Proj = m;
      break;
    default:
      return DDERR_INVALIDPARAMS;
  }
  FState->MatricesDirty = true;
  FState->VertexDirty = true;
  return D3D_OK;
}

HRESULT TSoftwareDevice::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX& m) {
  switch (state) {
    case D3DTRANSFORMSTATE_WORLD:
      m = FState->World;
      break;
    case D3DTRANSFORMSTATE_VIEW:
      m = FState->View;
      break;
    case D3DTRANSFORMSTATE_PROJECTION:
      m = FState->Proj;
      break;
    default:
      return DDERR_INVALIDPARAMS;
  }
  return D3D_OK;
}

HRESULT TSoftwareDevice::SetViewport(const D3DVIEWPORT7& vp) {
  if (!std::isfinite(vp.dvMinZ) || !std::isfinite(vp.dvMaxZ)) return DDERR_INVALIDPARAMS;
  // As Direct3D: the viewport lies within the render target.
  if (int64_t{vp.dwX} + vp.dwWidth > FTarget.Width() || int64_t{vp.dwY} + vp.dwHeight > FTarget.Height())
    return DDERR_INVALIDPARAMS;
  // Drawings keep the viewport they were given with; the flush is for readers that expect the
  // surface to be up to date once the drawing moves on to another view.
  Flush();
  FState->Viewport = vp;
  FState->PixDirty = true;
  return D3D_OK;
}

HRESULT TSoftwareDevice::GetViewport(D3DVIEWPORT7& vp) {
  vp = FState->Viewport;
  return D3D_OK;
}

HRESULT TSoftwareDevice::SetMaterial(const D3DMATERIAL7& m) {
  FState->Material = m;
  FState->VertexDirty = true;
  return D3D_OK;
}

HRESULT TSoftwareDevice::GetMaterial(D3DMATERIAL7& m) {
  m = FState->Material;
  return D3D_OK;
}

HRESULT TSoftwareDevice::SetLight(DWORD index, const D3DLIGHT7& light) {
  if (index > static_cast<DWORD>(TMemoryLightDevice::kMaxLightIndex)) return DDERR_INVALIDPARAMS;
  return FLights.SetLight(static_cast<int>(index), light) ? D3D_OK : DDERR_INVALIDPARAMS;
}

HRESULT TSoftwareDevice::GetLight(DWORD index, D3DLIGHT7& light) {
  if (index > static_cast<DWORD>(TMemoryLightDevice::kMaxLightIndex)) return DDERR_INVALIDPARAMS;
  return FLights.GetLight(static_cast<int>(index), light) ? D3D_OK : DDERR_INVALIDPARAMS;
}

HRESULT TSoftwareDevice::LightEnable(DWORD index, bool enable) {
  if (index > static_cast<DWORD>(TMemoryLightDevice::kMaxLightIndex)) return DDERR_INVALIDPARAMS;
  return FLights.LightEnable(static_cast<int>(index), enable) ? D3D_OK : DDERR_INVALIDPARAMS;
}

HRESULT TSoftwareDevice::GetLightEnable(DWORD index, bool& enabled) {
  if (index > static_cast<DWORD>(TMemoryLightDevice::kMaxLightIndex)) return DDERR_INVALIDPARAMS;
  return FLights.GetLightEnable(static_cast<int>(index), enabled) ? D3D_OK : DDERR_INVALIDPARAMS;
}

HRESULT TSoftwareDevice::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
  if (state >= kRenderStateCount) return DDERR_INVALIDPARAMS;
  if (FState->Rs[state] != value) {
    FState->Rs[state] = value;
    FState->PixDirty = FState->VertexDirty = true;
  }
  return D3D_OK;
}

HRESULT TSoftwareDevice::GetRenderState(D3DRENDERSTATETYPE state, DWORD& value) {
  if (state >= kRenderStateCount) return DDERR_INVALIDPARAMS;
  value = FState->Rs[state];
  return D3D_OK;
}

HRESULT TSoftwareDevice::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD value) {
  if (stage >= kTextureStageCount || state >= kTextureStageStateCount) return DDERR_INVALIDPARAMS;
  FState->Tss[stage][state] = value;
  if (state == D3DTSS_ADDRESS) FState->Tss[stage][D3DTSS_ADDRESSU] = FState->Tss[stage][D3DTSS_ADDRESSV] = value;
  FState->PixDirty = true;
  return D3D_OK;
}

HRESULT TSoftwareDevice::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD& value) {
  if (stage >= kTextureStageCount || state >= kTextureStageStateCount) return DDERR_INVALIDPARAMS;
  value = FState->Tss[stage][state];
  return D3D_OK;
}

HRESULT TSoftwareDevice::SetTexture(DWORD stage, std::shared_ptr<TTextureSurface> texture) {
  if (stage >= kTextureStageCount) return DDERR_INVALIDPARAMS;
  FState->Textures[stage] = std::move(texture);
  FState->PixDirty = true;
  return D3D_OK;
}

void TSoftwareDevice::UpdateMatrices() {
  TState& s = *FState;
  if (!s.MatricesDirty) return;
  Mul(s.World.m, s.View.m, s.Wv);
  Mul(s.Wv, s.Proj.m, s.Wvp);
  // Normals go through the inverse transpose of the world-view matrix's 3 x 3 part, and are not
  // renormalised: the non-unit normals of the shape generators light as they did.
  const float(&a)[4][4] = s.Wv;
  const double c00 = double(a[1][1]) * a[2][2] - double(a[1][2]) * a[2][1];
  const double c01 = double(a[1][2]) * a[2][0] - double(a[1][0]) * a[2][2];
  const double c02 = double(a[1][0]) * a[2][1] - double(a[1][1]) * a[2][0];
  const double c10 = double(a[0][2]) * a[2][1] - double(a[0][1]) * a[2][2];
  const double c11 = double(a[0][0]) * a[2][2] - double(a[0][2]) * a[2][0];
  const double c12 = double(a[0][1]) * a[2][0] - double(a[0][0]) * a[2][1];
  const double c20 = double(a[0][1]) * a[1][2] - double(a[0][2]) * a[1][1];
  const double c21 = double(a[0][2]) * a[1][0] - double(a[0][0]) * a[1][2];
  const double c22 = double(a[0][0]) * a[1][1] - double(a[0][1]) * a[1][0];
  const double det = a[0][0] * c00 + a[0][1] * c01 + a[0][2] * c02;
  // Row-vector n' = n x inverse(M)^T; inverse(M)^T = cofactor(M) / det.
  const double inv = (det != 0 && std::isfinite(det)) ? 1.0 / det : 0.0;
  const double cof[3][3] = {{c00, c01, c02}, {c10, c11, c12}, {c20, c21, c22}};
  // n'_j = sum_i n_i * (inverse(M)^T)^T... written out: (inverse M)^T = cof/det, and a row vector
  // times it gives n'_j = sum_i n_i * cof[j][i] / det.
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) s.Nrm[i][j] = static_cast<float>(cof[j][i] * inv);
  s.MatricesDirty = false;
}

void TSoftwareDevice::PreparePixelState() {
  TState& s = *FState;
  TPix& p = s.CurPix;
  const DWORD* rs = s.Rs;
  p.ZEnable = rs[D3DRENDERSTATE_ZENABLE] != D3DZB_FALSE && FTarget.HasDepth();
  p.ZWrite = rs[D3DRENDERSTATE_ZWRITEENABLE] != 0;
  p.ZFunc = rs[D3DRENDERSTATE_ZFUNC];
  p.Stencil = rs[D3DRENDERSTATE_STENCILENABLE] != 0 && FTarget.HasStencil();
  p.SFunc = rs[D3DRENDERSTATE_STENCILFUNC];
  p.SFail = rs[D3DRENDERSTATE_STENCILFAIL];
  p.SZFail = rs[D3DRENDERSTATE_STENCILZFAIL];
  p.SPass = rs[D3DRENDERSTATE_STENCILPASS];
  p.SRef = rs[D3DRENDERSTATE_STENCILREF] & 0xFF;
  p.SMask = rs[D3DRENDERSTATE_STENCILMASK] & 0xFF;
  p.SWMask = rs[D3DRENDERSTATE_STENCILWRITEMASK] & 0xFF;
  p.Blend = rs[D3DRENDERSTATE_ALPHABLENDENABLE] != 0;
  p.SrcBlend = rs[D3DRENDERSTATE_SRCBLEND];
  p.DstBlend = rs[D3DRENDERSTATE_DESTBLEND];
  // The two "both" source factors also set the destination factor.
  if (p.SrcBlend == D3DBLEND_BOTHSRCALPHA)
    p.SrcBlend = D3DBLEND_SRCALPHA, p.DstBlend = D3DBLEND_INVSRCALPHA;
  else if (p.SrcBlend == D3DBLEND_BOTHINVSRCALPHA)
    p.SrcBlend = D3DBLEND_INVSRCALPHA, p.DstBlend = D3DBLEND_SRCALPHA;
  p.AlphaTest = rs[D3DRENDERSTATE_ALPHATESTENABLE] != 0;
  p.AlphaFunc = rs[D3DRENDERSTATE_ALPHAFUNC];
  p.AlphaRef = rs[D3DRENDERSTATE_ALPHAREF] & 0xFF;
  p.Specular = rs[D3DRENDERSTATE_SPECULARENABLE] != 0;
  p.LastPixel = rs[D3DRENDERSTATE_LASTPIXEL] == 0;
  p.Flat = rs[D3DRENDERSTATE_SHADEMODE] == D3DSHADE_FLAT;
  p.Wire = rs[D3DRENDERSTATE_FILLMODE] == D3DFILL_WIREFRAME;
  p.Points = rs[D3DRENDERSTATE_FILLMODE] == D3DFILL_POINT;
  p.Cull = rs[D3DRENDERSTATE_CULLMODE];
  const TColorF tf = FromD3DColor(rs[D3DRENDERSTATE_TEXTUREFACTOR]);
  p.TFactor[0] = tf.r * 255, p.TFactor[1] = tf.g * 255, p.TFactor[2] = tf.b * 255, p.TFactor[3] = tf.a * 255;
  const DWORD* t = s.Tss[0];
  p.ColorOp = t[D3DTSS_COLOROP];
  p.ColorArg1 = t[D3DTSS_COLORARG1], p.ColorArg2 = t[D3DTSS_COLORARG2];
  p.AlphaOp = t[D3DTSS_ALPHAOP];
  p.AlphaArg1 = t[D3DTSS_ALPHAARG1], p.AlphaArg2 = t[D3DTSS_ALPHAARG2];
  p.AddrU = t[D3DTSS_ADDRESSU], p.AddrV = t[D3DTSS_ADDRESSV];
  p.Bilinear = t[D3DTSS_MAGFILTER] == D3DTFG_LINEAR;
  const auto* tex = dynamic_cast<const TSurface*>(s.Textures[0].get());
  // No texture (or the stage disabled) leaves the diffuse colour as it is.
  if (tex && tex->Valid() && p.ColorOp != D3DTOP_DISABLE) {
    p.Textured = true;
    p.Tex = tex->Pixels();
    p.TexW = tex->Width();
    p.TexH = tex->Height();
  } else {
    p.Textured = false;
    p.Tex = nullptr;
    p.TexW = p.TexH = 0;
  }
  const D3DVIEWPORT7& vp = s.Viewport;
  p.X0 = static_cast<int>(std::min<int64_t>(vp.dwX, FTarget.Width()));
  p.Y0 = static_cast<int>(std::min<int64_t>(vp.dwY, FTarget.Height()));
  p.X1 = static_cast<int>(std::min<int64_t>(int64_t{vp.dwX} + vp.dwWidth, FTarget.Width()));
  p.Y1 = static_cast<int>(std::min<int64_t>(int64_t{vp.dwY} + vp.dwHeight, FTarget.Height()));
  p.Pitch = FTarget.Width();
  p.Color = FTarget.Pixels();
  p.Depth = FTarget.HasDepth() ? FTarget.Depth() : nullptr;
  p.StencilBuf = FTarget.HasStencil() ? FTarget.Stencil() : nullptr;
  p.Vp = vp;
}

}  // namespace ixoral
