// The software device drawing with several threads: the same planes whatever the thread count and
// band height (random scenes with bad input included), drawing kept inside the viewport, the
// points where recorded drawing is finished, and the drawing threads themselves.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <utility>

#include "RenderTestUtil.h"
#include "render/DisplayDevice.h"
#include "render/device/RenderThreads.h"

namespace ixoral::test {
namespace {

// Colour, depth and stencil planes of two surfaces whose drawing is done, compared bit for bit.
bool SamePlanes(TSurface& a, TSurface& b) {
  const size_t n = size_t(a.Width()) * size_t(a.Height());
  if (n != size_t(b.Width()) * size_t(b.Height())) return false;
  return n == 0 || (std::memcmp(a.Pixels(), b.Pixels(), n * 4) == 0 && std::memcmp(a.Depth(), b.Depth(), n * 4) == 0 &&
                    std::memcmp(a.Stencil(), b.Stencil(), n) == 0);
}

// A device of a given thread count and band height on its own surface with depth and stencil.
struct TParallelRig {
  TSurface Surface;
  TMemoryLightDevice Lights;
  TSoftwareDevice Device;
  TParallelRig(int w, int h, int threads, int bandRows)
      : Surface(w, h), Device((Surface.AttachDepth(true), Surface), Lights, {threads, bandRows}) {}
  bool SamePlanes(TParallelRig& o) {
    o.Device.Flush();
    Device.Flush();
    return test::SamePlanes(Surface, o.Surface);
  }
};

// Random drawing with every state the device has and with bad input: degenerate, enormous, NaN
// and infinite vertices, lines far outside, viewports and clears of random rectangles.
class TRandomScene {
 public:
  explicit TRandomScene(uint32_t seed) : FRandom(seed) {
    FTexture = std::make_shared<TSurface>(8, 4);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 8; ++x) FTexture->SetPixel(x, y, 0x80000000u | uint32_t(x * 0x1F3A71 + y * 0x5C));
  }

  void Draw(TSoftwareDevice& d, int calls, bool inScene) {
    // A surface that could not be made (0 x 0) still gets the calls.
    const int w = std::max(d.RenderTarget().Width(), 1), h = std::max(d.RenderTarget().Height(), 1);
    d.SetTransform(D3DTRANSFORMSTATE_VIEW, Translation(0, 0, 3));
    d.SetTransform(D3DTRANSFORMSTATE_PROJECTION, Perspective(0.8f, 1.3f, 0.5f, 50.0f));
    D3DLIGHT7 spot;
    spot.dltType = D3DLIGHT_SPOT;
    spot.dcvDiffuse = {1, 0.8f, 0.6f, 0};
    spot.dcvSpecular = {1, 1, 1, 0};
    spot.dcvAmbient = {0.1f, 0.1f, 0.1f, 0};
    spot.dvPosition = {0, 2, -3};
    spot.dvDirection = {0, -0.5f, 1};
    spot.dvRange = 100;
    spot.dvFalloff = 2;
    spot.dvTheta = 0.4f, spot.dvPhi = 1.2f;
    spot.dvAttenuation0 = 1;
    d.SetLight(1, spot);
    d.LightEnable(1, true);
    d.SetRenderState(D3DRENDERSTATE_SPECULARENABLE, 1);
    if (inScene) d.BeginScene();
    for (int call = 0; call < calls; ++call) {
      ChangeStates(d, w, h);
      DrawSome(d);
    }
    if (inScene) d.EndScene();
  }

