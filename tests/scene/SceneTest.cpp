// The scene container: names, selection, association, deletion with descendants, copies and the
// content of a new scene.
#include "scene/Scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <set>

#include "scene/Shapes.h"

using namespace ixoral;

namespace {

class SceneTest : public ::testing::Test {
 protected:
  int AddCube(const std::string& name, bool shown = true) {
    const int i = scene.AddObject(CreateCube(kOpaqueWhite, 0.5), name);
    scene.SolidAt(i)->SetVisible(shown);
    return i;
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> n;
    for (int i = 0; i < scene.ObjectCount(); ++i) n.push_back(scene.ObjectAt(i)->Name());
    return n;
  }
  TScene scene;
};

}  // namespace

TEST_F(SceneTest, NamesAreMadeUniqueWithTheLetterI) {
  AddCube("Cube");
  AddCube("Cube");
  AddCube("Cube");
  EXPECT_EQ(Names(), (std::vector<std::string>{"Cube", "Cubei", "Cubeii"}));
  EXPECT_EQ(scene.IndexOfName("Cubei"), 1);
  EXPECT_EQ(scene.IndexOfName("cube"), -1);  // exact, case-sensitive
  scene.DeleteObject(0);
  EXPECT_FALSE(scene.NameExists("Cube"));
  AddCube("Cube");
  EXPECT_EQ(scene.ObjectAt(2)->Name(), "Cube");  // the freed name is free again
  scene.RenameObject(2, "Renamed");
  EXPECT_FALSE(scene.NameExists("Cube"));
  EXPECT_TRUE(scene.NameExists("Renamed"));
}

TEST_F(SceneTest, UniqueNamesFollowTheAppendIRuleThroughAddsDeletesAndRenames) {
  // The rule itself, tried candidate by candidate, against what the scene answers.
  auto byRule = [&](std::string name) {
    while (scene.NameExists(name)) name += 'i';
    return name;
  };
  const std::vector<std::string> bases = {"a", "ai", "aii", "i", "", "ii", "Cube", "Cubei", "bi", "b"};
  uint32_t seed = 12345;
  auto next = [&](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % n;
  };
  for (int step = 0; step < 3000; ++step) {
    const std::string& base = bases[next(static_cast<uint32_t>(bases.size()))];
    const uint32_t what = next(10);
    if (what < 6 || scene.ObjectCount() == 0) {
      const std::string expected = byRule(base);
      ASSERT_EQ(scene.UniqueName(base), expected) << step;
      ASSERT_EQ(scene.ObjectAt(AddCube(base))->Name(), expected) << step;
    } else if (what < 8) {
      scene.DeleteObject(static_cast<int>(next(static_cast<uint32_t>(scene.ObjectCount()))));
    } else {
      // Renaming may give two objects one name; the rule still holds for later adds.
      scene.RenameObject(static_cast<int>(next(static_cast<uint32_t>(scene.ObjectCount()))), base + "i");
    }
  }
  // Names that already end in "i" continue their own run.
  scene.FreeAllObjects();
  AddCube("ai");
  AddCube("a");
  EXPECT_EQ(Names(), (std::vector<std::string>{"ai", "a"}));
  EXPECT_EQ(scene.ObjectAt(AddCube("a"))->Name(), "aii");
  EXPECT_EQ(scene.ObjectAt(AddCube("ai"))->Name(), "aiii");
}

TEST_F(SceneTest, ThousandsOfIdenticalNamesEachTakeOneMoreLetterI) {
  // How long it takes is the naming benchmark's to say; here, that every name is right.
  for (int k = 0; k < 6000; ++k) scene.AddObject(std::make_unique<TSolidObject>(), "a");
  for (int k : {0, 1, 2999, 5999}) EXPECT_EQ(scene.ObjectAt(k)->Name(), "a" + std::string(size_t(k), 'i'));
  EXPECT_EQ(scene.UniqueName("a"), "a" + std::string(6000, 'i'));
}

