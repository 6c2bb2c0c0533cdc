// "Appliquer une texture à un objet": a picture file chosen among the folders, tried on the
// preview.
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

#include "tools/images/Image.h"
#include "ui/QtPlatform.h"
#include "ui/ScenePanel.h"
#include "ui/ToolDialogs.h"

namespace ixoral {

TFrmTexturer::TFrmTexturer(QWidget* parent, TModeller& modeller, IPrompt& prompt, TSettingsStore* settings, int index)
    : TToolDialog(parent, QStringLiteral("Appliquer une texture à un objet"), modeller, prompt, settings, index, 300) {
  setObjectName(QStringLiteral("FrmTexturer"));
  SetTour(TTour::Texture);

  // The file choice: places, folders, picture files.
  auto* left = new QVBoxLayout;
  FPlaces = new QComboBox(Body());
  FPlaces->setObjectName(QStringLiteral("SelectDrive"));
  FPlaceList = TexturePlaces();
  for (const TPlace& p : FPlaceList) FPlaces->addItem(ToQt(p.Label), ToQt(p.Path));
  left->addWidget(FPlaces);
  FFolderLabel = new QLabel(Body());
  FFolderLabel->setObjectName(QStringLiteral("Dossier"));
  FFolderLabel->setWordWrap(true);
  left->addWidget(FFolderLabel);
  auto* lists = new QHBoxLayout;
  FFolders = new QListWidget(Body());
  FFolders->setObjectName(QStringLiteral("SelectDir"));
  FFiles = new QListWidget(Body());
  FFiles->setObjectName(QStringLiteral("SelectFile"));
  FFiles->setToolTip(ToQt(ImageFileMask()));
  FFolders->setFixedSize(160, 200);
  FFiles->setFixedSize(160, 200);
  lists->addWidget(FFolders);
  lists->addWidget(FFiles);
  left->addLayout(lists);
  FFileField = new QLineEdit(Body());
  FFileField->setObjectName(QStringLiteral("Fichier"));
  left->addWidget(FFileField);
  FPicture = new QLabel(Body());
  FPicture->setObjectName(QStringLiteral("imgApercu"));
  FPicture->setFixedSize(120, 90);
  FPicture->setFrameShape(QFrame::Box);
  FPicture->setScaledContents(true);
  FPictureNote = new QLabel(Body());
  FPictureNote->setObjectName(QStringLiteral("NoteImage"));
  FPictureNote->setWordWrap(true);
  FPictureNote->setStyleSheet(QStringLiteral("color: rgb(150, 0, 0);"));
  auto* pictureRow = new QHBoxLayout;
  pictureRow->addWidget(FPicture);
  pictureRow->addWidget(FPictureNote, 1);
  left->addLayout(pictureRow);
  AddColumn(left);

  connect(FPlaces, &QComboBox::activated, this, [this](int k) { SetFolder(FPlaces->itemData(k).toString()); });
  connect(FFolders, &QListWidget::itemActivated, this,
          [this](QListWidgetItem* item) { SetFolder(QDir::cleanPath(FFolder + QLatin1Char('/') + item->text())); });
  connect(FFiles, &QListWidget::currentTextChanged, this, [this](const QString& name) {
    FFileField->setText(name);
    ShowPicture();
  });
  connect(FFiles, &QListWidget::itemDoubleClicked, this, [this] { ApplyTexture(); });
  connect(FFileField, &QLineEdit::returnPressed, this, [this] { ApplyTexture(); });

  // The preview and its two tools; the object shows solid.
  auto* right = new QVBoxLayout;
  right->addLayout(CreateRotationZoomTools());
  right->addWidget(CreateObjectPreview(260, 240, true));
  if (FDrawn) FDrawn->Renderer.ShowGrid = true;
  ShowFill(true);
  AddLastColumn(right, {.Apply = true});
  resize(660, 480);

  // The folder of the object's texture when it has one, else the document's, else the first place.
  const TSolidObject* solid = FMain.SolidAt(FIndex);
  QString own = solid && !solid->TextureFile.empty() ? QFileInfo(ToQt(solid->TextureFile)).absolutePath() : QString();
  if (own.isEmpty() && !FMain.FileName.empty()) own = QFileInfo(ToQt(FMain.FileName)).absolutePath();
  if (own.isEmpty() || !SetFolder(own))
    if (!FPlaceList.empty()) SetFolder(ToQt(FPlaceList.front().Path));
  Redraw();
}

bool TFrmTexturer::SetFolder(const QString& folder) {
  std::vector<std::string> folders, files;
  std::string message;
  if (!ListTextureFolder(FromQt(folder), folders, files, message)) {
    FPrompt.Error(message);
    return false;
  }
  FFolder = folder;
  FFolderLabel->setText(folder);
  FFolders->clear();
  for (const auto& f : folders) FFolders->addItem(ToQt(f));
  FFiles->clear();
  for (const auto& f : files) FFiles->addItem(ToQt(f));
  return true;
}

bool TFrmTexturer::SelectFile(const QString& name) {
  const auto found = FFiles->findItems(name, Qt::MatchExactly);
  if (found.isEmpty()) return false;
  FFiles->setCurrentItem(found.front());
  return true;
}

QString TFrmTexturer::CurrentPath() const {
  const QString name = FFileField->text();
  if (name.isEmpty()) return {};
  return QFileInfo(name).isAbsolute() ? name : QDir(FFolder).filePath(name);
}

void TFrmTexturer::ShowPicture() {
  const QString path = CurrentPath();
  if (path.isEmpty() || !QFileInfo(path).isFile()) return;
  TImage image;
  std::string message;
  // A picture that cannot be read leaves the previous one; the note says why.
  if (!LoadImageFile(FromQt(path), image, message)) {
    FPictureNote->setText(ToQt(message));
    return;
  }
  FPictureNote->clear();
  FPicture->setPixmap(QPixmap::fromImage(ToQImage(image)));
}

bool TFrmTexturer::ApplyTexture() {
  const QString path = CurrentPath();
  if (path.isEmpty() || !FDrawn) return false;
  std::string message;
  if (!ApplyTexturePreview(FDrawn->Scene, FShown, FromQt(path), message)) {
    FPrompt.Error(message);
    return false;
  }
  FChosen = path;
  Redraw();
  return true;
}

void TFrmTexturer::Accept() {
  if (FDrawn && !FChosen.isEmpty())
    FModeller.ApplyToolResult(Target(), FDrawn->Scene, TModeller::TToolResult::Texture, FromQt(FChosen));
  accept();
}

}  // namespace ixoral
