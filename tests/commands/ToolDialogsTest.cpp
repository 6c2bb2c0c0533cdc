// The deformation and texture dialogs' work without a window: tries on a preview copy that never
// add up, "&OK" as one change of the scene, the texture dialog's places, folders and pictures,
// the envelope and point editors' moves.
#include "commands/ToolDialogs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <cstring>
#include <set>

#include "TempFolder.h"
#include "commands/Modeller.h"
#include "document/SceneDocument.h"
#include "scene/Shapes.h"
#include "platform/NumberFormat.h"
#include "scene/ViewOps.h"
#include "tools/Deformations.h"
#include "tools/images/Image.h"

using namespace ixoral;
namespace fs = std::filesystem;

namespace {

std::vector<D3DVERTEX> Vertices(const TSolidObject& s) {
  std::vector<D3DVERTEX> all;
  for (const auto& c : s.Composantes) all.insert(all.end(), c.Vertices.begin(), c.Vertices.end());
  return all;
}

bool SameMesh(const TSolidObject& a, const TSolidObject& b) {
  const auto va = Vertices(a), vb = Vertices(b);
  if (va.size() != vb.size()) return false;
  for (size_t k = 0; k < va.size(); ++k)
    if (va[k].x != vb[k].x || va[k].y != vb[k].y || va[k].z != vb[k].z || va[k].tu != vb[k].tu || va[k].tv != vb[k].tv)
      return false;
  return true;
}

class ToolDialogsTest : public ::testing::Test {
 protected:
  ToolDialogsTest()
      : Main(320, 240, nullptr, nullptr),
        Drawn(280, 257, nullptr, nullptr),
        Modeller(Main.Scene, Prompt, Clipboard, nullptr, nullptr) {
    EXPECT_TRUE(Main.Renderer.InitDevice());
    Main.Scene.NewScene(true);
    Cube = Modeller.Insert(TInsertCommand::Cube);
    Main.Scene.SolidAt(Cube)->SetPosition({5, 0, 0});
    Drawn.Scene.FourViews = false;
    EXPECT_TRUE(Drawn.Renderer.InitDevice());
    Target = SetUpPreview(Drawn.Scene, Drawn.Renderer, Main.Scene, Cube);
    EXPECT_EQ(Target.PreviewIndex, Cube) << "the light before the cube is copied with it";
    Observer = Main.Scene.Observe([this](const TSceneEvent& e) {
      if (e.Change == TSceneChange::ObjectChanged) ++Changes;
      if (e.Change != TSceneChange::RedrawRequested) ++Events;
    });
  }
  TSolidObject& SceneCube() { return *Main.Scene.SolidAt(Cube); }
  TSolidObject& PreviewCube() { return *Drawn.Scene.SolidAt(Target.PreviewIndex); }

  test::TTempFolder Folder{"tooldialogs"};
  TScriptedPrompt Prompt;
  TMemoryClipboard Clipboard;
  TDisplayScene Main;
  TDisplayScene Drawn;
  TModeller Modeller;
  int Cube = -1;
  TToolTarget Target;
  int Changes = 0;
  int Events = 0;  // every notification but the redraw requests
  TSceneSubscription Observer;
};

}  // namespace

TEST_F(ToolDialogsTest, ThePreviewHoldsTheObjectAloneAtTheOrigin) {
  EXPECT_EQ(Drawn.Scene.ObjectCount(), Main.Scene.ObjectCount());
  EXPECT_EQ(Drawn.Scene.CurrentObject(), Cube);
  EXPECT_TRUE(Drawn.Renderer.IsolateObject);
  EXPECT_EQ(Drawn.Renderer.IsolatedIndex, Cube);
  EXPECT_EQ(PreviewCube().Position, (Vec3d{0, 0, 0}));
  EXPECT_EQ(SceneCube().Position, (Vec3d{5, 0, 0}));
  EXPECT_TRUE(SameMesh(PreviewCube(), SceneCube()));
}

