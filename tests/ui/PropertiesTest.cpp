// The property inspector through its real controls: keys typed into the fields, Tab, Enter and
// Escape, check boxes, lists, the colour swatch, the "..." and "valider" buttons, the scroll
// buttons, and pictures of what it shows for a cube, a 3D text, a curve and a light.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>
#include <QTimer>
#include <numbers>
#include <QToolButton>

#include "TempFolder.h"
#include "WindowTestUtil.h"
#include "scene/Shapes.h"
#include "tools/Deformations.h"
#include "ui/MainWindow.h"
#include "ui/Properties.h"
#include "ui/SceneBrowser.h"
#include "ui/ToolDialogs.h"

using namespace ixoral;

namespace {

class PropertiesUiTest : public ::testing::Test {
 protected:
  PropertiesUiTest() : Settings(Folder.File("settings.ini"), FailuresShownBy(Prompt)) {
    Window = std::make_unique<TfrmMain>(Settings, &Prompt, nullptr, &Clipboard);
    Window->Start();
    Window->resize(1280, 900);
    Window->show();
    Window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
    EXPECT_TRUE(QTest::qWaitForWindowActive(Window.get()));
    Settle();
  }
  ~PropertiesUiTest() override {
    Prompt.QueueAnswer(TAnswer::No);
    Window->close();
  }
  TProperties& Inspector() { return *Window->Properties(); }
  TScene& Scene() { return *Window->Scene(); }
  int Insert(TInsertCommand c) {
    const int i = Window->Modeller()->Insert(c);
    Settle();
    return i;
  }
  template <typename T = QWidget>
  T* Field(const char* key) {
    QWidget* w = Inspector().Control(QString::fromLatin1(key));
    EXPECT_NE(w, nullptr) << key;
    auto* t = qobject_cast<T*>(w);
    EXPECT_NE(t, nullptr) << key;
    return t;
  }
  // Clicks into the field, selects its text and types over it.
  void Type(const char* key, const QString& keys) {
    QLineEdit* e = Field<QLineEdit>(key);
    ASSERT_NE(e, nullptr);
    QTest::mouseClick(e, Qt::LeftButton);
    e->selectAll();
    QTest::keyClicks(e, keys);
  }
  void Leave(const char* key) {
    QTest::keyClick(Field(key), Qt::Key_Tab);
    Settle();
  }
  void Screenshot(const char* name) {
    Settle();
    // The whole column of controls, and the section as the window shows it.
    Inspector().Body()->grab().save(QStringLiteral(IXORAL_TEST_OUTPUT_DIR "/%1.png").arg(QString::fromLatin1(name)));
    Window->findChild<QWidget*>(QStringLiteral("PropertiesSection"))
        ->grab()
        .save(QStringLiteral(IXORAL_TEST_OUTPUT_DIR "/%1-section.png").arg(QString::fromLatin1(name)));
  }

  test::TTempFolder Folder{"inspector"};
  TScriptedPrompt Prompt;
  TMemoryClipboard Clipboard;
  TSettingsStore Settings;
  std::unique_ptr<TfrmMain> Window;
};

}  // namespace

