// The print dialog.
#include "ui/PrintDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <cmath>
#include <filesystem>

#include "commands/Help.h"
#include "commands/ToolDialogs.h"
#include "document/SceneDocument.h"
#include "platform/NumberFormat.h"
#include "platform/Prompt.h"
#include "ui/NumberField.h"
#include "ui/QtPlatform.h"

namespace ixoral {

namespace {

constexpr int kPreviewSize = 360;
const char* const kFieldNames[] = {"Marge", "Largeur", "Hauteur", "ValeurH", "ValeurV"};

QString Fixed3(double v) { return QString::number(v, 'f', 3).replace(QLatin1Char('.'), QLatin1Char(',')); }

Qt::CursorShape HandleCursor(THandle h) {
  switch (h) {
    case hTopLeft:
    case hBottomRight:
      return Qt::SizeFDiagCursor;
    case hTopRight:
    case hBottomLeft:
      return Qt::SizeBDiagCursor;
    case hTop:
    case hBottom:
      return Qt::SizeVerCursor;
    case hLeft:
    case hRight:
      return Qt::SizeHorCursor;
    default:
      return Qt::SizeAllCursor;
  }
}

// The measures of a printer (or the default A4 when it cannot tell) and of the screen.
TPrintMeasures MeasuresOf(QPrinter& printer, const QScreen* screen, double aspect) {
  TPrintMeasures m;
  m.Aspect = aspect;
  if (screen) {
    const QSizeF mm = screen->physicalSize();
    const QSize px = screen->size();
    if (mm.width() > 0 && mm.height() > 0) {
      m.ScreenPerCmX = std::round(px.width() / (mm.width() / 10));
      m.ScreenPerCmY = std::round(px.height() / (mm.height() / 10));
    }
  }
  const QRectF page = printer.pageLayout().fullRect(QPageLayout::Millimeter);
  if (page.width() > 0 && page.height() > 0) {
    m.PageWidthCm = page.width() / 10;
    m.PageHeightCm = page.height() / 10;
  }
  const QRect pagePx = printer.pageLayout().fullRectPixels(printer.resolution());
  if (pagePx.width() > 0) m.PrinterPerCmX = std::round(pagePx.width() / m.PageWidthCm);
  if (pagePx.height() > 0) m.PrinterPerCmY = std::round(pagePx.height() / m.PageHeightCm);
  m.PreviewWidth = m.PreviewHeight = kPreviewSize;
  return m;
}

}  // namespace

// ---------------------------------------------------------------- page preview

TPagePreview::TPagePreview(TFrmRendu& dialog, QWidget* parent) : QWidget(parent), FDialog(dialog) {
  setObjectName(QStringLiteral("Apercu"));
  setFixedSize(kPreviewSize, kPreviewSize);
  setMouseTracking(true);
}

void TPagePreview::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor(128, 128, 128));
  const TPrintLayout& l = FDialog.Layout();
  const TPrintRect page = l.Page();
  p.translate(page.X, page.Y);
  p.fillRect(0, 0, page.W, page.H, Qt::white);
  p.setPen(Qt::black);
  p.drawRect(0, 0, page.W - 1, page.H - 1);
  const TPrintRect image = l.Image();
  if (!FDialog.Picture().isNull()) p.drawImage(QRect(image.X, image.Y, image.W, image.H), FDialog.Picture());
  const TPrintRect margin = l.MarginRect();
  p.setPen(QPen(Qt::black, 1, Qt::DashLine));
  p.drawRect(margin.X, margin.Y, margin.W, margin.H);
}

void TPagePreview::mousePressEvent(QMouseEvent* e) {
  const TPrintRect page = FDialog.Layout().Page();
  if (e->button() == Qt::LeftButton)
    FDialog.Layout().Press(int(e->position().x()) - page.X, int(e->position().y()) - page.Y);
}

void TPagePreview::mouseMoveEvent(QMouseEvent* e) {
  TPrintLayout& l = FDialog.Layout();
  const int x = int(e->position().x()) - l.Page().X, y = int(e->position().y()) - l.Page().Y;
  if (l.Dragging()) {
    l.Drag(x, y);
    FDialog.Refresh();
    return;
  }
  const TPrintRect r = l.Image();
  const bool over = !l.Fill && x >= r.X && x <= r.X + r.W && y >= r.Y && y <= r.Y + r.H;
  const THandle h = l.HandleAt(x, y);
  if (h != hNone || over)
    setCursor(HandleCursor(h));
  else
    unsetCursor();
}