TEST_F(SceneTest, AddObjectResetsTheMatricesAndKeepsThePlacementFields) {
  auto cube = CreateCube(kOpaqueWhite, 1);
  cube->SetPosition({1, 2, 3});
  cube->SetScale({2, 2, 2});
  const int i = scene.AddObject(std::move(cube), "C");
  const TSolidObject* s = scene.SolidAt(i);
  EXPECT_TRUE(IsIdentity(s->TranslationMatrix));
  EXPECT_TRUE(IsIdentity(s->ScaleMatrix));
  EXPECT_EQ(s->Position, Vec3d(1, 2, 3));
  EXPECT_EQ(s->Redim, Vec3d(2, 2, 2));
}

TEST_F(SceneTest, OutOfRangeIndicesAreIgnored) {
  AddCube("A");
  EXPECT_EQ(scene.ObjectAt(1), nullptr);
  EXPECT_EQ(scene.ObjectAt(-1), nullptr);
  EXPECT_FALSE(scene.IsSolid(5));
  EXPECT_FALSE(scene.IsLight(-2));
  scene.SelectObject(3);
  EXPECT_EQ(scene.CurrentObject(), -1);
  scene.AddToSelection(9);
  scene.Deselect(9);
  scene.SetMarksColor(9, 0);
  scene.DeleteObject(4);
  scene.DeleteObject(-1);
  EXPECT_EQ(scene.SelectedAt(3), -1);
  EXPECT_EQ(scene.ObjectCount(), 1);
}

TEST_F(SceneTest, DeletingAParentTakesItsChildrenAndKeepsOtherGroups) {
  for (const char* n : {"O0", "O1", "O2", "O3"}) AddCube(n);
  ASSERT_TRUE(scene.SetParent(2, 0));
  ASSERT_TRUE(scene.SetParent(3, 1));
  scene.DeleteObject(0);
  ASSERT_EQ(scene.ObjectCount(), 2);
  const int parent = scene.IndexOfName("O1"), child = scene.IndexOfName("O3");
  ASSERT_GE(parent, 0);
  ASSERT_GE(child, 0);
  EXPECT_EQ(scene.ParentOf(child), parent);
  EXPECT_EQ(scene.ParentOf(parent), -1);
}

TEST_F(SceneTest, DeletingADeepGroupFollowsTheMovingIndices) {
  // A chain 0 <- 1 <- 2 <- 3 and an unrelated group 4 <- 5 at the end of the list.
  for (int k = 0; k < 6; ++k) AddCube("O" + std::to_string(k));
  scene.SetParent(1, 0);
  scene.SetParent(2, 1);
  scene.SetParent(3, 2);
  scene.SetParent(5, 4);
  scene.DeleteObject(1);
  EXPECT_EQ(scene.ObjectCount(), 3);
  EXPECT_TRUE(scene.NameExists("O0"));
  const int p = scene.IndexOfName("O4"), c = scene.IndexOfName("O5");
  EXPECT_EQ(scene.ParentOf(c), p);
  // A damaged parent cycle does not hang the deletion.
  scene.LinkParent(p, c);
  scene.DeleteObject(p);
  EXPECT_EQ(Names(), std::vector<std::string>{"O0"});
}

TEST_F(SceneTest, AssociationRefusesCycles) {
  AddCube("A");
  AddCube("B");
  AddCube("C");
  EXPECT_TRUE(scene.SetParent(1, 0));
  EXPECT_FALSE(scene.SetParent(0, 1));
  EXPECT_TRUE(scene.SetParent(2, 1));
  EXPECT_FALSE(scene.SetParent(0, 2));  // 0 is an ancestor of 2
  EXPECT_FALSE(scene.SetParent(1, 1));
  EXPECT_FALSE(scene.SetParent(1, 7));
  scene.NewScene(true);  // a light cannot take part
  EXPECT_FALSE(scene.SetParent(0, -1));
}

TEST_F(SceneTest, DissociationResetsPivotAndRelation) {
  AddCube("A");
  AddCube("B");
  scene.SetParent(1, 0);
  EXPECT_EQ(scene.SolidAt(1)->PivotStyle, 1);
  EXPECT_TRUE(scene.SetRelation(1, 0, relSoustraction));
  EXPECT_TRUE(scene.SolidAt(1)->ShowRelation);
  EXPECT_TRUE(scene.SetParent(1, -1));
  EXPECT_EQ(scene.SolidAt(1)->PivotStyle, 0);
  EXPECT_EQ(scene.SolidAt(1)->Relation, relAucune);
}

