// The deformation and texture dialogs' work, below the widgets.
#include "commands/ToolDialogs.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/NumberFormat.h"
#include "render/Manipulation.h"
#include "scene/VectorMath.h"
#include "scene/ViewOps.h"
#include "tools/Deformations.h"
#include "tools/images/Image.h"

namespace ixoral {

namespace fs = std::filesystem;

bool ReadToolNumber(const std::string& text, double& value, std::string& message) {
  const std::optional<double> v = ParseNumber(text);
  if (!v || !std::isfinite(*v)) {
    message = NotAFloatMessage(text);
    return false;
  }
  if (std::fabs(*v) > kToolValueLimit) {
    message = kMsgValueOutOfRange + text;
    return false;
  }
  value = *v;
  return true;
}

// ---------------------------------------------------------------- preview

TToolTarget SetUpPreview(TScene& preview, TSceneRenderer& renderer, TScene& scene, int index) {
  TToolTarget target;
  const bool valid = scene.ObjectAt(index) != nullptr;
  // Lights take the device's light numbers in the order they are copied: the scene's order keeps
  // each one's number, and the object's place among them keeps the drawing order of the symbols.
  const int n = scene.ObjectCount();
  for (int i = 0; i < n; ++i) {
    if (i == index && valid) {
      target = {preview.ObjectCount(), scene.IdAt(index)};
      TScene::CloneObjectInto(preview, i, scene);
    } else if (scene.IsLight(i)) {
      TScene::CloneObjectInto(preview, i, scene);
    }
  }
  preview.SelectObject(target.PreviewIndex);
  renderer.IsolateObject = true;
  renderer.IsolatedIndex = target.PreviewIndex;
  renderer.ShowSelectionMarks = false;
  ResetPosition(preview, 0);
  return target;
}

TMeshLoan::TMeshLoan(TScene& scene, TScene& preview) : FScene(scene), FPreview(preview) {
  const int first = preview.ObjectCount();
  const int n = scene.ObjectCount();
  // The meshes step aside while the objects are copied, so that the copies take none.
  std::vector<TArrayOfComposante> aside(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i)
    if (TSolidObject* s = scene.SolidAt(i)) {
      std::swap(aside[size_t(i)], s->Composantes);
      FSolids.emplace_back(first + i, scene.IdAt(i));
    }
  const auto giveBack = [&] {
    for (int i = 0; i < n; ++i)
      if (TSolidObject* s = scene.SolidAt(i)) std::swap(aside[size_t(i)], s->Composantes);
  };
  try {
    TScene::CopyAllObjects(preview, scene);
  } catch (...) {
    giveBack();
    throw;
  }
  giveBack();
}

TMeshLoan::~TMeshLoan() {
  if (FLent) Swap();
}

void TMeshLoan::Swap() {
  for (const auto& [copy, id] : FSolids) {
    TSolidObject* c = FPreview.SolidAt(copy);
    TSolidObject* s = FScene.SolidById(id);
    if (c && s) std::swap(c->Composantes, s->Composantes);
  }
}

void TMeshLoan::During(const std::function<void()>& work) {
  if (FLent) {
    work();
    return;
  }
  struct TLoan {
    TMeshLoan& L;
    explicit TLoan(TMeshLoan& l) : L(l) {
      L.Swap();
      L.FLent = true;
      L.FPreview.Notify(TSceneChange::ObjectChanged);
    }
    ~TLoan() {
      L.Swap();
      L.FLent = false;
      L.FPreview.Notify(TSceneChange::ObjectChanged);
    }
    TLoan(const TLoan&) = delete;
    TLoan& operator=(const TLoan&) = delete;
  } loan(*this);
  work();
}

void SetPreviewFill(TScene& preview, TSceneRenderer& renderer, TScene& scene, const TToolTarget& target, bool solid) {
  renderer.SetFillMode(solid ? D3DFILL_SOLID : D3DFILL_WIREFRAME);
  if (IRenderDevice* device = renderer.Display().Device())
    device->SetRenderState(D3DRENDERSTATE_AMBIENT, solid ? 0xFF000000u : 0xFFFFFFFFu);
  T3dObject* shown = preview.ObjectAt(target.PreviewIndex);
  const T3dObject* own = scene.ObjectById(target.Object);
  if (shown && own) shown->SetColor(solid ? own->Color : kPreviewWireColour);
}

void PlacePreviewObject(TScene& preview, int index, int zoom, int vertical, int horizontal) {
  T3dObject* o = preview.ObjectAt(index);
  if (!o) return;
  const double s = zoom / 100.0;
  o->SetScale({s, s, s});
  o->RotationMatrix = Identity();
  TManipulation m;
  BeginManipulation(preview, m, opMove, 0);  // saves the matrices, gives the view's axes
  o->Rotate({vertical * M_PI / 180, horizontal * M_PI / 180, 0}, {m.ScreenRight, m.ScreenUp, m.ScreenForward}, nullptr);
}

// ---------------------------------------------------------------- noise

bool NoiseBounds(const TNoiseChoice& choice, double& min, double& max, std::string& message) {
  switch (choice.Range) {
    case 2:
      min = -0.1, max = 0.1;
      return true;
    case 3:
      min = -0.5, max = 0.5;
      return true;
    case 4: {
      double a = 0, b = 0;
      if (!ReadToolNumber(choice.MinText, a, message) || !ReadToolNumber(choice.MaxText, b, message)) return false;
      min = a, max = b;
      return true;
    }
    default:
      min = -0.01, max = 0.01;
      return true;
  }
}

int32_t DrawNoiseSeed() {
  RandomizeFromClock();
  return static_cast<int32_t>(RandomInt(0x7FFFFFFFu));
}

bool ApplyNoisePreview(TScene& preview, TScene& scene, const TToolTarget& target, const TNoiseChoice& choice,
                       int32_t seed, std::string& message) {
  CopyObjectState(preview, target.PreviewIndex, scene, scene.IndexOf(target.Object));
  TSolidObject* solid = preview.SolidAt(target.PreviewIndex);
  if (!solid) return false;
  double min = 0, max = 0;
  if (!NoiseBounds(choice, min, max, message)) return false;
  TSharedPointList list = BuildSharedPoints(*solid);
  RandomState = static_cast<uint32_t>(seed);
  ApplyNoise(list, choice.Addition, min, max);
  solid->SetNoise(seed, choice.Addition, max, min);
  WriteBackSharedPoints(*solid, list);
  return true;
}

// ---------------------------------------------------------------- torsion

double TorsionAngleOfBar(int position) { return position * M_PI / 100; }

bool TorsionAxisIsNull(const Vec3d& f, const Vec3d& r) {
  return std::fabs(f.x - r.x) < 1e-6 && std::fabs(f.y - r.y) < 1e-6 && std::fabs(f.z - r.z) < 1e-6;
}

bool ReadTorsionFields(const std::array<std::string, 6>& texts, TTorsionSettings& settings, std::string& message) {
  std::array<double, 6> v{};
  for (size_t k = 0; k < 6; ++k)
    if (!ReadToolNumber(texts[k], v[k], message)) return false;
  settings.Fixed = {v[0], v[1], v[2]};
  settings.Rotating = {v[3], v[4], v[5]};
  return true;
}

void ApplyTorsionPreview(TScene& preview, TScene& scene, const TToolTarget& target, const TTorsionSettings& t) {
  CopyObjectState(preview, target.PreviewIndex, scene, scene.IndexOf(target.Object));
  TSolidObject* solid = preview.SolidAt(target.PreviewIndex);
  if (!solid) return;
  ResetObjectPlacement(*solid);
  TSharedPointList list = BuildSharedPoints(*solid);
  if (!TorsionAxisIsNull(t.Fixed, t.Rotating)) ApplyTorsion(list, t.Fixed, t.Rotating, t.Angle);
  WriteBackSharedPoints(*solid, list);
  solid->SetTorsion(t.Fixed, t.Rotating, t.Angle);
}

TDragFrame DragDirections(const T3dObject& object) {
  TDragFrame f;
  D3DMATRIX inverse;
  if (!Invert(object.RotationMatrix, inverse)) return f;
  f.X = ToDouble(NormalizeSafe(ToSingle(ApplyMatrix({1, 0, 0}, inverse))));
  f.Y = ToDouble(NormalizeSafe(ToSingle(ApplyMatrix({0, 1, 0}, inverse))));
  return f;
}

Vec3d DraggedPoint(const Vec3d& start, const TDragFrame& frame, int dx, int dy, int width, int height, int speed) {
  const double r = dx / double(std::max(1, width - speed + 200));
  const double t = -dy / double(std::max(1, height - speed + 200));
  return start + frame.X * r + frame.Y * t;
}

// ---------------------------------------------------------------- texture

std::vector<TPlace> TexturePlaces(const std::string& home, const std::string& mountsText) {
  std::vector<TPlace> places;
  if (!home.empty()) places.push_back({"Dossier personnel (" + home + ")", home});
  places.push_back({"Racine (/)", "/"});
  std::istringstream in(mountsText);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string device, point;
    if (!(fields >> device >> point)) continue;
    // Mount points write blanks as "\040".
    for (size_t p; (p = point.find("\\040")) != std::string::npos;) point.replace(p, 4, " ");
    const bool volume =
        point.rfind("/media/", 0) == 0 || point.rfind("/mnt/", 0) == 0 || point.rfind("/run/media/", 0) == 0;
    if (!volume) continue;
    if (std::any_of(places.begin(), places.end(), [&](const TPlace& p) { return p.Path == point; })) continue;
    places.push_back({point, point});
  }
  return places;
}