TEST_F(ToolDialogsTest, NoiseTriesStartFromTheSceneObjectAndOkBringsTheLastOneBack) {
  const std::string before = WriteSceneText(Main.Scene);
  const TArrayOfComposante base = SceneCube().Composantes;
  TNoiseChoice choice;
  choice.Range = 3;
  std::string message;
  ASSERT_TRUE(ApplyNoisePreview(Drawn.Scene, Main.Scene, Cube, choice, 1234, message));
  const auto once = Vertices(PreviewCube());
  EXPECT_FALSE(SameMesh(PreviewCube(), SceneCube()));
  // The same try again gives the same preview, not twice the noise.
  ASSERT_TRUE(ApplyNoisePreview(Drawn.Scene, Main.Scene, Cube, choice, 1234, message));
  EXPECT_EQ(std::memcmp(once.data(), Vertices(PreviewCube()).data(), once.size() * sizeof(D3DVERTEX)), 0);
  // Another seed: another noise, still from the scene's object.
  ASSERT_TRUE(ApplyNoisePreview(Drawn.Scene, Main.Scene, Cube, choice, 99, message));
  EXPECT_EQ(PreviewCube().NoiseParams->Seed, 99);
  // The seams stay closed: eight corners still.
  EXPECT_EQ(BuildSharedPoints(PreviewCube()).size(), 8u);
  // Nothing reached the scene yet.
  EXPECT_EQ(WriteSceneText(Main.Scene), before);
  EXPECT_EQ(Changes, 0);

  Events = 0;
  ASSERT_TRUE(Modeller.ApplyToolResult(Cube, Drawn.Scene, TModeller::TToolResult::WholeObject));
  EXPECT_EQ(Changes, 1);
  EXPECT_EQ(Events, 1);  // one change of the scene, nothing else told
  EXPECT_TRUE(SameMesh(SceneCube(), PreviewCube()));
  ASSERT_TRUE(SceneCube().Bruit);
  EXPECT_EQ(SceneCube().NoiseParams->Seed, 99);
  EXPECT_DOUBLE_EQ(SceneCube().NoiseParams->Min, -0.5);
  EXPECT_DOUBLE_EQ(SceneCube().NoiseParams->Max, 0.5);
  EXPECT_EQ(SceneCube().Position, (Vec3d{5, 0, 0}));  // each try restarts from the scene's placement
  EXPECT_EQ(SceneCube().Color, 0xFFFFFFFFu);          // the colour stays the scene's
  const std::string after = WriteSceneText(Main.Scene);
  EXPECT_NE(after.find(";Bruit;"), std::string::npos) << after;
  EXPECT_EQ(after.find("No Bruit"), std::string::npos);

  // Regenerating the base cube and applying the stored noise gives the same corners.
  TSolidObject again;
  again.Composantes = base;
  again.SetNoise(99, true, 0.5, -0.5);
  ReapplyNoise(again);
  EXPECT_TRUE(SameMesh(again, SceneCube()));
}

TEST_F(ToolDialogsTest, NoiseBoundsOfTheFourRangesAndBadTypedBounds) {
  double mn = 0, mx = 0;
  std::string message;
  TNoiseChoice c;
  ASSERT_TRUE(NoiseBounds(c, mn, mx, message));
  EXPECT_DOUBLE_EQ(mn, -0.01);
  EXPECT_DOUBLE_EQ(mx, 0.01);
  c.Range = 2;
  ASSERT_TRUE(NoiseBounds(c, mn, mx, message));
  EXPECT_DOUBLE_EQ(mx, 0.1);
  // Min above max is allowed: the offsets lie between them.
  c.Range = 4;
  c.MinText = "0,3";
  c.MaxText = "0,1";
  ASSERT_TRUE(NoiseBounds(c, mn, mx, message));
  EXPECT_DOUBLE_EQ(mn, 0.3);
  EXPECT_DOUBLE_EQ(mx, 0.1);
  std::string m2;
  ASSERT_TRUE(ApplyNoisePreview(Drawn.Scene, Main.Scene, Cube, c, 7, m2));
  const auto moved = Vertices(PreviewCube()), base = Vertices(SceneCube());
  for (size_t k = 0; k < moved.size(); ++k) {
    EXPECT_GE(moved[k].x - base[k].x, 0.1 - 1e-6);
    EXPECT_LE(moved[k].x - base[k].x, 0.3 + 1e-6);
  }

  // A field that is not a number: the conversion message, the preview holds the scene's object.
  c.MinText = "-";
  EXPECT_FALSE(ApplyNoisePreview(Drawn.Scene, Main.Scene, Cube, c, 7, message));
  EXPECT_EQ(message, "'-' n'est pas une valeur en virgule flottante correcte");
  EXPECT_TRUE(SameMesh(PreviewCube(), SceneCube()));
  // Bounds beyond what a mesh holds are refused as well.
  c.MinText = "0";
  c.MaxText = "1e30";
  EXPECT_FALSE(NoiseBounds(c, mn, mx, message));
  EXPECT_EQ(message, std::string(kMsgValueOutOfRange) + "1e30");
  c.MaxText = "";
  EXPECT_FALSE(NoiseBounds(c, mn, mx, message));
  EXPECT_EQ(message, "'' n'est pas une valeur en virgule flottante correcte");
}