TEST_F(SceneTest, OneRelationPerTarget) {
  AddCube("Target");
  AddCube("First");
  AddCube("Second");
  scene.SetParent(1, 0);
  scene.SetParent(2, 0);
  EXPECT_TRUE(scene.SetRelation(1, 0, relIntersection));
  EXPECT_FALSE(scene.SetRelation(2, 0, relSoustraction));
  EXPECT_FALSE(scene.SolidAt(2)->ShowRelation);
  EXPECT_TRUE(scene.CanRelate(1, 0));   // the holder itself may change it
  EXPECT_FALSE(scene.CanRelate(0, 1));  // a relation target cannot relate
}

TEST_F(SceneTest, SelectingAHiddenParentSelectsItsShownChildren) {
  AddCube("Hidden", false);
  AddCube("Other");
  AddCube("Child1");
  AddCube("Child2");
  scene.SetParent(2, 0);
  scene.SetParent(3, 0);
  scene.AddToSelection(0);
  EXPECT_EQ(scene.CurrentObject(), 2);
  EXPECT_EQ(scene.SelectedObjects(), std::vector<int>{3});
  EXPECT_EQ(scene.SolidAt(2)->SelectionMarks[0].color, kMarkColorCurrent);
  EXPECT_EQ(scene.SolidAt(3)->SelectionMarks[47].color, kMarkColorSelected);
  EXPECT_FALSE(scene.IsSelected(0));
  EXPECT_EQ(scene.SelectionCount(), 2);
}

TEST_F(SceneTest, DeselectingTheCurrentObjectPromotesTheNext) {
  AddCube("A");
  AddCube("B");
  scene.AddToSelection(0);
  scene.AddToSelection(1);
  scene.Deselect(0);
  EXPECT_EQ(scene.CurrentObject(), 1);
  EXPECT_TRUE(scene.SelectedObjects().empty());
  EXPECT_EQ(scene.SolidAt(1)->SelectionMarks[5].color, kMarkColorCurrent);
  scene.Deselect(1);
  EXPECT_EQ(scene.CurrentObject(), -1);
  EXPECT_EQ(scene.SelectionCount(), 0);
}

TEST_F(SceneTest, NewSceneHoldsTheDefaultLight) {
  int redraws = 0;
  const auto subscription = scene.Observe([&](const TSceneEvent& e) {
    if (e.Change == TSceneChange::RedrawRequested) ++redraws;
  });
  scene.NewScene(true);
  ASSERT_EQ(scene.ObjectCount(), 1);
  EXPECT_EQ(scene.ObjectAt(0)->Name(), "Lumière1");
  EXPECT_EQ(scene.LightCount, 1);
  EXPECT_EQ(redraws, 1);
  const TLight* l = scene.LightAt(0);
  EXPECT_EQ(l->LightType, ltSpot);
  EXPECT_EQ(l->DeviceIndex, 1);
  EXPECT_NEAR(l->AimVector.x, std::sqrt(0.5), 1e-12);  // the unit direction
  EXPECT_EQ(l->AimVector.y, 0);
  EXPECT_NEAR(l->AimVector.z, std::sqrt(0.5), 1e-12);
  EXPECT_FLOAT_EQ(l->GetParam(1), 0.8726646f);
  EXPECT_FLOAT_EQ(l->GetParam(2), 0.9599311f);
  D3DLIGHT7 d;
  ASSERT_TRUE(scene.Device().GetLight(1, d));
  EXPECT_EQ(d.dltType, D3DLIGHT_SPOT);
  EXPECT_NEAR(d.dvDirection.x, std::sqrt(0.5), 1e-6);
  EXPECT_FLOAT_EQ(d.dvTheta, 0.8726646f);
  EXPECT_EQ(d.dcvSpecular.r, 1.0f);  // SetSpecular (1.0) with the light's white colour
  EXPECT_EQ(d.dcvDiffuse.r, 0.0f);
  // The cone: 10 generating lines of unit length, as the light has once saved and read again.
  EXPECT_EQ(l->Symbol.Vertices.size(), 42u);
  EXPECT_NEAR(l->Symbol.Vertices[0].z, 1, 1e-6);
}

