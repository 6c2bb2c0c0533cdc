// The deformation and texture dialogs: widgets over the work of commands/ToolDialogs.
#include "ui/ToolDialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

#include "commands/Help.h"
#include "platform/NumberFormat.h"
#include "tools/images/Image.h"
#include "ui/QtPlatform.h"
#include "ui/ScenePanel.h"

namespace ixoral {

namespace {

// A numeric entry field: every typed key goes through the program's numeric key filter.
class TNumberField : public QLineEdit {
 public:
  TNumberField(const QString& text, QWidget* parent) : QLineEdit(text, parent) { setFixedWidth(70); }

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    const bool control = e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const bool typed = e->key() == Qt::Key_Backspace || (!e->text().isEmpty() && e->text().at(0).isPrint());
    if (control || !typed) {
      QLineEdit::keyPressEvent(e);
      return;
    }
    const QString before = text();
    const int start = hasSelectedText() ? selectionStart() : cursorPosition();
    const int length = hasSelectedText() ? static_cast<int>(selectedText().size()) : 0;
    TFieldEdit field{before.toStdString(), static_cast<int>(before.left(start).toUtf8().size()),
                     static_cast<int>(before.mid(start, length).toUtf8().size())};
    char key = 'x';  // refused
    if (e->key() == Qt::Key_Backspace)
      key = kBackspace;
    else if (e->text().size() == 1 && e->text().at(0).unicode() < 128)
      key = static_cast<char>(e->text().at(0).unicode());
    NumericKeyFilter(field, key);
    const QString after = QString::fromStdString(field.Text);
    if (after != before) {
      setText(after);
      setCursorPosition(std::clamp(field.SelStart, 0, static_cast<int>(after.size())));
    }
    e->accept();
  }
};

QSlider* NewSlider(QWidget* parent, const char* name, int min, int max, int value) {
  auto* s = new QSlider(Qt::Horizontal, parent);
  s->setObjectName(QString::fromLatin1(name));
  s->setRange(min, max);
  s->setValue(value);
  return s;
}

QString Shown(double v) { return ToQt(FormatNumber(v)); }

}  // namespace

// ---------------------------------------------------------------- every tool dialog

TToolDialog::TToolDialog(QWidget* parent, const QString& title, TModeller& modeller, IPrompt& prompt, TSettingsStore* settings, int index,
                         int titleTab)
    : TDialogFrame(parent, title, titleTab, QString::fromUtf8(help::Outils)),
      FModeller(modeller),
      FPrompt(prompt),
      FMain(modeller.Scene()),
      FSettings(settings),
      FIndex(index),
      FObject(FMain.IdAt(index)) {}

TToolDialog::~TToolDialog() {
  // The panel goes with the widgets; it must not draw a scene that is gone.
  if (FPanel) FPanel->Attach(nullptr, nullptr);
  FInteraction.reset();
}

QHBoxLayout* TToolDialog::RotationZoomTools() {
  auto* tools = new QHBoxLayout;
  auto* group = new QButtonGroup(this);
  for (const auto& [caption, op] : std::array<std::pair<const char*, TOperation>, 2>{{{"Rotation", opRotate}, {"Zoom", opResize}}}) {
    auto* b = new QToolButton(Body());
    b->setText(QString::fromLatin1(caption));
    b->setObjectName(QString::fromLatin1(caption));
    b->setCheckable(true);
    b->setChecked(op == opRotate);
    group->addButton(b);
    tools->addWidget(b);
    const TOperation o = op;
    connect(b, &QToolButton::clicked, this, [this, o] {
      if (FInteraction) FInteraction->SetOperation(o);
      if (FPanel) FPanel->UpdateCursor();
    });
  }
  tools->addStretch(1);
  return tools;
}

TScenePanel* TToolDialog::CreatePreview(int width, int height, bool interaction) {
  FPanel = new TScenePanel(Body());
  FPanel->setObjectName(QStringLiteral("Apercu"));
  FPanel->setFixedSize(width, height);
  FDrawn = std::make_unique<TDisplayScene>(width, height, FSettings, FPanel, nullptr);
  FDrawn->Scene.FourViews = false;
  if (!FDrawn->Renderer.InitDevice()) {
    FDrawn.reset();
    return FPanel;
  }
  TDisplayScene& d = *FDrawn;
  d.Renderer.AutoRedraw = false;
  d.Renderer.ShowAxes = false;
  d.Renderer.ShowGrid = false;
  SetUpPreview(d.Scene, d.Renderer, FMain, FIndex);
  if (interaction) {
    FInteraction = std::make_unique<TViewInteraction>(d.Scene, d.Renderer);
    FInteraction->SetOperation(opMove);
  }
  FPanel->Attach(&d.Renderer, FInteraction.get());
  FPanel->installEventFilter(this);
  return FPanel;
}

