// "Torsion": the object twisted about the axis from a fixed point to a turning one, tried on the
// preview, the points placed with the fields or dragged in the preview.
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>
#include <cmath>

#include "platform/NumberFormat.h"
#include "ui/EditorParts.h"
#include "ui/QtPlatform.h"
#include "ui/ToolDialogs.h"

namespace ixoral {

TFrmTorsion::TFrmTorsion(QWidget* parent, TModeller& modeller, IPrompt& prompt, TSettingsStore* settings, int index)
    : TToolDialog(parent, QStringLiteral("Torsion"), modeller, prompt, settings, index) {
  setObjectName(QStringLiteral("FrmTorsion"));
  SetTour(TTour::Torsion);

  // The preview, its rotation bars, the zoom and the fill mode.
  AddColumn(CreatePreviewColumn(QStringLiteral("Facteur de Zoom")));

  auto* right = new QVBoxLayout;
  const std::array<const char*, 3> axes{"X", "Y", "Z"};
  for (int p = 0; p < 2; ++p) {
    auto* box = new QGroupBox(p == 0 ? QStringLiteral("Point Fixe") : QStringLiteral("Point Tournant"), Body());
    auto* row = new QHBoxLayout(box);
    for (int k = 0; k < 3; ++k) {
      row->addWidget(new QLabel(QString::fromLatin1(axes[size_t(k)]), box));
      TNumberField* f = NewToolNumberField(box);
      f->setObjectName(QStringLiteral("%1%2").arg(p == 0 ? QStringLiteral("Fixe") : QStringLiteral("Tournant"),
                                                  QString::fromLatin1(axes[size_t(k)])));
      FFields[size_t(p) * 3 + size_t(k)] = f;
      row->addWidget(f);
      connect(f, &TNumberField::Typed, this, [this] { ReadFields(); });
    }
    right->addWidget(box);
  }
  const TTwoChoices which = NewTwoChoices(Body(), QStringLiteral("Point à déplacer"),
                                          {QStringLiteral("Point Tournant"), QStringLiteral("DeplacerTournant")},
                                          {QStringLiteral("Point Fixe"), QStringLiteral("DeplacerFixe")});
  FMoveRotating = which.First;
  FMoveFixed = which.Second;
  right->addWidget(which.Box);

  right->addWidget(new QLabel(QStringLiteral("Vitesse de déplacement des Points"), Body()));
  FSpeed = NewSlider(Body(), "Vitesse", 0, 400, 200);
  right->addWidget(FSpeed);

  auto* angleRow = new QHBoxLayout;
  angleRow->addWidget(new QLabel(QStringLiteral("Angle de Rotation"), Body()));
  FAngleLabel = new QLabel(QStringLiteral("0 °"), Body());
  FAngleLabel->setObjectName(QStringLiteral("AngleDegres"));
  angleRow->addStretch(1);
  angleRow->addWidget(FAngleLabel);
  right->addLayout(angleRow);
  FAngle = NewSlider(Body(), "Angle", -200, 200, 0);
  right->addWidget(FAngle);
  connect(FAngle, &QSlider::valueChanged, this, [this](int v) {
    FTorsion.Angle = TorsionAngleOfBar(v);
    FAngleLabel->setText(ShownNumber(FTorsion.Angle * 180 / M_PI) + QStringLiteral(" °"));
    if (FLive->isChecked()) ApplyTorsion();
  });
  FLive = new QCheckBox(QStringLiteral("Appliquer les modifications en live"), Body());
  FLive->setObjectName(QStringLiteral("Live"));
  FLive->setChecked(true);
  right->addWidget(FLive);
  FAxisNote = new QLabel(Body());
  FAxisNote->setObjectName(QStringLiteral("NoteAxe"));
  FAxisNote->setStyleSheet(QStringLiteral("color: rgb(150, 0, 0);"));
  right->addWidget(FAxisNote);
  right->addWidget(CreateProgress());
  AddLastColumn(right, {.Apply = true, .OkEnabled = false});

  if (FDrawn) {
    TSceneRenderer& r = FDrawn->Renderer;
    FDrawn->Scene.Views[0].SetViewType(vtFace);
    r.ShowMarker = true;
    r.ShowSelectionMarks = true;
    r.ShowGuideLine = true;
  }
  PlaceMarkers();
  ShowPoints();
  resize(620, 520);
  Redraw();
}

void TFrmTorsion::ShowPoints() {
  const std::array<double, 6> v{FTorsion.Fixed.x,    FTorsion.Fixed.y,    FTorsion.Fixed.z,
                                FTorsion.Rotating.x, FTorsion.Rotating.y, FTorsion.Rotating.z};
  for (size_t k = 0; k < 6; ++k) FFields[k]->setText(ShownNumber(v[k]));
}

void TFrmTorsion::PlaceMarkers() {
  if (!FDrawn) return;
  FDrawn->Renderer.SetObjectPointMarker(FShown, FTorsion.Fixed);
  FDrawn->Renderer.SetMarker(FTorsion.Rotating);
  FAxisNote->setText(TorsionAxisIsNull(FTorsion.Fixed, FTorsion.Rotating) ? QString::fromUtf8(kMsgNoTorsionAxis)
                                                                          : QString());
}

bool TFrmTorsion::ReadFields() {
  std::array<std::string, 6> texts;
  for (size_t k = 0; k < 6; ++k) texts[k] = FromQt(FFields[k]->text());
  std::string message;
  if (!ReadTorsionFields(texts, FTorsion, message)) {
    FPrompt.Error(message);
    return false;
  }
  PlaceMarkers();
  Redraw();
  return true;
}

void TFrmTorsion::ApplyTorsion() {
  if (!FDrawn) return;
  FOk->setEnabled(true);
  FProgress->show();
  FProgress->setValue(10);
  ApplyTorsionPreview(FDrawn->Scene, FMain, Target(), FTorsion);
  FProgress->setValue(100);
  PlaceMarkers();  // the copy replaced the marks
  PlaceFromBars();
  ShowChosenFill();
  FProgress->hide();
  Redraw();
}

bool TFrmTorsion::PanelEvent(QEvent* event) {
  auto* e = static_cast<QMouseEvent*>(event);
  const QPoint p = SurfacePoint(e->position());
  if (event->type() == QEvent::MouseButtonPress) {
    if (const T3dObject* o = FDrawn->Scene.ObjectAt(FShown)) FFrame = DragDirections(*o);
    FDragFrom = p;
    FDragStart = FMoveFixed->isChecked() ? FTorsion.Fixed : FTorsion.Rotating;
    FDragging = true;
    return true;
  }
  if (event->type() == QEvent::MouseMove && FDragging) {
    const QSize s = SurfaceSize();
    const Vec3d moved = DraggedPoint(FDragStart, FFrame, p.x() - FDragFrom.x(), p.y() - FDragFrom.y(), s.width(),
                                     s.height(), FSpeed->value());
    if (!IsFinite(moved) || std::fabs(moved.x) > kToolValueLimit || std::fabs(moved.y) > kToolValueLimit ||
        std::fabs(moved.z) > kToolValueLimit)
      return true;
    (FMoveFixed->isChecked() ? FTorsion.Fixed : FTorsion.Rotating) = moved;
    PlaceMarkers();
    ShowPoints();
    if (FLive->isChecked())
      ApplyTorsion();
    else
      Redraw();
    return true;
  }
  if (event->type() == QEvent::MouseButtonRelease) {
    FDragging = false;
    return true;
  }
  return false;
}

void TFrmTorsion::Accept() {
  if (FDrawn && FOk->isEnabled())
    FModeller.ApplyToolResult(Target(), FDrawn->Scene, TModeller::TToolResult::WholeObject);
  accept();
}

}  // namespace ixoral
