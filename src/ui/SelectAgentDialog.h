// "Selection de l'agent": the characters found in the user's and the installed character folders,
// one at a time in a preview where it rests and breathes, with its name, version, description
// and extra data; "&OK" keeps the one shown as the assistant's character.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "assistant/CharacterFolders.h"
#include "assistant/CharacterPlayer.h"
#include "ui/DialogFrame.h"

class QLineEdit;
class QPushButton;

namespace ixoral {

class TSettingsStore;

inline constexpr const char* kSelectAgentCaption = "Selection de l'agent";
inline constexpr int kSelectAgentTitleTab = 180;
inline constexpr const char* kAgentSetting = "MsAgent";

// The preview: the character's "Idle" frames, centred in the panel whatever its size.
class TCharacterPreview : public QWidget {
  Q_OBJECT
 public:
  explicit TCharacterPreview(QWidget* owner);
  // Shows `character` (null: nothing) and starts its resting animation.
  void SetCharacter(std::shared_ptr<const TCharacterData> character);
  const TFramePlayer& Player() const { return FPlayer; }
  // Where the frame is drawn, in the panel's coordinates (empty when there is none).
  QRect FrameRect() const;

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  TFramePlayer FPlayer;
};

class TSelectAgent : public TDialogFrame {
  Q_OBJECT
 public:
  TSelectAgent(QWidget* parent, TSettingsStore& settings, const std::vector<std::string>& folders = CharacterFolders());

  const std::vector<TCharacterEntry>& Entries() const { return FEntries; }
  // The entry shown, -1 when there is none.
  int Current() const { return FCurrent; }
  TCharacterPreview* Preview() const { return FPreview; }

 private:
  void ShowEntry(int index);
  void Confirm();

  TSettingsStore& FSettings;
  std::vector<TCharacterEntry> FEntries;
  std::vector<std::shared_ptr<const TCharacterData>> FLoaded;  // read once each, when first shown
  std::vector<std::string> FErrors;
  int FCurrent = -1;
  TCharacterPreview* FPreview = nullptr;
  QLineEdit *FName = nullptr, *FVersion = nullptr, *FDescription = nullptr, *FExtra = nullptr;
  QPushButton *FNext = nullptr, *FPrevious = nullptr;
};

}  // namespace ixoral
