// The deformation and texture dialogs through their real widgets, opened from the "&Outils" menu
// and the inspector's "..." buttons: previews that never add up, "&OK" into the scene, closing
// without a change.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "ScriptedFiles.h"
#include "TempFolder.h"
#include "WindowTestUtil.h"
#include "document/SceneDocument.h"
#include "platform/NumberFormat.h"
#include "scene/Shapes.h"
#include "tools/Deformations.h"
#include "tools/images/Image.h"
#include "ui/MainWindow.h"
#include "ui/NumberField.h"
#include "ui/PrintDialog.h"
#include "ui/Properties.h"
#include "ui/ScenePanel.h"
#include "ui/ToolDialogs.h"

using namespace ixoral;
namespace fs = std::filesystem;

namespace {

std::vector<D3DVERTEX> Vertices(const TSolidObject& s) {
  std::vector<D3DVERTEX> all;
  for (const auto& c : s.Composantes) all.insert(all.end(), c.Vertices.begin(), c.Vertices.end());
  return all;
}

bool SameVertices(const std::vector<D3DVERTEX>& a, const std::vector<D3DVERTEX>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(D3DVERTEX)) == 0;
}

template <class T>
T* Child(QWidget* w, const char* name) {
  T* c = w->findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(c, nullptr) << name;
  return c;
}

class ToolDialogsWindowTest : public ::testing::Test {
 protected:
  ToolDialogsWindowTest() : Settings(Folder.File("settings.ini"), FailuresShownBy(Prompt)) {}
  ~ToolDialogsWindowTest() override {
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
  // Opens the dialog of `action` and runs `act` on it while it is up.
  template <class D>
  void Run(TCommandId action, std::function<void(D&)> act) {
    bool ran = false;
    WhenModal([&](QWidget* modal) {
      auto* d = qobject_cast<D*>(modal);
      ASSERT_NE(d, nullptr);
      ran = true;
      act(*d);
      if (d->isVisible()) d->reject();
    });
    Window->Action(action)->trigger();
    Settle();
    Window->FlushPending();
    EXPECT_TRUE(ran);
  }
  TSolidObject& Solid() { return *Window->Scene()->SolidAt(Cube); }
  std::string Text() { return WriteSceneText(*Window->Scene()); }
  void InsertCube() {
    Cube = Window->Modeller()->Insert(TInsertCommand::Cube);
    Window->FlushPending();
  }

  test::TTempFolder Folder{"tooldialogs-ui"};
  TScriptedPrompt Prompt;
  TSettingsStore Settings;
  test::TScriptedFiles Files;
  TMemoryClipboard Clipboard;
  std::unique_ptr<TfrmMain> Window;
  int Cube = -1;
};

}  // namespace

// Picks the cube's corner up and right of the envelope preview's centre with the right button, as
// a person does after pointing at it; returns where.
QPoint PickCorner(TFrmEnveloppe& d) {
  TScenePanel* panel = d.Panel();
  const QPoint at(panel->width() / 2 + 20, panel->height() / 2 - 20);
  QMouseEvent hover(QEvent::MouseMove, QPointF(at), panel->mapToGlobal(QPointF(at)), Qt::NoButton, Qt::NoButton,
                    Qt::NoModifier);
  QApplication::sendEvent(panel, &hover);
  QTest::mousePress(panel, Qt::RightButton, {}, at);
  QTest::mouseRelease(panel, Qt::RightButton, {}, at);
  return at;
}

// Types each hostile entry into every visible number field of `dialog` the way a person does (keys,
// then a paste with Ctrl+V), leaving the field with Tab; afterwards every field reads as a finite
// number or as nothing, and the dialog still answers.
int TypeHostileEntries(QWidget& dialog) {
  int typed = 0;
  const QString hostile[] = {QString(), QStringLiteral("-"), QStringLiteral("1e309"), QString(500, QLatin1Char('9')),
                             QStringLiteral("-0,5-")};
  for (TNumberField* field : dialog.findChildren<TNumberField*>()) {
    if (!field->isVisible() || !field->isEnabled()) continue;
    SCOPED_TRACE(field->objectName().toStdString());
    ++typed;
    for (const QString& text : hostile) {
      field->setFocus();
      field->selectAll();
      QTest::keyClick(field, Qt::Key_Backspace);
      QTest::keyClicks(field, text);
      QTest::keyClick(field, Qt::Key_Tab);
    }
    // Pasted text with letters in it.
    QGuiApplication::clipboard()->setText(QStringLiteral("12abc;rm -rf /\n"));
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Tab);
    Settle();
  }
  for (TNumberField* field : dialog.findChildren<TNumberField*>()) {
    const std::string text = FromQt(field->text());
    if (text.empty() || text == "-" || !IsNumberEntry(text)) continue;
    const std::optional<double> v = ParseNumber(text);
    if (v) {
      EXPECT_TRUE(std::isfinite(*v)) << field->objectName().toStdString() << " holds " << text;
    }
  }
  EXPECT_TRUE(dialog.isVisible());
  return typed;
}