TEST_F(SceneTest, NewSceneDropsEverythingWithoutAQuestion) {
  scene.NewScene(true);
  AddCube("Cube1");
  scene.SelectObject(1);
  scene.NewScene(false);
  EXPECT_EQ(scene.ObjectCount(), 0);
  EXPECT_EQ(scene.LightCount, 0);
  EXPECT_FALSE(scene.HasSelection());
}

TEST_F(SceneTest, CloneIntoAnotherSceneCopiesWhatTheToolsNeed) {
  scene.NewScene(true);
  const int i = AddCube("Cube1");
  TSolidObject* s = scene.SolidAt(i);
  s->SetColor(0x80102030);
  s->SetPosition({1, 2, 3});
  s->SetNoise(42, true, 0.2, 0.1);
  s->AddModified(0, 5);
  scene.LinkParent(i, 0);
  s->Texturer = true;
  s->TextureFile = "bois.jpg";
  struct TPicture : TTextureSurface {
    int Width() const override { return 4; }
    int Height() const override { return 4; }
  };
  s->TextureSurface = std::make_shared<TPicture>();
  TScene preview;
  TScene::CopyAllObjects(preview, scene);
  ASSERT_EQ(preview.ObjectCount(), 2);
  EXPECT_EQ(preview.LightCount, 1);
  const TSolidObject* c = preview.SolidAt(1);
  EXPECT_EQ(c->Name(), "Cube1");
  EXPECT_EQ(c->Color, 0x80102030u);
  EXPECT_EQ(c->Position, Vec3d(1, 2, 3));
  EXPECT_EQ(c->TranslationMatrix._42, 2.0f);
  EXPECT_EQ(c->Composantes[0].Vertices.size(), 36u);
  EXPECT_EQ(c->ModifiedVertices.size(), 1u);
  ASSERT_TRUE(c->Bruit && c->NoiseParams);
  EXPECT_EQ(c->NoiseParams->Seed, 42);
  EXPECT_EQ(preview.ParentOf(1), -1);  // association is not copied
  EXPECT_TRUE(c->Texturer);
  EXPECT_EQ(c->TextureFile, "bois.jpg");
  EXPECT_EQ(c->TextureSurface, s->TextureSurface) << "the picture is shared, not decoded again";
  // The light got its own device light in the preview, switched on.
  const TLight* l = preview.LightAt(0);
  EXPECT_EQ(l->Name(), "Lumière1");
  EXPECT_EQ(l->DeviceIndex, 1);
  EXPECT_FLOAT_EQ(l->GetParam(1), 0.8726646f);
  bool on = false;
  EXPECT_TRUE(preview.Device().GetLightEnable(1, on));
  EXPECT_TRUE(on);
  // Copies are deep: changing the preview leaves the source alone.
  preview.SolidAt(1)->Composantes[0].Vertices[0].x = 99;
  EXPECT_NE(s->Composantes[0].Vertices[0].x, 99);
}

TEST_F(SceneTest, CopyIntoTheSameSceneCopiesEachObjectOnce) {
  AddCube("A");
  AddCube("B");
  TScene::CopyAllObjects(scene, scene);
  EXPECT_EQ(scene.ObjectCount(), 4);
  EXPECT_EQ(scene.IndexOfName("A"), 0);  // names copied as they are
}

TEST_F(SceneTest, CopyDeviceLightsCopiesStateAndCount) {
  scene.NewScene(true);
  scene.LightAt(0)->SetVisible(false);
  TScene other;
  TScene::CopyDeviceLights(scene, other);
  EXPECT_EQ(other.LightCount, 1);
  D3DLIGHT7 d;
  bool on = true;
  ASSERT_TRUE(other.Device().GetLight(1, d));
  other.Device().GetLightEnable(1, on);
  EXPECT_FALSE(on);
  EXPECT_EQ(d.dltType, D3DLIGHT_SPOT);
}