TEST_F(ToolDialogsTest, TorsionTriesPutTheObjectAtTheOriginAndOkKeepsTheRecord) {
  TTorsionSettings t;
  t.Angle = TorsionAngleOfBar(50);  // a quarter turn
  EXPECT_DOUBLE_EQ(t.Angle, M_PI / 2);
  const auto base = Vertices(SceneCube());
  const float top = std::max_element(base.begin(), base.end(), [](auto& a, auto& b) { return a.y < b.y; })->y;
  t.Fixed = {0, -top, 0};
  t.Rotating = {0, top, 0};
  ApplyTorsionPreview(Drawn.Scene, Main.Scene, Cube, t);
  ApplyTorsionPreview(Drawn.Scene, Main.Scene, Cube, t);  // twice: the same, not half a turn
  // The top corners turned a quarter turn about y (x takes z, z takes -x); the bottom ones stayed.
  const auto turned = Vertices(PreviewCube());
  ASSERT_EQ(turned.size(), base.size());
  for (size_t k = 0; k < base.size(); ++k) {
    if (base[k].y == top) {
      EXPECT_NEAR(turned[k].x, base[k].z, 1e-6);
      EXPECT_NEAR(turned[k].z, -base[k].x, 1e-6);
    } else if (base[k].y == -top) {
      EXPECT_EQ(turned[k].x, base[k].x);
      EXPECT_EQ(turned[k].z, base[k].z);
    }
  }
  EXPECT_EQ(PreviewCube().Position, (Vec3d{0, 0, 0}));
  ASSERT_TRUE(PreviewCube().Torsion);

  const std::string before = WriteSceneText(Main.Scene);
  EXPECT_EQ(before.find(";Torsion;"), std::string::npos);
  ASSERT_TRUE(Modeller.ApplyToolResult(Cube, Drawn.Scene, TModeller::TToolResult::WholeObject));
  EXPECT_EQ(Changes, 1);
  EXPECT_EQ(SceneCube().Position, (Vec3d{0, 0, 0}));
  ASSERT_TRUE(SceneCube().Torsion);
  EXPECT_DOUBLE_EQ(SceneCube().TorsionParams->Angle, M_PI / 2);
  EXPECT_NE(WriteSceneText(Main.Scene).find(";Torsion;"), std::string::npos);
  // The selection marks are the scene's own again, not the preview's red marker.
  EXPECT_NE(SceneCube().SelectionMarks[40].color, 0xFFFF0000u);
}

TEST_F(ToolDialogsTest, TorsionWithoutAxisAndBadPointFields) {
  TTorsionSettings t;
  std::array<std::string, 6> texts{"0", "0,5", "0", "0", "0,5", "0"};
  std::string message;
  ASSERT_TRUE(ReadTorsionFields(texts, t, message));
  EXPECT_TRUE(TorsionAxisIsNull(t.Fixed, t.Rotating));
  t.Angle = 1;
  ApplyTorsionPreview(Drawn.Scene, Main.Scene, Cube, t);
  EXPECT_TRUE(SameMesh(PreviewCube(), SceneCube()));  // no axis, no twist
  // A field that is not a number leaves the points as they were.
  texts[4] = "abc";
  const Vec3d rotating = t.Rotating;
  EXPECT_FALSE(ReadTorsionFields(texts, t, message));
  EXPECT_EQ(message, "'abc' n'est pas une valeur en virgule flottante correcte");
  EXPECT_EQ(t.Rotating, rotating);
  texts[4] = "99999";
  EXPECT_FALSE(ReadTorsionFields(texts, t, message));
  EXPECT_EQ(t.Rotating, rotating);
}

TEST_F(ToolDialogsTest, DragsMoveAlongTheObjectsScreenAxes) {
  TDragFrame f = DragDirections(PreviewCube());
  EXPECT_NEAR(f.X.x, 1, 1e-6);
  EXPECT_NEAR(f.Y.y, 1, 1e-6);
  // At speed 200 a drag across the whole panel moves one unit; upwards is +Y.
  const Vec3d p = DraggedPoint({0, 0, 0}, f, 217, -233, 217, 233, 200);
  EXPECT_NEAR(p.x, 1, 1e-9);
  EXPECT_NEAR(p.y, 1, 1e-9);
  // A quarter turn about y seen from the front: the screen's x is the object's z.
  Drawn.Scene.Views[0].SetViewType(vtFace);
  PlacePreviewObject(Drawn.Scene, Cube, 100, 0, 90);
  f = DragDirections(PreviewCube());
  EXPECT_NEAR(std::fabs(f.X.z), 1, 1e-5);
  EXPECT_NEAR(f.Y.y, 1, 1e-5);
  PlacePreviewObject(Drawn.Scene, Cube, 150, 0, 0);
  EXPECT_EQ(PreviewCube().Redim, (Vec3d{1.5, 1.5, 1.5}));
}