TEST_F(ToolDialogsWindowTest, HostileEntriesInEveryNumberFieldApplyNothingAndLeaveTheDialogsUsable) {
  Open();
  InsertCube();
  const std::string before = Text();
  Run<TFrmBruit>(TCommandId::Noise, [&](TFrmBruit& d) { EXPECT_GE(TypeHostileEntries(d), 2); });
  Run<TFrmTorsion>(TCommandId::Torsion, [&](TFrmTorsion& d) { EXPECT_GE(TypeHostileEntries(d), 6); });
  Run<TFrmEnveloppe>(TCommandId::Envelope, [&](TFrmEnveloppe& d) {
    // A corner picked with the right button shows its point and mapping fields.
    PickCorner(d);
    ASSERT_TRUE(d.Editor()->HasCurrent());
    EXPECT_GE(TypeHostileEntries(d), 5);
  });
  // Closed without "OK": the object is as it was, whatever the fields were given.
  EXPECT_EQ(Text(), before);
  // The print dialog's margin, sizes and positions.
  TFrmRendu print(Window.get(), *Window->Scene(), &Settings, Prompt, 4.0 / 3.0);
  print.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&print));
  for (QRadioButton* b : print.findChildren<QRadioButton*>())
    if (b->text() == "Valeur") b->click();
  EXPECT_EQ(TypeHostileEntries(print), 5);
  const TPrintLayout& l = print.Layout();
  EXPECT_TRUE(std::isfinite(l.Margin()) && std::isfinite(l.Width()) && std::isfinite(l.Height()));
  EXPECT_TRUE(l.MarginLeavesRoom(l.Margin()));
  EXPECT_GT(l.Width(), 0);
  print.reject();
}

TEST_F(ToolDialogsWindowTest, ToolsNeedACurrentSolid) {
  TfrmMain& w = Open();
  for (TCommandId name : {TCommandId::Torsion, TCommandId::Texture, TCommandId::Envelope, TCommandId::PointMode}) {
    ASSERT_TRUE(w.Action(name)->isEnabled()) << CommandInfo(name).Name;
    Prompt.ClearShown();
    w.Action(name)->trigger();
    Settle();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    ASSERT_EQ(Prompt.Texts().size(), 1u) << CommandInfo(name).Name;
    EXPECT_EQ(Prompt.Texts()[0], "Vous devez avoir selectionné un objet auparavant");
  }
}

TEST_F(ToolDialogsWindowTest, NoiseDialogTriesWithoutAddingUpAndOkStoresTheNoise) {
  Open();
  InsertCube();
  const std::string before = Text();
  const auto base = Vertices(Solid());
  std::vector<D3DVERTEX> once;
  Run<TFrmBruit>(TCommandId::Noise, [&](TFrmBruit& d) {
    EXPECT_EQ(d.TitleLabel()->text(), "Bruit");
    auto* target = Child<QComboBox>(&d, "Deplacer");
    EXPECT_EQ(target->itemText(0), "Déplacer l'objet");  // a list shows no "&"
    EXPECT_EQ(target->itemText(1), "Déplacer la vue");
    EXPECT_FALSE(d.OkButton()->isEnabled());
    ASSERT_TRUE(SameVertices(Vertices(*d.Preview()->SolidAt(d.Index())), base));
    Child<QRadioButton>(&d, "Plage3")->click();
    ASSERT_TRUE(d.ApplyNoise(4321));
    once = Vertices(*d.Preview()->SolidAt(d.Index()));
    EXPECT_FALSE(SameVertices(once, base));
    ASSERT_TRUE(d.ApplyNoise(4321));
    EXPECT_TRUE(SameVertices(Vertices(*d.Preview()->SolidAt(d.Index())), once));
    EXPECT_TRUE(d.OkButton()->isEnabled());
    EXPECT_EQ(Text(), before);  // the scene waits for "&OK"
    d.Redraw();
    Screenshot(&d, "noise-dialog");
    // "Filaire": the dialog's own colour; "Solide": the object's colour in the scene.
    Child<QRadioButton>(&d, "Filaire")->click();
    EXPECT_EQ(d.Preview()->SolidAt(d.Index())->Color, kPreviewWireColour);
    EXPECT_EQ(d.PreviewRenderer()->FillMode(), DWORD(D3DFILL_WIREFRAME));
    d.Redraw();
    Screenshot(&d, "noise-dialog-wireframe");
    Child<QRadioButton>(&d, "Solide")->click();
    EXPECT_EQ(d.Preview()->SolidAt(d.Index())->Color, Solid().Color);
    QTest::mouseClick(d.OkButton(), Qt::LeftButton);
  });
  EXPECT_TRUE(SameVertices(Vertices(Solid()), once));
  ASSERT_TRUE(Solid().Bruit);
  EXPECT_EQ(Solid().NoiseParams->Seed, 4321);
  EXPECT_DOUBLE_EQ(Solid().NoiseParams->Max, 0.5);  // the third range
  EXPECT_NE(Text().find(";Bruit;"), std::string::npos);
}

