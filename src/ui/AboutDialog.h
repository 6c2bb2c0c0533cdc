// The about box ("A Propos d'Ixoral"): a flight over a scene of the program's own shapes, and
// the credits scrolling beside it.
#pragma once

#include <QTimer>
#include <memory>

#include "commands/AboutFlight.h"
#include "render/SceneRenderer.h"
#include "ui/DialogFrame.h"

#include <QLabel>

namespace ixoral {

class TScenePanel;
class TSettingsStore;

class TFrmApp : public TDialogFrame {
  Q_OBJECT
 public:
  // `current` is the main scene's current object, selected in the box's scene before its own
  // scene is read (then dropped). `prompt` (may be null: message boxes) reports a scene that
  // cannot be read.
  TFrmApp(QWidget* parent, TSettingsStore& settings, int current, IPrompt* prompt = nullptr);
  ~TFrmApp() override;

  TAboutFlight* Flight() { return FFlight.get(); }
  TScene* Scene() { return FDrawn ? &FDrawn->Scene : nullptr; }
  TScenePanel* Panel() const { return FPanel; }
  QWidget* Credits() const { return FCredits; }
  QWidget* CreditsFrame() const { return FCreditsFrame; }
  // One tick of each timer, as if 10 ms had passed.
  void StepFlight(double ms = 10);
  void StepCredits();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  std::unique_ptr<TDisplayScene> FDrawn;
  std::unique_ptr<TAboutFlight> FFlight;
  TScenePanel* FPanel = nullptr;
  QWidget* FCreditsFrame = nullptr;
  QLabel* FCredits = nullptr;
  QTimer FFlightTimer;
  QTimer FCreditsTimer;
  qint64 FLastTick = 0;
};

}  // namespace ixoral