TEST_F(ToolDialogsTest, TexturePlacesFoldersAndPictureFiles) {
  const auto places = TexturePlaces("/home/ana",
                                    "/dev/sda1 / ext4 rw 0 0\nproc /proc proc rw 0 0\n"
                                    "/dev/sdb1 /media/ana/CLE\\040USB vfat rw 0 0\n/dev/sdc1 /mnt/data ext4 rw 0 0\n");
  ASSERT_EQ(places.size(), 4u);
  EXPECT_EQ(places[0].Path, "/home/ana");
  EXPECT_EQ(places[1].Path, "/");
  EXPECT_EQ(places[2].Path, "/media/ana/CLE USB");
  EXPECT_EQ(places[3].Path, "/mnt/data");

  const fs::path dir = Folder.File("images");
  fs::create_directories(dir / "sous-dossier");
  for (const char* name : {"a.bmp", "B.JPG", "c.tiff", "d.tga", "e.rgb", "f.cel", "notes.txt", "g.png", "sans"})
    std::ofstream(dir / name) << "x";
  std::vector<std::string> folders, files;
  std::string message;
  ASSERT_TRUE(ListTextureFolder(dir.string(), folders, files, message));
  EXPECT_EQ(folders, (std::vector<std::string>{"..", "sous-dossier"}));
  EXPECT_EQ(files, (std::vector<std::string>{"B.JPG", "a.bmp", "c.tiff", "d.tga", "e.rgb", "f.cel", "g.png"}));
  EXPECT_FALSE(ListTextureFolder((dir / "absent").string(), folders, files, message));
  EXPECT_EQ(message, std::string(kMsgFolderUnreadable) + (dir / "absent").string());
  EXPECT_TRUE(folders.empty());
  EXPECT_TRUE(files.empty());
  ASSERT_TRUE(ListTextureFolder("/", folders, files, message));
  EXPECT_TRUE(folders.empty() || folders.front() != "..");
}

TEST_F(ToolDialogsTest, ABadPictureLeavesThePreviewAndTheObjectUntouched) {
  const std::string bad = Folder.File("casse.tga");
  std::ofstream(bad, std::ios::binary) << std::string("\0\0\x02\0\0\0\0\0", 8);
  std::string message;
  EXPECT_FALSE(ApplyTexturePreview(Drawn.Scene, Cube, bad, message));
  EXPECT_EQ(message, kMsgTargaInvalid);
  EXPECT_FALSE(PreviewCube().Texturer);
  const std::string before = WriteSceneText(Main.Scene);
  EXPECT_FALSE(Modeller.ApplyToolResult(Cube, Drawn.Scene, TModeller::TToolResult::Texture, bad));
  EXPECT_EQ(Prompt.Texts().back(), kMsgTargaInvalid);
  EXPECT_EQ(WriteSceneText(Main.Scene), before);
  EXPECT_FALSE(SceneCube().Texturer);
  EXPECT_EQ(Changes, 0);

  // A picture of one pixel is a texture all the same.
  const std::string one = std::string(IXORAL_TEST_DATA_DIR) + "/images/one-pixel.bmp";
  ASSERT_TRUE(ApplyTexturePreview(Drawn.Scene, Cube, one, message)) << message;
  EXPECT_TRUE(PreviewCube().Texturer);
  ASSERT_TRUE(PreviewCube().TextureSurface);
  ASSERT_TRUE(Modeller.ApplyToolResult(Cube, Drawn.Scene, TModeller::TToolResult::Texture, one));
  EXPECT_EQ(SceneCube().TextureFile, one);
  EXPECT_TRUE(SceneCube().TextureSurface);
  EXPECT_EQ(Changes, 1);
  // Nothing chosen: nothing happens.
  EXPECT_FALSE(ApplyTexturePreview(Drawn.Scene, Cube, "", message));
}

TEST_F(ToolDialogsTest, APastedTextureIsKeptOnlyWhenChosenInTheDialog) {
  const std::string chosen = std::string(IXORAL_TEST_DATA_DIR) + "/images/one-pixel.bmp";
  const std::string other = std::string(IXORAL_TEST_DATA_DIR) + "/images/two-colours.bmp";
  ASSERT_TRUE(Modeller.ApplyToolResult(Cube, Drawn.Scene, TModeller::TToolResult::Texture, chosen));
  ASSERT_TRUE(Modeller.Copy(Cube));
  std::string record = Clipboard.GetText();
  Prompt.ClearShown();
  const int pasted = Modeller.Paste();
  ASSERT_GE(pasted, 0);
  EXPECT_EQ(Main.Scene.SolidAt(pasted)->TextureFile, chosen);
  EXPECT_TRUE(Prompt.Texts().empty());
  Clipboard.SetText(record.replace(record.find(chosen), chosen.size(), other));
  const int untextured = Modeller.Paste();
  ASSERT_GE(untextured, 0);
  EXPECT_FALSE(Main.Scene.SolidAt(untextured)->Texturer);
  EXPECT_EQ(Prompt.Texts(), std::vector<std::string>{kMsgTextureNotPasted + other + kMsgTextureNotPastedEnd});
}