void TPagePreview::mouseReleaseEvent(QMouseEvent*) {
  if (!FDialog.Layout().Dragging()) return;
  FDialog.Layout().Release();
  FDialog.Refresh();
}

// ---------------------------------------------------------------- dialog

// "Vue :", "Imprimante :" and "Paramètres"; answers the "Paramètres" button.
QPushButton* TFrmRendu::CreatePrinterRows(QVBoxLayout* side) {
  auto* top = new QGridLayout;
  top->addWidget(new QLabel(QStringLiteral("Vue :"), Body()), 0, 0);
  FViews = new QComboBox(Body());
  FViews->setObjectName(QStringLiteral("Vue"));
  for (int v = 1; v <= 4; ++v) FViews->addItem(QString::number(v));
  top->addWidget(FViews, 0, 1);
  top->addWidget(new QLabel(QStringLiteral("Imprimante :"), Body()), 1, 0);
  FPrinters = new QComboBox(Body());
  FPrinters->setObjectName(QStringLiteral("Imprimante"));
  for (const QString& name : QPrinterInfo::availablePrinterNames()) FPrinters->addItem(name);
  FPrinters->addItem(QString::fromUtf8(kPdfPrinter));  // always there, even without any printer
  const QString defaultPrinter = QPrinterInfo::defaultPrinterName();
  FPrinters->setCurrentIndex(std::max(0, FPrinters->findText(defaultPrinter)));
  top->addWidget(FPrinters, 1, 1);
  auto* setup = new QPushButton(QStringLiteral("Paramètres"), Body());
  setup->setObjectName(QStringLiteral("Parametres"));
  top->addWidget(setup, 1, 2);
  side->addLayout(top);
  return setup;
}

// A "Position ..." group: centre, start, end or a value typed in the field `valueField`.
QGroupBox* TFrmRendu::CreateAlignmentGroup(const QString& title, const char* start, const char* end,
                                           const char* valueField, std::array<QRadioButton*, 4>& buttons) {
  auto* box = new QGroupBox(title, Body());
  auto* g = new QGridLayout(box);
  auto* group = new QButtonGroup(box);
  const QString names[] = {QStringLiteral("Centrer"), QString::fromUtf8(start), QString::fromUtf8(end),
                           QStringLiteral("Valeur")};
  for (int k = 0; k < 4; ++k) {
    buttons[static_cast<size_t>(k)] = new QRadioButton(names[k], box);
    group->addButton(buttons[static_cast<size_t>(k)], k);
    g->addWidget(buttons[static_cast<size_t>(k)], k / 2, k % 2);
  }
  auto* value = new TNumberField(box);
  value->setObjectName(QString::fromLatin1(valueField));
  value->hide();
  g->addWidget(value, 2, 1);
  buttons[0]->setChecked(true);
  connect(group, &QButtonGroup::idClicked, this, [this] { AlignmentChosen(); });
  return box;
}

