// "Modification d'enveloppe": points of the object's surface picked and dragged in the preview,
// or placed with the fields, with their mapping coordinates.
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSlider>
#include <QVBoxLayout>

#include "platform/NumberFormat.h"
#include "ui/QtPlatform.h"
#include "ui/ToolDialogs.h"

namespace ixoral {

TFrmEnveloppe::TFrmEnveloppe(QWidget* parent, TModeller& modeller, IPrompt& prompt, TSettingsStore* settings, int index)
    : TToolDialog(parent, QStringLiteral("Modification d'enveloppe"), modeller, prompt, settings, index, 240) {
  setObjectName(QStringLiteral("FrmEnveloppe"));
  SetTour(TTour::Envelope);

  AddColumn(CreatePreviewColumn(QStringLiteral("Facteur de Zoom :")));

  auto* right = new QVBoxLayout;
  right->addWidget(new QLabel(QStringLiteral("Vitesse de déplacement des points :"), Body()));
  FSpeed = NewSlider(Body(), "Vitesse", 0, 400, 200);
  right->addWidget(FSpeed);
  auto* pointBox = new QGroupBox(QStringLiteral("Coordonnées du nouveau point :"), Body());
  FPointBox = pointBox;
  auto* pointRow = new QHBoxLayout(pointBox);
  const std::array<const char*, 3> axes{"X", "Y", "Z"};
  for (size_t k = 0; k < 3; ++k) {
    pointRow->addWidget(new QLabel(QString::fromLatin1(axes[k]), pointBox));
    FPoint[k] = NewToolNumberField(pointBox);
    FPoint[k]->setObjectName(QString::fromLatin1(axes[k]));
    pointRow->addWidget(FPoint[k]);
    connect(FPoint[k], &TNumberField::Typed, this, &TFrmEnveloppe::PointTyped);
  }
  right->addWidget(pointBox);
  auto* mappingBox = new QGroupBox(QStringLiteral("Coordonnées de mapping"), Body());
  FMappingBox = mappingBox;
  auto* mappingRow = new QHBoxLayout(mappingBox);
  const std::array<const char*, 2> uv{"U", "V"};
  for (size_t k = 0; k < 2; ++k) {
    mappingRow->addWidget(new QLabel(QString::fromLatin1(uv[k]), mappingBox));
    FMapping[k] = NewToolNumberField(mappingBox);
    FMapping[k]->setObjectName(QString::fromLatin1(uv[k]));
    mappingRow->addWidget(FMapping[k]);
    connect(FMapping[k], &TNumberField::Typed, this, &TFrmEnveloppe::MappingTyped);
  }
  right->addWidget(mappingBox);
  pointBox->hide();
  mappingBox->hide();
  auto* hint = new QLabel(QStringLiteral("Clic droit : choisir le point sous le curseur.\n"
                                         "Glisser avec le bouton gauche : le déplacer."),
                          Body());
  hint->setObjectName(QStringLiteral("NotePoint"));
  hint->setWordWrap(true);
  right->addWidget(hint);
  AddLastColumn(right, {});

  if (FDrawn) {
    FDrawn->Scene.Views[0].SetViewType(vtFace);
    FDrawn->Renderer.ShowMarker = true;
    FDrawn->Renderer.ShowSelectionMarks = false;
    FEditor = std::make_unique<TEnvelopeEditor>(FDrawn->Scene, FDrawn->Renderer, FShown);
  }
  resize(600, 440);
  Redraw();
}

void TFrmEnveloppe::ShowCurrent() {
  if (!FEditor || !FEditor->HasCurrent()) return;
  FPoint[0]->setText(ShownNumber(FEditor->Current.x));
  FPoint[1]->setText(ShownNumber(FEditor->Current.y));
  FPoint[2]->setText(ShownNumber(FEditor->Current.z));
  float tu = 0, tv = 0;
  if (FEditor->Mapping(tu, tv)) {
    FMapping[0]->setText(ShownNumber(tu));
    FMapping[1]->setText(ShownNumber(tv));
  }
}

bool TFrmEnveloppe::PanelEvent(QEvent* event) {
  if (!FEditor) return false;
  auto* e = static_cast<QMouseEvent*>(event);
  const QPoint p = SurfacePoint(e->position());
  const QSize s = SurfaceSize();
  const auto button = e->button() == Qt::LeftButton    ? TEnvelopeEditor::TButton::Left
                      : e->button() == Qt::RightButton ? TEnvelopeEditor::TButton::Right
                                                       : TEnvelopeEditor::TButton::Other;
  switch (event->type()) {
    case QEvent::MouseButtonPress:
      FEditor->Press(p.x(), p.y(), button);
      break;
    case QEvent::MouseMove:
      if (FEditor->Dragging())
        FEditor->DragTo(p.x(), p.y(), s.width(), s.height(), FSpeed->value());
      else
        FEditor->MouseMove(p.x(), p.y(), s.width(), s.height());
      break;
    case QEvent::MouseButtonRelease:
      FEditor->Release(p.x(), p.y(), s.width(), s.height(), button);
      if (FEditor->Picked()) {
        FPointBox->show();
        FMappingBox->show();
      }
      ShowCurrent();
      break;
    default:
      return false;
  }
  Redraw();
  return true;
}

void TFrmEnveloppe::PointTyped() {
  if (!FEditor) return;
  std::array<double, 3> v{};
  for (size_t k = 0; k < 3; ++k)
    if (!IsNumberEntry(FromQt(FPoint[k]->text()))) return;
  std::string message;
  for (size_t k = 0; k < 3; ++k)
    if (!ReadToolNumber(FromQt(FPoint[k]->text()), v[k], message)) {
      FPrompt.Error(message);
      return;
    }
  FEditor->MoveCurrentTo({v[0], v[1], v[2]});
  Redraw();
}

void TFrmEnveloppe::MappingTyped() {
  if (!FEditor) return;
  std::array<double, 2> v{};
  for (size_t k = 0; k < 2; ++k)
    if (!IsNumberEntry(FromQt(FMapping[k]->text()))) return;
  std::string message;
  for (size_t k = 0; k < 2; ++k)
    if (!ReadToolNumber(FromQt(FMapping[k]->text()), v[k], message)) {
      FPrompt.Error(message);
      return;
    }
  FEditor->SetMapping(float(v[0]), float(v[1]));
  Redraw();
}

void TFrmEnveloppe::Accept() {
  if (FDrawn) FModeller.ApplyToolResult(Target(), FDrawn->Scene, TModeller::TToolResult::HandEdits);
  accept();
}

}  // namespace ixoral