std::vector<TPlace> TexturePlaces() {
  const char* home = std::getenv("HOME");
  std::ifstream mounts("/proc/self/mounts");
  std::stringstream text;
  text << mounts.rdbuf();
  return TexturePlaces(home ? home : "", text.str());
}

bool IsTextureFileName(const std::string& name) {
  const std::string ext = fs::path(name).extension().string();
  return !ext.empty() && FindImageFormat(ext) != nullptr;
}

bool ListTextureFolder(const std::string& folder, std::vector<std::string>& folders, std::vector<std::string>& files,
                       std::string& message) {
  folders.clear();
  files.clear();
  std::error_code ec;
  fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
  if (ec) {
    message = kMsgFolderUnreadable + folder;
    return false;
  }
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    const std::string name = it->path().filename().string();
    std::error_code e2;
    if (it->is_directory(e2))
      folders.push_back(name);
    else if (IsTextureFileName(name) && it->is_regular_file(e2))
      files.push_back(name);
  }
  if (ec) {
    folders.clear();
    files.clear();
    message = kMsgFolderUnreadable + folder;
    return false;
  }
  std::sort(folders.begin(), folders.end());
  std::sort(files.begin(), files.end());
  if (fs::path(folder).lexically_normal() != fs::path(folder).root_path()) folders.insert(folders.begin(), "..");
  return true;
}