TEST_F(PropertiesUiTest, TypingACubesSideAndLeavingTheFieldRebuildsItWithItsNoise) {
  const int cube = Insert(TInsertCommand::Cube);
  ASSERT_EQ(Inspector().Shown(), cube);
  EXPECT_EQ(Field<QLabel>("lblNomObjet")->text(), "Cube1");
  EXPECT_EQ(Field<QLineEdit>("cote")->text(), "0,500");
  EXPECT_EQ(Field<QLabel>("lblcote")->text(), "Cote");
  EXPECT_EQ(Field<QLineEdit>("cote")->width(), 65);
  EXPECT_EQ(Field<QLineEdit>("cote")->palette().color(QPalette::Base), QColor(Qt::black));
  EXPECT_EQ(Field<QLineEdit>("cote")->palette().color(QPalette::Text), QColor(Qt::white));
  TSolidObject& s = *Scene().SolidAt(cube);
  s.SetNoise(321, false, 0.02, 0.0);
  ReapplyNoise(s);
  Scene().Notify(TSceneChange::ObjectChanged, cube);  // as the noise dialog's OK
  Settle();
  EXPECT_TRUE(Field<QCheckBox>("bruit")->isVisible());

  Type("cote", "2");
  EXPECT_TRUE(Inspector().IsDirty("cote"));
  EXPECT_EQ(s.GetParam(1), 0.5f);  // nothing applied while the field has the focus
  Leave("cote");
  EXPECT_EQ(s.GetParam(1), 2.0f);
  EXPECT_FALSE(Inspector().IsDirty("cote"));
  EXPECT_EQ(Field<QLineEdit>("cote")->text(), "2,000");
  auto expected = CreateCube(0xFFFFFFFF, 2);
  expected->SetNoise(321, false, 0.02, 0.0);
  ReapplyNoise(*expected);
  ASSERT_EQ(s.Composantes[0].Vertices.size(), 36u);
  for (size_t v = 0; v < 36; ++v) {
    EXPECT_EQ(s.Composantes[0].Vertices[v].x, expected->Composantes[0].Vertices[v].x);
    EXPECT_EQ(s.Composantes[0].Vertices[v].y, expected->Composantes[0].Vertices[v].y);
  }

  // Clearing "bruit" rebuilds without the noise and hides the box; its "..." stays.
  QTest::mouseClick(Field<QCheckBox>("bruit"), Qt::LeftButton);
  Settle();
  EXPECT_FALSE(s.Bruit);
  EXPECT_EQ(s.Composantes[0].Vertices[0].x, -1.0f);
  EXPECT_FALSE(Field<QCheckBox>("bruit")->isVisible());
  EXPECT_TRUE(Field<QPushButton>("btnBruit")->isVisible());
  Screenshot("inspector-cube");
  Window->grab().save(QStringLiteral(IXORAL_TEST_OUTPUT_DIR "/inspector-window.png"));
}