void TToolDialog::Redraw() {
  if (FPanel && FDrawn) FPanel->RedrawNow();
}

QWidget* TToolDialog::CreateFillChoice(bool solidFirst) {
  auto* box = new QGroupBox(QStringLiteral("Mode d'affichage de l'objet"), Body());
  auto* row = new QHBoxLayout(box);
  FSolid = new QRadioButton(QStringLiteral("Solide"), box);
  FSolid->setObjectName(QStringLiteral("Solide"));
  FWire = new QRadioButton(QStringLiteral("Filaire"), box);
  FWire->setObjectName(QStringLiteral("Filaire"));
  row->addWidget(FSolid);
  row->addWidget(FWire);
  (solidFirst ? FSolid : FWire)->setChecked(true);
  auto apply = [this] {
    if (!FDrawn) return;
    SetPreviewFill(FDrawn->Scene, FDrawn->Renderer, FMain, Target(), FSolid->isChecked());
    Redraw();
  };
  connect(FSolid, &QRadioButton::toggled, this, apply);
  if (FDrawn) SetPreviewFill(FDrawn->Scene, FDrawn->Renderer, FMain, Target(), solidFirst);
  return box;
}

QVBoxLayout* TToolDialog::CreatePreviewColumn(const QString& zoomCaption) {
  auto* column = new QVBoxLayout;
  auto* previewGrid = new QGridLayout;
  previewGrid->setSpacing(0);
  previewGrid->addWidget(CreatePreview(217, 233, false), 0, 0);
  previewGrid->addWidget(CreateRotationBar(Qt::Vertical), 0, 1);
  previewGrid->addWidget(CreateRotationBar(Qt::Horizontal), 1, 0);
  column->addLayout(previewGrid);
  column->addWidget(CreateZoomBar(zoomCaption));
  column->addWidget(CreateFillChoice(false));
  return column;
}

QWidget* TToolDialog::CreateZoomBar(const QString& caption) {
  auto* box = new QWidget(Body());
  auto* row = new QHBoxLayout(box);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(new QLabel(caption, box));
  FZoom = NewSlider(box, "Zoom", 0, 200, 100);
  row->addWidget(FZoom);
  connect(FZoom, &QSlider::valueChanged, this, [this] {
    PlaceFromBars();
    Redraw();
  });
  return box;
}

QScrollBar* TToolDialog::CreateRotationBar(Qt::Orientation orientation) {
  auto* bar = new QScrollBar(orientation, Body());
  bar->setObjectName(orientation == Qt::Vertical ? QStringLiteral("RotationVerticale") : QStringLiteral("RotationHorizontale"));
  bar->setRange(-180, 180);
  bar->setValue(0);
  (orientation == Qt::Vertical ? FVertical : FHorizontal) = bar;
  connect(bar, &QScrollBar::valueChanged, this, [this] {
    PlaceFromBars();
    Redraw();
  });
  return bar;
}

void TToolDialog::PlaceFromBars() {
  if (!FDrawn) return;
  PlacePreviewObject(FDrawn->Scene, FIndex, FZoom ? FZoom->value() : 100, FVertical ? FVertical->value() : 0,
                     FHorizontal ? FHorizontal->value() : 0);
}

QLayout* TToolDialog::CreateButtons(bool okEnabled) {
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  FOk = new QPushButton(QStringLiteral("&OK"), Body());
  FOk->setObjectName(QStringLiteral("OK"));
  FOk->setEnabled(okEnabled);
  auto* close = new QPushButton(QStringLiteral("&Fermer"), Body());
  close->setObjectName(QStringLiteral("Fermer"));
  row->addWidget(FOk);
  row->addWidget(close);
  connect(FOk, &QPushButton::clicked, this, [this] { Accept(); });
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  return row;
}

void TToolDialog::showEvent(QShowEvent* event) {
  // Enter belongs to the fields (the texture's file name applies it): no button takes it.
  for (QPushButton* b : findChildren<QPushButton*>()) {
    b->setAutoDefault(false);
    b->setDefault(false);
  }
  TDialogFrame::showEvent(event);
}

