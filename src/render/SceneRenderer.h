// Drawing a scene on its display device: the fixed geometry (grid, axes, point marker), the device
// set-up (line light, projection, default states), each view in its drawing order with transparent
// objects sorted and CSG relations through the stencil buffer, view frames and captions, and the
// copies of views to the window.
#pragma once

#include <array>
#include <vector>

#include "render/DisplayDevice.h"
#include "scene/Scene.h"

namespace ixoral {

class TSettingsStore;

inline constexpr int kGridVertexCount = 404;
inline constexpr const char* kTraceBlitAll = "Blit de l'offscreen buffer sur la primary";

class TSceneRenderer {
 public:
  // `scene` must have been made with a TDisplayDevice as its device; `settings` (may be null)
  // gives the display options and the stored view parameters.
  TSceneRenderer(TScene& scene, TSettingsStore* settings);
  TSceneRenderer(const TSceneRenderer&) = delete;
  TSceneRenderer& operator=(const TSceneRenderer&) = delete;

  // Starts the display (surfaces and device from the options), then the fixed geometry, the line
  // light, the projection, the default render states and the layout of the scene's FourViews.
  // False when the device cannot be made.
  bool InitDevice();

  TDisplayDevice& Display() { return FDisplay; }
  TScene& Scene() { return FScene; }
  int SurfaceWidth() const { return FDisplay.SurfaceWidth; }
  int SurfaceHeight() const { return FDisplay.SurfaceHeight; }

  // --- drawing state ---
  bool ShowGrid = false;
  bool ShowAxes = false;
  bool ShowSelectionMarks = true;
  bool ShowAllLights = false;
  bool ShowGuideLine = false;
  bool ShowMarker = false;
  bool IsolateObject = false;
  int IsolatedIndex = -1;
  std::vector<D3DLVERTEX> GridLines;
  std::array<D3DLVERTEX, 6> AxisLines{};
  std::vector<D3DLVERTEX> MarkerLines;
  std::array<Vec3d, 2> GuidePoints{};
  D3DRECT DisplayRect{0, 0, 0, 0};

  // Four views in the quarters of the surface, or view 0 alone (see SetLayout of the views).
  void SetLayout(bool four);
  // The blue cube of the point editors around P; P becomes the second guide point.
  void SetMarker(const Vec3d& p);
  // The torsion dialog's fixed point: a red cube in the last 24 mark vertices of object `index`,
  // and the first guide point.
  void SetObjectPointMarker(int index, const Vec3d& p);

  void DrawView(int index);
  void DrawViewFrame(int index, bool active);
  // Draws view `view`, the frames of the active and hovered views (four views), and shows the
  // view's rectangle on the window.
  void PresentView(int view, int active, int hover);
  // All views, the active one first when asked.
  void RedrawViews(int active = 0, int hover = 0, bool activeFirst = false);
  // The whole surface to the window.
  void BlitAll();
  void SetDisplayRect(const D3DRECT& rect, int active = 0, int hover = 0);
  // Where view `index` appears on the window.
  D3DRECT ViewDestination(int index) const;

  // "Solide"/"Filaire" and "Flat"/"Gouraud"/"Phong".
  void SetFillMode(DWORD mode);
  void SetShadeMode(DWORD mode);

 private:
  IRenderDevice& Device() { return *FDisplay.Device(); }
  void LinesMode(bool on);
  void DrawSolid(const TSolidObject& solid);
  void DrawRelation(const TSolidObject& a, const TSolidObject& b, uint8_t relation);
  void DrawSolidCulled(const TSolidObject& s, DWORD cull);
  void DrawComposantes(const TSolidObject& s);

  TScene& FScene;
  TDisplayDevice& FDisplay;
  TSettingsStore* FSettings;
  std::vector<bool> FSavedLights;
};

// The 12 edges of the cube P ± 0.05 as 24 line-list vertices.
std::array<D3DLVERTEX, 24> MarkerCube(const Vec3d& p, D3DCOLOR colour);
// The world matrix of an object: Scale x Rotation x Translation.
D3DMATRIX WorldMatrix(const T3dObject& o);

}  // namespace ixoral