 private:
  uint32_t Below(uint32_t n) { return FRandom() % n; }
  float Coordinate() {
    switch (Below(40)) {
      case 0:
        return std::numeric_limits<float>::quiet_NaN();
      case 1:
        return std::numeric_limits<float>::infinity();
      case 2:
        return -1e30f;
      case 3:
        return 1e7f;
      case 4:
        return 0;  // many corners in one place: degenerate triangles
      default:
        return (float(Below(20001)) - 10000) / 4000;
    }
  }
  void ChangeStates(TSoftwareDevice& d, int w, int h) {
    auto rs = [&](D3DRENDERSTATETYPE s, DWORD v) { d.SetRenderState(s, v); };
    switch (Below(12)) {
      case 0:
        rs(D3DRENDERSTATE_CULLMODE, 1 + Below(3));
        break;
      case 1:
        rs(D3DRENDERSTATE_FILLMODE, 1 + Below(3));
        break;
      case 2:
        rs(D3DRENDERSTATE_SHADEMODE, 1 + Below(2));
        break;
      case 3:
        rs(D3DRENDERSTATE_ZFUNC, 1 + Below(8));
        rs(D3DRENDERSTATE_ZWRITEENABLE, Below(2));
        break;
      case 4:
        rs(D3DRENDERSTATE_STENCILENABLE, Below(2));
        rs(D3DRENDERSTATE_STENCILFUNC, 1 + Below(8));
        rs(D3DRENDERSTATE_STENCILPASS, 1 + Below(8));
        rs(D3DRENDERSTATE_STENCILZFAIL, 1 + Below(8));
        rs(D3DRENDERSTATE_STENCILREF, Below(4));
        break;
      case 5:
        rs(D3DRENDERSTATE_ALPHABLENDENABLE, Below(2));
        rs(D3DRENDERSTATE_SRCBLEND, 1 + Below(13));
        rs(D3DRENDERSTATE_DESTBLEND, 1 + Below(11));
        break;
      case 6:
        d.SetTexture(0, Below(2) ? FTexture : nullptr);
        break;
      case 7: {
        D3DVIEWPORT7 vp;
        vp.dwX = Below(DWORD(w)), vp.dwY = Below(DWORD(h));
        vp.dwWidth = 1 + Below(DWORD(w) - vp.dwX), vp.dwHeight = 1 + Below(DWORD(h) - vp.dwY);
        d.SetViewport(vp);
        break;
      }
      case 8: {
        const D3DRECT r{int32_t(Below(DWORD(w))) - 2, int32_t(Below(DWORD(h))) - 2, int32_t(Below(DWORD(w) + 4)),
                        int32_t(Below(DWORD(h) + 4))};
        d.Clear(1, &r, 1 + Below(7), FRandom(), float(Below(3)) / 2, Below(4));
        break;
      }
      case 9:
        d.SetTransform(D3DTRANSFORMSTATE_WORLD, Translation(Coordinate() / 4, 0, Coordinate() / 4));
        break;
      case 10:
        rs(D3DRENDERSTATE_LIGHTING, Below(4) != 0);
        rs(D3DRENDERSTATE_ALPHATESTENABLE, Below(2));
        rs(D3DRENDERSTATE_ALPHAFUNC, 1 + Below(8));
        rs(D3DRENDERSTATE_ALPHAREF, Below(256));
        break;
      default:
        d.SetMaterial(Material(float(Below(5)) / 4, 0.5f, 1, float(Below(3)) / 2));
        rs(D3DRENDERSTATE_TEXTUREPERSPECTIVE, Below(2));
        break;
    }
  }
  void DrawSome(TSoftwareDevice& d) {
    const auto type = D3DPRIMITIVETYPE(D3DPT_POINTLIST + Below(6));
    const DWORD count = 1 + Below(Below(8) == 0 ? 300 : 24);
    if (Below(2)) {
      std::vector<D3DVERTEX> v(count);
      for (D3DVERTEX& x : v) {
        x.x = Coordinate(), x.y = Coordinate(), x.z = Coordinate();
        x.nx = Coordinate(), x.ny = Coordinate(), x.nz = -1;
        x.tu = Coordinate(), x.tv = Coordinate();
      }
      // Meshes repeat their corners.
      for (DWORD i = 3; i < count; i += 4) v[i] = v[i - 3];
      d.DrawPrimitive(type, D3DFVF_VERTEX, v.data(), count);
    } else {
      std::vector<D3DLVERTEX> v(count);
      for (D3DLVERTEX& x : v) {
        x.x = Coordinate() * (Below(10) == 0 ? 1e5f : 1), x.y = Coordinate(), x.z = Coordinate();
        x.color = FRandom(), x.specular = FRandom();
      }
      d.DrawPrimitive(type, D3DFVF_LVERTEX, v.data(), count);
    }
  }

