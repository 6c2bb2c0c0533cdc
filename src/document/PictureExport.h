// Picture export of one view as a bitmap or JPEG file: at the scene's own size (the view drawn alone
// over the whole surface), or at one of the five export resolutions through a separate scene.
#pragma once

#include <array>
#include <string>

#include "platform/Result.h"
#include "render/SceneRenderer.h"

namespace ixoral {

enum TPictureFormat : int { pfBitmap = 2, pfJpeg = 3 };

struct TResolution {
  int Width, Height;
};
// The sizes of the resolution chooser: "320x240", "640x480", "800x600", "1024x768", "1600x1200".
inline constexpr std::array<TResolution, 5> ExportResolutions{
    {{320, 240}, {640, 480}, {800, 600}, {1024, 768}, {1600, 1200}}};
// The chooser's answer when nothing is chosen: 800 x 600.
inline constexpr int kDefaultResolution = 2;
inline constexpr const char* kMsgUnknownResolution = "Résolution non disponible : ";
// The index of a size among the export resolutions, or -1.
int ResolutionIndex(int width, int height);

// Exports view `view` of the scene drawn by `renderer`. With `keepCurrentSize` the picture has the
// scene's surface size and shows that view's camera and navigation; otherwise a separate scene of
// resolution `resolution` (0..4) draws a copy of the objects with the single-view camera. An
// existing file is replaced only when `overwrite` is set (ReplaceRefused otherwise). Fails with
// kMsgUnknownResolution and the number, kMsgFileAccess and the path for a file not written, and
// with nothing to tell for an unknown format or a device that cannot draw. The picture is drawn
// in `style` whatever the views use ("Classique" unless asked).
TResult ExportPicture(TSceneRenderer& renderer, int view, const std::string& path, bool keepCurrentSize, int resolution,
                      int format, bool overwrite, TSettingsStore* settings, TViewStyle style = TViewStyle::Classique);

// Writes 32-bit pixels (rows top-down) as a JPEG file at the library's default quality.
bool WriteJpegFile(const std::string& path, int width, int height, const uint32_t* pixels);
// Writes a picture of the surface in the format; false when the file cannot be written, the
// system's error then in `failure` when given.
bool WritePicture(const std::string& path, const TSurface& surface, int format, std::error_code* failure = nullptr);

}  // namespace ixoral
