// The Direct3D 7 records used as the in-memory form of meshes, transforms, materials, lights and
// viewports, with their published layouts and numbering.
#pragma once

#include <cstdint>

namespace ixoral {

using D3DVALUE = float;
using D3DCOLOR = uint32_t;  // 0xAARRGGBB; an object's alpha byte is its opacity
using DWORD = uint32_t;

struct D3DVECTOR {
  D3DVALUE x = 0, y = 0, z = 0;
};

// Row-major 4 x 4 matrix; a point p is transformed as p x M, translation in the fourth row.
struct D3DMATRIX {
  union {
    struct {
      D3DVALUE _11, _12, _13, _14;
      D3DVALUE _21, _22, _23, _24;
      D3DVALUE _31, _32, _33, _34;
      D3DVALUE _41, _42, _43, _44;
    };
    D3DVALUE m[4][4];
  };
  D3DMATRIX() : m{} {}
};

struct D3DCOLORVALUE {
  D3DVALUE r = 0, g = 0, b = 0, a = 0;
};

struct D3DVERTEX {
  D3DVALUE x = 0, y = 0, z = 0;
  D3DVALUE nx = 0, ny = 0, nz = 0;
  D3DVALUE tu = 0, tv = 0;
};

struct D3DLVERTEX {
  D3DVALUE x = 0, y = 0, z = 0;
  DWORD dwReserved = 0;
  D3DCOLOR color = 0;
  D3DCOLOR specular = 0;
  D3DVALUE tu = 0, tv = 0;
};

struct D3DMATERIAL7 {
  D3DCOLORVALUE diffuse, ambient, specular, emissive;
  D3DVALUE power = 0;
};

enum D3DLIGHTTYPE : int32_t {
  D3DLIGHT_POINT = 1,
  D3DLIGHT_SPOT = 2,
  D3DLIGHT_DIRECTIONAL = 3,
};

struct D3DLIGHT7 {
  D3DLIGHTTYPE dltType = D3DLIGHT_POINT;
  D3DCOLORVALUE dcvDiffuse, dcvSpecular, dcvAmbient;
  D3DVECTOR dvPosition, dvDirection;
  D3DVALUE dvRange = 0, dvFalloff = 0;
  D3DVALUE dvAttenuation0 = 0, dvAttenuation1 = 0, dvAttenuation2 = 0;
  D3DVALUE dvTheta = 0, dvPhi = 0;
};

struct D3DVIEWPORT7 {
  DWORD dwX = 0, dwY = 0, dwWidth = 0, dwHeight = 0;
  D3DVALUE dvMinZ = 0, dvMaxZ = 1;
};

// Primitive types stored in a component.
enum D3DPRIMITIVETYPE : int32_t {
  D3DPT_POINTLIST = 1,
  D3DPT_LINELIST = 2,
  D3DPT_LINESTRIP = 3,
  D3DPT_TRIANGLELIST = 4,
  D3DPT_TRIANGLESTRIP = 5,
  D3DPT_TRIANGLEFAN = 6,
};

inline constexpr DWORD D3DFVF_VERTEX = 0x112;
inline constexpr DWORD D3DFVF_LVERTEX = 0x1E2;

static_assert(sizeof(D3DVECTOR) == 12);
static_assert(sizeof(D3DMATRIX) == 64);
static_assert(sizeof(D3DVERTEX) == 32);
static_assert(sizeof(D3DLVERTEX) == 32);
static_assert(sizeof(D3DMATERIAL7) == 68);
static_assert(sizeof(D3DLIGHT7) == 104);
static_assert(sizeof(D3DVIEWPORT7) == 24);

// The usual colour makers: each component x 255, rounded; D3DRGB is opaque.
constexpr D3DCOLOR D3DRGBA(double r, double g, double b, double a) {
  auto c = [](double v) -> D3DCOLOR {
    if (!(v > 0)) return 0;
    if (v >= 1) return 255;
    return static_cast<D3DCOLOR>(v * 255.0 + 0.5);
  };
  return (c(a) << 24) | (c(r) << 16) | (c(g) << 8) | c(b);
}
constexpr D3DCOLOR D3DRGB(double r, double g, double b) { return D3DRGBA(r, g, b, 1.0); }

}  // namespace ixoral
