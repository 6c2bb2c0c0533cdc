// The options dialog.
#include "ui/OptionsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QColorDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "commands/Help.h"
#include "platform/Prompt.h"
#include "ui/QtPlatform.h"

namespace ixoral {

namespace {

const char* const kCardCaptions[] = {"Description :", "Driver :",    "Guid Driver :", "Vendor Id :",
                                     "Device Id :",   "SubSys Id :", "Revision :",    "Guid Carte :"};

}  // namespace

TFrmOptions::TFrmOptions(QWidget* parent, TSettingsStore& settings, IPrompt& prompt, bool toolboxFixed,
                         std::function<void(bool, uint32_t)> apply)
    : TDialogFrame(parent, QStringLiteral("Options"), kDefaultTitleTab, QString::fromUtf8(help::Interface)),
      FSettings(settings),
      FPrompt(prompt),
      FApply(std::move(apply)) {
  setObjectName(QStringLiteral("FrmOptions"));
  SetTour(TTour::Options);
  ChooseColour = [this](uint32_t current) -> std::optional<uint32_t> {
    const QColor c = QColorDialog::getColor(QColor::fromRgb(current), this, QStringLiteral("Couleur de fond"));
    if (!c.isValid()) return std::nullopt;
    return c.rgb() & 0xFFFFFF;
  };
  auto* layout = new QVBoxLayout(Body());
  layout->setContentsMargins(14, 10, 14, 12);
  auto* tabs = new QHBoxLayout;
  FTabDisplay = new QPushButton(QStringLiteral("Affichage"), Body());
  FTabDisplay->setObjectName(QStringLiteral("TabAffichage"));
  FTabGeneral = new QPushButton(QStringLiteral("Général"), Body());
  FTabGeneral->setObjectName(QStringLiteral("TabGeneral"));
  for (QPushButton* t : {FTabDisplay, FTabGeneral}) {
    t->setCheckable(true);
    t->setFlat(false);
    tabs->addWidget(t);
  }
  tabs->addStretch(1);
  layout->addLayout(tabs);
  FPages = new QStackedWidget(Body());
  layout->addWidget(FPages, 1);

  CreateDisplayPage();
  CreateGeneralPage();

  const TButtonRow buttons = NewOkRow(QStringLiteral("&Fermer"), kAtRight | kOkDefault);
  QPushButton* ok = buttons.Ok;
  QPushButton* close = buttons.Close;
  layout->addLayout(buttons.Row);

  // What is stored, shown.
  FOpened = ReadOptions(settings, toolboxFixed);
  FProbe = std::make_unique<TDisplayDevice>(20, 20, nullptr, nullptr);
  FEntries = ListDrivers(*FProbe);
  for (const TDriverEntry& e : FEntries) FDrivers->addItem(ToQt(e.Text));
  const int selected = SelectDriver(FEntries, FOpened.Driver);
  FDrivers->setCurrentRow(selected);
  // The driver "read at opening" is the one shown selected: a stored identifier that names no
  // driver here selects the first, and confirming unchanged then asks for no restart.
  if (selected >= 0) FOpened.Driver = FEntries[static_cast<size_t>(selected)].Guid.value_or("");
  FModes->setCurrentRow(FOpened.Mode);
  FBoolean->setChecked(FOpened.BooleanOperations);
  FSaveViews->setChecked(FOpened.SaveViews);
  FToolbox->setChecked(FOpened.ToolboxFixed);
  SetBackground(FOpened.Background);
  FStyle->setCurrentIndex(FOpened.Look.Style == TViewStyle::Moderne ? 1 : 0);
  FEdges->setCurrentIndex(std::max(0, FEdges->findData(FOpened.Look.EdgeSamples)));
  ShowCard();
  RefreshTestButton();
  ShowPage(0);

  connect(FTabDisplay, &QPushButton::clicked, this, [this] { ShowPage(0); });
  connect(FTabGeneral, &QPushButton::clicked, this, [this] { ShowPage(1); });
  connect(FDrivers, &QListWidget::currentRowChanged, this, [this] {
    ShowCard();
    RefreshTestButton();
  });
  connect(FModes, &QListWidget::currentRowChanged, this, &TFrmOptions::RefreshTestButton);
  connect(FTest, &QPushButton::clicked, this, &TFrmOptions::RunTest);
  connect(FSwatch, &QPushButton::clicked, this, [this] {
    if (const auto c = ChooseColour(FBackground)) SetBackground(*c);
  });
  connect(ok, &QPushButton::clicked, this, &TFrmOptions::Confirm);
  connect(close, &QPushButton::clicked, this, &TFrmOptions::reject);
  resize(560, 520);
}

// "Affichage": drivers, mode, boolean operations, the selected card, the test.
void TFrmOptions::CreateDisplayPage() {
  auto* display = new QWidget(FPages);
  auto* d = new QGridLayout(display);
  d->addWidget(new QLabel(QStringLiteral("Cartes disponibles"), display), 0, 0);
  FDrivers = new QListWidget(display);
  FDrivers->setObjectName(QStringLiteral("CartesDisponibles"));
  d->addWidget(FDrivers, 1, 0);
  d->addWidget(new QLabel(QStringLiteral("Mode de rendu"), display), 0, 1);
  FModes = new QListWidget(display);
  FModes->setObjectName(QStringLiteral("ModeDeRendu"));
  for (const char* m : kModeCaptions) FModes->addItem(QString::fromUtf8(m));
  // What each mode really is on this machine.
  FModes->item(0)->setToolTip(QStringLiteral("Le rendu logiciel d'Ixoral"));
  FModes->item(1)->setToolTip(QStringLiteral(
      "Sans carte accélérée utilisable par Ixoral, ce mode dessine aussi avec le rendu logiciel, sur tous les cœurs"));
  d->addWidget(FModes, 1, 1);
  FBoolean = new QCheckBox(QStringLiteral("Afficher les opérations booléennes"), display);
  FBoolean->setObjectName(QStringLiteral("OpBool"));
  d->addWidget(FBoolean, 2, 0, 1, 2);
  auto* card = new QGroupBox(QStringLiteral("Carte sélectionnée"), display);
  card->setObjectName(QStringLiteral("CarteSelectionnee"));
  auto* form = new QFormLayout(card);
  for (const char* caption : kCardCaptions) {
    auto* value = new QLabel(card);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(QString::fromUtf8(caption), value);
    FCard.emplace_back(QString::fromUtf8(caption), value);
  }
  d->addWidget(card, 3, 0, 1, 2);
  FTest = new QPushButton(QStringLiteral("Tester les parmètres"), display);
  FTest->setObjectName(QStringLiteral("Tester"));
  d->addWidget(FTest, 4, 0);
  FLog = new QListWidget(display);
  FLog->setObjectName(QStringLiteral("Journal"));
  FLog->setMaximumHeight(70);
  d->addWidget(FLog, 5, 0, 1, 2);
  // How the views look: the classic drawing, or the modern one with its edge smoothing.
  auto* look = new QHBoxLayout;
  look->addWidget(new QLabel(QStringLiteral("Style des vues"), display));
  FStyle = new QComboBox(display);
  FStyle->setObjectName(QStringLiteral("StyleVues"));
  for (const char* name : kViewStyleNames) FStyle->addItem(QString::fromUtf8(name));
  look->addWidget(FStyle);
  look->addWidget(new QLabel(QStringLiteral("Anticrénelage"), display));
  FEdges = new QComboBox(display);
  FEdges->setObjectName(QStringLiteral("Anticrenelage"));
  for (int samples : kEdgeSampleChoices)
    FEdges->addItem(samples == 0 ? QStringLiteral("Aucun") : QStringLiteral("%1 échantillons").arg(samples), samples);
  FEdges->setToolTip(QStringLiteral("Lissage des arêtes en style Moderne : pixels suivis le long de chaque arête"));
  look->addWidget(FEdges);
  look->addStretch(1);
  d->addLayout(look, 6, 0, 1, 2);
  FPages->addWidget(display);
}

// "Général": background colour, view records, tool box.
void TFrmOptions::CreateGeneralPage() {
  auto* general = new QWidget(FPages);
  auto* g = new QVBoxLayout(general);
  auto* colourRow = new QHBoxLayout;
  colourRow->addWidget(new QLabel(QStringLiteral("Couleur de fond"), general));
  FSwatch = new QPushButton(general);
  FSwatch->setObjectName(QStringLiteral("CouleurFond"));
  FSwatch->setFixedSize(60, 24);
  colourRow->addWidget(FSwatch);
  colourRow->addStretch(1);
  g->addLayout(colourRow);
  FSaveViews =
      new QCheckBox(QStringLiteral("Enregistrement des parametres de vue dans les fichiers ixr (conseillé)"), general);
  FSaveViews->setObjectName(QStringLiteral("EXPORT11"));
  g->addWidget(FSaveViews);
  FToolbox = new QCheckBox(QStringLiteral("Boite à outils fixe"), general);
  FToolbox->setObjectName(QStringLiteral("BoiteFixe"));
  g->addWidget(FToolbox);
  g->addStretch(1);
  FPages->addWidget(general);
}

TFrmOptions::~TFrmOptions() = default;

QString TFrmOptions::CardField(const QString& caption) const {
  for (const auto& [c, label] : FCard)
    if (c == caption) return label->text();
  return {};
}

void TFrmOptions::SetBackground(uint32_t rgb) {
  FBackground = rgb & 0xFFFFFF;
  FSwatch->setStyleSheet(
      QStringLiteral("background-color: #%1; border: 1px solid black;").arg(FBackground, 6, 16, QLatin1Char('0')));
}

void TFrmOptions::ShowPage(int page) {
  FPages->setCurrentIndex(page);
  // The active tab is drawn lowered, the other raised.
  FTabDisplay->setChecked(page == 0);
  FTabGeneral->setChecked(page == 1);
}

void TFrmOptions::ShowCard() {
  const int row = FDrivers->currentRow();
  const TDriverEntry* e =
      row >= 0 && row < static_cast<int>(FEntries.size()) ? &FEntries[static_cast<size_t>(row)] : nullptr;
  const std::string values[] = {
      e ? e->Description : "", e ? e->DriverName : "", e ? (e->Guid ? *e->Guid : kNotAvailable) : "",
      e ? e->VendorId : "",    e ? e->DeviceId : "",   e ? e->SubSysId : "",
      e ? e->Revision : "",    e ? e->CardGuid : ""};
  for (size_t k = 0; k < FCard.size(); ++k) FCard[k].second->setText(ToQt(values[k]));
}

void TFrmOptions::RefreshTestButton() { FTest->setEnabled(FDrivers->currentRow() >= 0 && FModes->currentRow() >= 0); }

void TFrmOptions::RunTest() {
  FLog->clear();
  for (const std::string& line :
       TestDisplay(*FProbe, FDrivers->currentRow(), FModes->currentRow(), FBoolean->isChecked()))
    FLog->addItem(ToQt(line));
}

TOptionsState TFrmOptions::Chosen() const {
  TOptionsState s = FOpened;
  s.Mode = std::max(0, FModes->currentRow());
  s.BooleanOperations = FBoolean->isChecked();
  s.SaveViews = FSaveViews->isChecked();
  const int row = FDrivers->currentRow();
  // The entry without identifier is the primary display driver: nothing is stored for it.
  if (row >= 0 && row < static_cast<int>(FEntries.size()))
    s.Driver = FEntries[static_cast<size_t>(row)].Guid.value_or("");
  s.Background = FBackground;
  s.ToolboxFixed = FToolbox->isChecked();
  s.Look.Style = FStyle->currentIndex() == 1 ? TViewStyle::Moderne : TViewStyle::Classique;
  s.Look.EdgeSamples = FEdges->currentData().toInt();
  return s;
}

void TFrmOptions::Confirm() {
  const TOptionsState chosen = Chosen();
  if (WriteOptions(FSettings, FOpened, chosen)) FPrompt.Information(kMsgRestart);
  if (FApply) FApply(chosen.ToolboxFixed, chosen.Background);
  accept();
}

}  // namespace ixoral
