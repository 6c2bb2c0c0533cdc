// The guided tours on the screen: the main window's side of a presentation (its menus opened as
// the keyboard would, the pointer moved over them, the sample object inserted and the dialog
// opened through the window's own actions) and the runner that a dialog carries while its tour
// goes on (its timer, its controls found by name, its buttons pressed and its fields typed in).
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <memory>

#include "assistant/Tours.h"
#include "commands/CommandTable.h"

class QMenu;

namespace ixoral {

class TTourPointer;

// Whether this desktop lets a program move the mouse pointer (Wayland does not).
bool PointerCanBeMoved();

// A widget's rectangle in screen coordinates.
TScreenRect ScreenRectOf(const QWidget& widget);

class TMainTourHost : public IMainTourHost {
 public:
  explicit TMainTourHost(QMainWindow& window);
  ~TMainTourHost() override;

  TScreenRect WindowRect() const override;
  std::optional<TScreenRect> ControlRect(const std::string& name) const override;
  std::optional<TScreenRect> MenuTitleRect(const std::string& menu) const override;
  std::optional<TScreenRect> MenuItemRect(const std::string& menu, const std::string& submenu) const override;
  std::optional<TScreenRect> DialogItemRect(const std::string& menu, TTour tour) const override;
  void MovePointer(int x, int y) override;
  void OpenMenu(const std::string& menu) override;
  void CloseMenu() override;
  void InsertSample(TTourSample sample) override;
  void OpenDialog(TTour tour) override;

  // The command that opens the dialog of `tour` (none for the tours without one).
  static std::optional<TCommandId> DialogCommand(TTour tour);
  // Where the pointer was last sent.
  QPoint PointerTarget() const { return FPointerTarget; }
  // Whether a drawn pointer shows the path instead of the real one (on where the desktop
  // forbids moving the real one; tests switch it on).
  void SetDrawnPointer(bool drawn) { FDrawnPointer = drawn; }
  QWidget* DrawnPointer() const;

 private:
  QMenu* Menu(const std::string& name) const;
  QAction* CommandAction(TCommandId id) const;
  std::optional<TScreenRect> ItemRect(QMenu* menu, QAction* item) const;
  void Trigger(TCommandId id);

  QMainWindow& FWindow;
  QPoint FPointerTarget;
  bool FDrawnPointer = !PointerCanBeMoved();
  std::unique_ptr<TTourPointer> FPointer;
};

// The tour a dialog runs while a presentation is on: one step at once, then one per tick of the
// dialog's own timer; a step that presses a button is polled until the character is silent.
// Parented to the dialog, it ends with it.
class TDialogTourRunner : public QObject, public IDialogTourHost {
  Q_OBJECT
 public:
  TDialogTourRunner(QWidget& dialog, TTourVoice& voice, const TDialogTourScript& script);

  TScreenRect DialogRect() const override;
  std::optional<TScreenRect> ControlRect(const std::string& name) const override;
  void PressButton(const std::string& name) override;
  void TypeText(const std::string& control, const std::string& text) override;

  const TDialogTour& Tour() const { return FTour; }
  QTimer& Timer() { return FTimer; }
  // Runs one tick as the timer would (for tests).
  void Tick();
  // How often a step waiting for silence looks at the character.
  static constexpr int kPollInterval = 100;

 private:
  QWidget* Control(const std::string& name) const;
  void Poll();

  QWidget& FDialog;
  TDialogTour FTour;
  QTimer FTimer;
  QTimer FPoll;
};

}  // namespace ixoral