TEST_F(ToolDialogsTest, PointEditorTableMovesSharedCornersAndMappingsAlone) {
  TMeshGrid grid;
  grid.Fill(PreviewCube());
  ASSERT_EQ(grid.RowCount(), 37);
  EXPECT_EQ(grid.Cell(0, 1), "en X");
  EXPECT_EQ(grid.Cell(1, 0), "1");
  const std::string x = grid.Cell(1, 1), y = grid.Cell(1, 2), z = grid.Cell(1, 3);
  std::set<int> shared;
  for (int r = 1; r < grid.RowCount(); ++r)
    if (grid.Cell(r, 1) == x && grid.Cell(r, 2) == y && grid.Cell(r, 3) == z) shared.insert(r);
  EXPECT_GT(shared.size(), 1u);

  std::string message;
  // The same value again: nothing.
  EXPECT_FALSE(grid.Commit(PreviewCube(), 1, 1, *ParseNumber(x), message));
  EXPECT_TRUE(PreviewCube().ModifiedVertices.empty());
  const double old = *ParseNumber(x);
  grid.SetCell(1, 1, "2");
  ASSERT_TRUE(grid.Commit(PreviewCube(), 1, 1, old, message));
  for (int r : shared) EXPECT_EQ(grid.Cell(r, 1), "2,000") << r;
  ASSERT_EQ(PreviewCube().ModifiedVertices.size(), 1u);
  EXPECT_EQ(BuildSharedPoints(PreviewCube()).size(), 8u);

  // Only "en U (X)": that row alone.
  const int other = *std::next(shared.begin());
  const std::string otherU = grid.Cell(other, 4);
  const double u = *ParseNumber(grid.Cell(1, 4));
  grid.SetCell(1, 4, "0,75");
  ASSERT_TRUE(grid.Commit(PreviewCube(), 1, 4, u, message));
  EXPECT_EQ(grid.Cell(1, 4), "0,750");
  EXPECT_EQ(grid.Cell(other, 4), otherU);

  // An empty cell: the message, nothing changed.
  const auto before = Vertices(PreviewCube());
  grid.SetCell(2, 2, "");
  EXPECT_FALSE(grid.Commit(PreviewCube(), 2, 2, 0.5, message));
  EXPECT_EQ(message, "'' n'est pas une valeur en virgule flottante correcte");
  EXPECT_EQ(std::memcmp(before.data(), Vertices(PreviewCube()).data(), before.size() * sizeof(D3DVERTEX)), 0);

  // "&OK": the edits merged into the scene object, its placement untouched.
  ASSERT_TRUE(Modeller.ApplyToolResult(Cube, Drawn.Scene, TModeller::TToolResult::HandEdits));
  EXPECT_TRUE(SameMesh(SceneCube(), PreviewCube()));
  EXPECT_EQ(SceneCube().ModifiedVertices, PreviewCube().ModifiedVertices);
  EXPECT_EQ(SceneCube().Position, (Vec3d{5, 0, 0}));
  EXPECT_EQ(Changes, 1);
}

TEST_F(ToolDialogsTest, EnvelopeMovesMergeAndNothingRecordedChangesNothing) {
  const std::string before = WriteSceneText(Main.Scene);
  EXPECT_FALSE(Modeller.ApplyToolResult(Cube, Drawn.Scene, TModeller::TToolResult::HandEdits));
  EXPECT_EQ(WriteSceneText(Main.Scene), before);

  TEnvelopeEditor edit(Drawn.Scene, Drawn.Renderer, Cube);
  edit.MoveCurrentTo({1, 1, 1});  // no current point: nothing moves
  EXPECT_TRUE(SameMesh(PreviewCube(), SceneCube()));
  // The right button picks the hover point (the origin before any pick is found).
  const D3DVERTEX& first = PreviewCube().Composantes[0].Vertices[0];
  edit.Hover = {first.x, first.y, first.z};
  edit.HoverRef = {0, 0};
  edit.Release(0, 0, 280, 257, TEnvelopeEditor::TButton::Right);
  ASSERT_TRUE(edit.HasCurrent());
  EXPECT_TRUE(edit.Picked());
  const Vec3d corner = edit.Current;
  edit.MoveCurrentTo({corner.x * 2, corner.y * 2, corner.z * 2});
  edit.MoveCurrentTo({corner.x * 3, corner.y * 3, corner.z * 3});  // the same vertex: recorded once
  EXPECT_EQ(PreviewCube().ModifiedVertices.size(), 1u);
  EXPECT_EQ(BuildSharedPoints(PreviewCube()).size(), 8u);  // the three faces followed
  edit.SetMapping(0.25f, 0.5f);
  float tu = 0, tv = 0;
  ASSERT_TRUE(edit.Mapping(tu, tv));
  EXPECT_EQ(tu, 0.25f);

  // A drag with the left button from the current point.
  edit.Press(100, 100, TEnvelopeEditor::TButton::Left);
  EXPECT_TRUE(edit.Dragging());
  edit.DragTo(100 + 280, 100, 280, 257, 200);  // a whole width to the right: one unit along x
  EXPECT_NEAR(edit.Current.x, corner.x * 3 + 1, 1e-6);

  ASSERT_TRUE(Modeller.ApplyToolResult(Cube, Drawn.Scene, TModeller::TToolResult::HandEdits));
  EXPECT_TRUE(SameMesh(SceneCube(), PreviewCube()));
  EXPECT_EQ(SceneCube().Position, (Vec3d{5, 0, 0}));
  const std::string after = WriteSceneText(Main.Scene);
  EXPECT_NE(after, before);
}

