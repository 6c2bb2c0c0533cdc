// The light editor.
#include "ui/LightDialog.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "commands/Help.h"
#include "commands/Modeller.h"
#include "platform/NumberFormat.h"
#include "ui/EditorParts.h"
#include "ui/NumberField.h"
#include "ui/ScenePanel.h"

namespace ixoral {

namespace {

QColor ToQColor(D3DCOLOR c) { return QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF); }

void ShowNumber(QLineEdit* field, double value) { field->setText(QString::fromStdString(FormatNumber(value))); }

}  // namespace

TfrmLight::TfrmLight(QWidget* parent, TModeller& modeller, TSettingsStore& settings, IPrompt& prompt)
    : TPreviewDialog(parent, TKind::Editor, QStringLiteral("Lumieres"), kDefaultTitleTab, help::Editeurs, modeller,
                     prompt, &settings) {
  setObjectName(QStringLiteral("frmLight"));
  SetTour(TTour::Light);
  // Beside the preview's tool bar: whether the mouse moves the light or the view.
  QHBoxLayout* tools = AddEditorPreview();
  FMoveObject = new QRadioButton(QStringLiteral("&Déplacer l'objet"), Body());
  FMoveObject->setObjectName(QStringLiteral("DeplacerObjet"));
  FMoveObject->setChecked(true);
  FMoveView = new QRadioButton(QStringLiteral("Dé&placer la vue"), Body());
  FMoveView->setObjectName(QStringLiteral("DeplacerVue"));
  auto* moves = new QButtonGroup(this);
  moves->setExclusive(true);
  moves->addButton(FMoveObject);
  moves->addButton(FMoveView);
  tools->addWidget(FMoveObject);
  tools->addWidget(FMoveView);

  auto* side = new QVBoxLayout;
  side->addWidget(new QLabel(QStringLiteral("Ajouter une lumiere de Type:"), Body()));
  FKind = new QComboBox(Body());
  FKind->setObjectName(QStringLiteral("Type"));
  FKind->addItem(QString::fromUtf8(kLightKindSpot));
  FKind->addItem(QString::fromUtf8(kLightKindAmbiante));
  side->addWidget(FKind);
  FSwatch = AddColourRow(Body(), side, QStringLiteral("Couleur de la lumiere :"));

  auto vectorRow = [this](const QString& caption, std::array<TNumberField*, 3>& fields, const char* prefix) {
    auto* box = new QWidget(Body());
    auto* v = new QVBoxLayout(box);
    v->setContentsMargins(0, 0, 0, 0);
    v->addWidget(new QLabel(caption, box));
    auto* row = new QHBoxLayout;
    const char* axes[3] = {"X", "Y", "Z"};
    for (int k = 0; k < 3; ++k) {
      fields[static_cast<size_t>(k)] = new TNumberField(box);
      fields[static_cast<size_t>(k)]->setObjectName(
          QStringLiteral("%1%2").arg(QString::fromLatin1(prefix), QString::fromLatin1(axes[k])));
      row->addWidget(new QLabel(QString::fromLatin1(axes[k]), box));
      row->addWidget(fields[static_cast<size_t>(k)]);
    }
    v->addLayout(row);
    return box;
  };
  FCentreRow = vectorRow(QStringLiteral("Centre de la lumiere :"), FCentre, "Centre");
  side->addWidget(FCentreRow);
  side->addWidget(vectorRow(QStringLiteral("Direction de la lumiere :"), FDirection, "Direction"));
  FAngles = new QWidget(Body());
  auto* angles = new QGridLayout(FAngles);
  angles->setContentsMargins(0, 0, 0, 0);
  FLit = new TNumberField(FAngles);
  FLit->setObjectName(QStringLiteral("AngleEclaire"));
  FOuter = new TNumberField(FAngles);
  FOuter->setObjectName(QStringLiteral("AngleOmbre"));
  angles->addWidget(new QLabel(QStringLiteral("Angle eclairé par la lumiere :"), FAngles), 0, 0);
  angles->addWidget(FLit, 0, 1);
  angles->addWidget(new QLabel(QStringLiteral("Angle ombré :"), FAngles), 1, 0);
  angles->addWidget(FOuter, 1, 1);
  angles->addWidget(new QLabel(QStringLiteral("( superieur a l'angle eclairé)"), FAngles), 2, 0, 1, 2);
  side->addWidget(FAngles);
  AddLastColumn(side, {});
  resize(780, 420);

  // The preview holds the scene's objects (their meshes lent to each drawing and pick) and lights,
  // and the new light, selected.
  if (FDrawn) {
    TScene& preview = FDrawn->Scene;
    FMeshes = std::make_unique<TMeshLoan>(modeller.Scene(), preview);
    TScene::CopyDeviceLights(modeller.Scene(), preview);
    preview.ClearSelection();
    Panel()->AroundWork = [this](const std::function<void()>& work) { FMeshes->During(work); };
    // Drawn once, when the panel is shown at its size, not at each step of the light's making.
    const bool drawing = FDrawn->Renderer.AutoRedraw;
    FDrawn->Renderer.AutoRedraw = false;
    FEditor = std::make_unique<TLightEditor>(modeller.Scene(), preview);
    FDrawn->Renderer.AutoRedraw = drawing;
    Panel()->RequestRedraw();
    ShowFields(FieldsOfRecord(FEditor->Record()));
  } else {
    FOk->setEnabled(false);
  }

  for (TNumberField* f :
       {FCentre[0], FCentre[1], FCentre[2], FDirection[0], FDirection[1], FDirection[2], FLit, FOuter})
    connect(f, &TNumberField::Typed, this, [this] { ApplyFields(); });
  connect(FSwatch, &TColourSwatch::Changed, this, [this] { ApplyFields(); });
  connect(FKind, &QComboBox::activated, this, &TfrmLight::KindChanged);
  connect(FPanel, &TScenePanel::DragEnded, this, &TfrmLight::RefreshFromLight);
  connect(FMoveObject, &QRadioButton::toggled, this, [this](bool on) {
    if (!FEditor) return;
    TScene& preview = FDrawn->Scene;
    preview.ClearSelection();
    // With nothing selected, the preview's drags move its view.
    if (on) preview.SelectObject(FEditor->PreviewIndex());
    FMeshes->During([this] { Redraw(); });
  });
}