  std::mt19937 FRandom;
  std::shared_ptr<TSurface> FTexture;
};

TEST(ParallelDevice, RandomScenesGiveTheSamePlanesWhateverTheThreadsAndBands) {
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    // One thread and one band: every primitive drawn whole, in order.
    TParallelRig reference(97, 61, 1, 61);
    TRandomScene(seed).Draw(reference.Device, 160, seed % 2 == 0);
    const int configs[][2] = {{2, 16}, {7, 1}, {7, 5}, {3, 64}};
    for (const auto& c : configs) {
      TParallelRig rig(97, 61, c[0], c[1]);
      TRandomScene(seed).Draw(rig.Device, 160, seed % 2 == 0);
      EXPECT_TRUE(rig.SamePlanes(reference)) << "seed " << seed << ", " << c[0] << " threads, bands of " << c[1];
    }
  }
}

TEST(ParallelDevice, NothingIsDrawnOutsideTheViewport) {
  TParallelRig rig(64, 48, 7, 3);
  rig.Device.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF123456, 0.25f, 7);
  D3DVIEWPORT7 vp;
  vp.dwX = 10, vp.dwY = 9, vp.dwWidth = 30, vp.dwHeight = 20;
  rig.Device.SetViewport(vp);
  rig.Device.BeginScene();
  for (int i = 0; i < 40; ++i) {
    std::vector<D3DLVERTEX> v(30);
    for (size_t k = 0; k < v.size(); ++k) {
      // Huge triangles and lines across the whole surface and far beyond.
      const float s = k % 3 == 0 ? 1e6f : 3.0f;
      v[k].x = (k % 2 ? s : -s) * float(i % 5 + 1) / 5, v[k].y = (k % 4 < 2 ? s : -s) / 3;
      v[k].z = float(k % 7) / 10, v[k].color = 0xFFFFFFFF;
    }
    rig.Device.SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    rig.Device.SetRenderState(D3DRENDERSTATE_LIGHTING, 0);
    rig.Device.SetRenderState(D3DRENDERSTATE_ZFUNC, D3DCMP_ALWAYS);
    rig.Device.SetRenderState(D3DRENDERSTATE_STENCILENABLE, 1);
    rig.Device.SetRenderState(D3DRENDERSTATE_STENCILPASS, D3DSTENCILOP_INCR);
    rig.Device.SetRenderState(D3DRENDERSTATE_FILLMODE, 1 + DWORD(i % 3));
    rig.Device.DrawPrimitive(D3DPRIMITIVETYPE(1 + i % 6), D3DFVF_LVERTEX, v.data(), DWORD(v.size()));
  }
  rig.Device.Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFFFFFF, 0, 0);
  rig.Device.EndScene();
  int inside = 0;
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      const bool in = x >= 10 && x < 40 && y >= 9 && y < 29;
      if (in) {
        inside += rig.Surface.Pixel(x, y) == 0xFFFFFFFF;
        continue;
      }
      ASSERT_EQ(rig.Surface.Pixel(x, y), 0xFF123456u) << x << "," << y;
      ASSERT_EQ(rig.Surface.DepthAt(x, y), 0.25f) << x << "," << y;
      ASSERT_EQ(rig.Surface.StencilAt(x, y), 7) << x << "," << y;
    }
  EXPECT_EQ(inside, 30 * 20);
}

TEST(ParallelDevice, TinyAndExtremeSurfacesWithMoreThreadsThanBands) {
  // 1 x 1, one row and one column of the largest side, and a surface too large to be made.
  const int sizes[][2] = {{1, 1}, {kMaxSurfaceSide, 1}, {1, kMaxSurfaceSide}, {kMaxSurfaceSide, kMaxSurfaceSide}};
  for (const auto& s : sizes) {
    TParallelRig one(s[0], s[1], 1, kMaxSurfaceSide), many(s[0], s[1], 7, 16);
    TRandomScene(5).Draw(one.Device, 60, true);
    TRandomScene(5).Draw(many.Device, 60, true);
    EXPECT_TRUE(many.SamePlanes(one)) << s[0] << " x " << s[1];
  }
}

// ------------------------------------------------------------------------- flush points