bool ApplyTexturePreview(TScene& preview, int index, const std::string& file, std::string& message) {
  TSolidObject* solid = preview.SolidAt(index);
  if (file.empty() || !solid) return false;
  TImage image;
  if (!LoadImageFile(file, image, message)) return false;
  preview.Device().LoadTexture(*solid, file);
  return true;
}

// ---------------------------------------------------------------- hand edits

namespace {

const D3DVERTEX* VertexOf(const TSolidObject& s, const TVertexRef& r) {
  if (r.Composante < 0 || r.Composante >= s.ComposanteCount()) return nullptr;
  const auto& vs = s.Composantes[size_t(r.Composante)].Vertices;
  if (r.Vertex < 0 || r.Vertex >= static_cast<int>(vs.size())) return nullptr;
  return &vs[size_t(r.Vertex)];
}

int RunningIndex(const TSolidObject& s, const TVertexRef& r) {
  int n = 1;
  for (int c = 0; c < r.Composante && c < s.ComposanteCount(); ++c)
    n += static_cast<int>(s.Composantes[size_t(c)].Vertices.size());
  return n + r.Vertex;
}

Vec3d PositionOf(const D3DVERTEX& v) { return {v.x, v.y, v.z}; }

}  // namespace

bool MergeHandEdits(TSolidObject& target, const TSolidObject& preview) {
  for (const TVertexRef& r : preview.ModifiedVertices)
    if (!VertexOf(target, r) || !VertexOf(preview, r)) return false;
  for (int k = 0; k < preview.ModifiedCount(); ++k) {
    const TVertexRef r = preview.ModifiedVertices[size_t(k)];
    const Vec3d from = PositionOf(*VertexOf(target, r));
    const Vec3d to = PositionOf(*VertexOf(preview, r));
    MoveCoincidentVertices(target, from, to);
    const int n = RunningIndex(preview, r);
    const Vec3d uv = preview.GetTexCoordAt(to, n);
    if (!(uv == NotFoundVector)) target.SetTexCoordAt(to, float(uv.x), float(uv.y), n);
    if (target.ModifiedCount() <= k) target.SetModifiedCount(k + 1);
    target.SetModified(k, r);
  }
  return true;
}

