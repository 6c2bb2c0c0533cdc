// The about box.
#include "ui/AboutDialog.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "commands/Help.h"
#include "platform/DataFiles.h"
#include "ui/QtPlatform.h"
#include "ui/ScenePanel.h"

namespace ixoral {

namespace {

const char* const kCredits =
    "<p align='center'><b><big>IXORAL</big></b><br>Modeleur 3D</p>"
    "<p align='center'>Des solides, des courbes et des textes en relief,<br>placés à la souris dans quatre vues.</p>"
    "<p align='center'><b>Conception et programmation</b><br>L'équipe d'Ixoral</p>"
    "<p align='center'><b>Rendu logiciel</b><br>Un rastériseur maison,<br>en bandes sur tous les cœurs</p>"
    "<p align='center'><b>Scène du survol</b><br>« Mirlo », un jardin de formes<br>fait avec le modeleur lui-même</p>"
    "<p align='center'><b>Bibliothèques</b><br>Qt 6, FreeType, fontconfig,<br>zlib, libjpeg-turbo, libtiff</p>"
    "<p align='center'><b>Rendu photo-réaliste</b><br>Scènes exportées pour POV-Ray</p>"
    "<p align='center'>Merci d'utiliser Ixoral !</p>"
    "<p align='center'>Touche « * » : le survol va deux fois plus loin.</p>";

}  // namespace

TFrmApp::TFrmApp(QWidget* parent, TSettingsStore& settings, int current, IPrompt* prompt)
    : TDialogFrame(parent, QStringLiteral("A Propos d'Ixoral"), 180, QString::fromUtf8(help::APropos)) {
  setObjectName(QStringLiteral("FrmApp"));
  auto* layout = new QVBoxLayout(Body());
  layout->setContentsMargins(16, 12, 16, 14);
  auto* row = new QHBoxLayout;
  FPanel = new TScenePanel(Body());
  FPanel->setObjectName(QStringLiteral("Survol"));
  FPanel->setFixedSize(360, 270);
  row->addWidget(FPanel);

  FCreditsFrame = new QWidget(Body());
  FCreditsFrame->setObjectName(QStringLiteral("Credits"));
  FCreditsFrame->setFixedSize(230, 270);
  FCreditsFrame->setAutoFillBackground(true);
  QPalette dark = FCreditsFrame->palette();
  dark.setColor(QPalette::Window, QColor(29, 42, 80));
  dark.setColor(QPalette::WindowText, Qt::white);
  FCreditsFrame->setPalette(dark);
  FCredits = new QLabel(QString::fromUtf8(kCredits), FCreditsFrame);
  FCredits->setWordWrap(true);
  FCredits->setFixedWidth(FCreditsFrame->width());
  FCredits->adjustSize();
  FCredits->move(0, FCreditsFrame->height());
  row->addSpacing(12);
  row->addWidget(FCreditsFrame);
  layout->addLayout(row);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  auto* close = new QPushButton(QStringLiteral("&Fermer"), Body());
  close->setObjectName(QStringLiteral("Fermer"));
  close->setDefault(true);
  buttons->addWidget(close);
  layout->addSpacing(10);
  layout->addLayout(buttons);
  connect(close, &QPushButton::clicked, this, &TFrmApp::reject);
  resize(650, 370);

  // The box's own scene: view 0 alone, no grid, axes or selection marks.
  FDrawn = std::make_unique<TDisplayScene>(360, 270, &settings, FPanel);
  FDrawn->Scene.FourViews = false;
  if (!FDrawn->Renderer.InitDevice()) {
    FDrawn.reset();
  } else {
    TDisplayScene& d = *FDrawn;
    d.Renderer.AutoRedraw = false;
    d.Renderer.ShowGrid = d.Renderer.ShowAxes = d.Renderer.ShowSelectionMarks = false;
    d.Scene.Views[0].SetViewType(vtFace);
    FFlight = std::make_unique<TAboutFlight>(d.Scene);
    FFlight->Apply();
    if (d.Scene.ObjectAt(current)) d.Scene.SelectObject(current);
    TQtPrompt boxes(this);
    FFlight->LoadScene(FindDataFile(kAboutSceneFile), prompt ? *prompt : boxes);
    FPanel->Attach(&d.Renderer, nullptr);
  }

  FFlightTimer.setInterval(10);
  connect(&FFlightTimer, &QTimer::timeout, this, [this] {
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    StepFlight(FLastTick ? double(now - FLastTick) : 10.0);
    FLastTick = now;
  });
  FCreditsTimer.setInterval(10);
  connect(&FCreditsTimer, &QTimer::timeout, this, &TFrmApp::StepCredits);
  FFlightTimer.start();
  FCreditsTimer.start();
}

TFrmApp::~TFrmApp() {
  FFlightTimer.stop();
  FCreditsTimer.stop();
}

void TFrmApp::StepFlight(double ms) {
  if (!FFlight) return;
  FFlight->Advance(ms);
  FFlight->Apply();
  FPanel->RedrawNow();
}

void TFrmApp::StepCredits() {
  int y = FCredits->y() - 2;
  if (y + FCredits->height() < 0) y = FCreditsFrame->height();  // gone past the top: again from the bottom
  FCredits->move(0, y);
}

void TFrmApp::keyPressEvent(QKeyEvent* event) {
  if (event->text() == QLatin1String("*")) {
    if (FFlight) FFlight->DoubleTime();
    return;
  }
  TDialogFrame::keyPressEvent(event);
}

}  // namespace ixoral
