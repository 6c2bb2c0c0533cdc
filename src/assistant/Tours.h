// The guided tours: the twelve commands of the character's menu in a presentation, the tours of
// the main window (which open menus, insert a sample object and open a dialog) and the tours of
// the dialogs (which point at each control in turn, type a sample text and press the dialog's own
// buttons). Each tour advances one step per tick of its timer; nothing here waits or draws: the
// presenter and the window behind a host do the work.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "assistant/Presenter.h"

namespace ixoral {

enum class TTour : int {
  Welcome = 0,
  Printing = 1,
  Light = 2,
  Quick = 3,
  Torsion = 4,
  Noise = 5,
  TextEditor = 6,
  CurveEditor = 7,
  Options = 8,
  Envelope = 9,
  PointMode = 10,
  Texture = 11,
  ViewParameters = 12,
};

inline constexpr int kPresentationInterval = 7000;
inline constexpr int kDialogTourInterval = 7000;
inline constexpr int kPointModeTourInterval = 5000;

struct TTourCommand {
  const char* Name;
  const char* Caption;
  TTour Tour;
};

// The twelve commands "A" … "L" as the character's menu lists them.
const std::array<TTourCommand, 12>& TourCommands();
// The tour a command selects by its first letter; none for any other name.
std::optional<TTour> TourOfCommand(const std::string& name);

// A rectangle on the screen.
struct TScreenRect {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  int CentreX() const { return Left + Width / 2; }
  int CentreY() const { return Top + Height / 2; }
};

// The sample object a tool tour inserts.
enum class TTourSample { PiercedCube, Torus };

// What the main window's tours need of the main window. Menus, submenus and controls are named
// by their object names ("mnuOutils", "mnuInserer"); a dialog's menu item by its tour.
class IMainTourHost {
 public:
  virtual ~IMainTourHost() = default;
  virtual TScreenRect WindowRect() const = 0;
  virtual std::optional<TScreenRect> ControlRect(const std::string& name) const = 0;
  virtual std::optional<TScreenRect> MenuTitleRect(const std::string& menu) const = 0;
  // A submenu's item in an open menu, by the submenu's object name.
  virtual std::optional<TScreenRect> MenuItemRect(const std::string& menu, const std::string& submenu) const = 0;
  // The item of an open menu that opens the dialog of `tour` (the window knows its command).
  virtual std::optional<TScreenRect> DialogItemRect(const std::string& menu, TTour tour) const = 0;
  // Moves the mouse pointer, or where the desktop forbids it, shows a drawn pointer going there.
  virtual void MovePointer(int x, int y) = 0;
  // Opens a menu of the menu bar as Alt and its underlined letter would.
  virtual void OpenMenu(const std::string& menu) = 0;
  virtual void CloseMenu() = 0;
  virtual void InsertSample(TTourSample sample) = 0;
  // Opens the dialog a tour presents; the dialog's own tour then goes on.
  virtual void OpenDialog(TTour tour) = 0;
};

// What a dialog's tour needs of its dialog.
class IDialogTourHost {
 public:
  virtual ~IDialogTourHost() = default;
  virtual TScreenRect DialogRect() const = 0;
  virtual std::optional<TScreenRect> ControlRect(const std::string& name) const = 0;
  virtual void PressButton(const std::string& name) = 0;
  virtual void TypeText(const std::string& control, const std::string& text) = 0;
};

// The small moves every step makes, each doing nothing while the character is not shown.
class TTourVoice {
 public:
  TTourVoice(IAssistantPresenter& presenter, std::function<bool()> visible)
      : FPresenter(presenter), FVisible(std::move(visible)) {}
  bool Visible() const { return FVisible && FVisible(); }
  void MoveTo(int x, int y);
  void PointAt(int x, int y);
  void Speak(const std::string& text);
  void Play(const std::string& animation);
  // Stands beside `rect`, to its left and vertically centred on it, and points at it.
  void PointAtControl(const TScreenRect& rect);
  IAssistantPresenter& Presenter() const { return FPresenter; }

 private:
  IAssistantPresenter& FPresenter;
  std::function<bool()> FVisible;
};

// The tours of the main window, one step per tick of the presentation timer.
class TPresentation {
 public:
  TPresentation(TTourVoice& voice, IMainTourHost& host) : FVoice(voice), FHost(host) {}
  // Starts `tour` at its first step (the next tick runs step 1).
  void Select(TTour tour) {
    FTour = tour;
    FStep = 0;
  }
  // One step of the current tour; nothing while the character is hidden or once the tour ended.
  void Tick();
  TTour Tour() const { return FTour; }
  int Step() const { return FStep; }

 private:
  void ToolTour(const std::array<const char*, 5>& sentences, TTourSample sample);
  void DialogTour(const std::array<const char*, 3>& sentences, const char* menu);
  void QuickTour();
  void StandAside();
  // Goes to `menu`, opens it and points at `submenu`, or with none at the item of this tour's dialog.
  void MenuStep(const char* sentence, const char* menu, const char* submenu);

  TTourVoice& FVoice;
  IMainTourHost& FHost;
  TTour FTour = TTour::Welcome;
  int FStep = 0;
};

// One step of a dialog's tour: the sentence, the control pointed at (none for the introduction),
// the text typed into that control, the button pressed once the character has finished speaking,
// and the control pointed at instead while the first one is not shown.
struct TDialogTourStep {
  const char* Sentence;
  const char* Control = nullptr;
  const char* Typed = nullptr;
  const char* Press = nullptr;
  const char* StandIn = nullptr;
};

struct TDialogTourScript {
  TTour Tour;
  int Interval;
  std::vector<TDialogTourStep> Steps;
};

// The dialog tour of `tour`; none for the welcome and the quick tour.
const TDialogTourScript* DialogTourScript(TTour tour);

// A dialog's tour: its own step counter, one step per tick of the dialog's timer. A step that
// presses a button holds the tour until the character is silent; `Poll` presses it then.
class TDialogTour {
 public:
  TDialogTour(TTourVoice& voice, IDialogTourHost& host, const TDialogTourScript& script)
      : FVoice(voice), FHost(host), FScript(script) {}
  void Tick();
  // Presses the awaited button once the character has spoken and gone quiet. True when no press
  // is awaited any more.
  bool Poll();
  bool Waiting() const { return FPress != nullptr; }
  bool Finished() const { return FStep >= static_cast<int>(FScript.Steps.size()) && !FPress; }
  int Step() const { return FStep; }
  const TDialogTourScript& Script() const { return FScript; }
  // How many polls may pass before the awaited speech starts, after which the button is pressed
  // anyway (a request dropped by a stop would otherwise hold the tour for ever).
  static constexpr int kPollsBeforeSpeech = 100;

 private:
  TTourVoice& FVoice;
  IDialogTourHost& FHost;
  const TDialogTourScript& FScript;
  int FStep = 0;
  const char* FPress = nullptr;
  bool FHeardSpeech = false;
  int FPolls = 0;
};

}  // namespace ixoral
