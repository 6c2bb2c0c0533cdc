// Helpers of the rendering tests: a device on a fresh surface, camera matrices, quads, and the
// comparison of a rendered picture with its reference (tolerance; actual and difference pictures
// written to the build folder on failure).
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "render/device/SoftwareDevice.h"
#include "tools/images/Image.h"

namespace ixoral::test {

inline D3DMATRIX IdentityMatrix() {
  D3DMATRIX m;
  for (int i = 0; i < 4; ++i) m.m[i][i] = 1;
  return m;
}

// Left-handed perspective projection (Direct3D convention: clip z in 0..w).
inline D3DMATRIX Perspective(float fovY, float aspect, float zn, float zf) {
  D3DMATRIX m;
  const float h = 1.0f / std::tan(fovY / 2), w = h / aspect, q = zf / (zf - zn);
  m._11 = w;
  m._22 = h;
  m._33 = q;
  m._34 = 1;
  m._43 = -q * zn;
  return m;
}

inline D3DMATRIX Translation(float x, float y, float z) {
  D3DMATRIX m = IdentityMatrix();
  m._41 = x, m._42 = y, m._43 = z;
  return m;
}

// A device drawing on its own surface with depth and stencil, camera at (0, 0, -3) looking +z.
struct TRig {
  TSurface Surface;
  TMemoryLightDevice Lights;
  TSoftwareDevice Device;
  explicit TRig(int w = 160, int h = 120) : Surface(w, h), Device((Surface.AttachDepth(true), Surface), Lights) {
    Device.SetTransform(D3DTRANSFORMSTATE_VIEW, Translation(0, 0, 3));
    Device.SetTransform(D3DTRANSFORMSTATE_PROJECTION, Perspective(0.8f, float(w) / float(h), 0.5f, 50.0f));
    D3DVIEWPORT7 vp;
    vp.dwWidth = w, vp.dwHeight = h;
    Device.SetViewport(vp);
    Device.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF000000, 1, 0);
  }
  uint32_t At(int x, int y) const { return Surface.Pixel(x, y); }
};

inline int Red(uint32_t c) { return (c >> 16) & 0xFF; }
inline int Green(uint32_t c) { return (c >> 8) & 0xFF; }
inline int Blue(uint32_t c) { return c & 0xFF; }

inline void ExpectColor(uint32_t c, int r, int g, int b, int tol = 1) {
  EXPECT_NEAR(Red(c), r, tol) << std::hex << c;
  EXPECT_NEAR(Green(c), g, tol) << std::hex << c;
  EXPECT_NEAR(Blue(c), b, tol) << std::hex << c;
}

// Two triangles (clockwise on the screen) covering the square of half-side `s` at depth z,
// facing the camera, with normal (0, 0, -normalLength).
inline std::vector<D3DVERTEX> Quad(float s, float z, float normalLength = 1, float cx = 0, float cy = 0) {
  auto v = [&](float x, float y, float tu, float tv) {
    D3DVERTEX r;
    r.x = cx + x, r.y = cy + y, r.z = z;
    r.nz = -normalLength;
    r.tu = tu, r.tv = tv;
    return r;
  };
  return {v(-s, s, 0, 0), v(s, s, 1, 0), v(s, -s, 1, 1), v(-s, s, 0, 0), v(s, -s, 1, 1), v(-s, -s, 0, 1)};
}

inline D3DMATERIAL7 Material(float r, float g, float b, float a = 1) {
  D3DMATERIAL7 m;
  m.diffuse = {r, g, b, a};
  m.ambient = {r, g, b, a};
  return m;
}

inline std::string OutputDir() {
  const std::string dir = std::string(IXORAL_TEST_OUTPUT_DIR) + "/render-pictures";
  std::filesystem::create_directories(dir);
  return dir;
}

// Compares with tests/data/render/<name>.bmp: a pixel differs when a channel is off by more than
// `tolerance`; at most `maxBadPixels` may differ. The picture is always written to the build
// folder; on failure the difference picture too. With IXORAL_UPDATE_REFERENCES set, a missing
// reference is written instead.
inline void ExpectMatchesReference(const TSurface& s, const std::string& name, int tolerance = 3,
                                   int maxBadPixels = 8) {
  const std::string out = OutputDir() + "/" + name + "-actual.bmp";
  WriteBmpFile(out, s.Width(), s.Height(), s.Pixels());
  const std::string refPath = std::string(IXORAL_TEST_DATA_DIR) + "/render/" + name + ".bmp";
  TImage ref;
  std::string message;
  if (!LoadImageFile(refPath, ref, message)) {
    if (std::getenv("IXORAL_UPDATE_REFERENCES")) {
      std::filesystem::create_directories(std::string(IXORAL_TEST_DATA_DIR) + "/render");
      WriteBmpFile(refPath, s.Width(), s.Height(), s.Pixels());
      return;
    }
    ADD_FAILURE() << "no reference picture " << refPath << " (" << message << ")";
    return;
  }
  ASSERT_EQ(ref.Width, s.Width());
  ASSERT_EQ(ref.Height, s.Height());
  std::vector<uint32_t> diff(size_t(s.Width()) * s.Height(), 0xFF000000);
  int bad = 0;
  for (int y = 0; y < s.Height(); ++y)
    for (int x = 0; x < s.Width(); ++x) {
      const uint32_t a = s.Pixel(x, y), b = ref.PixelAt(x, y);
      const int d = std::max({std::abs(Red(a) - Red(b)), std::abs(Green(a) - Green(b)), std::abs(Blue(a) - Blue(b))});
      if (d > tolerance) {
        ++bad;
        diff[size_t(y) * s.Width() + x] = 0xFFFF0000;
      } else {
        diff[size_t(y) * s.Width() + x] = 0xFF000000 | (uint32_t(d * 40 > 255 ? 255 : d * 40) << 8);
      }
    }
  if (bad > maxBadPixels) {
    WriteBmpFile(OutputDir() + "/" + name + "-diff.bmp", s.Width(), s.Height(), diff.data());
    ADD_FAILURE() << name << ": " << bad << " pixels differ from the reference; see " << out;
  }
}

}  // namespace ixoral::test