bool TToolDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FPanel && FDrawn) {
    switch (event->type()) {
      case QEvent::KeyPress:
        // Escape in the preview cancels a drag there; otherwise it closes the dialog.
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && !(FInteraction && FInteraction->Dragging())) {
          reject();
          return true;
        }
        break;
      case QEvent::MouseButtonPress:
      case QEvent::MouseMove:
      case QEvent::MouseButtonRelease:
        if (PanelEvent(event)) return true;
        break;
      default: break;
    }
  }
  return TDialogFrame::eventFilter(watched, event);
}

QPoint TToolDialog::SurfacePoint(const QPointF& p) const {
  const qreal dpr = FPanel ? FPanel->devicePixelRatioF() : 1;
  return {int(std::floor(p.x() * dpr)), int(std::floor(p.y() * dpr))};
}

QSize TToolDialog::SurfaceSize() const { return FPanel ? FPanel->SurfaceSizeFor(FPanel->size()) : QSize(1, 1); }

// ---------------------------------------------------------------- noise

TFrmBruit::TFrmBruit(QWidget* parent, TModeller& modeller, IPrompt& prompt, TSettingsStore* settings, int index)
    : TToolDialog(parent, QStringLiteral("Bruit"), modeller, prompt, settings, index) {
  setObjectName(QStringLiteral("FrmBruit"));
  SetTour(TTour::Noise);
  auto* layout = new QHBoxLayout(Body());
  layout->setContentsMargins(16, 12, 16, 14);

  auto* left = new QVBoxLayout;
  auto* ranges = new QGroupBox(QStringLiteral("Plages de Bruit"), Body());
  auto* grid = new QGridLayout(ranges);
  const std::array<const char*, 4> captions{"Entre  - 0.01 et 0.01", "Entre - 0.1 et 0.1", "entre - 0.5 et 0.5",
                                            "autre, entre                  et"};
  for (int k = 0; k < 4; ++k) {
    FRanges[size_t(k)] = new QRadioButton(QString::fromUtf8(captions[size_t(k)]), ranges);
    FRanges[size_t(k)]->setObjectName(QStringLiteral("Plage%1").arg(k + 1));
    grid->addWidget(FRanges[size_t(k)], k, 0, 1, k == 3 ? 1 : 4);
    connect(FRanges[size_t(k)], &QRadioButton::clicked, this, [this, k] { SetRange(k + 1); });
  }
  FRanges[0]->setChecked(true);
  FMin = new TNumberField(QStringLiteral("0"), ranges);
  FMin->setObjectName(QStringLiteral("Min"));
  FMax = new TNumberField(QStringLiteral("100"), ranges);
  FMax->setObjectName(QStringLiteral("Max"));
  grid->addWidget(FMin, 4, 0);
  grid->addWidget(new QLabel(QStringLiteral("et"), ranges), 4, 1);
  grid->addWidget(FMax, 4, 2);
  left->addWidget(ranges);

  auto* sign = new QGroupBox(QStringLiteral("Type de bruit"), Body());
  auto* signRow = new QHBoxLayout(sign);
  FAddition = new QRadioButton(QStringLiteral("Addition"), sign);
  FAddition->setObjectName(QStringLiteral("Addition"));
  FSubtraction = new QRadioButton(QStringLiteral("Soustraction"), sign);
  FSubtraction->setObjectName(QStringLiteral("Soustraction"));
  FAddition->setChecked(true);
  signRow->addWidget(FAddition);
  signRow->addWidget(FSubtraction);
  left->addWidget(sign);

  FProgress = new QProgressBar(Body());
  FProgress->setRange(0, 100);
  FProgress->hide();
  left->addWidget(FProgress);
  left->addStretch(1);
  auto* apply = new QPushButton(QStringLiteral("&Appliquer"), Body());
  apply->setObjectName(QStringLiteral("Appliquer"));
  connect(apply, &QPushButton::clicked, this, [this] { ApplyNoise(); });
  left->addWidget(apply);
  layout->addLayout(left);

  // The preview with its tool bar.
  auto* right = new QVBoxLayout;
  auto* tools = new QHBoxLayout;
  const std::array<std::pair<const char*, TOperation>, 3> ops{
      {{"Translation", opMove}, {"Rotation", opRotate}, {"Redimenssionnement", opResize}}};
  auto* opGroup = new QButtonGroup(this);
  for (const auto& [caption, op] : ops) {
    auto* b = new QToolButton(Body());
    b->setText(QString::fromUtf8(caption));
    b->setObjectName(QString::fromUtf8(caption));
    b->setCheckable(true);
    b->setChecked(op == opMove);
    opGroup->addButton(b);
    tools->addWidget(b);
    const TOperation o = op;
    connect(b, &QToolButton::clicked, this, [this, o] {
      if (FInteraction) FInteraction->SetOperation(o);
      if (FPanel) FPanel->UpdateCursor();
    });
  }
  FAxes = new QComboBox(Body());
  FAxes->setObjectName(QStringLiteral("SelectionAxes"));
  FAxes->setToolTip(QStringLiteral("Selection des Axes"));
  FAxes->addItems({QStringLiteral("default"), QStringLiteral("sur l'axe X"), QStringLiteral("sur l'axe Y"),
                   QStringLiteral("sur l'axe Z")});
  connect(FAxes, &QComboBox::currentIndexChanged, this, [this](int k) {
    if (FInteraction) FInteraction->SetAxis(static_cast<TAxisConstraint>(std::clamp(k, 0, 3)));
    if (FPanel) FPanel->UpdateCursor();
  });
  FTarget = new QComboBox(Body());
  FTarget->setObjectName(QStringLiteral("Deplacer"));
  FTarget->addItems({QStringLiteral("&Déplacer l'objet"), QStringLiteral("Dé&placer la vue")});
  connect(FTarget, &QComboBox::currentIndexChanged, this, [this](int k) {
    // The mouse works on the selection, or on the view's camera when nothing is selected.
    if (!FDrawn) return;
    if (k == 1)
      FDrawn->Scene.ClearSelection();
    else
      FDrawn->Scene.SelectObject(FIndex);
  });
  tools->addWidget(FAxes);
  tools->addWidget(FTarget);
  tools->addStretch(1);
  right->addLayout(tools);
  right->addWidget(CreatePreview(280, 257, true));
  if (FDrawn) {
    FDrawn->Renderer.ShowGrid = true;
  }
  right->addWidget(CreateFillChoice(true));
  right->addLayout(CreateButtons(false));
  layout->addSpacing(12);
  layout->addLayout(right);
  resize(640, 430);
  Redraw();
}