TEST_F(ToolDialogsWindowTest, NoiseDialogClosedOrRefusedLeavesTheSceneAsItWas) {
  TfrmMain& w = Open();
  InsertCube();
  const std::string before = Text();
  // From the inspector's "..." button, closed with "&Fermer" after a try.
  bool ran = false;
  WhenModal([&](QWidget* modal) {
    auto* d = qobject_cast<TFrmBruit*>(modal);
    ASSERT_NE(d, nullptr);
    ran = true;
    ASSERT_TRUE(d->ApplyNoise());
    QTest::mouseClick(Child<QPushButton>(d, "Fermer"), Qt::LeftButton);
  });
  ASSERT_TRUE(w.Properties()->OnToolButton);
  w.Properties()->OnToolButton(QStringLiteral("btnBruit"));
  Settle();
  EXPECT_TRUE(ran);
  EXPECT_EQ(Text(), before);

  // Escape, and a custom range that cannot be read: the message, the preview as the scene has it.
  Prompt.ClearShown();
  Run<TFrmBruit>(TCommandId::Noise, [&](TFrmBruit& d) {
    Child<QRadioButton>(&d, "Plage4")->click();
    d.MaxField()->clear();
    QTest::keyClicks(d.MaxField(), QStringLiteral("-"));
    EXPECT_FALSE(d.ApplyNoise(5));
    EXPECT_FALSE(d.OkButton()->isEnabled());
    EXPECT_TRUE(SameVertices(Vertices(*d.Preview()->SolidAt(d.Index())), Vertices(Solid())));
    // Min above max is accepted.
    d.MinField()->setText(QStringLiteral("0,2"));
    d.MaxField()->setText(QStringLiteral("0,1"));
    EXPECT_TRUE(d.ApplyNoise(5));
    // Enter in a field closes nothing; Escape in the preview closes the dialog.
    QTest::keyClick(d.MaxField(), Qt::Key_Return);
    EXPECT_TRUE(d.isVisible());
    d.Panel()->setFocus();
    QTest::keyClick(d.Panel(), Qt::Key_Escape);
    EXPECT_FALSE(d.isVisible() && !d.Fading());
  });
  ASSERT_EQ(Prompt.Texts().size(), 1u);
  EXPECT_EQ(Prompt.Texts()[0], "'-' n'est pas une valeur en virgule flottante correcte");
  EXPECT_EQ(Text(), before);
}

