// Message boxes, clipboard and file dialogs.
#include "ui/QtPlatform.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "document/PictureExport.h"
#include "tools/images/Image.h"
#include "ui/ResolutionDialog.h"

namespace ixoral {

QString ToQt(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

std::string FromQt(const QString& s) { return s.toUtf8().toStdString(); }

QImage ToQImage(const TImage& picture) {
  QImage image(picture.Width, picture.Height, QImage::Format_RGB32);
  for (int y = 0; y < picture.Height; ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < picture.Width; ++x) row[x] = 0xFF000000u | picture.PixelAt(x, y);
  }
  return image;
}

QStringList FileDialogFilters(const std::string& filter) {
  const QStringList parts = ToQt(filter).split('|');
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    // "Ixoral (*.ixr)" already names its pattern; Qt reads the pattern from the parentheses.
    out << parts[i];
  }
  return out;
}

namespace {

QMessageBox::StandardButton Ask(QWidget* parent, QMessageBox::Icon icon, const std::string& text,
                                QMessageBox::StandardButtons buttons) {
  // A message comes above everything: the start-up picture, which stays on top, leaves first.
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && (w->windowFlags() & Qt::WindowType_Mask) == Qt::SplashScreen) w->hide();
  QMessageBox box(icon, QApplication::applicationName(), ToQt(text), buttons, parent);
  // French captions, whether or not Qt's own translations could be loaded.
  if (auto* b = box.button(QMessageBox::Yes)) b->setText(QStringLiteral("&Oui"));
  if (auto* b = box.button(QMessageBox::No)) b->setText(QStringLiteral("&Non"));
  if (auto* b = box.button(QMessageBox::Cancel)) b->setText(QStringLiteral("&Annuler"));
  if (auto* b = box.button(QMessageBox::Ok)) b->setText(QStringLiteral("&OK"));
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

void TQtPrompt::Information(const std::string& text) { Ask(FParent, QMessageBox::Information, text, QMessageBox::Ok); }

void TQtPrompt::Error(const std::string& text) { Ask(FParent, QMessageBox::Critical, text, QMessageBox::Ok); }

bool TQtPrompt::YesNo(const std::string& question) {
  return Ask(FParent, QMessageBox::Question, question, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

TAnswer TQtPrompt::YesNoCancel(const std::string& question) {
  switch (Ask(FParent, QMessageBox::Question, question, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel)) {
    case QMessageBox::Yes:
      return TAnswer::Yes;
    case QMessageBox::No:
      return TAnswer::No;
    default:
      return TAnswer::Cancel;
  }
}

std::string TQtClipboard::GetText() { return FromQt(QGuiApplication::clipboard()->text()); }

void TQtClipboard::SetText(const std::string& text) { QGuiApplication::clipboard()->setText(ToQt(text)); }

std::optional<std::string> TQtFileChooser::ChooseDocumentToOpen() {
  const QString path = QFileDialog::getOpenFileName(FParent, QStringLiteral("Ouvrir"), FFolder,
                                                    FileDialogFilters(kFilterOpen).join(";;"));
  if (path.isEmpty()) return std::nullopt;
  FFolder = QFileInfo(path).absolutePath();
  return FromQt(path);
}

std::optional<TChosenFile> TQtFileChooser::ChooseFileToSave() {
  const QStringList filters = FileDialogFilters(kFilterSave);
  QString chosenFilter = filters.value(0);
  QString path = QFileDialog::getSaveFileName(FParent, QStringLiteral("Enregistrer sous"), FFolder, filters.join(";;"),
                                              &chosenFilter);
  if (path.isEmpty()) return std::nullopt;
  const int type = std::max<int>(1, static_cast<int>(filters.indexOf(chosenFilter)) + 1);
  static const char* const extensions[] = {".ixr", ".pov", ".bmp", ".jpg"};
  // The default extension of the chosen type when the name has none. The dialog asked before
  // replacing the name as typed; a name completed here has not been asked about.
  const bool completed = QFileInfo(path).suffix().isEmpty();
  if (completed) path += QString::fromLatin1(extensions[type - 1]);
  FFolder = QFileInfo(path).absolutePath();
  return TChosenFile{FromQt(path), static_cast<TSaveType>(type), !completed};
}

std::optional<std::string> TQtFileChooser::ChooseExportFile() {
  const QStringList filters = FileDialogFilters(kFilterExport);
  QString chosenFilter = filters.value(0);
  // The export asks its own question before replacing a file.
  QString path = QFileDialog::getSaveFileName(FParent, QStringLiteral("Exporter"), FFolder, filters.join(";;"),
                                              &chosenFilter, QFileDialog::DontConfirmOverwrite);
  if (path.isEmpty()) return std::nullopt;
  static const char* const extensions[] = {".glb", ".obj", ".stl"};
  const int type = std::clamp<int>(static_cast<int>(filters.indexOf(chosenFilter)), 0, 2);
  if (QFileInfo(path).suffix().isEmpty()) path += QString::fromLatin1(extensions[type]);
  FFolder = QFileInfo(path).absolutePath();
  return FromQt(path);
}

std::vector<std::string> TQtFileChooser::ChooseMeshFiles() {
  const QStringList paths = QFileDialog::getOpenFileNames(FParent, QStringLiteral("Importer"), FFolder,
                                                          FileDialogFilters(kFilterImport).join(";;"));
  std::vector<std::string> out;
  for (const QString& path : paths) out.push_back(FromQt(path));
  if (!paths.isEmpty()) FFolder = QFileInfo(paths.front()).absolutePath();
  return out;
}

void TQtFileChooser::StartIn(const std::string& folder) {
  if (!folder.empty()) FFolder = ToQt(folder);
}

std::optional<TResolutionChoice> TQtFileChooser::ChooseResolution() {
  TFrmReso dialog(FParent);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Choice();
}

}  // namespace ixoral