TEST_F(SceneTest, SelectionMarksBracketTheBoxIncludingTheOrigin) {
  auto cone = CreateConeOrPyramid(20, kOpaqueWhite, 1, 0.5);
  const int i = scene.AddObject(std::move(cone), "Cone");
  const TSolidObject* s = scene.SolidAt(i);
  const auto& m = s->SelectionMarks;
  // First edge: along x at (y0, z0) from x0, a quarter of the way.
  EXPECT_FLOAT_EQ(m[0].x, -0.5f);
  EXPECT_FLOAT_EQ(m[0].y, -0.5f);
  EXPECT_FLOAT_EQ(m[0].z, 0.0f);
  EXPECT_FLOAT_EQ(m[1].x, -0.25f);
  EXPECT_FLOAT_EQ(m[2].x, 0.5f);
  EXPECT_FLOAT_EQ(m[3].x, 0.25f);
  // Last edge: along z at (x1, y1).
  EXPECT_FLOAT_EQ(m[46].z, 1.0f);
  EXPECT_FLOAT_EQ(m[47].z, 0.75f);
  EXPECT_FLOAT_EQ(m[47].x, 0.5f);
  EXPECT_EQ(m[10].color, D3DRGBA(1, 1, 0, 1));
  EXPECT_NEAR(s->BoxCenter.z, 0.5, 1e-6);
  EXPECT_NEAR(s->BoxCenter.x, 0.0, 1e-6);
  // A shape entirely above the origin still has the origin in its box.
  TSolidObject above;
  TComposante c;
  c.Vertices.push_back({});
  c.Vertices[0].y = 2;
  above.Composantes = {c};
  Vec3d mn, mx;
  ComposantesBounds(above.Composantes, mn, mx);
  EXPECT_EQ(mn, Vec3d(0, 0, 0));
  EXPECT_EQ(mx, Vec3d(0, 2, 0));
}

// ---------------------------------------------------------------- change notification

TEST_F(SceneTest, ObserversHearEachChangeUntilTheyUnsubscribe) {
  std::vector<TSceneEvent> heard;
  auto subscription = scene.Observe([&](const TSceneEvent& e) { heard.push_back(e); });
  const int a = scene.AddObject(CreateCube(0xFFFFFFFF, 0.5), "Cube");
  const int b = scene.AddObject(CreateCube(0xFFFFFFFF, 0.5), "Cube");
  ASSERT_EQ(heard.size(), 2u);
  EXPECT_EQ(heard[1].Change, TSceneChange::ObjectAdded);
  EXPECT_EQ(heard[1].Index, b);

  heard.clear();
  ASSERT_TRUE(scene.SetParent(b, a));
  scene.AddToSelection(a);  // selects the group: one notification for the whole of it
  ASSERT_EQ(heard.size(), 2u);
  EXPECT_EQ(heard[0].Change, TSceneChange::HierarchyChanged);
  EXPECT_EQ(heard[1].Change, TSceneChange::SelectionChanged);
  EXPECT_EQ(scene.SelectionCount(), 2);

  heard.clear();
  scene.ClearSelection();
  scene.ClearSelection();  // nothing left to clear: nothing to tell
  scene.RenameObject(a, "Socle");
  scene.DeleteObject(scene.IndexOfName("Socle"));
  ASSERT_EQ(heard.size(), 3u);
  EXPECT_EQ(heard[0].Change, TSceneChange::SelectionChanged);
  EXPECT_EQ(heard[1].Change, TSceneChange::ObjectRenamed);
  EXPECT_EQ(heard[2].Change, TSceneChange::ObjectRemoved);

  subscription.Reset();
  heard.clear();
  scene.AddObject(CreateCube(0xFFFFFFFF, 0.5), "Cube");
  EXPECT_TRUE(heard.empty());
}

TEST_F(SceneTest, AnObserverMayLeaveWhileBeingToldAndOutliveItsScene) {
  TSceneSubscription first, second;
  int firstCalls = 0, secondCalls = 0;
  first = scene.Observe([&](const TSceneEvent&) {
    ++firstCalls;
    second.Reset();  // the second observer leaves before its turn
    first.Reset();   // and so does this one
  });
  second = scene.Observe([&](const TSceneEvent&) { ++secondCalls; });
  scene.RedrawViews();
  scene.RedrawViews();
  EXPECT_EQ(firstCalls, 1);
  EXPECT_EQ(secondCalls, 0);

  TSceneSubscription orphan;
  {
    TScene shortLived;
    orphan = shortLived.Observe([](const TSceneEvent&) {});
    EXPECT_TRUE(orphan.Active());
  }
  EXPECT_FALSE(orphan.Active());
  orphan.Reset();  // the scene is gone: nothing to do, nothing to crash
}

