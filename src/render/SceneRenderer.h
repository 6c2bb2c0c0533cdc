// Drawing a scene on its display device: the fixed geometry (grid, axes, point marker), the device
// set-up (line light, projection, default states), each view in its drawing order with transparent
// objects sorted and CSG relations through the stencil buffer, view frames and captions, and the
// copies of views to the window.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "render/DisplayDevice.h"
#include "render/Handles.h"
#include "render/ViewCulling.h"
#include "render/ViewStyle.h"
#include "scene/Scene.h"

namespace ixoral {

class TSettingsStore;

inline constexpr int kGridVertexCount = 404;
inline constexpr const char* kTraceBlitAll = "Blit de l'offscreen buffer sur la primary";

class TSceneRenderer {
 public:
  // Draws `scene` on `display`, the scene's own device; `settings` (may be null) gives the
  // display options and the stored view parameters. While `AutoRedraw` is on, the renderer draws
  // the views again whenever the scene asks for it (RedrawViews of the scene).
  TSceneRenderer(TScene& scene, TDisplayDevice& display, TSettingsStore* settings);
  TSceneRenderer(const TSceneRenderer&) = delete;
  TSceneRenderer& operator=(const TSceneRenderer&) = delete;

  // Starts the display (surfaces and device from the options), then the fixed geometry, the line
  // light, the projection, the default render states and the layout of the scene's FourViews.
  // False when the device cannot be made.
  bool InitDevice();
  // A new drawing surface of w x h (the panel followed its window): the device is made again with
  // the same options and states, the views are laid out anew, the cameras are kept. False, with
  // the previous surface kept, when the size cannot be had.
  bool Resize(int width, int height);

  TDisplayDevice& Display() { return FDisplay; }
  TScene& Scene() { return FScene; }
  int SurfaceWidth() const { return FDisplay.SurfaceWidth; }
  int SurfaceHeight() const { return FDisplay.SurfaceHeight; }

  // --- drawing state ---
  bool AutoRedraw = true;
  int ActiveView = 0;  // the views' frames in automatic redraws: sunken active, raised hover
  int HoverView = 0;
  bool ShowGrid = false;
  // "Classique" draws the views as they always were; "Moderne" adds the fill light, the
  // gradient, the selection's outline, the grid facing each view and smoothed edges.
  TViewLook Look;
  // The tool the views are used with: outside selection, the main selected object shows the
  // handles of that tool, `HeldAxis` brighter while a drag holds to it.
  TOperation HandleOperation = opSelect;
  TAxisConstraint HeldAxis = axFree;
  // The handles in view `index`, where the main selected object is shown in front of the eye.
  std::optional<THandleSet> HandlesIn(int index) const;
  // Device pixels per pixel of the window showing the views (2 on a doubled screen): the views'
  // captions and frames grow with it to keep the size a person reads.
  double PixelRatio = 1;
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
  // Solids whose mesh lies wholly outside a view are not given to the device: they could not
  // leave a pixel there. And when only the placements of some opaque solids changed since a
  // view was last drawn (a drag), only the rows of the view they cover, before or after, are
  // drawn again over the picture kept. Off, every shown solid is drawn everywhere (the pictures
  // are the same).
  bool SkipHidden = true;
  // Rows the last DrawView drew again: the whole viewport, or only those a drag changed.
  int RedrawnRows() const { return FRowsTo - FRowsFrom; }
  // Solids the last DrawView left out (relations count once).
  int SkippedSolids() const { return FSkippedCount; }

  // Forgets the kept mesh boxes, for a caller that changed a mesh in place without a change
  // notice from the scene.
  void ForgetMeshBoxes() { FBoxes.ForgetAll(); }
  // Forgets the views' kept pictures: the next drawing of each view is whole.
  void ForgetPictures();

  // While one lives, the scene's change notices are about placements alone (a drag in a view
  // moves, turns and resizes): the meshes, and the boxes kept for them, stay as they are.
  class TPlacementChange {
   public:
    explicit TPlacementChange(TSceneRenderer& renderer) : FRenderer(renderer), FWas(renderer.FPlacementOnly) {
      renderer.FPlacementOnly = true;
    }
    ~TPlacementChange() { FRenderer.FPlacementOnly = FWas; }
    TPlacementChange(const TPlacementChange&) = delete;
    TPlacementChange& operator=(const TPlacementChange&) = delete;

   private:
    TSceneRenderer& FRenderer;
    bool FWas;
  };

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
  DWORD FillMode() const { return FFillMode; }
  DWORD ShadeMode() const { return FShadeMode; }

