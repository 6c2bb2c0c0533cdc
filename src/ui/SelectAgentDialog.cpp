#include "ui/SelectAgentDialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "commands/Preferences.h"
#include "platform/Settings.h"

namespace ixoral {

TCharacterPreview::TCharacterPreview(QWidget* owner) : QWidget(owner) {
  setObjectName(QStringLiteral("panApercu"));
  setMinimumSize(200, 190);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, QColor(214, 226, 255));
  setPalette(pal);
  FPlayer.SetResting(kAnimIdle);
  FPlayer.Changed = [this] { update(); };
}

void TCharacterPreview::SetCharacter(std::shared_ptr<const TCharacterData> character) {
  FPlayer.SetCharacter(std::move(character));
  FPlayer.Play(kAnimIdle);
  update();
}

QRect TCharacterPreview::FrameRect() const {
  const QImage* frame = FPlayer.Frame();
  if (!frame) return {};
  QRect r(QPoint(0, 0), frame->size());
  r.moveCenter(rect().center());
  return r;
}

void TCharacterPreview::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setPen(QColor(90, 110, 170));
  p.drawRect(rect().adjusted(0, 0, -1, -1));
  if (const QImage* frame = FPlayer.Frame()) p.drawImage(FrameRect().topLeft(), *frame);
}

TSelectAgent::TSelectAgent(QWidget* parent, TSettingsStore& settings, const std::vector<std::string>& folders)
    : TDialogFrame(parent, QString::fromUtf8(kSelectAgentCaption), kSelectAgentTitleTab),
      FSettings(settings),
      FEntries(ListCharacters(folders)) {
  setObjectName(QStringLiteral("SelectAgent"));
  FLoaded.resize(FEntries.size());
  FErrors.resize(FEntries.size());
  auto* layout = new QHBoxLayout(Body());
  layout->setContentsMargins(16, 14, 16, 16);
  FPreview = new TCharacterPreview(Body());
  layout->addWidget(FPreview, 1);

  auto* side = new QVBoxLayout;
  auto* form = new QFormLayout;
  auto field = [&](const char* label, const char* name) {
    auto* edit = new QLineEdit(Body());
    edit->setObjectName(QString::fromLatin1(name));
    edit->setReadOnly(true);
    edit->setMinimumWidth(220);
    form->addRow(QString::fromUtf8(label), edit);
    return edit;
  };
  FName = field("Nom :", "edNom");
  FVersion = field("Version :", "edVersion");
  FDescription = field("Description :", "edDescription");
  FExtra = field("Extra Data :", "edExtraData");
  side->addLayout(form);
  side->addStretch(1);
  auto* moves = new QHBoxLayout;
  FPrevious = new QPushButton(QString::fromUtf8("&Précédent"), Body());
  FPrevious->setObjectName(QStringLiteral("btnPrecedent"));
  FNext = new QPushButton(QStringLiteral("&Suivant"), Body());
  FNext->setObjectName(QStringLiteral("btnSuivant"));
  moves->addWidget(FPrevious);
  moves->addWidget(FNext);
  side->addLayout(moves);
  const TButtonRow closing = NewOkRow(QStringLiteral("&Fermer"), kAtRight | kOkDefault, QStringLiteral("btn"));
  QPushButton* ok = closing.Ok;
  QPushButton* close = closing.Close;
  side->addLayout(closing.Row);
  layout->addLayout(side);

  connect(FNext, &QPushButton::clicked, this, [this] { ShowEntry(FCurrent + 1); });
  connect(FPrevious, &QPushButton::clicked, this, [this] { ShowEntry(FCurrent - 1); });
  connect(ok, &QPushButton::clicked, this, &TSelectAgent::Confirm);
  connect(close, &QPushButton::clicked, this, &TSelectAgent::reject);
  resize(560, 300);
  ShowEntry(0);
}

void TSelectAgent::ShowEntry(int index) {
  const int count = static_cast<int>(FEntries.size());
  FCurrent = count == 0 ? -1 : std::clamp(index, 0, count - 1);
  FPrevious->setEnabled(FCurrent > 0);
  FNext->setEnabled(FCurrent >= 0 && FCurrent + 1 < count);
  if (FCurrent < 0) {
    FPreview->SetCharacter(nullptr);
    return;
  }
  const size_t k = static_cast<size_t>(FCurrent);
  if (!FLoaded[k] && FErrors[k].empty()) {
    FLoaded[k] = LoadCharacterData(FEntries[k].Path, FErrors[k]);
    if (!FLoaded[k] && FErrors[k].empty()) FErrors[k] = kMsgCharacterUnreadable;
  }
  FPreview->SetCharacter(FLoaded[k]);
  if (const auto& c = FLoaded[k]) {
    FName->setText(QString::fromStdString(c->Info.Name));
    FVersion->setText(QString::fromStdString(c->Info.Version));
    FDescription->setText(QString::fromStdString(c->Info.Description));
    FExtra->setText(QString::fromStdString(c->Info.ExtraData));
  } else {
    // A file that cannot be read is still listed; the reason stands in its description.
    FName->setText(QString::fromStdString(FEntries[k].Name));
    FVersion->clear();
    FDescription->setText(QString::fromStdString(FErrors[k]));
    FExtra->clear();
  }
  for (QLineEdit* e : {FName, FVersion, FDescription, FExtra}) e->setCursorPosition(0);
}

void TSelectAgent::Confirm() {
  if (FCurrent >= 0) FSettings.WriteString(kOptionsKey, kAgentSetting, FEntries[static_cast<size_t>(FCurrent)].Name);
  accept();
}

}  // namespace ixoral