// ---------------------------------------------------------------- envelope editor

TEnvelopeEditor::TEnvelopeEditor(TScene& preview, TSceneRenderer& renderer, int index)
    : FPreview(preview), FRenderer(renderer), FIndex(index) {}

TSolidObject* TEnvelopeEditor::Solid() const { return FPreview.SolidAt(FIndex); }

bool TEnvelopeEditor::PickAt(int x, int y, int width, int height, Vec3d& position, TVertexRef& ref) {
  if (width < 2 || height < 2) return false;
  // A preview whose navigation cannot be inverted picks nothing, without a word.
  const TVertexHit hit =
      PickVertex(FPreview, FPreview.Views[0], FIndex, x / double(width - 1), (y + 1) / double(height - 1)).ValueOr({});
  if (!hit.Found()) return false;
  position = hit.Position;
  ref = {hit.Composante, hit.Vertex};
  return true;
}

void TEnvelopeEditor::MouseMove(int x, int y, int width, int height) {
  if (FDragging) return;
  Vec3d p;
  TVertexRef r;
  if (PickAt(x, y, width, height, p, r)) {
    Hover = p;
    HoverRef = r;
    FRenderer.SetMarker(p);
  }
}

void TEnvelopeEditor::Press(int x, int y, TButton button) {
  if (const TSolidObject* s = Solid()) FFrame = DragDirections(*s);
  FDragStart = Current;
  FX0 = x, FY0 = y;
  if (button == TButton::Left && HasCurrent()) {
    FDragging = true;
    FRenderer.ShowMarker = false;
  }
}

void TEnvelopeEditor::DragTo(int x, int y, int width, int height, int speed) {
  if (!FDragging || !HasCurrent() || !Solid()) return;
  const Vec3d p = DraggedPoint(FDragStart, FFrame, x - FX0, y - FY0, width, height, speed);
  MoveCoincidentVertices(*Solid(), Current, p);
  FRenderer.SetObjectPointMarker(FIndex, p);
  Current = p;
}

void TEnvelopeEditor::Release(int x, int y, int width, int height, TButton button) {
  TSolidObject* s = Solid();
  if (button == TButton::Right) {
    Current = Hover;
    FPicked = true;
    FRenderer.ShowSelectionMarks = true;
    FRenderer.SetObjectPointMarker(FIndex, Current);
  } else if (HasCurrent() && !(Current == FDragStart) && s) {
    s->AddModified(HoverRef.Composante, HoverRef.Vertex);
    Vec3d p;
    TVertexRef r;
    if (!PickAt(x, y, width, height, p, r)) {
      FRenderer.SetMarker(Current);
    } else {
      Hover = p;
      HoverRef = r;
      FRenderer.SetMarker(p);
    }
  }
  FDragging = false;
  FRenderer.ShowMarker = true;
}