 private:
  IRenderDevice& Device() { return *FDisplay.Device(); }
  void ConfigureDevice();
  void LinesMode(bool on);
  bool Modern() const { return Look.Style == TViewStyle::Moderne; }
  // The material a solid is drawn with in the style of the views.
  D3DMATERIAL7 MaterialOf(const TSolidObject& s) const;
  // The grid of the plane the view faces most ("Moderne"), else the ground's.
  const std::vector<D3DLVERTEX>& GridFor(const TVue& view) const;
  // "Moderne": the scene's lights as they would be without the view's zoom, for this view.
  void KeepLightsAtViewScale(const D3DMATRIX& view);
  // The selected solids' silhouettes outlined, then the edges smoothed, over the whole view.
  void FinishModern(const TVue& view);
  void DrawSolid(const TSolidObject& solid);
  // A light's cone, in wire lines, where the light is shown.
  void DrawLightSymbol(const TLight& light);
  // The green guide line between GuidePoints.
  void DrawGuideLine();
  // The three axes of `of` (null: the world's), over everything drawn.
  void DrawAxes(const T3dObject* of);
  void DrawRelation(const TSolidObject& a, const TSolidObject& b, uint8_t relation);
  void DrawSolidCulled(const TSolidObject& s, DWORD cull);
  void DrawComposantes(const TSolidObject& s);
  // True when `s` cannot show in the view being drawn.
  bool Hidden(const TSolidObject& s);
  // The states a skipped solid would have left (world, material, no texture), given to the
  // device before anything else is drawn.
  void SetSkippedStates();
  void ObjectsChanged(const TSceneEvent& e);
  // What a view's picture is made of, apart from the placements of the objects.
  std::vector<uint8_t> ViewKey(const TVue& view);
  // Chooses the rows of view `index` to draw again (FRowsFrom, FRowsTo) and puts the kept
  // picture back when that is fewer than all of them; then remembers what the view is drawn from.
  void PrepareRows(int index, const TVue& view);
  void KeepPicture(int index, const TVue& view);
  // Rows that the drawing of `box` placed by `world` may touch, with a margin; false when that
  // cannot be told (some of it at or behind the eye).
  bool RowsOf(const TMeshBox& box, const D3DMATRIX& world, const D3DVIEWPORT7& vp, int& from, int& to) const;

  TScene& FScene;
  TDisplayDevice& FDisplay;
  TSettingsStore* FSettings;
  std::vector<bool> FSavedLights;
  DWORD FFillMode = D3DFILL_SOLID;
  DWORD FShadeMode = D3DSHADE_GOURAUD;
  TSceneSubscription FSubscription;
  TMeshBoxCache FBoxes;
  TClipSpace FClip;
  // While true, DrawRelation only sets the states its drawing leaves.
  bool FStatesOnly = false;
  bool FPlacementOnly = false;
  bool FFillOn = false;
  std::vector<std::pair<int, D3DLIGHT7>> FScaledLights;  // records to put back after the solids
  std::array<std::vector<D3DLVERTEX>, 2> FWallGrids;     // the grids of the x = 0 and z = 0 planes
  const TSolidObject* FSkipped = nullptr;
  int FSkippedCount = 0;
  // Rows of the surface the view being drawn changes.
  int FRowsFrom = 0, FRowsTo = 0;
  bool FRowsOnly = false;
  bool FKeepable = false;
  D3DVIEWPORT7 FViewport;
  struct TObjectState {
    const T3dObject* Object = nullptr;
    TObjectId Id = kNoObject;
    uint64_t Looks = 0;  // everything but the placement that shows
    D3DMATRIX Scale, Rotation, Translation;
  };
  struct TPictureMemory {
    bool Valid = false;
    std::vector<uint8_t> Key;
    std::vector<TObjectState> Objects;
    std::vector<uint32_t> Colour;
    std::vector<float> Depth;
    std::vector<uint8_t> Stencil;
  };
  std::array<TPictureMemory, 4> FPictures;
  // Copies surface rows from .. to - 1 of the view at `vp` into its kept picture (`keep`), or
  // back from it, on the drawing threads.
  void CopyKeptRows(TPictureMemory& m, const D3DVIEWPORT7& vp, int from, int to, bool keep);
  std::vector<TObjectState> FNowObjects;
};

// A scene drawn on a display device of its own, with its renderer: the main window's scene, the
// preview scenes of the dialogs and the picture export's scene are all made this way.
class TDisplayScene {
 public:
  TDisplayScene(int width, int height, TSettingsStore* settings, IPresenter* presenter)
      : TDisplayScene(std::make_unique<TDisplayDevice>(width, height, settings, presenter), settings) {}

  TDisplayDevice& Display;  // owned by Scene
  TScene Scene;
  TSceneRenderer Renderer;

 private:
  TDisplayScene(std::unique_ptr<TDisplayDevice> display, TSettingsStore* settings)
      : Display(*display), Scene(std::move(display), settings), Renderer(Scene, Display, settings) {}
};

// The 12 edges of the cube P ± 0.05 as 24 line-list vertices.
std::array<D3DLVERTEX, 24> MarkerCube(const Vec3d& p, D3DCOLOR colour);
// The world matrix of an object: Scale x Rotation x Translation.
D3DMATRIX WorldMatrix(const T3dObject& o);

}  // namespace ixoral