// A red square drawn in a scene that is not ended yet.
void DrawRedSquare(IRenderDevice& d) {
  D3DVIEWPORT7 vp;
  vp.dwWidth = 40, vp.dwHeight = 30;
  d.SetViewport(vp);
  d.SetTransform(D3DTRANSFORMSTATE_VIEW, Translation(0, 0, 3));
  d.SetTransform(D3DTRANSFORMSTATE_PROJECTION, Perspective(0.8f, 40.0f / 30, 0.5f, 50.0f));
  d.SetRenderState(D3DRENDERSTATE_LIGHTING, 0);
  d.BeginScene();
  std::vector<D3DLVERTEX> v(6);
  const float xy[6][2] = {{-1, 1}, {1, 1}, {1, -1}, {-1, 1}, {1, -1}, {-1, -1}};
  for (int i = 0; i < 6; ++i) v[size_t(i)].x = xy[i][0], v[size_t(i)].y = xy[i][1], v[size_t(i)].color = 0xFFFF0000;
  d.DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_LVERTEX, v.data(), 6);
  // What the caller does with its vertices and states afterwards does not change that drawing.
  for (D3DLVERTEX& x : v) x.color = 0xFF00FF00;
  d.SetRenderState(D3DRENDERSTATE_FILLMODE, D3DFILL_POINT);
  d.SetTransform(D3DTRANSFORMSTATE_WORLD, Translation(100, 0, 0));
}

TEST(ParallelDevice, DrawingInASceneIsDoneWhenTheSurfaceIsRead) {
  {
    TParallelRig rig(40, 30, 2, 4);
    DrawRedSquare(rig.Device);
    EXPECT_EQ(rig.Device.RenderTarget().Pixel(20, 15), 0xFFFF0000u);  // before EndScene
  }
  {
    TParallelRig rig(40, 30, 2, 4);
    DrawRedSquare(rig.Device);
    D3DVIEWPORT7 other;
    other.dwWidth = 10, other.dwHeight = 10;
    rig.Device.SetViewport(other);
    EXPECT_EQ(rig.Surface.Pixel(20, 15), 0xFFFF0000u);
  }
  {
    TSurface surface(40, 30);
    TMemoryLightDevice lights;
    {
      TSoftwareDevice device(surface, lights, {3, 4});
      DrawRedSquare(device);
    }  // a device that goes finishes its drawing
    EXPECT_EQ(surface.Pixel(20, 15), 0xFFFF0000u);
  }
  // The display's surface and its copy to the window.
  TDisplayDevice display(40, 30, nullptr, nullptr);
  ASSERT_TRUE(display.InitDisplay());
  ASSERT_TRUE(display.CreateDevice(0, true));
  DrawRedSquare(*display.Device());
  EXPECT_EQ(display.OffscreenSurface()->Pixel(20, 15), 0xFFFF0000u);
}

// ------------------------------------------------------------------------------- threads

// Sets IXORAL_RENDER_THREADS for the life of the object, then puts back what was there.
class TThreadsVariable {
 public:
  explicit TThreadsVariable(const char* value) {
    if (const char* saved = std::getenv("IXORAL_RENDER_THREADS")) FSaved = saved;
    setenv("IXORAL_RENDER_THREADS", value, 1);
  }
  ~TThreadsVariable() {
    if (FSaved)
      setenv("IXORAL_RENDER_THREADS", FSaved->c_str(), 1);
    else
      unsetenv("IXORAL_RENDER_THREADS");
  }

 private:
  std::optional<std::string> FSaved;
};

TEST(RenderThreads, ADeviceRemadeOnResizeDrawsWithTheSameThreadsAndTheSamePlanes) {
  const TThreadsVariable threads("3");
  TDisplayDevice display(60, 40, nullptr, nullptr);
  ASSERT_TRUE(display.InitDisplay());
  ASSERT_TRUE(display.CreateDevice(0, true));
  const std::shared_ptr<TRenderThreads> pool = display.RenderThreads();
  ASSERT_NE(pool, nullptr);
  EXPECT_EQ(pool->Count(), 3);
  // The same random scene on a device of one thread, and on the display's after each resize
  // (a size, another, and back).
  TParallelRig reference(97, 61, 1, 61);
  TRandomScene(4).Draw(reference.Device, 120, true);
  for (const auto& size : {std::pair{97, 61}, std::pair{31, 80}, std::pair{97, 61}}) {
    ASSERT_TRUE(display.Resize(size.first, size.second));
    auto* device = dynamic_cast<TSoftwareDevice*>(display.Device());
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(display.RenderThreads(), pool);
    EXPECT_EQ(&device->Threads(), pool.get());
    EXPECT_EQ(device->ThreadCount(), 3);
    TRandomScene(4).Draw(*device, 120, true);
    if (size.first == 97) {
      EXPECT_TRUE(SamePlanes(*display.OffscreenSurface(), reference.Surface)) << size.first << " x " << size.second;
    }
  }
  // Starting the display again keeps them too.
  ASSERT_TRUE(display.InitDisplay());
  EXPECT_EQ(display.RenderThreads(), pool);
}

