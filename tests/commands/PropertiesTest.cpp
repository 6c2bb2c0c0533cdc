// The inspector's fields without a window: what each object shows, how typed values are read
// (ranges in single precision, halves to even), and applying them as one change that rebuilds the
// mesh with its noise and torsion.
#include "commands/Properties.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>

#include "commands/Modeller.h"
#include "scene/Curves.h"
#include "scene/Shapes.h"
#include "tools/Deformations.h"

using namespace ixoral;

namespace {

class PropertiesTest : public ::testing::Test {
 protected:
  PropertiesTest() : Modeller(Scene, Prompt, Clipboard, nullptr, nullptr) {
    Scene.NewScene(true);
    Watch = Scene.Observe([this](const TSceneEvent& e) {
      if (e.Change != TSceneChange::RedrawRequested) Told.push_back(e);
    });
  }
  TSolidObject& Solid(int i) { return *Scene.SolidAt(i); }
  TPropertyApplyResult Apply(int i, std::initializer_list<std::pair<const char*, const char*>> texts) {
    TPropertyEdits edits;
    for (const auto& [k, v] : texts) edits[k].Text = v;
    Told.clear();
    return Modeller.ApplyProperties(i, edits);
  }
  TPropertyApplyResult ApplyEdit(int i, const std::string& key, const TPropertyEdit& edit) {
    Told.clear();
    return Modeller.ApplyProperties(i, {{key, edit}});
  }
  static TPropertyEdit Checked(bool on) {
    TPropertyEdit e;
    e.Checked = on;
    return e;
  }
  static TPropertyEdit Choice(int c) {
    TPropertyEdit e;
    e.Choice = c;
    return e;
  }

  TScene Scene;
  TScriptedPrompt Prompt;
  TMemoryClipboard Clipboard;
  TModeller Modeller;
  TSceneSubscription Watch;
  std::vector<TSceneEvent> Told;
};

std::vector<std::string> Keys(const TPropertyLayout& l) {
  std::vector<std::string> k;
  for (const auto& f : l.Fields) k.push_back(f.Key);
  return k;
}

void ExpectSameMesh(const TArrayOfComposante& a, const TArrayOfComposante& b) {
  ASSERT_EQ(a.size(), b.size());
  for (size_t c = 0; c < a.size(); ++c) {
    ASSERT_EQ(a[c].Vertices.size(), b[c].Vertices.size()) << c;
    EXPECT_EQ(a[c].PrimitiveType, b[c].PrimitiveType);
    for (size_t v = 0; v < a[c].Vertices.size(); ++v) {
      EXPECT_EQ(a[c].Vertices[v].x, b[c].Vertices[v].x) << c << "/" << v;
      EXPECT_EQ(a[c].Vertices[v].y, b[c].Vertices[v].y) << c << "/" << v;
      EXPECT_EQ(a[c].Vertices[v].z, b[c].Vertices[v].z) << c << "/" << v;
    }
  }
}

}  // namespace

