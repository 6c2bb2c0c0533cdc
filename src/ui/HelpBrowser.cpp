// The help pages in the desktop's browser.
#include "ui/HelpBrowser.h"

#include <QDesktopServices>
#include <QUrl>

#include "commands/Help.h"
#include "ui/QtPlatform.h"

namespace ixoral {

namespace {

bool OpenInDesktopBrowser(const std::string& path) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(ToQt(path)));
}

THelpOpener& CurrentOpener() {
  static THelpOpener opener = OpenInDesktopBrowser;
  return opener;
}

}  // namespace

THelpOpener SetHelpOpener(THelpOpener opener) {
  THelpOpener previous = std::move(CurrentOpener());
  CurrentOpener() = opener ? std::move(opener) : THelpOpener(OpenInDesktopBrowser);
  return previous;
}

bool OpenHelpPage(QWidget* parent, const QString& page, IPrompt* prompt) {
  TQtPrompt boxes(parent);
  return OpenHelp(FromQt(page), prompt ? *prompt : boxes, CurrentOpener());
}

}  // namespace ixoral
