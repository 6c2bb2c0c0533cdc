// The text, curve and light editors' work without their windows: what "Appliquer" builds in the
// preview, what "&OK" adds to the main scene as one undoable step, and the messages for bad input.
#include "commands/Editors.h"
#include "platform/NumberFormat.h"

#include <gtest/gtest.h>

#include <cmath>

#include "ScriptedFiles.h"
#include "TempFolder.h"
#include "commands/Modeller.h"
#include "scene/EvalExpr.h"

using namespace ixoral;

namespace {

class EditorsTest : public ::testing::Test {
 protected:
  EditorsTest()
      : Settings(Folder.File("settings.ini"), FailuresShownBy(Prompt)),
        Scene(nullptr, &Settings),
        Modeller(Scene, Prompt, Clipboard, &Settings, &Files) {
    Scene.NewScene(true);
    Preview.CreateDefaultLight();
  }
  int Solids(TScene& s) const {
    int n = 0;
    for (int i = 0; i < s.ObjectCount(); ++i) n += s.IsSolid(i);
    return n;
  }
  test::TTempFolder Folder{"editors"};
  TScriptedPrompt Prompt;
  TMemoryClipboard Clipboard;
  test::TScriptedFiles Files;
  TSettingsStore Settings;
  TScene Scene;
  TModeller Modeller;
  TScene Preview;
};

TEST_F(EditorsTest, TextEditorBuildsOneTextInThePreviewAndAddsItNamedAfterItsTextAsOneStep) {
  TTextEditor editor(Preview);
  ASSERT_TRUE(editor.SetFont("Arial", 1));
  const TEditorFontMetrics& m = editor.Metrics();
  EXPECT_GT(m.Characters, 90);
  EXPECT_GT(m.MeanWidth, 100);
  EXPECT_GT(m.Height, 500);
  EXPECT_LT(m.BaseLine, 0);  // descenders reach below the base line

  // Nothing typed: the message, nothing built, "&OK" adds nothing.
  EXPECT_EQ(editor.Apply("", true, 0x00FF0000), kMsgPasDeTexte);
  EXPECT_FALSE(editor.Built());
  EXPECT_EQ(editor.Confirm(Modeller), -1);
  EXPECT_FALSE(Modeller.CanUndo());

  // Building twice keeps a single text in the preview, beside the preview's light.
  EXPECT_EQ(editor.Apply("Ab", true, 0x00FF0000), "");
  EXPECT_EQ(editor.Apply("Abc", false, 0x00FF0000), "");
  EXPECT_EQ(Solids(Preview), 1);
  ASSERT_TRUE(Preview.IsSolid(Preview.ObjectCount() - 1));
  const TSolidObject& built = *Preview.SolidAt(Preview.ObjectCount() - 1);
  EXPECT_EQ(built.Name(), kPreviewTextName);
  EXPECT_EQ(built.ShapeType, stTexte3d);
  EXPECT_EQ(built.GetTextParam(1), "Abc");
  EXPECT_EQ(built.GetParam(4), 0.0f);   // not filled
  EXPECT_EQ(built.Color, 0xFFFF0000u);  // opaque red
  // The next build replaces this object: what is compared later is kept now.
  const size_t builtVertices = built.VertexCount();

  // Characters without outlines only: an empty text, still one object.
  EXPECT_EQ(editor.Apply("   ", true, 0), "");
  EXPECT_EQ(Solids(Preview), 1);
  EXPECT_EQ(Preview.SolidAt(Preview.ObjectCount() - 1)->VertexCount(), 0u);
  EXPECT_EQ(editor.Apply("Abc", false, 0x00FF0000), "");

  const int before = Scene.ObjectCount();
  const int added = editor.Confirm(Modeller);
  ASSERT_EQ(added, before);
  EXPECT_EQ(Scene.ObjectAt(added)->Name(), "Abc");
  EXPECT_EQ(Scene.SolidAt(added)->ShapeType, stTexte3d);
  EXPECT_EQ(Scene.SolidAt(added)->VertexCount(), builtVertices);
  EXPECT_EQ(Scene.CurrentObject(), added);
  // The same text again: "Abci".
  EXPECT_EQ(Scene.ObjectAt(editor.Confirm(Modeller))->Name(), "Abci");
  EXPECT_EQ(Modeller.UndoCaption(), "&Annuler Insertion");
  ASSERT_TRUE(Modeller.Undo());
  ASSERT_TRUE(Modeller.Undo());
  EXPECT_EQ(Scene.ObjectCount(), before);
  EXPECT_FALSE(Modeller.CanUndo());
}

TEST_F(EditorsTest, CurveEditorRefusesBadBoundsAndEquationsAndKeepsThePreviousCurve) {
  TCurveEditor editor(Preview);
  const std::string x = "0.5 * t * cos ( 5 * t )", y = "0.1*t", z = "sin(t)";
  for (const char* bad : {"", "abc", "1,2,3", "inf", "nan", "1e400", "1e16", "-"})
    EXPECT_EQ(editor.Apply(x, y, z, bad, "1"), kMsgBornesInvalides) << bad;
  EXPECT_EQ(editor.Apply(x, y, z, "0", "abc"), kMsgBornesInvalides);
  EXPECT_FALSE(editor.Built());
  EXPECT_EQ(Solids(Preview), 0);

  // A bound typed with a dot is read as with a comma.
  ASSERT_EQ(editor.Apply(x, y, z, "0", "6.28"), "");
  ASSERT_EQ(Solids(Preview), 1);
  const int last = Preview.ObjectCount() - 1;
  EXPECT_EQ(Preview.ObjectAt(last)->Name(), kPreviewCurveName);
  const TSolidObject& curve = *Preview.SolidAt(last);
  EXPECT_EQ(curve.ShapeType, stParamUser);
  EXPECT_EQ(curve.GetTextParam(1), "0,5*t*cos(5*t)");
  EXPECT_FLOAT_EQ(curve.GetParam(5), 6.28f);

  // Each equation's label with the evaluator's status; the curve built before stays.
  EXPECT_EQ(editor.Apply("cos t", y, z, "0", "1"), std::string(kMsgEquationX) + "\n" + kExprNombreIncorrect);
  EXPECT_EQ(editor.Apply(x, "((t)", z, "0", "1"), std::string(kMsgEquationY) + "\n" + kExprNombreParentheses);
  EXPECT_EQ(editor.Apply(x, y, "+t", "0", "1"), std::string(kMsgEquationZ) + "\n" + kExprInvalide);
  EXPECT_EQ(editor.Apply(std::string(300, '('), y, z, "0", "1").rfind(kMsgEquationX, 0), 0u);
  ASSERT_EQ(Solids(Preview), 1);
  EXPECT_EQ(Preview.SolidAt(Preview.ObjectCount() - 1)->GetTextParam(1), "0,5*t*cos(5*t)");
  EXPECT_TRUE(Preview.IsLight(0));  // the preview's light is never taken for the curve

  // A second valid build replaces the curve.
  ASSERT_EQ(editor.Apply("t", "0", "0", "-1", "1"), "");
  EXPECT_EQ(Solids(Preview), 1);

  const int before = Scene.ObjectCount();
  const int added = editor.Confirm(Modeller);
  ASSERT_EQ(added, before);
  TSolidObject& kept = *Scene.SolidAt(added);
  EXPECT_EQ(kept.Name(), kCurveObjectName);
  EXPECT_EQ(kept.ShapeType, stParamUser);
  EXPECT_EQ(kept.Color, 0xFFFFFFFFu);
  EXPECT_FLOAT_EQ(kept.Specular, 3.0f);
  EXPECT_EQ(Scene.ObjectAt(editor.Confirm(Modeller))->Name(), std::string(kCurveObjectName) + "i");
  ASSERT_TRUE(Modeller.Undo());
  ASSERT_TRUE(Modeller.Undo());
  EXPECT_EQ(Scene.ObjectCount(), before);
}

TEST_F(EditorsTest, LightEditorAddsTheNextNumberedLightWithItsFieldsAsOneStep) {
  ASSERT_EQ(Scene.LightCount, 1);
  TScene::CopyAllObjects(Preview, Scene);
  {
    // Cancelling leaves the main scene as it was.
    TScene other;
    TLightEditor editor(Scene, other);
    EXPECT_EQ(editor.Number(), 2);
    editor.Cancel();
    bool on = true;
    other.Device().GetLightEnable(2, on);
    EXPECT_FALSE(on);
    EXPECT_EQ(Scene.LightCount, 1);
    EXPECT_EQ(Scene.ObjectCount(), 1);
  }

  TLightEditor editor(Scene, Preview);
  ASSERT_EQ(editor.Number(), 2);
  TLight* light = editor.Light();
  ASSERT_NE(light, nullptr);
  EXPECT_EQ(light->Name(), "Lumière2");
  EXPECT_EQ(Preview.CurrentObject(), editor.PreviewIndex());
  const TLightFields shown = FieldsOfRecord(editor.Record());
  EXPECT_TRUE(shown.Spot);
  EXPECT_EQ(shown.Colour, 0xFFFFFFFFu);
  EXPECT_NEAR(shown.LitAngle, 50, 1e-4);
  EXPECT_NEAR(shown.OuterAngle, 55, 1e-4);
  EXPECT_NEAR(light->Position.x, -1, 1e-6);

  // Resizing to x scale 1 doubles the lit angle shown; the outer cone stays 0.08 rad wider.
  light->Redim.x = 1;
  const TLightFields dragged = editor.FieldsAfterDrag(shown);
  EXPECT_NEAR(dragged.LitAngle, 100, 1e-3);
  EXPECT_NEAR(dragged.OuterAngle, 100 + 0.08 * 180 / 3.14159265358979, 1e-3);
  light->Redim.x = 0;

  // "Ambiante": a directional light drawn with the aim symbol.
  TLightFields f = shown;
  f.Spot = false;
  editor.Apply(f);
  D3DLIGHT7 rec;
  ASSERT_TRUE(Preview.Device().GetLight(2, rec));
  EXPECT_EQ(rec.dltType, D3DLIGHT_DIRECTIONAL);
  const size_t aimVertices = light->Symbol.Vertices.size();

  // Back to a spot, green, elsewhere, with other cones.
  f.Spot = true;
  f.Colour = 0xFF00FF00;
  f.Centre = {1, 2, 3};
  f.Direction = {0, 0, 1};
  f.LitAngle = 30;
  f.OuterAngle = 40;
  editor.Apply(f);
  EXPECT_NE(light->Symbol.Vertices.size(), aimVertices);
  EXPECT_NEAR(light->Position.z, 3, 1e-6);

  const int before = Scene.ObjectCount();
  const int added = editor.Confirm(Modeller);
  ASSERT_EQ(added, before);
  TLight* kept = Scene.LightAt(added);
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->Name(), "Lumière2");
  EXPECT_EQ(kept->DeviceIndex, 2);
  EXPECT_EQ(Scene.LightCount, 2);
  EXPECT_EQ(kept->Color, 0xFF00FF00u);
  EXPECT_NEAR(kept->Position.y, 2, 1e-6);
  ASSERT_TRUE(Scene.Device().GetLight(2, rec));
  EXPECT_EQ(rec.dltType, D3DLIGHT_SPOT);
  EXPECT_NEAR(rec.dvTheta, 30 * 3.14159265358979 / 180, 1e-5);
  EXPECT_NEAR(rec.dvPhi, 40 * 3.14159265358979 / 180, 1e-5);
  EXPECT_NEAR(kept->GetParam(1), rec.dvTheta, 1e-6);
  EXPECT_EQ(Modeller.UndoCaption(), "&Annuler Lumière");
  ASSERT_TRUE(Modeller.Undo());
  EXPECT_EQ(Scene.ObjectCount(), before);
  EXPECT_EQ(Scene.LightCount, 1);

  // An "Ambiante" light keeps its kind in the main scene.
  TScene other;
  TScene::CopyAllObjects(other, Scene);
  TLightEditor directional(Scene, other);
  TLightFields d = FieldsOfRecord(directional.Record());
  d.Spot = false;
  directional.Apply(d);
  const int kept2 = directional.Confirm(Modeller);
  ASSERT_NE(Scene.LightAt(kept2), nullptr);
  EXPECT_EQ(Scene.ObjectAt(kept2)->Name(), "Lumière2");
  ASSERT_TRUE(Scene.Device().GetLight(2, rec));
  EXPECT_EQ(rec.dltType, D3DLIGHT_DIRECTIONAL);
}

TEST(EditorMessagesTest, AFieldThatHoldsNoNumberIsNamedInTheMessage) {
  EXPECT_EQ(NotAFloatMessage(""), "'' n'est pas une valeur en virgule flottante correcte");
  EXPECT_EQ(NotAFloatMessage("-"), "'-' n'est pas une valeur en virgule flottante correcte");
  EXPECT_EQ(NotAFloatMessage("%s"), "'%s' n'est pas une valeur en virgule flottante correcte");
}

}  // namespace