TEST_F(PropertiesUiTest, TheKeyFilterEnterAndEscape) {
  const int cube = Insert(TInsertCommand::Cube);
  TSolidObject& s = *Scene().SolidAt(cube);
  // "." arrives as ","; letters and a second comma are refused; "-" only first.
  Type("positionx", "1.5a,-2");
  EXPECT_EQ(Field<QLineEdit>("positionx")->text(), "1,52");
  QTest::keyClick(Field("positionx"), Qt::Key_Return);
  Settle();
  EXPECT_DOUBLE_EQ(s.Position.x, 1.52f);
  EXPECT_EQ(Field<QLineEdit>("positionx")->text(), "1,520");
  // A paste of something no key could type becomes 0; a lone "-" is no number.
  QApplication::clipboard()->setText(QStringLiteral("12abc"));
  QLineEdit* y = Field<QLineEdit>("positiony");
  y->setFocus();
  y->selectAll();
  QTest::keyClick(y, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(y->text(), "0");
  EXPECT_TRUE(Inspector().IsDirty("positiony"));
  y->selectAll();
  QTest::keyClicks(y, "-");
  EXPECT_EQ(y->text(), "-");
  QTest::keyClick(y, Qt::Key_Return);
  Settle();
  EXPECT_EQ(s.Position.y, 0);  // the stored value stays
  EXPECT_EQ(y->text(), "0,000");

  // Three edits, then Escape in the third: all three show the stored values again.
  Type("redimx", "3");
  QTest::keyClick(Field("redimx"), Qt::Key_Tab);  // applied when left
  Settle();
  EXPECT_EQ(s.Redim.x, 3);
  Field<QLineEdit>("vectdirx")->setFocus();
  QTest::keyClicks(Field("vectdirx"), "7");
  Field<QLineEdit>("vecthauty")->setFocus();  // direction fields wait for "valider"
  QTest::keyClicks(Field("vecthauty"), "8");
  Field<QLineEdit>("redimy")->setFocus();
  Field<QLineEdit>("redimy")->selectAll();
  QTest::keyClicks(Field("redimy"), "9");
  EXPECT_EQ(Inspector().DirtyCount(), 3);
  Screenshot("inspector-pending-edits");
  QTest::keyClick(Field("redimy"), Qt::Key_Escape);
  Settle();
  EXPECT_EQ(Inspector().DirtyCount(), 0);
  EXPECT_EQ(Field<QLineEdit>("vectdirx")->text(), "0,000");
  EXPECT_EQ(Field<QLineEdit>("vecthauty")->text(), "1,000");
  EXPECT_EQ(Field<QLineEdit>("redimy")->text(), "1,000");
  EXPECT_EQ(s.Redim.y, 1);

  // "valider" turns the solid.
  Type("vectdirx", "1");
  Type("vectdirz", "0");
  QTest::mouseClick(Field<QPushButton>("btnvectdir"), Qt::LeftButton);
  Settle();
  EXPECT_NEAR(s.VectDir.x, 1, 1e-7);
  EXPECT_EQ(Field<QLineEdit>("vectdirz")->text(), "0,000");
}

TEST_F(PropertiesUiTest, TransparencySpecularPrecisionAndColour) {
  const int cube = Insert(TInsertCommand::Cube);
  TSolidObject& s = *Scene().SolidAt(cube);
  Type("Blend", "100");
  Leave("Blend");
  EXPECT_EQ(s.Color >> 24, 0u);
  Type("Blend", "150");
  Leave("Blend");
  EXPECT_EQ(s.Color >> 24, 0u);
  EXPECT_EQ(Field<QLineEdit>("Blend")->text(), "100,000");
  Type("Blend", "0");
  Leave("Blend");
  EXPECT_EQ(s.Color >> 24, 255u);
  Type("specular", "5");
  Leave("specular");
  EXPECT_FLOAT_EQ(s.Specular, 0.1f);

  // The swatch asks for a colour and applies it, keeping the transparency.
  Type("Blend", "50");
  Leave("Blend");
  Inspector().ChooseColour = [](const QColor&) { return std::optional<QColor>(QColor(0, 0, 255)); };
  QTest::mouseClick(Field("color"), Qt::LeftButton);
  Settle();
  EXPECT_EQ(s.Color, 0x800000FFu);
  Inspector().ChooseColour = [](const QColor&) { return std::optional<QColor>(); };
  QTest::mouseClick(Field("color"), Qt::LeftButton);
  Settle();
  EXPECT_EQ(s.Color, 0x800000FFu);

  const int cylinder = Insert(TInsertCommand::Cylindre);
  ASSERT_EQ(Inspector().Shown(), cylinder);
  Type("precision", "12.5");
  Leave("precision");
  EXPECT_EQ(Scene().SolidAt(cylinder)->GetParam(3), 12.0f);
  Type("precision", "13,5");
  Leave("precision");
  EXPECT_EQ(Scene().SolidAt(cylinder)->GetParam(3), 14.0f);
  const int pyramid = Insert(TInsertCommand::Pyramide);
  EXPECT_FALSE(Field("precision")->isVisible());
  EXPECT_FALSE(Field("lblprecision")->isVisible());
  Type("rayon", "1");
  Leave("rayon");
  EXPECT_EQ(Scene().SolidAt(pyramid)->GetParam(3), 4.0f);
  EXPECT_EQ(Scene().SolidAt(pyramid)->Composantes[1].Vertices.size(), 6u);
}

TEST_F(PropertiesUiTest, ALightsTypeAndAnglesChangeItsCone) {
  const int light = Scene().IndexOfName("Lumière1");
  Window->Modeller()->SelectFromBrowser(light);
  Settle();
  ASSERT_EQ(Inspector().Shown(), light);
  TLight& l = *Scene().LightAt(light);
  EXPECT_TRUE(Field("eclaire")->isVisible());
  const float radius = l.Symbol.Vertices[1].x;
  Type("eclaire", "90");
  Leave("eclaire");
  EXPECT_FLOAT_EQ(l.GetParam(1), float(std::numbers::pi / 2));
  EXPECT_GT(l.Symbol.Vertices[1].x, radius);
  Screenshot("inspector-light");
  QComboBox* type = Field<QComboBox>("type");
  type->setFocus();
  QTest::keyClick(type, Qt::Key_Up);  // "Ambiante", applied at once
  Settle();
  EXPECT_EQ(l.LightType, ltAmbiante);
  EXPECT_FALSE(Field("eclaire")->isVisible());
  EXPECT_FALSE(Field("lblombre")->isVisible());
}

TEST_F(PropertiesUiTest, ATextACurveAndTheButtons) {
  const int text = Insert(TInsertCommand::Texte3D);
  ASSERT_EQ(Inspector().Shown(), text);
  EXPECT_EQ(Field<QLineEdit>("text")->width(), 130);
  EXPECT_EQ(Field<QComboBox>("font")->currentText(), "Times New Roman");
  Screenshot("inspector-text");
  int told = 0;
  Inspector().OnTextChanged = [&](int) { ++told; };
  Type("text", "Xy");
  QTest::keyClick(Field("text"), Qt::Key_Enter);
  Settle();
  EXPECT_EQ(told, 1);
  EXPECT_EQ(Scene().ObjectAt(text)->Name(), "Xy");
  EXPECT_EQ(Field<QLabel>("lblNomObjet")->text(), "Xy");
  Window->FlushPending();
  EXPECT_NE(Window->Browser()->FindNode("Xy"), nullptr);

  const int curve = Insert(TInsertCommand::Parametrique);
  ASSERT_EQ(Inspector().Shown(), curve);
  EXPECT_FALSE(Field("t")->isVisible());
  QComboBox* which = Field<QComboBox>("which");
  which->setFocus();
  QTest::keyClick(which, Qt::Key_Down);  // "Bizarre 4"
  QTest::keyClick(which, Qt::Key_Down);  // "Tore Ondulé"
  Settle();
  EXPECT_EQ(Scene().SolidAt(curve)->GetParam(4), 5.0f);
  EXPECT_TRUE(Field("t")->isVisible());
  EXPECT_EQ(Field<QLabel>("lblt")->text(), "Ondulations");
  Screenshot("inspector-curve");

  // The "..." buttons open the tools as their menu items do, when they are available.
  int opened = 0;
  QAction* noise = Window->Action(TCommandId::Noise);
  QObject::connect(noise, &QAction::triggered, [&] { ++opened; });
  noise->setEnabled(false);
  QTest::mouseClick(Field<QPushButton>("btnBruit"), Qt::LeftButton);
  EXPECT_EQ(opened, 0);
  noise->setEnabled(true);
  bool shown = false;
  QTimer::singleShot(0, [&] {
    if (auto* d = qobject_cast<TFrmBruit*>(QApplication::activeModalWidget())) {
      shown = true;
      d->reject();
    }
  });
  QTest::mouseClick(Field<QPushButton>("btnBruit"), Qt::LeftButton);
  EXPECT_EQ(opened, 1);
  EXPECT_TRUE(shown);

  // The scroll buttons move the controls while there is room.
  auto* down = Window->findChild<QToolButton*>(QStringLiteral("ScrollDown"));
  auto* up = Window->findChild<QToolButton*>(QStringLiteral("ScrollUp"));
  ASSERT_TRUE(down->isVisible());
  const int top = Inspector().Body()->y();
  QTest::mouseClick(down, Qt::LeftButton);
  EXPECT_EQ(Inspector().Body()->y(), top - 10);
  QTest::mousePress(down, Qt::LeftButton);
  QTest::qWait(300);  // held: every 20 ms one more step
  QTest::mouseRelease(down, Qt::LeftButton);
  EXPECT_LE(Inspector().Body()->y(), top - 30);
  // Down to the last row and no further.
  while (Inspector().ScrollDown()) {
  }
  const QWidget* body = Inspector().Body();
  EXPECT_LE(body->y() + body->height(), Window->PropertiesPanel()->height());
  EXPECT_GT(body->y() + body->height(), Window->PropertiesPanel()->height() - 10);
  for (int k = 0; k < 500; ++k) Inspector().ScrollUp();
  EXPECT_EQ(Inspector().Body()->y(), top);
  EXPECT_FALSE(Inspector().ScrollUp());
  QTest::mouseClick(up, Qt::LeftButton);
  EXPECT_EQ(Inspector().Body()->y(), top);
  // The wheel scrolls too: a notch down is three steps, a notch up comes back. (A wheel turned
  // over a row reaches the inspector from the window system; one made here would not travel up.)
  QWidget* inspector = &Inspector();
  auto wheel = [&](int delta) {
    const QPointF at(5, 5);
    QWheelEvent e(at, inspector->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(inspector, &e);
  };
  wheel(-120);
  EXPECT_EQ(Inspector().Body()->y(), top - 30);
  wheel(120);
  EXPECT_EQ(Inspector().Body()->y(), top);

  // Nothing selected: the inspector and its scroll buttons are hidden.
  Window->Modeller()->SelectFromBrowser(-1);
  Settle();
  EXPECT_EQ(Inspector().Shown(), -1);
  EXPECT_FALSE(down->isVisible());
}
