// The "Rendu POV-Ray" window: the picture size among the export resolutions and antialiasing,
// then POV-Ray's progress with a button that cancels it, then the finished picture, which can be
// saved as PNG or JPEG. The render job runs as a separate process polled by a timer, so the
// modeller stays usable while it renders.
#pragma once

#include <QImage>
#include <functional>

#include "commands/PovRender.h"
#include "ui/DialogFrame.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QTimer;

namespace ixoral {

inline constexpr const char* kCaptionRenderWindow = "Rendu POV-Ray";
inline constexpr const char* kMsgRendering = "Rendu en cours...";
inline constexpr const char* kMsgRenderDone = "Rendu terminé";
inline constexpr const char* kMsgRenderCancelled = "Rendu annulé";
inline constexpr const char* kFilterPicture = "Image PNG (*.png);;Image JPEG (*.jpg *.jpeg)";

class TFrmRenduPov : public TDialogFrame {
  Q_OBJECT
 public:
  // Renders view `view` of `scene`; the scene is read only when a render starts.
  TFrmRenduPov(TScene& scene, int view, IPrompt& prompt, QWidget* parent = nullptr);
  ~TFrmRenduPov() override;

  // Starts a render with the chosen size and antialiasing ("&Rendre").
  void StartRender();
  // Ends the render under way ("&Annuler").
  void CancelRender();
  // Writes the picture as PNG or JPEG, by the name's extension (PNG without one), whole or not at
  // all. False, after the message, when it cannot be written.
  bool SavePicture(const QString& path);

  TPovRenderJob& Job() { return FJob; }
  const QImage& Picture() const { return FPicture; }
  void SetView(int view) { FView = view; }
  // The view a render shows, asked when it starts (the window's active view); without it the view
  // given at construction or by SetView.
  std::function<int()> ViewToRender;
  // The views' background colour when a render starts; black without it.
  std::function<uint32_t()> BackgroundToRender;
  // Where "&Enregistrer l'image..." asks for the file; tests answer it.
  std::function<QString()> ChooseSavePath;
  // Where the job's program is looked for (tests point it elsewhere).
  std::string Program = "povray";

 signals:
  void ProgressChanged(int percent);
  void Finished();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void Poll();
  void ShowState(bool running);

  TScene& FScene;
  int FView;
  IPrompt& FPrompt;
  TPovRenderJob FJob;
  QImage FPicture;
  QTimer* FTimer = nullptr;
  QComboBox* FSizes = nullptr;
  QCheckBox* FAntialias = nullptr;
  QPushButton* FRender = nullptr;
  QPushButton* FCancel = nullptr;
  QPushButton* FSave = nullptr;
  QProgressBar* FProgress = nullptr;
  QLabel* FStatus = nullptr;
  QLabel* FImage = nullptr;
  QScrollArea* FScroll = nullptr;
};

}  // namespace ixoral
