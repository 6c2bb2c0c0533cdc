// The POV-Ray render window: options, progress, cancel, and the finished picture.
#include "ui/PovRenderWindow.h"

#include <QBuffer>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImageWriter>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include "commands/Help.h"
#include "document/PictureExport.h"
#include "document/SceneDocument.h"
#include "platform/AtomicFile.h"
#include "ui/QtPlatform.h"

namespace ixoral {

TFrmRenduPov::TFrmRenduPov(TScene& scene, int view, IPrompt& prompt, QWidget* parent)
    : TDialogFrame(parent, QString::fromUtf8(kCaptionRenderWindow), 180, QString::fromUtf8(help::Export)),
      FScene(scene),
      FView(view),
      FPrompt(prompt) {
  setObjectName(QStringLiteral("frmRenduPov"));
  setModal(false);  // the modeller stays usable while POV-Ray works
  auto* layout = new QVBoxLayout(Body());
  // Wide enough at the bottom and the right that the rounded corner leaves "Fermer" whole.
  layout->setContentsMargins(12, 8, 18, 16);
  auto* options = new QHBoxLayout;
  options->addWidget(new QLabel(QStringLiteral("Taille de l'image :"), this));
  FSizes = new QComboBox(this);
  FSizes->setObjectName(QStringLiteral("cbResolution"));
  for (const auto& r : ExportResolutions) FSizes->addItem(QStringLiteral("%1 x %2").arg(r.Width).arg(r.Height));
  FSizes->setCurrentIndex(0);
  options->addWidget(FSizes);
  FAntialias = new QCheckBox(QStringLiteral("&Anticrénelage"), this);
  FAntialias->setObjectName(QStringLiteral("chkAnticrenelage"));
  FAntialias->setChecked(true);
  options->addWidget(FAntialias);
  options->addStretch(1);
  FRender = new QPushButton(QStringLiteral("&Rendre"), this);
  FRender->setObjectName(QStringLiteral("btnRendre"));
  options->addWidget(FRender);
  layout->addLayout(options);

  auto* progress = new QHBoxLayout;
  FProgress = new QProgressBar(this);
  FProgress->setObjectName(QStringLiteral("pbRendu"));
  FProgress->setRange(0, 100);
  FProgress->setValue(0);
  progress->addWidget(FProgress, 1);
  FCancel = new QPushButton(QStringLiteral("&Annuler"), this);
  FCancel->setObjectName(QStringLiteral("btnAnnulerRendu"));
  progress->addWidget(FCancel);
  layout->addLayout(progress);
  FStatus = new QLabel(this);
  FStatus->setObjectName(QStringLiteral("lblEtat"));
  FStatus->setWordWrap(true);
  layout->addWidget(FStatus);

  FImage = new QLabel(this);
  FImage->setObjectName(QStringLiteral("lblImage"));
  FImage->setAlignment(Qt::AlignCenter);
  FImage->setMinimumSize(320, 240);
  FImage->setStyleSheet(QStringLiteral("background: #202020"));
  FScroll = new QScrollArea(this);
  FScroll->setWidget(FImage);
  FScroll->setWidgetResizable(true);
  FScroll->setAlignment(Qt::AlignCenter);
  layout->addWidget(FScroll, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  FSave = new QPushButton(QStringLiteral("&Enregistrer l'image..."), this);
  FSave->setObjectName(QStringLiteral("btnEnregistrerImage"));
  buttons->addWidget(FSave);
  auto* close = new QPushButton(QStringLiteral("&Fermer"), this);
  close->setObjectName(QStringLiteral("btnFermer"));
  buttons->addWidget(close);
  layout->addLayout(buttons);
  resize(700, 560);

  FTimer = new QTimer(this);
  FTimer->setInterval(50);
  connect(FTimer, &QTimer::timeout, this, [this] { Poll(); });
  connect(FRender, &QPushButton::clicked, this, [this] { StartRender(); });
  connect(FCancel, &QPushButton::clicked, this, [this] { CancelRender(); });
  connect(close, &QPushButton::clicked, this, [this] { this->close(); });
  connect(FSave, &QPushButton::clicked, this, [this] {
    // The picture goes by default beside the document.
    const QString start = FScene.FileName.empty() ? QString() : QFileInfo(ToQt(FScene.FileName)).absolutePath();
    const QString path = ChooseSavePath ? ChooseSavePath()
                                        : QFileDialog::getSaveFileName(this, QStringLiteral("Enregistrer l'image"),
                                                                       start, QString::fromUtf8(kFilterPicture));
    if (!path.isEmpty()) SavePicture(path);
  });
  ShowState(false);
}

TFrmRenduPov::~TFrmRenduPov() { FJob.Cancel(); }

void TFrmRenduPov::ShowState(bool running) {
  FRender->setEnabled(!running);
  FSizes->setEnabled(!running);
  FAntialias->setEnabled(!running);
  FCancel->setEnabled(running);
  FSave->setEnabled(!running && !FPicture.isNull());
}

void TFrmRenduPov::StartRender() {
  if (FJob.State() == TRenderState::Running) return;
  TPovRenderOptions options;
  options.Resolution = FSizes->currentIndex();
  options.Antialias = FAntialias->isChecked();
  options.Program = Program;
  if (BackgroundToRender) options.Background = BackgroundToRender();
  FProgress->setValue(0);
  if (ViewToRender) FView = ViewToRender();
  if (!FJob.Start(FScene, FView, options, &FPrompt)) {
    FStatus->setText(ToQt(FJob.Message()));
    FPrompt.Error(FJob.Message());
    ShowState(false);
    emit Finished();
    return;
  }
  FStatus->setText(QString::fromUtf8(kMsgRendering));
  ShowState(true);
  FTimer->start();
}

void TFrmRenduPov::CancelRender() {
  if (FJob.State() != TRenderState::Running) return;
  FJob.Cancel();
  FTimer->stop();
  FProgress->setValue(0);
  FStatus->setText(QString::fromUtf8(kMsgRenderCancelled));
  ShowState(false);
  emit Finished();
}

void TFrmRenduPov::Poll() {
  const TRenderState state = FJob.Poll();
  const int percent = int(FJob.Progress() * 100 + 0.5);
  if (FProgress->value() != percent) {
    FProgress->setValue(percent);
    emit ProgressChanged(percent);
  }
  if (state == TRenderState::Running) {
    FStatus->setText(QStringLiteral("%1 %2 %").arg(QString::fromUtf8(kMsgRendering)).arg(percent));
    return;
  }
  FTimer->stop();
  if (state == TRenderState::Done) {
    FPicture = ToQImage(FJob.Picture());
    FImage->setPixmap(QPixmap::fromImage(FPicture));
    FProgress->setValue(100);
    FStatus->setText(QStringLiteral("%1 (%2 x %3)")
                         .arg(QString::fromUtf8(kMsgRenderDone))
                         .arg(FPicture.width())
                         .arg(FPicture.height()));
  } else if (state == TRenderState::Failed) {
    FStatus->setText(ToQt(FJob.Message()));
    FPrompt.Error(FJob.Message());
  }
  ShowState(false);
  emit Finished();
}

bool TFrmRenduPov::SavePicture(const QString& chosen) {
  if (FPicture.isNull()) return false;
  QString path = chosen;
  QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix.isEmpty()) path += QStringLiteral(".png"), suffix = QStringLiteral("png");
  const bool jpeg = suffix == QStringLiteral("jpg") || suffix == QStringLiteral("jpeg");
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!FPicture.save(&buffer, jpeg ? "JPG" : "PNG", jpeg ? 92 : -1) ||
      !WriteFileAtomically(FromQt(path), std::string_view(bytes.constData(), size_t(bytes.size())))) {
    FPrompt.Error(kMsgFileAccess + FromQt(path));
    return false;
  }
  return true;
}

void TFrmRenduPov::closeEvent(QCloseEvent* event) {
  CancelRender();
  TDialogFrame::closeEvent(event);
}

void TFrmRenduPov::reject() {
  CancelRender();
  TDialogFrame::reject();
}

}  // namespace ixoral