void TFrmBruit::SetRange(int range) {
  FRange = std::clamp(range, 1, 4);
  FRanges[size_t(FRange - 1)]->setChecked(true);
}

bool TFrmBruit::ApplyNoise(std::optional<int32_t> seed) {
  if (!FDrawn) return false;
  FProgress->show();
  FProgress->setValue(10);
  TNoiseChoice choice;
  choice.Range = FRange;
  choice.MinText = FromQt(FMin->text());
  choice.MaxText = FromQt(FMax->text());
  choice.Addition = FAddition->isChecked();
  std::string message;
  const bool done = ApplyNoisePreview(FDrawn->Scene, FMain, Target(), choice, seed ? *seed : DrawNoiseSeed(), message);
  FProgress->setValue(100);
  FProgress->hide();
  if (FSolid) SetPreviewFill(FDrawn->Scene, FDrawn->Renderer, FMain, Target(), FSolid->isChecked());
  Redraw();
  if (!done) {
    if (!message.empty()) FPrompt.Error(message);
    return false;
  }
  FOk->setEnabled(true);
  return true;
}

void TFrmBruit::Accept() {
  if (FDrawn) FModeller.ApplyToolResult(Target(), FDrawn->Scene, TModeller::TToolResult::WholeObject);
  accept();
}

// ---------------------------------------------------------------- torsion