TEST_F(ToolDialogsTest, ADialogKeepsItsOwnObjectWhenOthersAreDeletedBehindIt) {
  // The dialog opens on the torus, the last object; a sphere before it is deleted behind the
  // dialog, and the torus moves into the sphere's place.
  const int sphere = Modeller.Insert(TInsertCommand::Sphere);
  Modeller.Insert(TInsertCommand::Cube);
  const int torus = Modeller.Insert(TInsertCommand::Tore);
  TDisplayScene preview(280, 257, nullptr, nullptr);
  ASSERT_TRUE(preview.Renderer.InitDevice());
  const TToolTarget target = SetUpPreview(preview.Scene, preview.Renderer, Main.Scene, torus);
  const std::string name = Main.Scene.ObjectAt(torus)->Name();
  Prompt.QueueAnswer(TAnswer::Yes);  // "Voulez-vous réelement supprimer ..."
  ASSERT_TRUE(Modeller.Delete(sphere));
  ASSERT_EQ(Main.Scene.ObjectAt(torus), nullptr) << "the list moved under the dialog";

  TNoiseChoice choice;
  choice.Range = 3;
  std::string message;
  ASSERT_TRUE(ApplyNoisePreview(preview.Scene, Main.Scene, target, choice, 77, message)) << message;
  ASSERT_TRUE(Modeller.ApplyToolResult(target, preview.Scene, TModeller::TToolResult::WholeObject));
  const int now = Main.Scene.IndexOf(target.Object);
  ASSERT_EQ(now, sphere);
  EXPECT_EQ(Main.Scene.ObjectAt(now)->Name(), name);
  EXPECT_TRUE(Main.Scene.SolidAt(now)->Bruit);
  for (int i = 0; i < Main.Scene.ObjectCount(); ++i)
    if (i != now && Main.Scene.IsSolid(i)) {
      EXPECT_FALSE(Main.Scene.SolidAt(i)->Bruit) << i;
    }

  // Once its object is deleted too, the dialog's result is refused and nothing else changes.
  Prompt.QueueAnswer(TAnswer::Yes);
  ASSERT_TRUE(Modeller.Delete(now));
  const std::string after = WriteSceneText(Main.Scene);
  EXPECT_FALSE(Modeller.ApplyToolResult(target, preview.Scene, TModeller::TToolResult::WholeObject));
  EXPECT_EQ(WriteSceneText(Main.Scene), after);
}

namespace {

// The colour and depth a preview holds after drawing its one view.
std::vector<uint32_t> PreviewPicture(TDisplayScene& d) {
  d.Renderer.DrawView(0);
  TSurface& s = d.Renderer.Display().Device()->RenderTarget();
  const size_t n = size_t(s.Width()) * size_t(s.Height());
  std::vector<uint32_t> p(s.Pixels(), s.Pixels() + n);
  if (s.HasDepth()) p.insert(p.end(), s.Depth(), s.Depth() + n);
  return p;
}

}  // namespace

