// Tips read aloud by the guide: the tips file (fixed records of 200 bytes in Windows-1252, each
// tip ended by a zero byte) and the assistant's state while it shows them — the mode, the
// visible flag, the current tip and the "Z" / "Y" commands of the character's menu.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "assistant/Presenter.h"
#include "assistant/Tours.h"
#include "platform/Prompt.h"

namespace ixoral {

inline constexpr const char* kTipsFileName = "IXORAL.TP";
inline constexpr long kTipRecordSize = 200;
inline constexpr const char* kCharacterId = "ActiveCar";
inline constexpr const char* kDefaultCharacter = "merlin.acs";
inline constexpr const char* kCmdNextTip = "Z";
inline constexpr const char* kCmdNextTipCaption = "Conseil Suivant";
inline constexpr const char* kCmdPreviousTip = "Y";
inline constexpr const char* kCmdPreviousTipCaption = "Conseil Précedent";
inline constexpr const char* kMsgTipsFileGone =
    "Le fichier de Tips IXORAL.TP n'existe plus reinstaller Ixoral pour reinstaller celui-ci";
inline constexpr const char* kMsgTipsFileMissing = "Le Fichier : IXORAL.TP n'existe pas";
inline constexpr const char* kMsgAgentLoaded = "Un Agent est deja chargé";

// One tips file on disk, read a record at a time so that its size does not matter. Bytes past the
// last whole record are not a tip.
class TTipsFile {
 public:
  explicit TTipsFile(std::string path) : FPath(std::move(path)) {}
  const std::string& Path() const { return FPath; }
  bool Exists() const;
  // Whole records in the file; 0 when it is missing.
  long Count() const;
  // The tip of record `index` (0-based) in UTF-8, cut at its zero byte or taken whole when the
  // record has none; empty when the record cannot be read.
  std::optional<std::string> Read(long index) const;

 private:
  std::string FPath;
};

// The starting tip for a random number `u` in [0, 1): round(u × count), so 0 … count; the
// display corrects 0 to the first tip.
long RandomTipIndex(double u, long count);

enum class TAssistantMode { None = 0, Presentations = 1, Tips = 2 };

// The guide's state kept by the main window, driving a presenter: tips, presentations and their
// tours. Messages reach the user through the prompt; events from the presenter are handed to the
// On… operations; the presentation timer belongs to the window, which hands its ticks to
// PresentationTick.
class TAssistant {
 public:
  TAssistant(IAssistantPresenter& presenter, IPrompt& prompt, std::string tipsPath, std::string characterFile);

  // "&Conseils": checks the file, picks the starting tip at random, loads and shows the
  // character with the tip commands and reads the tip.
  void StartTips();
  // Reads the tip at the current index, bringing an index out of range back to the first tip.
  void ShowCurrentTip();

  // "&Présentation": loads and shows the character with the twelve tour commands and welcomes
  // the user. The main window's tours act through `host`.
  void StartPresentations(IMainTourHost& host);
  // One tick of the presentation timer: the next step of the current tour.
  void PresentationTick();
  // Whether a dialog opening now should run its tour.
  bool PresentationRunning() const { return FVisible && FMode == TAssistantMode::Presentations; }
  // The moves of the character, for the dialogs' tours.
  TTourVoice& Voice() { return FVoice; }
  const TPresentation* Presentation() const { return FPresentation.get(); }

  void OnShown();
  void OnHidden();
  void OnCommand(const std::string& name);
  void OnRequestComplete(TRequestId) { ++FRequests; }

  // The character file the next load reads (the one loaded stays until it is hidden).
  void SetCharacterFile(std::string file) { FCharacterFile = file.empty() ? kDefaultCharacter : std::move(file); }
  // Files tried in turn when the character file cannot be read (the shipped character after the
  // user's own); the failure is still told, once.
  void SetFallbackCharacters(std::vector<std::string> files) { FFallbacks = std::move(files); }

  // Seed of the starting tip's random draw; by default taken from the clock.
  void SetSeed(uint32_t seed) { FSeed = seed; }
  // Where the character stands when it appears (screen point of its top-left corner).
  std::function<std::pair<int, int>(int width, int height)> Placement;
  // The presentation timer of the window: started by presentations and tour commands, stopped
  // when tips start.
  std::function<void()> StartPresentationTimer;
  std::function<void()> StopPresentationTimer;

  TAssistantMode Mode() const { return FMode; }
  bool CharacterVisible() const { return FVisible; }
  long TipIndex() const { return FTipIndex; }
  long Requests() const { return FRequests; }
  const TTipsFile& TipsFile() const { return FTips; }

 private:
  void AddTipCommands();
  void Place();
  // Loads the character file under its identifier, telling the user why when it cannot be read.
  bool LoadCharacter();

  IAssistantPresenter& FPresenter;
  IPrompt& FPrompt;
  TTipsFile FTips;
  std::vector<std::string> FFallbacks;
  std::string FCharacterFile;
  std::optional<uint32_t> FSeed;
  TAssistantMode FMode = TAssistantMode::None;
  bool FVisible = false;
  long FTipIndex = 0;
  long FRequests = 0;
  TTourVoice FVoice;
  std::unique_ptr<TPresentation> FPresentation;
};

}  // namespace ixoral