TFrmTorsion::TFrmTorsion(QWidget* parent, TModeller& modeller, IPrompt& prompt, TSettingsStore* settings, int index)
    : TToolDialog(parent, QStringLiteral("Torsion"), modeller, prompt, settings, index) {
  setObjectName(QStringLiteral("FrmTorsion"));
  SetTour(TTour::Torsion);
  auto* layout = new QHBoxLayout(Body());
  layout->setContentsMargins(16, 12, 16, 14);

  // The preview, its rotation bars, the zoom and the fill mode.
  layout->addLayout(CreatePreviewColumn(QStringLiteral("Facteur de Zoom")));

  auto* right = new QVBoxLayout;
  const std::array<const char*, 3> axes{"X", "Y", "Z"};
  for (int p = 0; p < 2; ++p) {
    auto* box = new QGroupBox(p == 0 ? QStringLiteral("Point Fixe") : QStringLiteral("Point Tournant"), Body());
    auto* row = new QHBoxLayout(box);
    for (int k = 0; k < 3; ++k) {
      row->addWidget(new QLabel(QString::fromLatin1(axes[size_t(k)]), box));
      auto* f = new TNumberField(QString(), box);
      f->setObjectName(QStringLiteral("%1%2").arg(p == 0 ? QStringLiteral("Fixe") : QStringLiteral("Tournant"),
                                                  QString::fromLatin1(axes[size_t(k)])));
      FFields[size_t(p * 3 + k)] = f;
      row->addWidget(f);
      connect(f, &QLineEdit::textEdited, this, [this, f] {
        if (IsNumberEntry(FromQt(f->text()))) ReadFields();
      });
    }
    right->addWidget(box);
  }
  auto* which = new QGroupBox(QStringLiteral("Point à déplacer"), Body());
  auto* whichRow = new QHBoxLayout(which);
  FMoveRotating = new QRadioButton(QStringLiteral("Point Tournant"), which);
  FMoveRotating->setObjectName(QStringLiteral("DeplacerTournant"));
  FMoveFixed = new QRadioButton(QStringLiteral("Point Fixe"), which);
  FMoveFixed->setObjectName(QStringLiteral("DeplacerFixe"));
  FMoveRotating->setChecked(true);
  whichRow->addWidget(FMoveRotating);
  whichRow->addWidget(FMoveFixed);
  right->addWidget(which);

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
    FAngleLabel->setText(Shown(FTorsion.Angle * 180 / M_PI) + QStringLiteral(" °"));
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
  FProgress = new QProgressBar(Body());
  FProgress->setRange(0, 100);
  FProgress->hide();
  right->addWidget(FProgress);
  right->addStretch(1);
  auto* apply = new QPushButton(QStringLiteral("&Appliquer"), Body());
  apply->setObjectName(QStringLiteral("Appliquer"));
  connect(apply, &QPushButton::clicked, this, &TFrmTorsion::ApplyTorsion);
  right->addWidget(apply);
  right->addLayout(CreateButtons(false));
  layout->addSpacing(12);
  layout->addLayout(right);

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
  const std::array<double, 6> v{FTorsion.Fixed.x, FTorsion.Fixed.y, FTorsion.Fixed.z,
                                FTorsion.Rotating.x, FTorsion.Rotating.y, FTorsion.Rotating.z};
  for (size_t k = 0; k < 6; ++k) FFields[k]->setText(Shown(v[k]));
}

void TFrmTorsion::PlaceMarkers() {
  if (!FDrawn) return;
  FDrawn->Renderer.SetObjectPointMarker(FIndex, FTorsion.Fixed);
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
  if (FSolid) SetPreviewFill(FDrawn->Scene, FDrawn->Renderer, FMain, Target(), FSolid->isChecked());
  FProgress->hide();
  Redraw();
}