TEST(RenderThreads, DevicesSharingThreadsDrawTheirPlanesWhenTheyFlushAtOnce) {
  const auto pool = std::make_shared<TRenderThreads>(3);
  TParallelRig reference(97, 61, 1, 61);
  TRandomScene(6).Draw(reference.Device, 160, true);
  auto draw = [&pool](TSurface& surface) {
    TMemoryLightDevice lights;
    TSoftwareDevice device(surface, lights, pool);
    TRandomScene(6).Draw(device, 160, true);
  };
  TSurface a(97, 61), b(97, 61);
  a.AttachDepth(true), b.AttachDepth(true);
  std::thread other([&] { draw(b); });
  draw(a);
  other.join();
  EXPECT_TRUE(SamePlanes(a, reference.Surface));
  EXPECT_TRUE(SamePlanes(b, reference.Surface));
}

TEST(RenderThreads, EveryTaskRunsOnceWhateverTheCounts) {
  for (int threads : {1, 2, 7}) {
    TRenderThreads pool(threads);
    EXPECT_EQ(pool.Count(), threads);
    for (size_t n : {size_t{0}, size_t{1}, size_t{3}, size_t{1000}}) {
      std::vector<std::atomic<int>> runs(n);
      for (int round = 0; round < 3; ++round) pool.ForEach(n, [&](size_t i) { runs[i]++; });
      for (size_t i = 0; i < n; ++i) ASSERT_EQ(runs[i].load(), 3) << threads << " threads, task " << i;
    }
  }
  EXPECT_EQ(TRenderThreads(0).Count(), 1);
  EXPECT_EQ(TRenderThreads(1000).Count(), 64);
}

TEST(RenderThreads, RowSlicesCoverEachRowOnce) {
  TRenderThreads pool(3);
  for (TRenderThreads* threads : {static_cast<TRenderThreads*>(nullptr), &pool})
    for (const auto& [from, to] : {std::pair{0, 0}, {5, 3}, {-2, 40}, {0, 64}, {7, 908}, {100, 101 + 33 * 64}}) {
      std::vector<std::atomic<int>> runs(size_t(std::max(0, to - from)));
      std::atomic<bool> outside{false};
      ForEachRowSlice(threads, from, to, [&](int a, int b) {
        if (a < from || b > to || a >= b) outside = true;
        for (int y = std::max(a, from); y < std::min(b, to); ++y) runs[size_t(y - from)]++;
      });
      EXPECT_FALSE(outside) << from << ".." << to;
      for (size_t i = 0; i < runs.size(); ++i) ASSERT_EQ(runs[i].load(), 1) << from << ".." << to << " row " << i;
    }
}

TEST(RenderThreads, CountFromTheEnvironment) {
  const char* saved = std::getenv("IXORAL_RENDER_THREADS");
  const std::string keep = saved ? saved : "";
  setenv("IXORAL_RENDER_THREADS", "3", 1);
  EXPECT_EQ(TRenderThreads::DefaultCount(), 3);
  TSurface s(4, 4);
  TMemoryLightDevice lights;
  EXPECT_EQ(TSoftwareDevice(s, lights).ThreadCount(), 3);
  setenv("IXORAL_RENDER_THREADS", "500", 1);
  EXPECT_EQ(TRenderThreads::DefaultCount(), 64);
  for (const char* bad : {"0", "-2", "deux", ""}) {
    setenv("IXORAL_RENDER_THREADS", bad, 1);
    EXPECT_GE(TRenderThreads::DefaultCount(), 1) << bad;
  }
  if (saved)
    setenv("IXORAL_RENDER_THREADS", keep.c_str(), 1);
  else
    unsetenv("IXORAL_RENDER_THREADS");
}

}  // namespace
}  // namespace ixoral::test