void TEnvelopeEditor::MoveCurrentTo(const Vec3d& p) {
  TSolidObject* s = Solid();
  if (!s || !HasCurrent()) return;
  MoveCoincidentVertices(*s, Current, p);
  FRenderer.SetObjectPointMarker(FIndex, p);
  Current = p;
  s->AddModified(HoverRef.Composante, HoverRef.Vertex);
}

void TEnvelopeEditor::SetMapping(float tu, float tv) {
  TSolidObject* s = Solid();
  if (!s || !HasCurrent()) return;
  s->SetTexCoordAt(Current, tu, tv, RunningIndex(*s, HoverRef));
  s->MarkModifiedAt(Current);
}

bool TEnvelopeEditor::Mapping(float& tu, float& tv) const {
  const TSolidObject* s = Solid();
  if (!s || !HasCurrent()) return false;
  const Vec3d uv = s->GetTexCoordAt(Current, RunningIndex(*s, HoverRef));
  if (uv == NotFoundVector) return false;
  tu = float(uv.x), tv = float(uv.y);
  return true;
}

// ---------------------------------------------------------------- point editor table

void TMeshGrid::Fill(const TSolidObject& solid) {
  Rows.clear();
  int n = 1;
  for (const TComposante& c : solid.Composantes)
    for (const D3DVERTEX& v : c.Vertices)
      Rows.push_back({std::to_string(n++), FormatNumber(v.x), FormatNumber(v.y), FormatNumber(v.z), FormatNumber(v.tu),
                      FormatNumber(v.tv)});
}

const std::string& TMeshGrid::Cell(int row, int column) const {
  static const std::string kEmpty;
  if (row == 0 && column >= 0 && column < 6) {
    static const std::array<std::string, 6> headers{kGridHeaders[0], kGridHeaders[1], kGridHeaders[2],
                                                    kGridHeaders[3], kGridHeaders[4], kGridHeaders[5]};
    return headers[size_t(column)];
  }
  if (row < 1 || row > static_cast<int>(Rows.size()) || column < 0 || column >= 6) return kEmpty;
  return Rows[size_t(row - 1)][size_t(column)];
}

void TMeshGrid::SetCell(int row, int column, const std::string& text) {
  if (row < 1 || row > static_cast<int>(Rows.size()) || column < 1 || column >= 6) return;
  Rows[size_t(row - 1)][size_t(column)] = text;
}

bool TMeshGrid::ValidCell(const std::string& text) {
  if (text.empty() || text == "-") return false;
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= ',' && c <= '9' && c != '/'; });
}

bool TMeshGrid::Commit(TSolidObject& solid, int row, int column, double remembered, std::string& message) {
  if (row < 1 || row > static_cast<int>(Rows.size()) || column < 1 || column >= 6) return false;
  const std::string& text = Cell(row, column);
  if (text.empty() || text == "-") {
    message = NotAFloatMessage(text);
    return false;
  }
  if (!ValidCell(text)) return false;
  const std::optional<double> value = ParseNumber(text);
  if (!value || *value == remembered) return false;
  if (std::fabs(*value) > kToolValueLimit) {
    message = kMsgValueOutOfRange + text;
    return false;
  }
  // The table shows three decimals: the vertex's own position is the old one, so that the move
  // finds it and every vertex lying there even when the shown text was rounded.
  const TVertexRef ref = solid.VertexByRunningIndex(row);
  const D3DVERTEX* vertex = VertexOf(solid, ref);
  if (!vertex) return false;
  std::array<double, 6> v{0, vertex->x, vertex->y, vertex->z, vertex->tu, vertex->tv};
  v[size_t(column)] = *value;
  const Vec3d old = PositionOf(*vertex);
  const Vec3d now{v[1], v[2], v[3]};
  solid.SetTexCoordAt(old, float(v[4]), float(v[5]), row);
  MoveCoincidentVertices(solid, old, now);
  solid.AddModified(ref.Composante, ref.Vertex);
  Fill(solid);
  return true;
}

}  // namespace ixoral