TfrmLight::~TfrmLight() {
  // The panel outlives the loan it works in (a child goes with the dialog's frame).
  if (Panel()) Panel()->AroundWork = nullptr;
  if (FEditor && !FDone) FEditor->Cancel();
}

void TfrmLight::ShowFields(const TLightFields& f) {
  FKind->setCurrentIndex(f.Spot ? 0 : 1);
  FSwatch->SetColour(ToQColor(f.Colour));
  for (size_t k = 0; k < 3; ++k) {
    ShowNumber(FCentre[k], k == 0 ? f.Centre.x : k == 1 ? f.Centre.y : f.Centre.z);
    ShowNumber(FDirection[k], k == 0 ? f.Direction.x : k == 1 ? f.Direction.y : f.Direction.z);
  }
  ShowNumber(FLit, f.LitAngle);
  ShowNumber(FOuter, f.OuterAngle);
}

bool TfrmLight::ApplyFields() {
  if (!FEditor) return false;
  TLightFields f;
  f.Spot = FKind->currentIndex() != 1;
  f.Colour = FSwatch->D3DColour();
  double values[8];
  const TNumberField* fields[8] = {FDirection[0], FDirection[1], FDirection[2], FCentre[0],
                                   FCentre[1],    FCentre[2],    FOuter,        FLit};
  for (int k = 0; k < 8; ++k) {
    const std::string text = fields[k]->text().toStdString();
    const std::optional<double> v = ParseNumber(text);
    if (!v || !std::isfinite(*v)) {
      FPrompt.Error(NotAFloatMessage(text));
      return false;
    }
    values[k] = *v;
  }
  f.Direction = {values[0], values[1], values[2]};
  f.Centre = {values[3], values[4], values[5]};
  f.OuterAngle = values[6];
  f.LitAngle = values[7];
  FMeshes->During([&] {
    FEditor->Apply(f);
    Redraw();
  });
  return true;
}

void TfrmLight::RefreshFromLight() {
  if (!FEditor) return;
  TLightFields f;
  f.Spot = FKind->currentIndex() != 1;
  f.Colour = FSwatch->D3DColour();
  ShowFields(FEditor->FieldsAfterDrag(f));
}

void TfrmLight::KindChanged(int index) {
  const bool spot = index != 1;
  FCentreRow->setVisible(spot);
  FAngles->setVisible(spot);
  ApplyFields();
}

void TfrmLight::Accept() {
  if (FEditor) {
    FEditor->Confirm(FModeller);
    FDone = true;
  }
  accept();
}

void TfrmLight::Cancel() {
  if (FEditor && !FDone) FEditor->Cancel();
  FDone = true;
  reject();
}

}  // namespace ixoral