TEST_F(PropertiesTest, EachKindOfObjectShowsItsRowsInOrder) {
  const int cube = Modeller.Insert(TInsertCommand::Cube);
  const TPropertyLayout l = DescribeProperties(Scene, cube);
  EXPECT_EQ(l.Title, "Cube1");
  EXPECT_EQ(Keys(l), (std::vector<std::string>{"afficher", "position", "pivotstyle", "vectdir", "vecthaut", "redim",
                                               "color", "texturer", "bruit", "torsion", "relation", "showrelation",
                                               "specular", "Blend", "cote"}));
  EXPECT_EQ(l.Find("afficher")->Label, "Rendu dans la scène");
  EXPECT_EQ(l.Find("bruit")->ToolButton, "btnBruit");
  EXPECT_TRUE(l.Find("vectdir")->ValidateButton);
  EXPECT_FALSE(l.Find("redim")->ValidateButton);

  const int light = Scene.IndexOfName("Lumière1");
  EXPECT_EQ(
      Keys(DescribeProperties(Scene, light)),
      (std::vector<std::string>{"afficher", "position", "vectdir", "color", "specular", "type", "eclaire", "ombre"}));
  const int torus = Modeller.Insert(TInsertCommand::Tore);
  const TPropertyLayout t = DescribeProperties(Scene, torus);
  EXPECT_EQ(t.Find("rayon1")->Label, "Grand Rayon");
  EXPECT_TRUE(t.Find("precision2")->Whole);
  EXPECT_EQ(t.Find("precision2")->Max, 100);
  const int text = Modeller.Insert(TInsertCommand::Texte3D);
  const TPropertyLayout x = DescribeProperties(Scene, text);
  EXPECT_EQ(x.Find("text")->Kind, TPropertyKind::Text);
  EXPECT_EQ(x.Find("n")->Items, (std::vector<std::string>{"Basse", "Moyenne", "Haute"}));
  EXPECT_EQ(DescribeProperties(Scene, 99).Object, -1);

  // Values in the display format; the curve's "t" follows "which".
  const TPropertyValues v = ReadProperties(Scene, cube);
  EXPECT_EQ(v.at("cote").Text, "0,500");
  EXPECT_EQ(v.at("redimx").Text, "1,000");
  EXPECT_EQ(v.at("specular").Text, "3,600");  // 5.1 - 1.5
  EXPECT_EQ(v.at("Blend").Text, "0,000");
  EXPECT_FALSE(v.at("bruit").Visible);
  EXPECT_FALSE(v.at("showrelation").Enabled);
  const int curve = Modeller.Insert(TInsertCommand::Parametrique);  // "Bizarre 3"
  EXPECT_FALSE(ReadProperties(Scene, curve).at("t").Visible);
  ApplyEdit(curve, "which", Choice(5));
  EXPECT_TRUE(ReadProperties(Scene, curve).at("t").Visible);
  EXPECT_EQ(ReadProperties(Scene, curve).at("t").Label, "Ondulations");
  ApplyEdit(curve, "which", Choice(0));
  EXPECT_EQ(ReadProperties(Scene, curve).at("t").Label, "Tours");
  const int pyramid = Modeller.Insert(TInsertCommand::Pyramide);
  EXPECT_FALSE(ReadProperties(Scene, pyramid).at("precision").Visible);
}

TEST_F(PropertiesTest, ACubesSideRebuildsItWithTheSameNoiseAndTorsion) {
  const int cube = Modeller.Insert(TInsertCommand::Cube);
  TSolidObject& s = Solid(cube);
  s.SetNoise(4711, true, 0.05, 0.01);
  ReapplyNoise(s);
  s.SetTorsion({0, -1, 0}, {0, 1, 0}, 0.7);
  ReapplyTorsion(s);
  s.SetColor(0x80FF0000);
  RandomState = 99;  // whatever the generator did since

  const TPropertyApplyResult r = Apply(cube, {{"cote", "2"}});
  EXPECT_TRUE(r.Changed);
  EXPECT_TRUE(r.Rebuilt);
  EXPECT_EQ(s.GetParam(1), 2.0f);
  // What the dialogs would have made of a cube of side 2: base mesh, noise, then torsion.
  auto expected = CreateCube(0xFFFFFFFF, 2);
  expected->SetNoise(4711, true, 0.05, 0.01);
  ReapplyNoise(*expected);
  expected->SetTorsion({0, -1, 0}, {0, 1, 0}, 0.7);
  ReapplyTorsion(*expected);
  ExpectSameMesh(s.Composantes, expected->Composantes);
  EXPECT_EQ(s.Color, 0x80FF0000u);  // colour and transparency set again
  EXPECT_EQ(s.Material.diffuse.a, 128 / 255.0f);
  // One change told: the object changed.
  ASSERT_EQ(Told.size(), 1u);
  EXPECT_EQ(Told[0].Change, TSceneChange::ObjectChanged);
  EXPECT_EQ(Told[0].Index, cube);

  // Clearing "bruit" rebuilds with the torsion alone and hides the check box; the record stays.
  ApplyEdit(cube, "bruit", Checked(false));
  EXPECT_FALSE(s.Bruit);
  ASSERT_TRUE(s.NoiseParams);
  auto twisted = CreateCube(0xFFFFFFFF, 2);
  twisted->SetTorsion({0, -1, 0}, {0, 1, 0}, 0.7);
  ReapplyTorsion(*twisted);
  ExpectSameMesh(s.Composantes, twisted->Composantes);
  EXPECT_FALSE(ReadProperties(Scene, cube).at("bruit").Visible);
  EXPECT_TRUE(ReadProperties(Scene, cube).at("torsion").Visible);
  // It cannot be switched back on from here: the noise dialog does that.
  ApplyEdit(cube, "torsion", Checked(false));
  ExpectSameMesh(s.Composantes, CreateCube(0xFFFFFFFF, 2)->Composantes);
  const int plain = Modeller.Insert(TInsertCommand::Cube);
  ApplyEdit(plain, "bruit", Checked(true));
  EXPECT_FALSE(Solid(plain).Bruit);
}

