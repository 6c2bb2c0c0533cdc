// How the views look: "Classique", the modeller's own drawing pixel for pixel, or "Moderne",
// which adds what a person reading a view today expects — a soft light that follows the camera
// so that no face is black, a background gradient, the selection outlined, the grid facing each
// view and smoothed edges. The pieces below work on a drawn view's planes, after the device.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/device/Surface.h"
#include "scene/D3DTypes.h"

namespace ixoral {

class TSettingsStore;
class TRenderThreads;

enum class TViewStyle : uint8_t { Classique = 0, Moderne = 1 };

inline constexpr const char* kViewStyleNames[2] = {"Classique", "Moderne"};
// The choices of samples along an edge that smoothing offers; 0 draws the edges as they fall.
inline constexpr int kEdgeSampleChoices[4] = {0, 4, 8, 16};
inline constexpr int kDefaultEdgeSamples = 8;
// The device light that follows the camera in "Moderne"; scene lights never reach this index in
// practice (documents number their lights from 1).
inline constexpr int kFillLightIndex = (1 << 16) - 1;

// What of a solid's colour "Moderne" reflects as ambient and as diffuse light.
inline constexpr float kModernAmbient = 0.6f;
inline constexpr float kModernDiffuse = 0.35f;

struct TViewLook {
  TViewStyle Style = TViewStyle::Classique;
  int EdgeSamples = kDefaultEdgeSamples;
  bool operator==(const TViewLook&) const = default;
};

// "Classique" or "Moderne" (any case); nothing for another text.
bool ViewStyleFromName(const std::string& name, TViewStyle& style);
// The look stored under "\Affichage" ("Style", "Anticrenelage"); `fallback` where nothing usable
// is stored (a new user gets "Moderne", a picture for a file "Classique"). Sample counts other
// than the offered ones read as the nearest lower choice.
TViewLook ReadViewLook(TSettingsStore* settings, TViewStyle fallback);
void WriteViewLook(TSettingsStore& settings, const TViewLook& look);

// The dim directional light from behind the eye of a view drawn with `viewMatrix` (world to
// camera), a little from above and the left, so that every face the view sees gets some light.
D3DLIGHT7 FillLight(const D3DMATRIX& viewMatrix);

// The viewport's rows from..to-1 filled with a vertical gradient: `background` at the bottom,
// lighter towards the top.
void PaintGradient(TSurface& target, const D3DVIEWPORT7& viewport, int rowFrom, int rowTo, D3DCOLOR background,
                   TRenderThreads* threads = nullptr);

// A line `width` pixels wide in `colour` around the viewport's pixels whose depth is below 1
// (those something was drawn on since the depth plane was cleared), drawn outside them.
void OutlineDrawn(TSurface& target, const D3DVIEWPORT7& viewport, int width, D3DCOLOR colour);

// Smooths the stair steps of the viewport's edges: where the brightness jumps, a pixel is mixed
// with its neighbour across the edge by how far it lies along the step, found by following the
// edge up to `samples` pixels each way. 0 leaves the picture as it is. Bands of rows are shared
// out over `threads` when given; the pixels are the same whatever the threads.
void SmoothEdges(TSurface& target, const D3DVIEWPORT7& viewport, int samples, TRenderThreads* threads = nullptr);

}  // namespace ixoral