TEST_F(ToolDialogsTest, APreviewAtAThousandObjectsShowsAndEditsItsOwnObjectOnly) {
  // A thousand objects (cubes, pyramids and cones, each placed, coloured and some see-through)
  // with lights before, between and after them; the dialog opens on object k, past the middle
  // light.
  const char* const kinds[3] = {"cube", "pyramide", "cone"};
  auto add = [&](int n) {
    for (int c = 0; c < n; ++c) {
      const TInsertDefault* d = FindInsertDefault(kinds[c % 3]);
      const int i = Main.Scene.AddObject(d->Create(), d->Prefix);
      Main.Scene.ObjectAt(i)->SetPosition({0.01 * (i % 17), 0.02 * (i % 13), 0.03 * (i % 7)});
      Main.Scene.ObjectAt(i)->SetColor((i % 5 == 0 ? 0x80000000u : 0xFF000000u) | uint32_t(i * 2654435761u >> 8));
    }
  };
  add(498);  // after the fixture's light and cube
  TScene::CloneObjectInto(Main.Scene, 0, Main.Scene);
  Main.Scene.LightAt(Main.Scene.ObjectCount() - 1)->SetColor(0xFFFF2020);
  add(499);
  TScene::CloneObjectInto(Main.Scene, 0, Main.Scene);
  ASSERT_EQ(Main.Scene.ObjectCount(), 1001);
  const int k = 700;
  const std::vector<TObjectId> ids = [&] {
    std::vector<TObjectId> all;
    for (int i = 0; i < Main.Scene.ObjectCount(); ++i) all.push_back(Main.Scene.IdAt(i));
    return all;
  }();

  TDisplayScene fresh(280, 257, nullptr, nullptr);
  fresh.Scene.FourViews = false;
  ASSERT_TRUE(fresh.Renderer.InitDevice());
  const TToolTarget target = SetUpPreview(fresh.Scene, fresh.Renderer, Main.Scene, k);
  // The three lights in order, the object between the second and the third.
  ASSERT_EQ(fresh.Scene.ObjectCount(), 4);
  EXPECT_EQ(target.PreviewIndex, 2);
  EXPECT_EQ(target.Object, Main.Scene.IdAt(k));
  EXPECT_EQ(fresh.Scene.ObjectAt(2)->Name(), Main.Scene.ObjectAt(k)->Name());
  EXPECT_TRUE(fresh.Scene.IsLight(0) && fresh.Scene.IsLight(1) && fresh.Scene.IsLight(3));
  EXPECT_EQ(fresh.Scene.LightCount, 3);
  EXPECT_EQ(fresh.Scene.CurrentObject(), 2);
  EXPECT_TRUE(SameMesh(*fresh.Scene.SolidAt(2), *Main.Scene.SolidAt(k)));

  // The same picture as a preview holding every object with the others left out of the drawing,
  // light symbols shown, before and after a try of noise.
  TDisplayScene whole(280, 257, nullptr, nullptr);
  whole.Scene.FourViews = false;
  ASSERT_TRUE(whole.Renderer.InitDevice());
  TScene::CopyAllObjects(whole.Scene, Main.Scene);
  whole.Scene.SelectObject(k);
  whole.Renderer.IsolateObject = true;
  whole.Renderer.IsolatedIndex = k;
  whole.Renderer.ShowSelectionMarks = false;
  ResetPosition(whole.Scene, 0);
  const TToolTarget all = ToolTargetAt(Main.Scene, k);
  for (TDisplayScene* d : {&fresh, &whole}) d->Renderer.ShowAllLights = true;
  SetPreviewFill(fresh.Scene, fresh.Renderer, Main.Scene, target, true);
  SetPreviewFill(whole.Scene, whole.Renderer, Main.Scene, all, true);
  const std::vector<uint32_t> plain = PreviewPicture(fresh);
  EXPECT_TRUE(plain == PreviewPicture(whole));
  TNoiseChoice choice;
  choice.Range = 3;
  std::string message;
  ASSERT_TRUE(ApplyNoisePreview(fresh.Scene, Main.Scene, target, choice, 4242, message)) << message;
  ASSERT_TRUE(ApplyNoisePreview(whole.Scene, Main.Scene, all, choice, 4242, message)) << message;
  EXPECT_TRUE(SameMesh(*fresh.Scene.SolidAt(2), *whole.Scene.SolidAt(k)));
  const std::vector<uint32_t> noisy = PreviewPicture(fresh);
  EXPECT_TRUE(noisy == PreviewPicture(whole));
  EXPECT_FALSE(noisy == plain) << "the object is on show";

  // "&OK" changes object k, and no other.
  std::vector<std::vector<D3DVERTEX>> before;
  for (int i = 0; i < Main.Scene.ObjectCount(); ++i)
    before.push_back(Main.Scene.IsSolid(i) ? Vertices(*Main.Scene.SolidAt(i)) : std::vector<D3DVERTEX>{});
  Changes = 0;
  ASSERT_TRUE(Modeller.ApplyToolResult(target, fresh.Scene, TModeller::TToolResult::WholeObject));
  EXPECT_EQ(Changes, 1);
  ASSERT_EQ(Main.Scene.ObjectCount(), 1001);
  int changed = 0;
  for (int i = 0; i < Main.Scene.ObjectCount(); ++i) {
    EXPECT_EQ(Main.Scene.IdAt(i), ids[size_t(i)]);
    if (!Main.Scene.IsSolid(i)) continue;
    const auto now = Vertices(*Main.Scene.SolidAt(i));
    const auto& was = before[size_t(i)];
    const bool same =
        now.size() == was.size() && std::memcmp(now.data(), was.data(), now.size() * sizeof(D3DVERTEX)) == 0;
    changed += same ? 0 : 1;
    EXPECT_EQ(Main.Scene.SolidAt(i)->Bruit, i == k) << i;
  }
  EXPECT_EQ(changed, 1);
  EXPECT_TRUE(SameMesh(*Main.Scene.SolidAt(k), *fresh.Scene.SolidAt(2)));
}