TEST_F(SceneTest, ObjectsKeepTheirIdentityWhileDeletionsMoveThemInTheList) {
  // A(0) with children B(1) and C(2); D(3) with child E(4). Deleting B moves E, the last, into
  // B's place: every survivor keeps its id, its parent and its place in the selection.
  const int a = AddCube("A"), b = AddCube("B"), c = AddCube("C"), d = AddCube("D"), e = AddCube("E");
  ASSERT_TRUE(scene.SetParent(b, a) && scene.SetParent(c, a) && scene.SetParent(e, d));
  const TObjectId ia = scene.IdAt(a), ib = scene.IdAt(b), ic = scene.IdAt(c), id = scene.IdAt(d), ie = scene.IdAt(e);
  EXPECT_EQ((std::set<TObjectId>{ia, ib, ic, id, ie}).size(), 5u);
  scene.SelectObject(d);
  scene.AddToSelection(c);
  scene.AddToSelection(e);
  scene.DeleteObject(b);

  EXPECT_EQ(Names(), (std::vector<std::string>{"A", "E", "C", "D"})) << "the stored swap with the last";
  EXPECT_EQ(scene.IndexOf(ib), -1);
  EXPECT_EQ(scene.ObjectById(ib), nullptr) << "a deleted object's id is stale, not another object";
  EXPECT_EQ(scene.IndexOf(ie), 1);
  EXPECT_EQ(scene.ParentOf(scene.IndexOf(ie)), scene.IndexOf(id));
  EXPECT_EQ(scene.ParentOf(scene.IndexOf(ic)), scene.IndexOf(ia));
  EXPECT_EQ(scene.ParentOf(scene.IndexOf(id)), -1);
  EXPECT_EQ(scene.CurrentObject(), scene.IndexOf(id));
  EXPECT_EQ(scene.SelectedObjects(), (std::vector<int>{scene.IndexOf(ic), scene.IndexOf(ie)}));

  // A new object never takes a deleted one's id; deleting the main selected object leaves no
  // selection.
  EXPECT_NE(scene.IdAt(AddCube("F")), ib);
  scene.DeleteObject(scene.IndexOf(id));  // D and its child E
  EXPECT_EQ(Names(), (std::vector<std::string>{"A", "F", "C"}));
  EXPECT_FALSE(scene.HasSelection());
  EXPECT_TRUE(scene.SelectedObjects().empty());
  EXPECT_EQ(scene.ParentOf(scene.IndexOf(ic)), scene.IndexOf(ia));

  // A selection put back drops what is gone; ids given back must be one per object, all distinct.
  scene.RestoreSelection({ic, {ie, ia}});
  EXPECT_EQ(scene.CurrentObject(), scene.IndexOf(ic));
  EXPECT_EQ(scene.SelectedObjects(), std::vector<int>{scene.IndexOf(ia)});
  EXPECT_FALSE(scene.RestoreIds({ia, ia, ic}));
  EXPECT_FALSE(scene.RestoreIds({ia, ic}));
  EXPECT_FALSE(scene.RestoreIds({ia, kNoObject, ic}));
  EXPECT_EQ(scene.IndexOf(ia), 0);
}

namespace {

// The list as a document stores it, with parents as indices, removed one object at a time by the
// stored rules: the last object moves into the freed place and the solids naming the old last
// index name the new one; descendants go first, depth first in index order, the indices still
// to be removed following the objects they name.
struct TIndexModel {
  std::vector<std::string> Names;
  std::vector<int> Parents;