bool TFrmTorsion::PanelEvent(QEvent* event) {
  auto* e = static_cast<QMouseEvent*>(event);
  const QPoint p = SurfacePoint(e->position());
  if (event->type() == QEvent::MouseButtonPress) {
    if (const T3dObject* o = FDrawn->Scene.ObjectAt(FIndex)) FFrame = DragDirections(*o);
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

// ---------------------------------------------------------------- texture

namespace ixoral {

namespace {

QImage ToQImage(const TImage& image) {
  QImage q(image.Width, image.Height, QImage::Format_RGB32);
  for (int y = 0; y < image.Height; ++y) {
    auto* row = reinterpret_cast<QRgb*>(q.scanLine(y));
    for (int x = 0; x < image.Width; ++x) row[x] = image.PixelAt(x, y) | 0xFF000000u;
  }
  return q;
}

}  // namespace

TFrmTexturer::TFrmTexturer(QWidget* parent, TModeller& modeller, IPrompt& prompt, TSettingsStore* settings, int index)
    : TToolDialog(parent, QStringLiteral("Appliquer une texture à un objet"), modeller, prompt, settings, index, 300) {
  setObjectName(QStringLiteral("FrmTexturer"));
  SetTour(TTour::Texture);
  auto* layout = new QHBoxLayout(Body());
  layout->setContentsMargins(16, 12, 16, 14);

  // The file choice: places, folders, picture files.
  auto* left = new QVBoxLayout;
  FPlaces = new QComboBox(Body());
  FPlaces->setObjectName(QStringLiteral("SelectDrive"));
  FPlaceList = TexturePlaces();
  for (const TPlace& p : FPlaceList) FPlaces->addItem(ToQt(p.Label), ToQt(p.Path));
  left->addWidget(FPlaces);
  FFolderLabel = new QLabel(Body());
  FFolderLabel->setObjectName(QStringLiteral("Dossier"));
  FFolderLabel->setWordWrap(true);
  left->addWidget(FFolderLabel);
  auto* lists = new QHBoxLayout;
  FFolders = new QListWidget(Body());
  FFolders->setObjectName(QStringLiteral("SelectDir"));
  FFiles = new QListWidget(Body());
  FFiles->setObjectName(QStringLiteral("SelectFile"));
  FFiles->setToolTip(ToQt(ImageFileMask()));
  FFolders->setFixedSize(160, 200);
  FFiles->setFixedSize(160, 200);
  lists->addWidget(FFolders);
  lists->addWidget(FFiles);
  left->addLayout(lists);
  FFileField = new QLineEdit(Body());
  FFileField->setObjectName(QStringLiteral("Fichier"));
  left->addWidget(FFileField);
  FPicture = new QLabel(Body());
  FPicture->setObjectName(QStringLiteral("imgApercu"));
  FPicture->setFixedSize(120, 90);
  FPicture->setFrameShape(QFrame::Box);
  FPicture->setScaledContents(true);
  FPictureNote = new QLabel(Body());
  FPictureNote->setObjectName(QStringLiteral("NoteImage"));
  FPictureNote->setWordWrap(true);
  FPictureNote->setStyleSheet(QStringLiteral("color: rgb(150, 0, 0);"));
  auto* pictureRow = new QHBoxLayout;
  pictureRow->addWidget(FPicture);
  pictureRow->addWidget(FPictureNote, 1);
  left->addLayout(pictureRow);
  layout->addLayout(left);

  connect(FPlaces, &QComboBox::activated, this, [this](int k) { SetFolder(FPlaces->itemData(k).toString()); });
  connect(FFolders, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
    SetFolder(QDir::cleanPath(FFolder + QLatin1Char('/') + item->text()));
  });
  connect(FFiles, &QListWidget::currentTextChanged, this, [this](const QString& name) {
    FFileField->setText(name);
    ShowPicture();
  });
  connect(FFiles, &QListWidget::itemDoubleClicked, this, [this] { ApplyTexture(); });
  connect(FFileField, &QLineEdit::returnPressed, this, [this] { ApplyTexture(); });

  // The preview and its two tools.
  auto* right = new QVBoxLayout;
  right->addLayout(RotationZoomTools());
  right->addWidget(CreatePreview(260, 240, true));
  if (FDrawn) {
    FDrawn->Renderer.ShowGrid = true;
    FInteraction->SetOperation(opRotate);
    FPanel->UpdateCursor();
    SetPreviewFill(FDrawn->Scene, FDrawn->Renderer, FMain, Target(), true);
  }
  right->addStretch(1);
  auto* apply = new QPushButton(QStringLiteral("&Appliquer"), Body());
  apply->setObjectName(QStringLiteral("Appliquer"));
  connect(apply, &QPushButton::clicked, this, [this] { ApplyTexture(); });
  right->addWidget(apply);
  right->addLayout(CreateButtons(true));
  layout->addSpacing(12);
  layout->addLayout(right);
  resize(660, 480);

  // The folder of the object's texture when it has one, else the first place.
  const TSolidObject* solid = FMain.SolidAt(FIndex);
  const QString own = solid && !solid->TextureFile.empty() ? QFileInfo(ToQt(solid->TextureFile)).absolutePath() : QString();
  if (own.isEmpty() || !SetFolder(own))
    if (!FPlaceList.empty()) SetFolder(ToQt(FPlaceList.front().Path));
  Redraw();
}

bool TFrmTexturer::SetFolder(const QString& folder) {
  std::vector<std::string> folders, files;
  std::string message;
  if (!ListTextureFolder(FromQt(folder), folders, files, message)) {
    FPrompt.Error(message);
    return false;
  }
  FFolder = folder;
  FFolderLabel->setText(folder);
  FFolders->clear();
  for (const auto& f : folders) FFolders->addItem(ToQt(f));
  FFiles->clear();
  for (const auto& f : files) FFiles->addItem(ToQt(f));
  return true;
}

bool TFrmTexturer::SelectFile(const QString& name) {
  const auto found = FFiles->findItems(name, Qt::MatchExactly);
  if (found.isEmpty()) return false;
  FFiles->setCurrentItem(found.front());
  return true;
}

QString TFrmTexturer::CurrentPath() const {
  const QString name = FFileField->text();
  if (name.isEmpty()) return {};
  return QFileInfo(name).isAbsolute() ? name : QDir(FFolder).filePath(name);
}

void TFrmTexturer::ShowPicture() {
  const QString path = CurrentPath();
  if (path.isEmpty() || !QFileInfo(path).isFile()) return;
  TImage image;
  std::string message;
  // A picture that cannot be read leaves the previous one; the note says why.
  if (!LoadImageFile(FromQt(path), image, message)) {
    FPictureNote->setText(ToQt(message));
    return;
  }
  FPictureNote->clear();
  FPicture->setPixmap(QPixmap::fromImage(ToQImage(image)));
}

bool TFrmTexturer::ApplyTexture() {
  const QString path = CurrentPath();
  if (path.isEmpty() || !FDrawn) return false;
  std::string message;
  if (!ApplyTexturePreview(FDrawn->Scene, FIndex, FromQt(path), message)) {
    FPrompt.Error(message);
    return false;
  }
  FChosen = path;
  Redraw();
  return true;
}

void TFrmTexturer::Accept() {
  if (FDrawn && !FChosen.isEmpty())
    FModeller.ApplyToolResult(Target(), FDrawn->Scene, TModeller::TToolResult::Texture, FromQt(FChosen));
  accept();
}

}  // namespace ixoral

// ---------------------------------------------------------------- envelope

namespace ixoral {

TFrmEnveloppe::TFrmEnveloppe(QWidget* parent, TModeller& modeller, IPrompt& prompt, TSettingsStore* settings, int index)
    : TToolDialog(parent, QStringLiteral("Modification d'enveloppe"), modeller, prompt, settings, index, 240) {
  setObjectName(QStringLiteral("FrmEnveloppe"));
  SetTour(TTour::Envelope);
  auto* layout = new QHBoxLayout(Body());
  layout->setContentsMargins(16, 12, 16, 14);

  layout->addLayout(CreatePreviewColumn(QStringLiteral("Facteur de Zoom :")));

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
    FPoint[k] = new TNumberField(QString(), pointBox);
    FPoint[k]->setObjectName(QString::fromLatin1(axes[k]));
    pointRow->addWidget(FPoint[k]);
    connect(FPoint[k], &QLineEdit::textEdited, this, &TFrmEnveloppe::PointTyped);
  }
  right->addWidget(pointBox);
  auto* mappingBox = new QGroupBox(QStringLiteral("Coordonnées de mapping"), Body());
  FMappingBox = mappingBox;
  auto* mappingRow = new QHBoxLayout(mappingBox);
  const std::array<const char*, 2> uv{"U", "V"};
  for (size_t k = 0; k < 2; ++k) {
    mappingRow->addWidget(new QLabel(QString::fromLatin1(uv[k]), mappingBox));
    FMapping[k] = new TNumberField(QString(), mappingBox);
    FMapping[k]->setObjectName(QString::fromLatin1(uv[k]));
    mappingRow->addWidget(FMapping[k]);
    connect(FMapping[k], &QLineEdit::textEdited, this, &TFrmEnveloppe::MappingTyped);
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
  right->addStretch(1);
  right->addLayout(CreateButtons(true));
  layout->addSpacing(12);
  layout->addLayout(right);

  if (FDrawn) {
    FDrawn->Scene.Views[0].SetViewType(vtFace);
    FDrawn->Renderer.ShowMarker = true;
    FDrawn->Renderer.ShowSelectionMarks = false;
    FEditor = std::make_unique<TEnvelopeEditor>(FDrawn->Scene, FDrawn->Renderer, FIndex);
  }
  resize(600, 440);
  Redraw();
}

void TFrmEnveloppe::ShowCurrent() {
  if (!FEditor || !FEditor->HasCurrent()) return;
  FPoint[0]->setText(Shown(FEditor->Current.x));
  FPoint[1]->setText(Shown(FEditor->Current.y));
  FPoint[2]->setText(Shown(FEditor->Current.z));
  float tu = 0, tv = 0;
  if (FEditor->Mapping(tu, tv)) {
    FMapping[0]->setText(Shown(tu));
    FMapping[1]->setText(Shown(tv));
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
    case QEvent::MouseButtonPress: FEditor->Press(p.x(), p.y(), button); break;
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
    default: return false;
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

// ---------------------------------------------------------------- point editor

namespace {

// The table's cells are edited through the numeric key filter.
class TNumberCellDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override {
    auto* f = new TNumberField(QString(), parent);
    f->setFixedWidth(QWIDGETSIZE_MAX);
    f->setMinimumWidth(0);
    return f;
  }
};

}  // namespace

TFrmMeshEdit::TFrmMeshEdit(QWidget* parent, TModeller& modeller, IPrompt& prompt, TSettingsStore* settings, int index)
    : TToolDialog(parent, QStringLiteral("Modification en Mode Point"), modeller, prompt, settings, index, 260) {
  setObjectName(QStringLiteral("FrmMeshEdit"));
  SetTour(TTour::PointMode);
  auto* layout = new QHBoxLayout(Body());
  layout->setContentsMargins(16, 12, 16, 14);

  FTable = new QTableWidget(Body());
  FTable->setObjectName(QStringLiteral("Grille"));
  FTable->setColumnCount(6);
  QStringList headers;
  for (const char* h : kGridHeaders) headers << QString::fromUtf8(h);
  FTable->setHorizontalHeaderLabels(headers);
  FTable->verticalHeader()->hide();
  FTable->verticalHeader()->setDefaultSectionSize(20);
  for (int c = 0; c < 6; ++c) FTable->setColumnWidth(c, kGridColumnWidths[size_t(c)] + 20);
  FTable->setItemDelegate(new TNumberCellDelegate(FTable));
  FTable->setMinimumWidth(340);
  layout->addWidget(FTable, 1);
  connect(FTable, &QTableWidget::currentCellChanged, this,
          [this](int row, int column, int previousRow, int previousColumn) { CellLeft(previousRow, previousColumn, row, column); });

  auto* right = new QVBoxLayout;
  right->addLayout(RotationZoomTools());
  right->addWidget(CreatePreview(233, 241, true));
  if (FDrawn) {
    FDrawn->Renderer.ShowGrid = true;
    FDrawn->Renderer.ShowAxes = true;
    FInteraction->SetOperation(opRotate);
    FPanel->UpdateCursor();
  }
  right->addStretch(1);
  right->addLayout(CreateButtons(true));
  layout->addSpacing(12);
  layout->addLayout(right);

  if (const TSolidObject* s = FMain.SolidAt(FIndex)) FGrid.Fill(*s);
  FillTable();
  resize(700, 460);
  Redraw();
}

void TFrmMeshEdit::FillTable() {
  FFilling = true;
  const int rows = FGrid.RowCount() - 1;
  FTable->setRowCount(rows);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < 6; ++c) {
      QTableWidgetItem* item = FTable->item(r, c);
      if (!item) {
        item = new QTableWidgetItem;
        if (c == 0) item->setFlags(item->flags() & ~Qt::ItemIsEditable);
        FTable->setItem(r, c, item);
      }
      item->setText(ToQt(FGrid.Cell(r + 1, c)));
    }
  FFilling = false;
}

void TFrmMeshEdit::CellLeft(int row, int column, int newRow, int newColumn) {
  if (FFilling || !FDrawn) return;
  TSolidObject* solid = FDrawn->Scene.SolidAt(FIndex);
  if (row >= 0 && column >= 1 && solid) {
    QTableWidgetItem* item = FTable->item(row, column);
    const std::string previous = FGrid.Cell(row + 1, column);
    FGrid.SetCell(row + 1, column, item ? FromQt(item->text()) : std::string());
    std::string message;
    if (FGrid.Commit(*solid, row + 1, column, FRemembered, message)) {
      // The model was filled again from the preview object: other rows of a moved point follow.
      FillTable();
      Redraw();
    } else {
      // Nothing committed: the cell shows its value again.
      FGrid.SetCell(row + 1, column, previous);
      if (item) {
        FFilling = true;
        item->setText(ToQt(previous));
        FFilling = false;
      }
      if (!message.empty()) FPrompt.Error(message);
    }
  }
  if (newRow >= 0 && newColumn >= 1) {
    const std::optional<double> v = ParseNumber(FGrid.Cell(newRow + 1, newColumn));
    FRemembered = v ? *v : 0;
  }
}

void TFrmMeshEdit::Accept() {
  // A cell still being edited is left first.
  CellLeft(FTable->currentRow(), FTable->currentColumn(), -1, -1);
  if (FDrawn) FModeller.ApplyToolResult(Target(), FDrawn->Scene, TModeller::TToolResult::HandEdits);
  accept();
}

}  // namespace ixoral