TEST_F(ToolDialogsWindowTest, TorsionDialogMarkersLiveTriesDragsAndOk) {
  Open();
  InsertCube();
  Window->Scene()->SolidAt(Cube)->SetPosition({2, 0, 0});
  const std::string before = Text();
  std::vector<D3DVERTEX> shown;
  Run<TFrmTorsion>(TCommandId::Torsion, [&](TFrmTorsion& d) {
    EXPECT_EQ(d.TitleLabel()->text(), "Torsion");
    const auto fields = d.Fields();
    EXPECT_EQ(fields[1]->text(), "-0,500");
    EXPECT_EQ(fields[4]->text(), "0,500");
    EXPECT_FALSE(d.OkButton()->isEnabled());
    EXPECT_TRUE(d.LiveBox()->isChecked());
    TSceneRenderer& r = *d.PreviewRenderer();
    EXPECT_TRUE(r.ShowMarker && r.ShowGuideLine && r.ShowSelectionMarks);
    EXPECT_EQ(r.GuidePoints[0], (Vec3d{0, -0.5, 0}));
    EXPECT_EQ(r.GuidePoints[1], (Vec3d{0, 0.5, 0}));
    EXPECT_EQ(Child<QLabel>(&d, "AngleDegres")->text(), "0 °");

    // The angle bar applies at once (live): a quarter turn.
    d.AngleBar()->setValue(50);
    EXPECT_EQ(Child<QLabel>(&d, "AngleDegres")->text(), "90,000 °");
    EXPECT_TRUE(d.OkButton()->isEnabled());
    const auto first = Vertices(*d.Preview()->SolidAt(d.Index()));
    QTest::mouseClick(Child<QPushButton>(&d, "Appliquer"), Qt::LeftButton);  // again: the same
    EXPECT_TRUE(SameVertices(Vertices(*d.Preview()->SolidAt(d.Index())), first));

    // A drag to the right moves the rotating point along x and rewrites its field.
    TScenePanel* panel = d.Panel();
    QTest::mousePress(panel, Qt::LeftButton, {}, QPoint(100, 100));
    QMouseEvent move(QEvent::MouseMove, QPointF(130, 100), panel->mapToGlobal(QPointF(130, 100)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(panel, &move);
    QTest::mouseRelease(panel, Qt::LeftButton, {}, QPoint(130, 100));
    EXPECT_GT(d.Settings().Rotating.x, 0.05);
    EXPECT_EQ(fields[3]->text().toStdString(), FormatNumber(d.Settings().Rotating.x));
    EXPECT_EQ(r.GuidePoints[1], d.Settings().Rotating);

    // Typing: "-" alone is not read; equal points give no axis and say so.
    fields[3]->selectAll();
    QTest::keyClicks(fields[3], QStringLiteral("-"));
    EXPECT_GT(d.Settings().Rotating.x, 0.05);
    // The points are typed key by key, as a person does: each field is read as it changes.
    auto type = [](QLineEdit* f, const QString& text) {
      f->setFocus();
      f->selectAll();
      QTest::keyClicks(f, text);
    };
    for (int k = 3; k < 6; ++k) type(fields[size_t(k)], fields[size_t(k - 3)]->text());
    EXPECT_EQ(d.Settings().Rotating, d.Settings().Fixed);
    EXPECT_EQ(d.AxisNote()->text().toStdString(), kMsgNoTorsionAxis);
    QTest::mouseClick(Child<QPushButton>(&d, "Appliquer"), Qt::LeftButton);
    EXPECT_TRUE(SameVertices(Vertices(*d.Preview()->SolidAt(d.Index())), Vertices(Solid())));
    // Back to the vertical axis, and the bars turn and scale the preview.
    type(fields[4], QStringLiteral("0,5"));
    EXPECT_EQ(d.Settings().Rotating.y, 0.5);
    EXPECT_EQ(r.GuidePoints[1], d.Settings().Rotating);
    EXPECT_TRUE(d.AxisNote()->text().isEmpty());
    QTest::mouseClick(Child<QPushButton>(&d, "Appliquer"), Qt::LeftButton);
    Child<QSlider>(&d, "Zoom")->setValue(150);
    EXPECT_EQ(d.Preview()->SolidAt(d.Index())->Redim, (Vec3d{1.5, 1.5, 1.5}));
    shown = Vertices(*d.Preview()->SolidAt(d.Index()));
    d.Redraw();
    Screenshot(&d, "torsion-dialog");
    QTest::mouseClick(d.OkButton(), Qt::LeftButton);
  });
  EXPECT_TRUE(SameVertices(Vertices(Solid()), shown));
  EXPECT_EQ(Solid().Position, (Vec3d{0, 0, 0}));
  EXPECT_EQ(Solid().Redim, (Vec3d{1.5, 1.5, 1.5}));
  ASSERT_TRUE(Solid().Torsion);
  EXPECT_DOUBLE_EQ(Solid().TorsionParams->Angle, M_PI / 2);
  EXPECT_NE(Text().find(";Torsion;"), std::string::npos);
  EXPECT_NE(Text(), before);
}

TEST_F(ToolDialogsWindowTest, TorsionDialogClosedLeavesTheSceneByteForByte) {
  TfrmMain& w = Open();
  InsertCube();
  const std::string before = Text();
  for (int way = 0; way < 3; ++way) {
    bool ran = false;
    WhenModal([&](QWidget* modal) {
      auto* d = qobject_cast<TFrmTorsion*>(modal);
      ASSERT_NE(d, nullptr);
      ran = true;
      d->AngleBar()->setValue(-120);
      if (way == 0) QTest::mouseClick(Child<QPushButton>(d, "Fermer"), Qt::LeftButton);
      if (way == 1) QTest::keyClick(d, Qt::Key_Escape);
      if (way == 2) QTest::mouseClick(d->CloseLabel(), Qt::LeftButton);
    });
    if (way == 2)
      w.Properties()->OnToolButton(QStringLiteral("btnTorsion"));
    else
      w.Action(TCommandId::Torsion)->trigger();
    Settle();
    EXPECT_TRUE(ran);
    EXPECT_EQ(Text(), before) << way;
  }
}

TEST_F(ToolDialogsWindowTest, TextureDialogListsPicturesPreviewsAndAppliesOnlyWhatWasTried) {
  TfrmMain& w = Open();
  InsertCube();
  const fs::path dir = Folder.File("textures");
  fs::create_directories(dir / "autres");
  const std::string data = IXORAL_TEST_DATA_DIR "/images/";
  fs::copy_file(data + "pattern24.bmp", dir / "motif.bmp");
  fs::copy_file(data + "one-pixel.bmp", dir / "point.bmp");
  std::ofstream(dir / "casse.tga", std::ios::binary) << std::string("\0\0\x02\0\0\0\0\0", 8);
  std::ofstream(dir / "notes.txt") << "pas une image";
  const std::string before = Text();

  // "&OK" right after choosing a file, without "&Appliquer": no texture.
  Run<TFrmTexturer>(TCommandId::Texture, [&](TFrmTexturer& d) {
    EXPECT_GE(d.Places()->count(), 2);
    ASSERT_TRUE(d.SetFolder(QString::fromStdString(dir.string())));
    ASSERT_EQ(d.Files()->count(), 3);  // the text file is not listed
    EXPECT_EQ(d.Folders()->item(0)->text(), "..");
    ASSERT_TRUE(d.SelectFile(QStringLiteral("motif.bmp")));
    EXPECT_FALSE(d.Picture()->pixmap().isNull());
    QTest::mouseClick(d.OkButton(), Qt::LeftButton);
  });
  EXPECT_EQ(Text(), before);
  EXPECT_FALSE(Solid().Texturer);

  // A picture that cannot be read: its decoder's message, the preview and the scene unchanged.
  Prompt.ClearShown();
  Run<TFrmTexturer>(TCommandId::Texture, [&](TFrmTexturer& d) {
    ASSERT_TRUE(d.SetFolder(QString::fromStdString(dir.string())));
    ASSERT_TRUE(d.SelectFile(QStringLiteral("motif.bmp")));
    const QImage shown = d.Picture()->pixmap().toImage();
    ASSERT_TRUE(d.SelectFile(QStringLiteral("casse.tga")));
    EXPECT_EQ(d.PictureNote()->text().toStdString(), kMsgTargaInvalid);
    EXPECT_EQ(d.Picture()->pixmap().toImage(), shown);  // the previous picture stays
    EXPECT_FALSE(d.ApplyTexture());
    EXPECT_FALSE(d.Preview()->SolidAt(d.Index())->Texturer);
    EXPECT_TRUE(d.ChosenFile().isEmpty());
    // A folder that cannot be listed: the message, the lists as they were.
    EXPECT_FALSE(d.SetFolder(QString::fromStdString((dir / "absent").string())));
    EXPECT_EQ(d.Files()->count(), 3);
    QTest::mouseClick(d.OkButton(), Qt::LeftButton);
  });
  ASSERT_EQ(Prompt.Texts().size(), 2u);
  EXPECT_EQ(Prompt.Texts()[0], kMsgTargaInvalid);
  EXPECT_EQ(Prompt.Texts()[1], std::string(kMsgFolderUnreadable) + (dir / "absent").string());
  EXPECT_EQ(Text(), before);

  // A double click applies to the preview; "&OK" brings the picture to the object.
  Run<TFrmTexturer>(TCommandId::Texture, [&](TFrmTexturer& d) {
    ASSERT_TRUE(d.SetFolder(QString::fromStdString(dir.string())));
    ASSERT_TRUE(d.SelectFile(QStringLiteral("point.bmp")));  // one pixel: a texture all the same
    QListWidgetItem* motif = d.Files()->findItems(QStringLiteral("motif.bmp"), Qt::MatchExactly).front();
    d.Files()->setCurrentItem(motif);
    const QPoint at = d.Files()->visualItemRect(motif).center();
    QTest::mouseClick(d.Files()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(d.Files()->viewport(), Qt::LeftButton, {}, at);
    EXPECT_TRUE(d.Preview()->SolidAt(d.Index())->Texturer);
    EXPECT_TRUE(d.ChosenFile().endsWith(QStringLiteral("motif.bmp")));
    EXPECT_FALSE(Solid().Texturer);
    d.Redraw();
    Screenshot(&d, "texture-dialog");
    QTest::mouseClick(d.OkButton(), Qt::LeftButton);
  });
  EXPECT_TRUE(Solid().Texturer);
  ASSERT_TRUE(Solid().TextureSurface);
  EXPECT_EQ(Solid().TextureFile, (dir / "motif.bmp").string());
  (void)w;
}

TEST_F(ToolDialogsWindowTest, EnvelopeDialogPicksDragsTypesAndMerges) {
  TfrmMain& w = Open();
  InsertCube();
  Window->Scene()->SolidAt(Cube)->SetPosition({1, 0, 0});
  const std::string before = Text();
  ASSERT_TRUE(w.Action(TCommandId::Envelope)->isEnabled());
  // Closed without "&OK" after a move: nothing changes.
  auto pickAndDrag = [](TFrmEnveloppe& d) {
    TScenePanel* panel = d.Panel();
    EXPECT_FALSE(d.PointBox()->isVisible());
    const QPoint at = PickCorner(d);
    ASSERT_TRUE(d.Editor()->HasCurrent());
    EXPECT_TRUE(d.PointBox()->isVisible());
    EXPECT_TRUE(d.MappingBox()->isVisible());
    const Vec3d corner = d.Editor()->Current;
    // Its mapping, typed key by key, is the picked vertex's.
    d.MappingFields()[0]->setFocus();
    d.MappingFields()[0]->selectAll();
    QTest::keyClicks(d.MappingFields()[0], QStringLiteral("0,25"));
    float tu = 0, tv = 0;
    EXPECT_TRUE(d.Editor()->Mapping(tu, tv));
    EXPECT_FLOAT_EQ(tu, 0.25f);
    EXPECT_NEAR(std::fabs(corner.x), std::fabs(corner.y), 1e-6);  // a corner of the cube
    EXPECT_EQ(d.PointFields()[0]->text().toStdString(), FormatNumber(corner.x));
    // A drag with the left button: the corner and the faces meeting there follow along x.
    QTest::mousePress(panel, Qt::LeftButton, {}, at);
    QMouseEvent drag(QEvent::MouseMove, QPointF(at + QPoint(50, 0)), panel->mapToGlobal(QPointF(at + QPoint(50, 0))),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(panel, &drag);
    QTest::mouseRelease(panel, Qt::LeftButton, {}, at + QPoint(50, 0));
    EXPECT_GT(d.Editor()->Current.x, corner.x + 0.1);
    const TSolidObject& p = *d.Preview()->SolidAt(d.Index());
    EXPECT_EQ(p.ModifiedVertices.size(), 2u);  // the dragged vertex and the one given its mapping
    EXPECT_EQ(BuildSharedPoints(p).size(), 8u);
  };
  Run<TFrmEnveloppe>(TCommandId::Envelope, [&](TFrmEnveloppe& d) {
    pickAndDrag(d);
    QTest::mouseClick(Child<QPushButton>(&d, "Fermer"), Qt::LeftButton);
  });
  EXPECT_EQ(Text(), before);

  Prompt.ClearShown();
  std::vector<D3DVERTEX> shown;
  Run<TFrmEnveloppe>(TCommandId::Envelope, [&](TFrmEnveloppe& d) {
    pickAndDrag(d);
    // Typed coordinates move the point; text that is not a number moves nothing.
    d.PointFields()[2]->setFocus();
    d.PointFields()[2]->selectAll();
    QTest::keyClicks(d.PointFields()[2], QStringLiteral("0,4"));
    EXPECT_DOUBLE_EQ(d.Editor()->Current.z, 0.4);
    // Pasted text that is no number is refused with its message and moves nothing.
    QGuiApplication::clipboard()->setText(QStringLiteral("1,2,3"));
    d.PointFields()[1]->selectAll();
    QTest::keyClick(d.PointFields()[1], Qt::Key_V, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(d.Editor()->Current.z, 0.4);
    shown = Vertices(*d.Preview()->SolidAt(d.Index()));
    d.Redraw();
    Screenshot(&d, "envelope-dialog");
    QTest::mouseClick(d.OkButton(), Qt::LeftButton);
  });
  ASSERT_EQ(Prompt.Texts().size(), 1u);
  EXPECT_EQ(Prompt.Texts()[0], "'1,2,3' n'est pas une valeur en virgule flottante correcte");
  EXPECT_TRUE(SameVertices(Vertices(Solid()), shown));
  EXPECT_EQ(Solid().ModifiedVertices.size(), 2u);
  EXPECT_EQ(Solid().Position, (Vec3d{1, 0, 0}));  // only the points come back
}

TEST_F(ToolDialogsWindowTest, PointEditorTableMovesEveryRowOfAPointAndMerges) {
  Open();
  InsertCube();
  const std::string before = Text();
  Prompt.ClearShown();
  Run<TFrmMeshEdit>(TCommandId::PointMode, [&](TFrmMeshEdit& d) {
    QTableWidget* t = d.Grid();
    ASSERT_EQ(t->rowCount(), 36);
    EXPECT_EQ(t->horizontalHeaderItem(1)->text(), "en X");
    EXPECT_EQ(t->horizontalHeaderItem(5)->text(), "en V (-Y)");
    // An empty cell: the message, and the value back.
    t->setCurrentCell(1, 2);
    const QString y = t->item(1, 2)->text();
    t->item(1, 2)->setText(QString());
    t->setCurrentCell(2, 2);
    EXPECT_EQ(t->item(1, 2)->text(), y);
    EXPECT_TRUE(d.Preview()->SolidAt(d.Index())->ModifiedVertices.empty());
    QTest::mouseClick(Child<QPushButton>(&d, "Fermer"), Qt::LeftButton);
  });
  ASSERT_EQ(Prompt.Texts().size(), 1u);
  EXPECT_EQ(Prompt.Texts()[0], "'' n'est pas une valeur en virgule flottante correcte");
  EXPECT_EQ(Text(), before);

  Run<TFrmMeshEdit>(TCommandId::PointMode, [&](TFrmMeshEdit& d) {
    QTableWidget* t = d.Grid();
    const QString x = t->item(0, 1)->text(), y = t->item(0, 2)->text(), z = t->item(0, 3)->text();
    std::vector<int> shared;
    for (int r = 0; r < t->rowCount(); ++r)
      if (t->item(r, 1)->text() == x && t->item(r, 2)->text() == y && t->item(r, 3)->text() == z) shared.push_back(r);
    ASSERT_GT(shared.size(), 1u);
    t->setCurrentCell(0, 1);
    t->item(0, 1)->setText(QStringLiteral("1"));
    t->setCurrentCell(0, 2);
    for (int r : shared) EXPECT_EQ(t->item(r, 1)->text(), "1,000") << r;
    d.Redraw();
    Screenshot(&d, "point-editor-dialog");
    QTest::mouseClick(d.OkButton(), Qt::LeftButton);
  });
  EXPECT_EQ(Solid().ModifiedVertices.size(), 1u);
  int atOne = 0;
  for (const D3DVERTEX& v : Vertices(Solid())) atOne += v.x == 1.0f;
  EXPECT_GT(atOne, 1);
  EXPECT_NE(Text(), before);
}

TEST_F(ToolDialogsWindowTest, PreviewToolRowsAndAppliquerButtonsReachEachDialogsOwnWork) {
  Open();
  InsertCube();
  const std::string before = Text();
  auto cursorOf = [](TOperation op) { return OperationCursor(op, axFree).pixmap().toImage(); };
  // "Appliquer" tries the noise on the preview and makes "&OK" usable; the scene waits.
  Run<TFrmBruit>(TCommandId::Noise, [&](TFrmBruit& d) {
    EXPECT_TRUE(Child<QToolButton>(&d, "Translation")->isChecked());
    EXPECT_EQ(d.Panel()->cursor().pixmap().toImage(), cursorOf(opMove));
    QTest::mouseClick(Child<QPushButton>(&d, "Appliquer"), Qt::LeftButton);
    EXPECT_FALSE(SameVertices(Vertices(*d.Preview()->SolidAt(d.Index())), Vertices(Solid())));
    EXPECT_TRUE(d.OkButton()->isEnabled());
  });
  EXPECT_EQ(Text(), before);
  // The texture and point-mode previews open turning the view, as their "Rotation" button says;
  // "Zoom" resizes.
  const fs::path dir = Folder.File("motifs");
  fs::create_directories(dir);
  fs::copy_file(IXORAL_TEST_DATA_DIR "/images/pattern24.bmp", dir / "motif.bmp");
  Run<TFrmTexturer>(TCommandId::Texture, [&](TFrmTexturer& d) {
    EXPECT_TRUE(Child<QToolButton>(&d, "Rotation")->isChecked());
    EXPECT_EQ(d.Panel()->cursor().pixmap().toImage(), cursorOf(opRotate));
    QTest::mouseClick(Child<QToolButton>(&d, "Zoom"), Qt::LeftButton);
    EXPECT_EQ(d.Panel()->cursor().pixmap().toImage(), cursorOf(opResize));
    ASSERT_TRUE(d.SetFolder(QString::fromStdString(dir.string())));
    ASSERT_TRUE(d.SelectFile(QStringLiteral("motif.bmp")));
    QTest::mouseClick(Child<QPushButton>(&d, "Appliquer"), Qt::LeftButton);
    EXPECT_TRUE(d.Preview()->SolidAt(d.Index())->Texturer);
  });
  EXPECT_FALSE(Solid().Texturer);
  Run<TFrmMeshEdit>(TCommandId::PointMode,
                    [&](TFrmMeshEdit& d) { EXPECT_EQ(d.Panel()->cursor().pixmap().toImage(), cursorOf(opRotate)); });
  EXPECT_EQ(Text(), before);
}

TEST_F(ToolDialogsWindowTest, ToolDialogsOpenedAtAThousandObjectsEditTheirOwnObjectOnly) {
  Open();
  TScene& scene = *Window->Scene();
  for (int c = 0; c < 1000; ++c) {
    const TInsertDefault* d = FindInsertDefault(c % 2 ? "cube" : "pyramide");
    const int i = scene.AddObject(d->Create(), d->Prefix);
    scene.ObjectAt(i)->SetPosition({0.01 * (i % 17), 0.02 * (i % 13), 0});
  }
  scene.Notify(TSceneChange::SceneLoaded);
  Window->FlushPending();
  const int count = scene.ObjectCount();
  auto snapshot = [&] {
    std::vector<std::vector<D3DVERTEX>> all;
    for (int i = 0; i < count; ++i)
      all.push_back(scene.IsSolid(i) ? Vertices(*scene.SolidAt(i)) : std::vector<D3DVERTEX>{});
    return all;
  };
  // The objects whose mesh differs from `before`.
  auto changed = [&](const std::vector<std::vector<D3DVERTEX>>& before) {
    std::vector<int> which;
    for (int i = 0; i < count; ++i)
      if (scene.IsSolid(i) && !SameVertices(Vertices(*scene.SolidAt(i)), before[size_t(i)])) which.push_back(i);
    return which;
  };

  // Noise on object 700: the preview holds the light and the object, not the thousand.
  Cube = 700;
  Window->Modeller()->SelectFromBrowser(Cube);
  Window->FlushPending();
  auto before = snapshot();
  std::vector<D3DVERTEX> shown;
  Run<TFrmBruit>(TCommandId::Noise, [&](TFrmBruit& d) {
    ASSERT_NE(d.Preview(), nullptr);
    EXPECT_EQ(d.Preview()->ObjectCount(), 2);
    ASSERT_TRUE(d.Preview()->SolidAt(d.Index()));
    EXPECT_EQ(d.Preview()->ObjectAt(d.Index())->Name(), Solid().Name());
    EXPECT_TRUE(SameVertices(Vertices(*d.Preview()->SolidAt(d.Index())), before[size_t(Cube)]));
    Child<QRadioButton>(&d, "Plage3")->click();
    ASSERT_TRUE(d.ApplyNoise(4321));
    shown = Vertices(*d.Preview()->SolidAt(d.Index()));
    QTest::mouseClick(d.OkButton(), Qt::LeftButton);
  });
  EXPECT_EQ(changed(before), std::vector<int>{Cube});
  EXPECT_TRUE(SameVertices(Vertices(Solid()), shown));
  for (int i = 0; i < count; ++i)
    if (scene.IsSolid(i)) {
      EXPECT_EQ(scene.SolidAt(i)->Bruit, i == Cube) << i;
    }

  // A torsion, zoomed by the bar, on object 300.
  Cube = 300;
  Window->Modeller()->SelectFromBrowser(Cube);
  Window->FlushPending();
  before = snapshot();
  Run<TFrmTorsion>(TCommandId::Torsion, [&](TFrmTorsion& d) {
    Child<QSlider>(&d, "Angle")->setValue(50);
    d.ApplyTorsion();
    Child<QSlider>(&d, "Zoom")->setValue(150);
    EXPECT_EQ(d.Preview()->SolidAt(d.Index())->Redim, (Vec3d{1.5, 1.5, 1.5}));
    shown = Vertices(*d.Preview()->SolidAt(d.Index()));
    QTest::mouseClick(d.OkButton(), Qt::LeftButton);
  });
  EXPECT_EQ(changed(before), std::vector<int>{Cube});
  EXPECT_TRUE(SameVertices(Vertices(Solid()), shown));
  EXPECT_EQ(Solid().Redim, (Vec3d{1.5, 1.5, 1.5}));
  for (int i = 0; i < count; ++i)
    if (scene.IsSolid(i)) {
      EXPECT_EQ(scene.SolidAt(i)->Torsion, i == Cube) << i;
    }
}