  explicit TIndexModel(const TScene& scene) {
    for (int i = 0; i < scene.ObjectCount(); ++i) {
      Names.push_back(scene.ObjectAt(i)->Name());
      Parents.push_back(scene.ParentOf(i));
    }
  }
  void RemoveSingle(int r, std::vector<int>& pending) {
    const int last = static_cast<int>(Names.size()) - 1;
    Names[static_cast<size_t>(r)] = Names.back();
    Parents[static_cast<size_t>(r)] = Parents.back();
    Names.pop_back();
    Parents.pop_back();
    for (int& p : Parents)
      if (p == last) p = r;
    for (int& p : pending)
      if (p == last) p = r;
  }
  void Delete(int i) {
    std::vector<int> stack{i};
    while (!stack.empty()) {
      int child = -1;
      for (int j = 0; j < static_cast<int>(Names.size()) && child < 0; ++j)
        if (Parents[static_cast<size_t>(j)] == stack.back() && std::find(stack.begin(), stack.end(), j) == stack.end())
          child = j;
      if (child >= 0) {
        stack.push_back(child);
        continue;
      }
      const int r = stack.back();
      stack.pop_back();
      RemoveSingle(r, stack);
    }
  }
  // Each object's name with its parent's name ("" without one), in list order.
  std::vector<std::pair<std::string, std::string>> Listing() const {
    std::vector<std::pair<std::string, std::string>> l;
    for (size_t k = 0; k < Names.size(); ++k)
      l.emplace_back(Names[k], Parents[k] >= 0 ? Names[static_cast<size_t>(Parents[k])] : std::string());
    return l;
  }
};

std::vector<std::pair<std::string, std::string>> Listing(const TScene& scene) {
  std::vector<std::pair<std::string, std::string>> l;
  for (int i = 0; i < scene.ObjectCount(); ++i) {
    const int p = scene.ParentOf(i);
    l.emplace_back(scene.ObjectAt(i)->Name(), p >= 0 ? scene.ObjectAt(p)->Name() : std::string());
  }
  return l;
}

// `n` cubes in random groups: each object's parent is one ranked before it in a random order,
// so the groups are trees spread anywhere in the list.
void AddRandomForest(TScene& scene, int n, uint32_t& seed, int freeOneIn) {
  auto next = [&](uint32_t m) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % m;
  };
  const int first = scene.ObjectCount();
  for (int k = 0; k < n; ++k) scene.AddObject(CreateCube(kOpaqueWhite, 0.5), "O" + std::to_string(first + k));
  std::vector<int> rank(static_cast<size_t>(n));
  for (int k = 0; k < n; ++k) rank[static_cast<size_t>(k)] = first + k;
  for (int k = n - 1; k > 0; --k) std::swap(rank[static_cast<size_t>(k)], rank[next(static_cast<uint32_t>(k + 1))]);
  for (int k = 1; k < n; ++k)
    if (next(static_cast<uint32_t>(freeOneIn)) != 0)
      scene.LinkParent(rank[static_cast<size_t>(k)], rank[next(static_cast<uint32_t>(k))]);
}

}  // namespace

TEST_F(SceneTest, DeletingGroupsLeavesTheOrderAndParentsOfOneByOneRemoval) {
  uint32_t seed = 2024;
  for (int round = 0; round < 6; ++round) {
    scene.NewScene(true);
    AddRandomForest(scene, 150, seed, 2 + round);
    AddCube("Libre");
    while (scene.ObjectCount() > 1) {
      seed = seed * 1103515245u + 12345u;
      const int victim = static_cast<int>((seed >> 8) % static_cast<uint32_t>(scene.ObjectCount()));
      TIndexModel expected(scene);
      expected.Delete(victim);
      scene.DeleteObject(victim);
      ASSERT_EQ(Listing(scene), expected.Listing()) << "round " << round << ", deleting " << victim;
    }
  }
}

TEST_F(SceneTest, DeletingAGroupOfAThousandKeepsTheOthersInPlace) {
  // Two thousand objects: the head of a group of a thousand (nested up to four deep) near the
  // start, its members between free objects and other small groups.
  scene.NewScene(true);
  uint32_t seed = 77;
  AddRandomForest(scene, 200, seed, 4);
  const int head = AddCube("Tete");
  int previous = head;
  for (int k = 0; k < 1000; ++k) {
    const int i = AddCube("G" + std::to_string(k));
    scene.LinkParent(i, k % 4 == 0 ? head : previous);
    previous = i;
    if (k < 800) AddCube("L" + std::to_string(k));
  }
  TIndexModel expected(scene);
  expected.Delete(head);
  scene.DeleteObject(head);
  EXPECT_EQ(scene.ObjectCount(), 1001);
  EXPECT_EQ(Listing(scene), expected.Listing());
  for (int i = 0; i < scene.ObjectCount(); ++i) EXPECT_EQ(scene.IndexOf(scene.IdAt(i)), i);
}
