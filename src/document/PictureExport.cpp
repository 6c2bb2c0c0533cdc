// Picture export: drawing the view, then the bitmap or JPEG file.
#include "document/PictureExport.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <filesystem>
#include <utility>
#include <memory>
#include <vector>

#include <jpeglib.h>

#include "document/SceneDocument.h"
#include "platform/Trace.h"
#include "storage/OutputFile.h"
#include "tools/images/Image.h"

namespace ixoral {

namespace {

struct TJpegError {
  jpeg_error_mgr Manager;
  std::jmp_buf Jump;
};

void JpegFail(j_common_ptr info) {
  char text[JMSG_LENGTH_MAX];
  info->err->format_message(info, text);
  Trace(std::string(kMsgJpegPrefix) + text);
  std::longjmp(reinterpret_cast<TJpegError*>(info->err)->Jump, 1);
}

struct TFileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};

// The flags and views a keep-size export changes, put back when it ends.
struct TSavedDisplay {
  TSceneRenderer& R;
  bool Marks, Grid, Axes, Four;
  TViewLook Look;
  std::array<TVue, 4> Views;
  explicit TSavedDisplay(TSceneRenderer& r)
      : R(r),
        Marks(r.ShowSelectionMarks),
        Grid(r.ShowGrid),
        Axes(r.ShowAxes),
        Four(r.Scene().FourViews),
        Look(r.Look),
        Views(r.Scene().Views) {}
  ~TSavedDisplay() {
    R.ShowSelectionMarks = Marks, R.ShowGrid = Grid, R.ShowAxes = Axes;
    R.Look = Look;
    R.Scene().FourViews = Four;
    R.Scene().Views = Views;
  }
};

}  // namespace

int ResolutionIndex(int width, int height) {
  for (size_t i = 0; i < ExportResolutions.size(); ++i)
    if (ExportResolutions[i].Width == width && ExportResolutions[i].Height == height) return static_cast<int>(i);
  return -1;
}

namespace {

// The JPEG file of 32-bit pixels, as bytes.
bool JpegBytes(int width, int height, const uint32_t* pixels, std::string& bytes) {
  if (width <= 0 || height <= 0) return false;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_compress_struct info{};
  TJpegError error{};
  info.err = jpeg_std_error(&error.Manager);
  error.Manager.error_exit = JpegFail;
  std::vector<uint8_t> row(size_t(width) * 3);
  if (setjmp(error.Jump)) {
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = JDIMENSION(width);
  info.image_height = JDIMENSION(height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    const uint32_t* src = pixels + size_t(info.next_scanline) * size_t(width);
    for (int x = 0; x < width; ++x) {
      row[size_t(x) * 3] = uint8_t(src[x] >> 16);
      row[size_t(x) * 3 + 1] = uint8_t(src[x] >> 8);
      row[size_t(x) * 3 + 2] = uint8_t(src[x]);
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  bytes.assign(reinterpret_cast<const char*>(buffer), size);
  std::free(buffer);
  return true;
}

// The solids' meshes of `source` lent to the copy drawn at the export size, object for object,
// and given back when the drawing is done (or fails): copied, a scene of large meshes would be
// held twice for one picture. The copy is made while the meshes are lent out, so it copies none.
class TLentMeshes {
 public:
  explicit TLentMeshes(TScene& source) : FSource(source) {
    for (int i = 0; i < source.ObjectCount(); ++i)
      if (TSolidObject* s = source.SolidAt(i)) FHeld.emplace_back(i, std::move(s->Composantes));
  }
  // Puts each held mesh into the copy's object at the same place.
  void LendTo(TScene& copy) {
    FCopy = &copy;
    for (auto& [i, parts] : FHeld)
      if (TSolidObject* c = copy.SolidAt(i)) std::swap(c->Composantes, parts);
  }
  ~TLentMeshes() {
    for (auto& [i, parts] : FHeld) {
      if (TSolidObject* c = FCopy ? FCopy->SolidAt(i) : nullptr) std::swap(c->Composantes, parts);
      if (TSolidObject* s = FSource.SolidAt(i)) s->Composantes = std::move(parts);
    }
  }
  TLentMeshes(const TLentMeshes&) = delete;
  TLentMeshes& operator=(const TLentMeshes&) = delete;

 private:
  TScene& FSource;
  TScene* FCopy = nullptr;
  std::vector<std::pair<int, TArrayOfComposante>> FHeld;
};

}  // namespace

bool WriteJpegFile(const std::string& path, int width, int height, const uint32_t* pixels) {
  std::string bytes;
  return JpegBytes(width, height, pixels, bytes) && WriteOutputFile(path, bytes);
}

bool WritePicture(const std::string& path, const TSurface& surface, int format, std::error_code* failure) {
  std::string bytes;
  const bool encoded = format == pfJpeg ? JpegBytes(surface.Width(), surface.Height(), surface.Pixels(), bytes)
                                        : EncodeBmp(surface.Width(), surface.Height(), surface.Pixels(), bytes);
  return encoded && WriteOutputFile(path, bytes, failure);
}

TResult ExportPicture(TSceneRenderer& renderer, int view, const std::string& path, bool keepCurrentSize, int resolution,
                      int format, bool overwrite, TSettingsStore* settings, TViewStyle style) {
  if (format != pfBitmap && format != pfJpeg) return TError();
  if (!keepCurrentSize && (resolution < 0 || resolution >= int(ExportResolutions.size())))
    return TError(kMsgUnknownResolution + std::to_string(resolution));
  // Replaced only once the new picture is complete.
  std::error_code ec;
  if (std::filesystem::exists(path, ec) && !overwrite) return ReplaceRefused(path);
  bool written = false;
  std::error_code failure;
  if (keepCurrentSize) {
    TSceneRenderer& r = renderer;
    TSurface* surface = r.Display().OffscreenSurface();
    if (!surface || !r.Display().Device()) return TError();
    const TSavedDisplay saved(r);
    TScene& scene = r.Scene();
    const TVue source = scene.Views[size_t(std::clamp(view, 0, 3))];
    r.ShowSelectionMarks = r.ShowGrid = r.ShowAxes = false;
    r.Look.Style = style;
    r.SetLayout(false);
    TVue& v0 = scene.Views[0];
    v0.CameraMatrix = source.CameraMatrix;
    v0.RotationMatrix = source.RotationMatrix;
    v0.ScaleMatrix = source.ScaleMatrix;
    v0.TranslationMatrix = source.TranslationMatrix;
    r.DrawView(0);
    written = WritePicture(path, *surface, format, &failure);
  } else {
    const TResolution size = ExportResolutions[size_t(resolution)];
    TDisplayScene drawn(size.Width, size.Height, settings, nullptr);
    TScene& copy = drawn.Scene;
    TSceneRenderer& r = drawn.Renderer;
    copy.FourViews = false;
    if (!r.InitDevice()) return TError();
    TLentMeshes lent(renderer.Scene());
    TScene::CopyAllObjects(copy, renderer.Scene());
    lent.LendTo(copy);
    copy.SelectObject(renderer.Scene().CurrentObject());
    r.ShowSelectionMarks = r.ShowGrid = r.ShowAxes = false;
    r.Look = renderer.Look;
    r.Look.Style = style;
    r.DrawView(0);
    written = WritePicture(path, *r.Display().OffscreenSurface(), format, &failure);
  }
  if (!written) return FileAccessFailure(path, failure);
  return {};
}

}  // namespace ixoral