TFrmRendu::TFrmRendu(QWidget* parent, TScene& main, TSettingsStore* settings, IPrompt& prompt, double aspect)
    : TDialogFrame(parent, QStringLiteral("Impression"), 135, QString::fromUtf8(help::Export)),
      FMain(main),
      FSettings(settings),
      FPrompt(prompt),
      FLayout(TPrintMeasures{}) {
  setObjectName(QStringLiteral("FrmRendu"));
  SetTour(TTour::Printing);
  // The PDF goes by default beside the document, under its name.
  ChoosePdfFile = [this] {
    QString start;
    if (!FMain.FileName.empty()) {
      const QFileInfo document(ToQt(FMain.FileName));
      start = document.dir().filePath(document.completeBaseName() + QStringLiteral(".pdf"));
    }
    QFileDialog dialog(this, QStringLiteral("Imprimer dans un fichier PDF"), start, QStringLiteral("PDF (*.pdf)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
  };
  SetUpPrinter = [this](QPrinter& printer) { return QPrintDialog(&printer, this).exec() == QDialog::Accepted; };
  FPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
  auto* layout = new QHBoxLayout(Body());
  layout->setContentsMargins(14, 10, 14, 12);
  FPreview = new TPagePreview(*this, Body());
  layout->addWidget(FPreview, 0, Qt::AlignTop);
  auto* side = new QVBoxLayout;
  layout->addLayout(side);

  QPushButton* setup = CreatePrinterRows(side);

  auto* sizes = new QGridLayout;
  const char* captions[] = {"Marge (cm)", "Largeur (cm)", "Hauteur (cm)"};
  for (int k = 0; k < 3; ++k) {
    sizes->addWidget(new QLabel(QString::fromUtf8(captions[k]), Body()), k, 0);
    auto* f = new TNumberField(Body());
    f->setObjectName(QString::fromLatin1(kFieldNames[k]));
    sizes->addWidget(f, k, 1);
  }
  side->addLayout(sizes);
  FFill = new QCheckBox(QStringLiteral("Remplir la page"), Body());
  FFill->setObjectName(QStringLiteral("Remplir"));
  FKeep = new QCheckBox(QStringLiteral("Garder les proportions"), Body());
  FKeep->setObjectName(QStringLiteral("Proportions"));
  FKeep->setChecked(true);
  FWhite = new QCheckBox(QStringLiteral("Fond blanc"), Body());
  FWhite->setObjectName(QStringLiteral("FondBlanc"));
  for (QCheckBox* c : {FFill, FKeep, FWhite}) side->addWidget(c);

  side->addWidget(CreateAlignmentGroup(QStringLiteral("Position Horizontale"), "Aligner à Gauche", "Aligner à Droite",
                                       "ValeurH", FAlignX));
  side->addWidget(CreateAlignmentGroup(QStringLiteral("Position Verticale"), "Aligner en Haut", "Aligner en Bas",
                                       "ValeurV", FAlignY));
  side->addStretch(1);
  const TButtonRow buttons = NewOkRow(QStringLiteral("&Fermer"), kAtRight);
  QPushButton* ok = buttons.Ok;
  QPushButton* close = buttons.Close;
  side->addLayout(buttons.Row);

  for (const char* name : kFieldNames) {
    auto* f = qobject_cast<TNumberField*>(Field(name));
    connect(f, &TNumberField::Finished, this, [this, name] { FieldEdited(name); });
  }
  connect(FFill, &QCheckBox::toggled, this, [this](bool on) {
    FLayout.Fill = on;
    Refresh();
  });
  connect(FKeep, &QCheckBox::toggled, this, [this](bool on) { FLayout.KeepProportions = on; });
  connect(FWhite, &QCheckBox::toggled, this, [this] { RedrawPicture(); });
  connect(FViews, &QComboBox::currentIndexChanged, this, [this] { RedrawPicture(); });
  connect(FPrinters, &QComboBox::currentIndexChanged, this, [this] { ReadPrinter(); });
  // The set-up's choices (paper, orientation) stay with the printer for the preview and the print.
  connect(setup, &QPushButton::clicked, this, [this] {
    ChoosePrinter();
    if (!SetUpPrinter || !SetUpPrinter(*FPrinter)) return;
    const int at = FPrinters->findText(FPrinter->printerName());
    if (at >= 0 && at != FPrinters->currentIndex()) {
      const QSignalBlocker quiet(FPrinters);
      FPrinters->setCurrentIndex(at);
    }
    ReadPrinter();
  });
  connect(ok, &QPushButton::clicked, this, [this] {
    if (Print()) accept();
  });
  connect(close, &QPushButton::clicked, this, &TFrmRendu::reject);
  for (QPushButton* b : findChildren<QPushButton*>()) b->setAutoDefault(false);

  FLayout = TPrintLayout([&] {
    TPrintMeasures m;
    m.Aspect = aspect > 0 && std::isfinite(aspect) ? aspect : 4.0 / 3.0;
    return m;
  }());
  {
    const QSignalBlocker quiet(FViews);  // drawn once, below
    FViews->setCurrentIndex(3);          // the fourth view, the perspective
  }
  ReadPrinter();
  RedrawPicture();
  resize(760, 470);
}

TFrmRendu::~TFrmRendu() = default;

QLineEdit* TFrmRendu::Field(const char* name) const { return findChild<QLineEdit*>(QString::fromLatin1(name)); }

bool TFrmRendu::PrintsToPdf() const {
  return FPrinters->currentText() == QString::fromUtf8(kPdfPrinter) || QPrinterInfo::availablePrinterNames().isEmpty();
}

void TFrmRendu::ChoosePrinter() {
  if (PrintsToPdf()) {
    if (FPrinter->outputFormat() != QPrinter::PdfFormat) FPrinter->setOutputFormat(QPrinter::PdfFormat);
  } else if (FPrinter->outputFormat() != QPrinter::NativeFormat ||
             FPrinter->printerName() != FPrinters->currentText()) {
    FPrinter->setOutputFormat(QPrinter::NativeFormat);
    FPrinter->setPrinterName(FPrinters->currentText());
  }
}

void TFrmRendu::ReadPrinter() {
  ChoosePrinter();
  TPrintMeasures m = MeasuresOf(*FPrinter, screen(), FLayout.Measures().Aspect);
  FLayout.SetMeasures(m);
  Refresh();
}

void TFrmRendu::Refresh() {
  FRefreshing = true;
  const TPrintLayout& l = FLayout;
  Field("Marge")->setText(Fixed3(l.Margin()));
  Field("Largeur")->setText(Fixed3(l.Width()));
  Field("Hauteur")->setText(Fixed3(l.Height()));
  Field("ValeurH")->setText(l.ValueX ? Fixed3(*l.ValueX) : QString());
  Field("ValeurV")->setText(l.ValueY ? Fixed3(*l.ValueY) : QString());
  FAlignX[static_cast<size_t>(l.AlignX)]->setChecked(true);
  FAlignY[static_cast<size_t>(l.AlignY)]->setChecked(true);
  Field("ValeurH")->setVisible(l.AlignX == TAlign::Value);
  Field("ValeurV")->setVisible(l.AlignY == TAlign::Value);
  // "Remplir la page" leaves nothing else to choose.
  for (const char* name : {"Largeur", "Hauteur"}) Field(name)->setEnabled(!l.Fill);
  FKeep->setEnabled(!l.Fill);
  for (auto* b : FAlignX) b->setEnabled(!l.Fill);
  for (auto* b : FAlignY) b->setEnabled(!l.Fill);
  FRefreshing = false;
  FPreview->update();
}

void TFrmRendu::FieldEdited(const char* name) {
  if (FRefreshing) return;
  const std::string text = FromQt(Field(name)->text());
  const std::string n(name);
  const std::optional<double> v = IsNumberEntry(text) ? ParseNumber(text) : std::nullopt;
  if (n == "Marge" && v && !FLayout.SetMargin(*v) && !FLayout.MarginLeavesRoom(*v)) {
    Refresh();  // the kept margin is in the field before the message shows
    FPrompt.Error(kMsgMarginTooLarge);
  }
  if (n == "Largeur" && v) FLayout.SetWidth(*v);
  if (n == "Hauteur" && v) FLayout.SetHeight(*v);
  if (n == "ValeurH") FLayout.ValueX = v;
  if (n == "ValeurV") FLayout.ValueY = v;
  Refresh();  // a refused value shows the one kept
}

void TFrmRendu::AlignmentChosen() {
  for (size_t k = 0; k < 4; ++k) {
    if (FAlignX[k]->isChecked()) FLayout.AlignX = static_cast<TAlign>(k);
    if (FAlignY[k]->isChecked()) FLayout.AlignY = static_cast<TAlign>(k);
  }
  Refresh();
}

QImage TFrmRendu::RenderView(int width, int height) const {
  TDisplayScene drawn(std::max(1, width), std::max(1, height), FSettings, nullptr);
  drawn.Scene.FourViews = false;
  if (!drawn.Renderer.InitDevice()) return {};
  if (FWhite->isChecked()) drawn.Display.BackgroundColor = D3DRGBA(1, 1, 1, 1);
  // The objects without their meshes, which the drawing borrows from the scene for its time.
  TMeshLoan meshes(FMain, drawn.Scene);
  TScene::CopyDeviceLights(FMain, drawn.Scene);
  drawn.Scene.ClearSelection();
  // The chosen view's camera and navigation, in the first view.
  const TVue& from = FMain.Views[static_cast<size_t>(std::clamp(FViews->currentIndex(), 0, 3))];
  TVue& to = drawn.Scene.Views[0];
  to.ViewType = from.ViewType;
  to.Camera = from.Camera;
  to.CameraMatrix = from.CameraMatrix;
  to.RotationMatrix = from.RotationMatrix;
  to.ScaleMatrix = from.ScaleMatrix;
  to.TranslationMatrix = from.TranslationMatrix;
  to.Pos = from.Pos;
  to.Rot = from.Rot;
  to.Scale = from.Scale;
  drawn.Renderer.ShowGrid = drawn.Renderer.ShowAxes = drawn.Renderer.ShowSelectionMarks = false;
  meshes.During([&] { drawn.Renderer.DrawView(0); });
  const TSurface* s = drawn.Display.OffscreenSurface();
  return QImage(reinterpret_cast<const uchar*>(s->Pixels()), s->Width(), s->Height(), s->Width() * 4,
                QImage::Format_RGB32)
      .copy();
}

void TFrmRendu::RedrawPicture() {
  // The preview's picture: the view at the size the page shows it, its proportions those of the
  // main scene's drawing area.
  const double aspect = FLayout.Measures().Aspect;
  const int w = aspect > 1 ? 320 : static_cast<int>(std::lround(320 * aspect));
  const int h = aspect > 1 ? static_cast<int>(std::lround(320 / aspect)) : 320;
  FPicture = RenderView(w, h);
  FPreview->update();
}

std::string TFrmRendu::ChooseTargetPdf() {
  const QString chosen = ChoosePdfFile ? ChoosePdfFile() : QString();
  if (chosen.isEmpty()) return {};
  if (!QFileInfo(chosen).suffix().isEmpty()) return FromQt(chosen);
  const std::string completed = FromQt(chosen) + ".pdf";
  std::error_code ec;
  if (std::filesystem::exists(completed, ec) && !FPrompt.YesNo(kMsgOverwrite + completed)) return {};
  return completed;
}

bool TFrmRendu::Print() {
  // A margin that a smaller paper left without room prints nothing: said, not printed blank.
  if (!FLayout.MarginLeavesRoom(FLayout.Margin())) {
    FPrompt.Error(kMsgMarginTooLarge);
    return false;
  }
  ChoosePrinter();
  QPrinter& printer = *FPrinter;
  std::string target, temporary;
  if (PrintsToPdf()) {
    target = ChooseTargetPdf();
    if (target.empty()) return false;  // cancelled: nothing written
    // Written beside its place and renamed once complete: a failed print leaves no file.
    temporary = target + ".ixoral-impression";
    printer.setOutputFileName(ToQt(temporary));
  }
  // Drawn at the printer's resolution, or as near as the renderer holds, and scaled onto the page.
  const TPrintRect area = FLayout.PrintArea();
  const TPrintRect drawn = TPrintLayout::DrawnSize(area);
  const QImage picture = RenderView(drawn.W, drawn.H);
  QPainter painter;
  if (picture.isNull() || !painter.begin(&printer)) {
    std::error_code ec;
    if (!temporary.empty()) std::filesystem::remove(temporary, ec);
    printer.setOutputFileName(QString());
    FPrompt.Error(kMsgPrintFailed);
    return false;
  }
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  // The area is measured from the paper's corner, in the printer's own pixels.
  const QRect paper = printer.pageLayout().paintRectPixels(printer.resolution());
  painter.drawImage(QRect(area.X - paper.x(), area.Y - paper.y(), area.W, area.H), picture);
  const bool ok = painter.end();
  printer.setOutputFileName(QString());
  if (!temporary.empty()) {
    std::error_code ec;
    if (ok) std::filesystem::rename(temporary, target, ec);
    if (!ok || ec) {
      std::filesystem::remove(temporary, ec);
      FPrompt.Error(kMsgPrintFailed);
      return false;
    }
  }
  return ok;
}

}  // namespace ixoral