// The light editor, view types and print previews show every object with the scene's meshes lent
// to each drawing: the same pictures as a whole copy in all four views (a drawing made between
// loans keeps nothing of a loan), the scene's meshes back after each, the copies meshless between.
TEST_F(ToolDialogsTest, APreviewBorrowingTheScenesMeshesDrawsAsAWholeCopyAndGivesThemBack) {
  const char* const kinds[4] = {"sphere", "pyramide", "tore", "cone"};
  for (int c = 0; c < 60; ++c) {
    const TInsertDefault* d = FindInsertDefault(kinds[c % 4]);
    const int i = Main.Scene.AddObject(d->Create(), d->Prefix);
    Main.Scene.ObjectAt(i)->SetPosition({0.3 * (c % 5) - 0.6, 0.25 * (c % 7) - 0.7, 0.2 * (c % 3)});
    Main.Scene.ObjectAt(i)->SetColor(0xFF000000u | uint32_t(i * 2654435761u >> 8));
  }
  TScene::CloneObjectInto(Main.Scene, 0, Main.Scene);  // a second light, after the solids
  std::vector<std::vector<D3DVERTEX>> meshes;
  for (int i = 0; i < Main.Scene.ObjectCount(); ++i)
    meshes.push_back(Main.Scene.IsSolid(i) ? Vertices(*Main.Scene.SolidAt(i)) : std::vector<D3DVERTEX>{});
  const std::string text = WriteSceneText(Main.Scene);

  TDisplayScene whole(320, 240, nullptr, nullptr), lent(320, 240, nullptr, nullptr);
  TScene::CopyAllObjects(whole.Scene, Main.Scene);
  TMeshLoan loan(Main.Scene, lent.Scene);
  ASSERT_EQ(lent.Scene.ObjectCount(), Main.Scene.ObjectCount());
  for (TDisplayScene* d : {&whole, &lent}) {
    d->Scene.FourViews = true;
    ASSERT_TRUE(d->Renderer.InitDevice());
    TScene::CopyDeviceLights(Main.Scene, d->Scene);
    d->Scene.ClearSelection();
  }
  const auto picture = [](TDisplayScene& d) {
    d.Renderer.RedrawViews();
    TSurface& s = d.Renderer.Display().Device()->RenderTarget();
    return std::vector<uint32_t>(s.Pixels(), s.Pixels() + size_t(s.Width()) * size_t(s.Height()));
  };
  const auto meshless = [&] {
    for (int i = 0; i < lent.Scene.ObjectCount(); ++i)
      if (lent.Scene.IsSolid(i) && !lent.Scene.SolidAt(i)->Composantes.empty()) return false;
    return true;
  };
  EXPECT_TRUE(meshless());
  const auto scene = [&] {
    for (int i = 0; i < Main.Scene.ObjectCount(); ++i) {
      if (!Main.Scene.IsSolid(i)) continue;
      const auto now = Vertices(*Main.Scene.SolidAt(i));
      const auto& was = meshes[size_t(i)];
      if (now.size() != was.size() || std::memcmp(now.data(), was.data(), now.size() * sizeof(D3DVERTEX)) != 0)
        return false;
    }
    return WriteSceneText(Main.Scene) == text;
  };
  for (int type : {vtFace, vtHaut, vtGauche, vtPerspective}) {
    SCOPED_TRACE(type);
    for (TDisplayScene* d : {&whole, &lent}) d->Scene.Views[1].SetViewType(type);
    std::vector<uint32_t> shown;
    loan.During([&] { shown = picture(lent); });
    EXPECT_TRUE(shown == picture(whole));
    EXPECT_FALSE(loan.Lent());
    EXPECT_TRUE(meshless());
    EXPECT_TRUE(scene());
    // Drawn once outside a loan (only lights and grid), then lent again: nothing kept of it.
    (void)picture(lent);
    loan.During([&] { shown = picture(lent); });
    EXPECT_TRUE(shown == picture(whole));
  }
  // A loan inside a loan is the same loan: the meshes go back once, at the end.
  loan.During([&] {
    loan.During([] {});
    EXPECT_FALSE(lent.Scene.SolidAt(5)->Composantes.empty());
  });
  EXPECT_TRUE(scene());
}
