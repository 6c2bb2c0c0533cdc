// The frame every dialog of the modeller shares: no system border, a grey title bar of its own
// with the title and the "x" (close) and "?" (help) labels, a blue body, a window shape with cut
// corners and a title tab, dragging by the title, Esc to close or cancel, and a fade when it
// closes. Dialogs derive from TDialogFrame and put their controls in Body().
#pragma once

#include <QDialog>
#include <QRegion>
#include <QTimer>
#include <functional>
#include <optional>

#include "assistant/Tours.h"

class QHBoxLayout;
class QLabel;
class QPushButton;

namespace ixoral {

inline const QColor kDialogColour(148, 178, 255);
inline const QColor kTitleBarColour(100, 100, 100);
inline const QColor kLabelHoverColour(0, 255, 0);
inline constexpr int kTitleBarHeight = 25;
inline constexpr int kDefaultTitleTab = 135;
inline constexpr const char* kHintClose = "Fermer";
inline constexpr const char* kHintHelp = "Aide";

// The dialog's shape for a w x h window whose title tab is `tab` pixels wide: a rectangle with
// rounded corners (80 x 80 ellipses) less three cuts along the top edge — the triangle at the top
// left, the trapezoid between the title tab and the labels' tab, and the triangle at the top
// right.
QRegion DialogFrameRegion(int width, int height, int tab);

// The main window's closing region at `percent` of its animation: the rectangle shrunk towards
// its centre by width x percent / 200 on each side (and the same for the height).
QRegion ShrinkingRegion(int width, int height, int percent);

class TDialogFrame : public QDialog {
  Q_OBJECT
 public:
  // `helpPage` is the help page the "?" label opens (the help's first page when empty).
  TDialogFrame(QWidget* parent, const QString& title, int titleTab = kDefaultTitleTab, const QString& helpPage = {});

  // Centred on its screen the first time it is shown.
  void setVisible(bool visible) override;

  // Where the dialog puts its controls: everything below the title bar.
  QWidget* Body() const { return FBody; }
  QLabel* TitleLabel() const { return FTitle; }
  QLabel* CloseLabel() const { return FClose; }
  QLabel* HelpLabel() const { return FHelp; }
  const QString& HelpPage() const { return FHelpPage; }
  int TitleTab() const { return FTitleTab; }

  // The fade: running, its percentage, and whether this platform shows window opacity (where it
  // does not, the dialog closes at the first tick).
  bool Fading() const { return FFade.isActive(); }
  int FadePercent() const { return FFadePercent; }
  static bool OpacitySupported();

  // The guided tour this dialog offers; a dialog with one runs it when it opens during a
  // presentation.
  void SetTour(TTour tour) { FTour = tour; }
  std::optional<TTour> Tour() const { return FTour; }
  // Called with each dialog that offers a tour, when it first opens (the main window decides
  // whether a presentation runs and starts the tour).
  static void SetTourStarter(std::function<void(TDialogFrame&)> starter);

  // Closes through the fade: the result is kept and the dialog really closes when the fade ends.
  // A second request during the fade changes nothing.
  void done(int result) override;

 signals:
  // Once per tick of the fade, with the percentage reached.
  void FadeStepped(int percent);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

  // The "&OK" button and the closing one ("&Annuler" or "&Fermer", named after its caption without
  // the "&"; with `namePrefix` before both names) side by side in a row for the dialog's layout.
  struct TButtonRow {
    QHBoxLayout* Row;
    QPushButton* Ok;
    QPushButton* Close;
  };
  enum TRowFlag { kAtRight = 1, kOkDefault = 2 };
  TButtonRow NewOkRow(const QString& closeCaption, int flags, const QString& namePrefix = {});

  // The "?" label: opens the dialog's help page.
  virtual void ShowHelp();

 private:
  void FadeTick();
  void SetLabelHover(QLabel* label, bool hover);

  QLabel* FTitle = nullptr;
  QLabel* FClose = nullptr;
  QLabel* FHelp = nullptr;
  QWidget* FBody = nullptr;
  QString FHelpPage;
  int FTitleTab;
  QTimer FFade;
  int FFadePercent = 0;
  int FPendingResult = 0;
  bool FCentred = false;
  bool FTourStarted = false;
  std::optional<TTour> FTour;
  QPoint FDragOffset;
  bool FDragging = false;
};

}  // namespace ixoral
