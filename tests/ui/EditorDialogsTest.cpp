// The text editor, the parametric curve editor and the light editor through their real fields,
// opened from the main window's actions.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "ScriptedFiles.h"
#include "TempFolder.h"
#include "WindowTestUtil.h"
#include "platform/NumberFormat.h"
#include "ui/CurveEditorDialog.h"
#include "ui/EditorParts.h"
#include "ui/LightDialog.h"
#include "ui/MainWindow.h"
#include "ui/NumberField.h"
#include "ui/ScenePanel.h"
#include "ui/TextEditorDialog.h"

using namespace ixoral;

namespace {

void Retype(QLineEdit* field, const QString& text) {
  field->selectAll();
  QTest::keyClick(field, Qt::Key_Backspace);
  if (!field->text().isEmpty()) field->clear();
  QTest::keyClicks(field, text);
}

class EditorDialogsTest : public ::testing::Test {
 protected:
  EditorDialogsTest() : Settings(Folder.File("settings.ini"), FailuresShownBy(Prompt)) {}
  ~EditorDialogsTest() override {
    if (Window) {
      Prompt.QueueAnswer(TAnswer::No);
      Window->close();
    }
  }
  TfrmMain& Open() {
    Window = std::make_unique<TfrmMain>(Settings, &Prompt, &Files, &Clipboard);
    Window->Start();
    Window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
    Settle();
    Window->FlushPending();
    return *Window;
  }
  test::TTempFolder Folder{"editor-dialogs"};
  TScriptedPrompt Prompt;
  test::TScriptedFiles Files;
  TMemoryClipboard Clipboard;
  TSettingsStore Settings;
  std::unique_ptr<TfrmMain> Window;
};

TEST_F(EditorDialogsTest, TextEditorAddsItsTextNamedAfterItOnOkAsOneUndoableStep) {
  TfrmMain& w = Open();
  TScene& main = *w.Scene();
  const int before = main.ObjectCount();
  ASSERT_TRUE(w.Action(TCommandId::TextEditor)->isEnabled());
  WhenModal([&](QWidget* modal) {
    auto* d = qobject_cast<TFrmTEditor*>(modal);
    ASSERT_NE(d, nullptr);
    ASSERT_NE(d->Preview(), nullptr);
    EXPECT_GT(d->FontList()->count(), 0);
    EXPECT_EQ(d->FontList()->currentIndex(), 0);
    EXPECT_EQ(d->PrecisionList()->currentText(), "Basse");
    EXPECT_EQ(d->Editor()->Converter().Precision(), 1);
    EXPECT_FALSE(d->OkButton()->isEnabled());

    // The preview's tool bar sets the operation and the axis.
    QTest::mouseClick(d->ToolBar()->Button(opRotate), Qt::LeftButton);
    EXPECT_TRUE(d->ToolBar()->Button(opRotate)->isChecked());
    EXPECT_FALSE(d->ToolBar()->Button(opMove)->isChecked());
    d->ToolBar()->AxisButton()->menu()->actions().at(2)->trigger();
    EXPECT_EQ(d->Panel()->cursor().shape(), Qt::BitmapCursor);

    // Nothing typed: "Pas de Texte".
    Prompt.ClearShown();
    QTest::mouseClick(d->ApplyButton(), Qt::LeftButton);
    ASSERT_EQ(Prompt.Texts().size(), 1u);
    EXPECT_EQ(Prompt.Texts()[0], kMsgPasDeTexte);
    EXPECT_FALSE(d->OkButton()->isEnabled());

    // Arial, middle precision, typed text: one text in the preview, however often applied.
    const int arial = d->FontList()->findText(QStringLiteral("Arial"));
    ASSERT_GE(arial, 0);
    d->FontList()->setCurrentIndex(arial);
    emit d->FontList()->activated(arial);
    d->PrecisionList()->setCurrentIndex(1);
    emit d->PrecisionList()->activated(1);
    EXPECT_EQ(d->Editor()->Converter().Precision(), 2);
    QTest::keyClicks(d->TextField(), QStringLiteral("Ix"));
    d->TextField()->insert(QStringLiteral("é"));  // typed through an input method
    QTest::mouseClick(d->ApplyButton(), Qt::LeftButton);
    QTest::mouseClick(d->ApplyButton(), Qt::LeftButton);
    EXPECT_TRUE(d->OkButton()->isEnabled());
    TScene& preview = *d->Preview();
    int texts = 0;
    for (int i = 0; i < preview.ObjectCount(); ++i) texts += preview.IsSolid(i);
    EXPECT_EQ(texts, 1);
    EXPECT_EQ(preview.ObjectAt(preview.ObjectCount() - 1)->Name(), kPreviewTextName);
    d->Panel()->RedrawNow();
    Settle();
    Screenshot(d, "text-editor");
    QTest::mouseClick(d->OkButton(), Qt::LeftButton);
  });
  w.Action(TCommandId::TextEditor)->trigger();
  Settle();
  ASSERT_EQ(main.ObjectCount(), before + 1);
  EXPECT_EQ(main.ObjectAt(before)->Name(), "Ixé");
  EXPECT_EQ(main.SolidAt(before)->ShapeType, stTexte3d);
  EXPECT_EQ(main.SolidAt(before)->GetTextParam(2), "Arial");
  EXPECT_GT(main.SolidAt(before)->VertexCount(), 0u);
  EXPECT_EQ(w.Action(TCommandId::Undo)->text(), "&Annuler Insertion");
  w.Action(TCommandId::Undo)->trigger();
  EXPECT_EQ(main.ObjectCount(), before);
}

TEST_F(EditorDialogsTest, CurveEditorRefusesBadBoundsAndEquationsKeepsItsCurveAndAddsItOnOk) {
  TfrmMain& w = Open();
  TScene& main = *w.Scene();
  const int before = main.ObjectCount();
  WhenModal([&](QWidget* modal) {
    auto* d = qobject_cast<TFrmParamEdit*>(modal);
    ASSERT_NE(d, nullptr);
    ASSERT_NE(d->Preview(), nullptr);
    EXPECT_EQ(d->From()->text(), "0");
    EXPECT_EQ(d->To()->text(), "6,2831853071795864");
    TScene& preview = *d->Preview();
    auto curve = [&]() -> TSolidObject* {
      for (int i = preview.ObjectCount() - 1; i >= 0; --i)
        if (preview.IsSolid(i)) return preview.SolidAt(i);
      return nullptr;
    };

    Prompt.ClearShown();
    Retype(d->From(), QStringLiteral("zero"));
    QTest::mouseClick(d->ApplyButton(), Qt::LeftButton);
    ASSERT_EQ(Prompt.Texts().size(), 1u);
    EXPECT_EQ(Prompt.Texts()[0], kMsgBornesInvalides);
    EXPECT_EQ(curve(), nullptr);
    EXPECT_FALSE(d->OkButton()->isEnabled());

    Retype(d->From(), QStringLiteral("0"));
    Retype(d->To(), QStringLiteral("6.28"));
    QTest::mouseClick(d->ApplyButton(), Qt::LeftButton);
    ASSERT_NE(curve(), nullptr);
    EXPECT_EQ(curve()->GetTextParam(1), "0,5*t*cos(5*t)");
    EXPECT_TRUE(d->OkButton()->isEnabled());

    // An equation that does not compile: the label, the evaluator's status, the curve kept.
    Prompt.ClearShown();
    Retype(d->Field(0), QStringLiteral("cos t"));
    QTest::mouseClick(d->ApplyButton(), Qt::LeftButton);
    ASSERT_EQ(Prompt.Texts().size(), 1u);
    EXPECT_EQ(Prompt.Texts()[0], std::string(kMsgEquationX) + "\n" + "Expression invalide : nombre incorrect");
    ASSERT_NE(curve(), nullptr);
    EXPECT_EQ(curve()->GetTextParam(1), "0,5*t*cos(5*t)");
    Retype(d->Field(0), QStringLiteral("0.5 * t * cos ( 5 * t )"));
    Retype(d->Field(2), QStringLiteral(")t("));
    Prompt.ClearShown();
    QTest::mouseClick(d->ApplyButton(), Qt::LeftButton);
    ASSERT_EQ(Prompt.Texts().size(), 1u);
    EXPECT_EQ(Prompt.Texts()[0], std::string(kMsgEquationZ) + "\n" + "Expression invalide : erreur de parenthèsage");
    d->Panel()->RedrawNow();
    Settle();
    Screenshot(d, "curve-editor");
    QTest::mouseClick(d->OkButton(), Qt::LeftButton);
  });
  w.Action(TCommandId::CurveEditor)->trigger();
  Settle();
  ASSERT_EQ(main.ObjectCount(), before + 1);
  EXPECT_EQ(main.ObjectAt(before)->Name(), kCurveObjectName);
  EXPECT_EQ(main.SolidAt(before)->ShapeType, stParamUser);
  EXPECT_FLOAT_EQ(main.SolidAt(before)->Specular, 3.0f);
  w.Action(TCommandId::Undo)->trigger();
  EXPECT_EQ(main.ObjectCount(), before);
}

TEST_F(EditorDialogsTest, LightEditorAddsTheNextLightWithTheChosenKindColourAndAngles) {
  TfrmMain& w = Open();
  TScene& main = *w.Scene();
  w.Modeller()->Insert(TInsertCommand::Sphere);  // something for the new light to shine on
  const int before = main.ObjectCount();
  const int lights = main.LightCount;
  ASSERT_TRUE(w.Action(TCommandId::AddLight)->isEnabled());
  // Cancelling adds nothing and keeps the count.
  WhenModal([&](QWidget* modal) {
    auto* d = qobject_cast<TfrmLight*>(modal);
    ASSERT_NE(d, nullptr);
    QTest::mouseClick(d->findChild<QPushButton*>(QStringLiteral("Annuler")), Qt::LeftButton);
  });
  w.Action(TCommandId::AddLight)->trigger();
  Settle();
  EXPECT_EQ(main.ObjectCount(), before);
  EXPECT_EQ(main.LightCount, lights);

  WhenModal([&](QWidget* modal) {
    auto* d = qobject_cast<TfrmLight*>(modal);
    ASSERT_NE(d, nullptr);
    ASSERT_NE(d->Preview(), nullptr);
    EXPECT_EQ(d->Preview()->ObjectCount(), before + 1);
    EXPECT_EQ(d->Editor()->Light()->Name(), "Lumière" + std::to_string(lights + 1));
    EXPECT_EQ(d->KindList()->currentText(), "Spot");
    EXPECT_EQ(d->Centre(0)->text(), "-1,000");
    EXPECT_EQ(d->Centre(1)->text(), "0,000");
    EXPECT_EQ(d->Direction(0)->text(), "0,700");
    EXPECT_EQ(d->LitAngle()->text(), "50,000");
    EXPECT_EQ(d->OuterAngle()->text(), "55,000");
    EXPECT_EQ(d->Swatch()->Colour(), QColor(Qt::white));
    d->Panel()->RedrawNow();
    Settle();
    Screenshot(d, "light-editor-open");

    // "Ambiante" hides the centre and the angles; "Spot" shows them again.
    d->KindList()->setCurrentIndex(1);
    emit d->KindList()->activated(1);
    EXPECT_FALSE(d->LitAngle()->isVisible());
    EXPECT_FALSE(d->Centre(0)->isVisible());
    d->KindList()->setCurrentIndex(0);
    emit d->KindList()->activated(0);
    EXPECT_TRUE(d->LitAngle()->isVisible());

    // A field emptied while typing is not applied; applying with it empty names it.
    Prompt.ClearShown();
    Retype(d->LitAngle(), QString());
    EXPECT_TRUE(Prompt.Texts().empty());
    QTest::keyClicks(d->OuterAngle(), QStringLiteral("0"));
    ASSERT_EQ(Prompt.Texts().size(), 1u);
    EXPECT_EQ(Prompt.Texts()[0], NotAFloatMessage(""));
    // Letters are refused by the numeric filter.
    QTest::keyClicks(d->LitAngle(), QStringLiteral("3a0.5"));
    EXPECT_EQ(d->LitAngle()->text(), "30,5");
    Retype(d->OuterAngle(), QStringLiteral("40"));
    Retype(d->Centre(1), QStringLiteral("2"));
    d->Swatch()->SetColour(QColor(255, 0, 0));
    emit d->Swatch()->Changed();
    EXPECT_NEAR(d->Editor()->Light()->Position.y, 2, 1e-6);

    // A drag in the preview moves the light, and the fields follow.
    QTest::mouseClick(d->ToolBar()->Button(opMove), Qt::LeftButton);
    const QPoint c = d->Panel()->rect().center();
    QTest::mousePress(d->Panel(), Qt::LeftButton, {}, c);
    QTest::mouseMove(d->Panel(), c + QPoint(30, 0));
    QTest::mouseRelease(d->Panel(), Qt::LeftButton, {}, c + QPoint(30, 0));
    EXPECT_NE(d->Centre(0)->text(), "-1,000");
    // "Dé&placer la vue": the same drag turns the view and leaves the light where it is.
    const Vec3d placed = d->Editor()->Light()->Position;
    d->MoveView()->click();
    EXPECT_EQ(d->Preview()->CurrentObject(), -1);
    QTest::mousePress(d->Panel(), Qt::LeftButton, {}, c);
    QTest::mouseMove(d->Panel(), c + QPoint(30, 0));
    QTest::mouseRelease(d->Panel(), Qt::LeftButton, {}, c + QPoint(30, 0));
    EXPECT_EQ(d->Editor()->Light()->Position.x, placed.x);
    d->MoveObject()->click();
    EXPECT_EQ(d->Preview()->CurrentObject(), d->Editor()->PreviewIndex());
    Retype(d->Centre(0), QStringLiteral("-1"));
    d->Panel()->RedrawNow();
    Settle();
    Screenshot(d, "light-editor");
    QTest::mouseClick(d->OkButton(), Qt::LeftButton);
  });
  w.Action(TCommandId::AddLight)->trigger();
  Settle();
  ASSERT_EQ(main.ObjectCount(), before + 1);
  TLight* light = main.LightAt(before);
  ASSERT_NE(light, nullptr);
  EXPECT_EQ(light->Name(), "Lumière" + std::to_string(lights + 1));
  EXPECT_EQ(main.LightCount, lights + 1);
  EXPECT_EQ(light->Color, 0xFFFF0000u);
  EXPECT_NEAR(light->Position.x, -1, 1e-6);
  EXPECT_NEAR(light->Position.y, 2, 1e-6);
  D3DLIGHT7 rec;
  ASSERT_TRUE(main.Device().GetLight(lights + 1, rec));
  EXPECT_EQ(rec.dltType, D3DLIGHT_SPOT);
  EXPECT_NEAR(rec.dvTheta, 30.5 * 3.14159265358979 / 180, 1e-5);
  // After the drag the outer cone shown is the lit cone widened by 0.08 radian.
  EXPECT_NEAR(rec.dvPhi, rec.dvTheta + 0.08, 1e-5);
  EXPECT_EQ(w.Action(TCommandId::Undo)->text(), "&Annuler Lumière");
  w.Action(TCommandId::Undo)->trigger();
  EXPECT_EQ(main.ObjectCount(), before);
  EXPECT_EQ(main.LightCount, lights);
}

}  // namespace

TEST_F(EditorDialogsTest, EscapeClosesEachEditorRightAfterItOpensWithThePreviewFocused) {
  TfrmMain& w = Open();
  TScene& main = *w.Scene();
  const int before = main.ObjectCount();
  for (TCommandId id : {TCommandId::AddLight, TCommandId::TextEditor, TCommandId::CurveEditor}) {
    bool closing = false;
    WhenModal([&](QWidget* modal) {
      auto* dialog = qobject_cast<TPreviewDialog*>(modal);
      ASSERT_NE(dialog, nullptr);
      dialog->Panel()->setFocus();
      QTest::keyClick(dialog->Panel(), Qt::Key_Escape);
      closing = !dialog->isVisible() || dialog->Fading();
      if (!closing) dialog->reject();  // the key was swallowed: close it so the test goes on
    });
    w.Action(id)->trigger();
    Settle();
    EXPECT_TRUE(closing) << CommandInfo(id).Name;
    EXPECT_EQ(main.ObjectCount(), before) << CommandInfo(id).Name;
  }
}
