// The options dialog ("Options"): the display driver and rendering mode with their test, the
// boolean operations, the background colour, the view records in documents and the tool box
// fixed beside the window, on two pages, "Affichage" and "Général".
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "commands/Options.h"
#include "ui/DialogFrame.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;

namespace ixoral {

class IPrompt;

class TFrmOptions : public TDialogFrame {
  Q_OBJECT
 public:
  // `apply` gives the main window what takes effect at once: the tool box fixed or not and the
  // background colour (0xRRGGBB).
  TFrmOptions(QWidget* parent, TSettingsStore& settings, IPrompt& prompt, bool toolboxFixed,
              std::function<void(bool toolboxFixed, uint32_t background)> apply);
  ~TFrmOptions() override;

  QListWidget* DriverList() const { return FDrivers; }
  QListWidget* ModeList() const { return FModes; }
  QListWidget* TestLog() const { return FLog; }
  QCheckBox* BooleanOperations() const { return FBoolean; }
  QCheckBox* SaveViews() const { return FSaveViews; }
  QCheckBox* ToolboxFixed() const { return FToolbox; }
  QPushButton* TestButton() const { return FTest; }
  QPushButton* Swatch() const { return FSwatch; }
  QComboBox* ViewStyle() const { return FStyle; }
  QComboBox* EdgeSamples() const { return FEdges; }
  QStackedWidget* Pages() const { return FPages; }
  // The field of "Carte sélectionnée" named `caption` ("Description :", "Driver :"...).
  QString CardField(const QString& caption) const;
  void SetBackground(uint32_t rgb);
  // Opens the colour chooser on the swatch (replaced by tests).
  std::function<std::optional<uint32_t>(uint32_t current)> ChooseColour;

 private:
  TOptionsState Chosen() const;
  void CreateDisplayPage();
  void CreateGeneralPage();
  void ShowCard();
  void RunTest();
  void ShowPage(int page);
  void Confirm();
  void RefreshTestButton();

  TSettingsStore& FSettings;
  IPrompt& FPrompt;
  std::function<void(bool, uint32_t)> FApply;
  std::unique_ptr<TDisplayDevice> FProbe;
  std::vector<TDriverEntry> FEntries;
  TOptionsState FOpened;
  uint32_t FBackground = 0;
  QStackedWidget* FPages = nullptr;
  QPushButton* FTabDisplay = nullptr;
  QPushButton* FTabGeneral = nullptr;
  QListWidget* FDrivers = nullptr;
  QListWidget* FModes = nullptr;
  QListWidget* FLog = nullptr;
  QCheckBox* FBoolean = nullptr;
  QComboBox* FStyle = nullptr;
  QComboBox* FEdges = nullptr;
  QCheckBox* FSaveViews = nullptr;
  QCheckBox* FToolbox = nullptr;
  QPushButton* FTest = nullptr;
  QPushButton* FSwatch = nullptr;
  std::vector<std::pair<QString, QLabel*>> FCard;
};

}  // namespace ixoral