TEST_F(PropertiesTest, TransparencyAndSpecularAreConvertedAndRangesKeepTheStoredValue) {
  const int cube = Modeller.Insert(TInsertCommand::Cube);
  TSolidObject& s = Solid(cube);
  Apply(cube, {{"Blend", "100"}});
  EXPECT_EQ(s.Color >> 24, 0u);
  EXPECT_EQ(s.Color & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(ReadProperties(Scene, cube).at("Blend").Text, "100,000");
  Apply(cube, {{"Blend", "0"}});
  EXPECT_EQ(s.Color >> 24, 255u);
  Apply(cube, {{"Blend", "50"}});
  EXPECT_EQ(s.Color >> 24, 128u);
  const D3DCOLOR before = s.Color;
  const TPropertyApplyResult ignored = Apply(cube, {{"Blend", "150"}});
  EXPECT_EQ(s.Color, before);
  EXPECT_FALSE(ignored.Changed);
  EXPECT_TRUE(Told.empty());  // nothing changed, nothing told

  Apply(cube, {{"specular", "5"}});
  EXPECT_FLOAT_EQ(s.Specular, 0.1f);
  EXPECT_FLOAT_EQ(s.Material.power, 0.1f);
  EXPECT_EQ(s.Material.specular.r, 1.0f);
  Apply(cube, {{"specular", "0"}});
  EXPECT_EQ(s.Specular, 0.0f);
  EXPECT_EQ(s.Material.specular.r, 0.0f);
  EXPECT_EQ(ReadProperties(Scene, cube).at("specular").Text, "0,000");
  Apply(cube, {{"specular", "5,01"}});
  EXPECT_EQ(s.Specular, 0.0f);

  // Unusable texts leave the stored value: empty, a lone minus, beyond a single, not a number.
  for (const char* bad : {"", "-", "1e400", "abc", "4,2e8", "1,2,3", "-0,001", "nan", "inf"}) {
    Apply(cube, {{"cote", bad}});
    EXPECT_EQ(s.GetParam(1), 0.5f) << bad;
  }
  // Bounds are included, in single precision: 4.2e7 itself is taken.
  Apply(cube, {{"cote", "42000000"}});
  EXPECT_EQ(s.GetParam(1), 4.2e7f);
}

TEST_F(PropertiesTest, WholeValuesRoundHalvesToEvenAndAPyramidKeepsFourSides) {
  const int cylinder = Modeller.Insert(TInsertCommand::Cylindre);
  TSolidObject& c = Solid(cylinder);
  Apply(cylinder, {{"precision", "12,5"}});
  EXPECT_EQ(c.GetParam(3), 12.0f);
  EXPECT_EQ(c.Composantes[0].Vertices.size(), 4u * 13);
  Apply(cylinder, {{"precision", "13.5"}});
  EXPECT_EQ(c.GetParam(3), 14.0f);
  EXPECT_EQ(c.Composantes[1].Vertices.size(), 16u);
  Apply(cylinder, {{"precision", "100,5"}});  // beyond 100: ignored
  EXPECT_EQ(c.GetParam(3), 14.0f);
  Apply(cylinder, {{"precision", "0"}, {"rayon", "2"}});  // no sides at all: empty, no crash
  EXPECT_EQ(c.GetParam(3), 0.0f);
  EXPECT_EQ(c.GetParam(1), 2.0f);
  EXPECT_EQ(c.GetParam(2), 1.0f);  // the height not typed stays

  const int pyramid = Modeller.Insert(TInsertCommand::Pyramide);
  TSolidObject& p = Solid(pyramid);
  p.SetParam(3, 9);
  Apply(pyramid, {{"precision", "20"}, {"hauteur", "3"}});
  EXPECT_EQ(p.GetParam(3), 4.0f);
  EXPECT_EQ(p.Composantes[1].Vertices.size(), 6u);
  EXPECT_EQ(p.Composantes[1].Vertices[0].z, 3.0f);

  // A circle is rebuilt facing +z first; its radius goes up to 100 only.
  const int circle = Modeller.Insert(TInsertCommand::Cercle);
  Apply(circle, {{"n", "8"}, {"rayon", "101"}});
  EXPECT_EQ(Solid(circle).GetParam(2), 8.0f);
  EXPECT_EQ(Solid(circle).GetParam(1), 0.5f);
  EXPECT_EQ(Solid(circle).Composantes[0].Vertices[0].nz, 1.0f);
  EXPECT_EQ(Solid(circle).Composantes[1].Vertices[0].nz, -1.0f);

  // The curve's sides are 0..15 and its angle 0.2..10.
  const int curve = Modeller.Insert(TInsertCommand::Parametrique);
  Apply(curve, {{"n", "16"}, {"anglemax", "0,1"}, {"r", "0,2"}});
  EXPECT_EQ(Solid(curve).GetParam(3), 10.0f);
  EXPECT_FLOAT_EQ(Solid(curve).GetParam(2), 0.3f);
  EXPECT_FLOAT_EQ(Solid(curve).GetParam(1), 0.2f);
}

TEST_F(PropertiesTest, VectorsChangeOnlyTheComponentsTyped) {
  const int cube = Modeller.Insert(TInsertCommand::Cube);
  TSolidObject& s = Solid(cube);
  s.SetPosition({1, 2, 3});
  Apply(cube, {{"positiony", "-4,5"}, {"positionz", "1e9"}});
  EXPECT_EQ(s.Position.x, 1);
  EXPECT_EQ(s.Position.y, -4.5);
  EXPECT_EQ(s.Position.z, 3);
  EXPECT_EQ(s.TranslationMatrix._42, -4.5f);
  Apply(cube, {{"redimx", "2"}});
  EXPECT_EQ(s.Redim.x, 2);
  EXPECT_EQ(s.Redim.y, 1);
  // Direction and up vector wait for their "valider" button: an apply ignores them.
  Apply(cube, {{"vectdirx", "1"}});
  EXPECT_EQ(s.VectDir.z, 1);

  EXPECT_FALSE(Modeller.ValidateVector(cube, "vectdir", {"0", "0", "0"}));
  EXPECT_FALSE(Modeller.ValidateVector(cube, "vectdir", {"1", "", "0"}));
  EXPECT_EQ(s.VectDir.z, 1);
  Told.clear();
  EXPECT_TRUE(Modeller.ValidateVector(cube, "vectdir", {"2", "0", "0"}));
  EXPECT_NEAR(s.VectDir.x, 1, 1e-7);
  EXPECT_EQ(Told.size(), 1u);
  // An up vector along the direction gives no orientation: refused.
  EXPECT_FALSE(Modeller.ValidateVector(cube, "vecthaut", {"-3", "0", "0"}));
  EXPECT_TRUE(Modeller.ValidateVector(cube, "vecthaut", {"0", "0", "1"}));
  EXPECT_NEAR(s.VectHaut.z, 1, 1e-7);
  EXPECT_NEAR(s.VectDir.x, 1, 1e-7);
}

TEST_F(PropertiesTest, RelationAndPivotNeedAParent) {
  const int parent = Modeller.Insert(TInsertCommand::Cube);
  const int child = Modeller.Insert(TInsertCommand::Sphere);
  ApplyEdit(child, "relation", Choice(1));
  ApplyEdit(child, "pivotstyle", Choice(1));
  EXPECT_EQ(Solid(child).Relation, relAucune);
  EXPECT_EQ(Solid(child).PivotStyle, 0);
  ASSERT_TRUE(Scene.SetParent(child, parent));
  ApplyEdit(child, "relation", Choice(2));
  EXPECT_EQ(Solid(child).Relation, relIntersection);
  EXPECT_TRUE(Solid(child).ShowRelation);
  ASSERT_EQ(Told.size(), 1u);  // told once, not by the scene and again by the apply
  EXPECT_TRUE(ReadProperties(Scene, child).at("showrelation").Enabled);
  ApplyEdit(child, "showrelation", Checked(false));
  EXPECT_FALSE(Solid(child).ShowRelation);
  ApplyEdit(child, "pivotstyle", Choice(0));
  EXPECT_EQ(Solid(child).PivotStyle, 0);
  ApplyEdit(child, "pivotstyle", Choice(1));
  EXPECT_EQ(Solid(child).PivotStyle, 1);
}

TEST_F(PropertiesTest, ALightsAnglesTypeColourAndSpecular) {
  const int index = Scene.IndexOfName("Lumière1");
  TLight& l = *Scene.LightAt(index);
  const TPropertyValues v = ReadProperties(Scene, index);
  EXPECT_EQ(v.at("type").Choice, 1);
  EXPECT_EQ(v.at("eclaire").Text, "50,000");
  EXPECT_EQ(v.at("ombre").Text, "55,000");
  EXPECT_TRUE(v.at("specular").Checked);

  Apply(index, {{"eclaire", "90"}, {"ombre", "100"}});
  const double lit = 90 * std::numbers::pi / 180;
  EXPECT_FLOAT_EQ(l.GetParam(1), float(lit));
  EXPECT_FLOAT_EQ(l.GetParam(2), float(100 * std::numbers::pi / 180));
  D3DLIGHT7 r;
  ASSERT_TRUE(Scene.Device().GetLight(l.DeviceIndex, r));
  EXPECT_FLOAT_EQ(r.dvTheta, float(lit));
  EXPECT_FLOAT_EQ(r.dvPhi, float(100 * std::numbers::pi / 180));
  // The cone's base radius is tan(lit / 2) times its length |direction| (1 here).
  ASSERT_EQ(l.Symbol.Vertices.size(), 42u);
  EXPECT_NEAR(l.Symbol.Vertices[1].x, std::tan(lit / 2), 1e-6);
  Apply(index, {{"eclaire", "180"}});  // the lit angle stops at 179
  EXPECT_FLOAT_EQ(l.GetParam(1), float(lit));

  TPropertyEdit red;
  red.Colour = 0x00FF0000;
  ApplyEdit(index, "color", red);
  EXPECT_EQ(l.Color, 0xFFFF0000u);
  ASSERT_TRUE(Scene.Device().GetLight(l.DeviceIndex, r));
  EXPECT_EQ(r.dcvDiffuse.r, 1.0f);
  EXPECT_EQ(r.dcvSpecular.g, 0.0f);
  ApplyEdit(index, "specular", Checked(false));
  ASSERT_TRUE(Scene.Device().GetLight(l.DeviceIndex, r));
  EXPECT_EQ(r.dcvSpecular.r, 0.0f);
  EXPECT_EQ(l.Specular, 0.0f);

  ApplyEdit(index, "type", Choice(0));
  EXPECT_EQ(l.LightType, ltAmbiante);
  ASSERT_TRUE(Scene.Device().GetLight(l.DeviceIndex, r));
  EXPECT_EQ(r.dltType, D3DLIGHT_DIRECTIONAL);
  EXPECT_EQ(l.Symbol.Vertices.size(), 26u);  // the aimed symbol
  EXPECT_FALSE(ReadProperties(Scene, index).at("eclaire").Visible);
  ApplyEdit(index, "type", Choice(1));
  EXPECT_EQ(l.LightType, ltSpot);
  EXPECT_EQ(l.Symbol.Vertices.size(), 42u);  // the spot's cone again, from the stored angles
  EXPECT_NEAR(l.Symbol.Vertices[1].x, std::tan(lit / 2), 1e-6);
}

TEST_F(PropertiesTest, ATextTakesItsNewTextAsNameAndIsCut) {
  const int text = Modeller.Insert(TInsertCommand::Texte3D);
  TSolidObject& s = Solid(text);
  const size_t before = s.VertexCount();
  TPropertyApplyResult r = Apply(text, {{"text", "Wxyz"}});
  EXPECT_TRUE(r.TextChanged);
  EXPECT_TRUE(r.Renamed);
  EXPECT_EQ(s.GetTextParam(1), "Wxyz");
  EXPECT_EQ(s.Name(), "Wxyz");
  EXPECT_NE(s.VertexCount(), before);
  ASSERT_EQ(Told.size(), 1u);
  EXPECT_EQ(Told[0].Change, TSceneChange::ObjectRenamed);
  // An empty text is ignored; a name taken gets its "i".
  r = Apply(text, {{"text", ""}});
  EXPECT_FALSE(r.Changed);
  EXPECT_EQ(s.GetTextParam(1), "Wxyz");
  Modeller.Insert(TInsertCommand::Cube);
  Apply(text, {{"text", "Cube1"}});
  EXPECT_EQ(s.Name(), "Cube1i");
  // Longer than a document holds: cut to 255 characters.
  Apply(text, {{"text", std::string(300, 'o').c_str()}});
  EXPECT_EQ(s.GetTextParam(1).size(), 255u);
  Apply(text, {{"text", "Abc"}});
  // Precision and fill; a stored font not among the screen's is replaced by "Arial".
  s.SetTextParam(2, "No Such Font Here");
  ApplyEdit(text, "n", Choice(2));
  EXPECT_EQ(s.GetParam(1), 3.0f);
  EXPECT_EQ(s.GetTextParam(2), "Arial");
  ApplyEdit(text, "rempli", Checked(false));
  EXPECT_EQ(s.GetParam(4), 0.0f);
  EXPECT_EQ(s.Color, 0xFFFFFFFFu);
}

TEST_F(PropertiesTest, NothingTypedIntoAnyFieldBreaksAnObject) {
  const TInsertCommand all[] = {TInsertCommand::Cube,     TInsertCommand::CubePerce,    TInsertCommand::Sphere,
                                TInsertCommand::Cylindre, TInsertCommand::Cone,         TInsertCommand::Pyramide,
                                TInsertCommand::Tore,     TInsertCommand::Parametrique, TInsertCommand::Cercle,
                                TInsertCommand::ParoiV,   TInsertCommand::ParoiH};
  const char* texts[] = {"",          "-", "0",  "-0",  "100",      "15",  "0,2", "1e-30", "99999999999",
                         "-42000000", ",", "3,", "7/2", "\xC3\xA9", "0x10"};
  for (const TInsertCommand command : all) {
    const int i = Modeller.Insert(command);
    for (const TPropertyField& f : DescribeProperties(Scene, i).Fields) {
      for (const char* t : texts) {
        TPropertyEdits edits;
        if (f.Kind == TPropertyKind::Vector) {
          edits[f.Key + "x"].Text = t;
        } else {
          edits[f.Key].Text = t;
          edits[f.Key].Choice = static_cast<int>(std::strlen(t)) - 3;  // also out of the list
          edits[f.Key].Checked = std::strlen(t) % 2 != 0;
        }
        Modeller.ApplyProperties(i, edits);
      }
    }
    const TSolidObject& s = Solid(i);
    for (int k = 1; k <= kParamCount; ++k) EXPECT_TRUE(std::isfinite(s.GetParam(k))) << s.Name() << " " << k;
    EXPECT_TRUE(IsFinite(s.Position));
    EXPECT_LE(s.VertexCount(), 200000u) << s.Name();
  }
}
