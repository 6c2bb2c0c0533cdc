// The modeller: splash, the check that the drawing device can start, the main window and the tool
// box, then the event loop. `ixoral --screenshot FILE.png [DOCUMENT]` starts the same way without
// the splash's wait, tells where it found its data files, draws, writes a picture of the whole
// main window and ends.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTimer>
#include <QTranslator>

#include <algorithm>
#include <cstdio>

#include "commands/AboutFlight.h"
#include "commands/PovRender.h"
#include "platform/DataFiles.h"
#include "platform/Settings.h"
#include "render/DisplayDevice.h"
#include "ui/MainWindow.h"
#include "ui/Splash.h"

using namespace ixoral;

namespace {

// Stands in for the check that DirectDraw 7 can be created: the drawing device starts on a tiny
// surface.
bool RenderingDeviceAvailable() {
  TDisplayDevice probe(16, 16, nullptr, nullptr);
  return probe.InitDisplay() && probe.Device() != nullptr;
}

int Usage() {
  std::fprintf(stderr, "usage: ixoral [DOCUMENT.ixr]\n       ixoral --screenshot FILE.png [DOCUMENT.ixr]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("IXORAL"));
  QApplication::setOrganizationName(QStringLiteral("Quillbeck"));
  QApplication::setDesktopFileName(QStringLiteral("org.ixoral.Ixoral"));

  QStringList args = QApplication::arguments().mid(1);
  QString screenshot;
  if (!args.isEmpty() && args.first() == QStringLiteral("--screenshot")) {
    if (args.size() < 2) return Usage();
    screenshot = args.at(1);
    args = args.mid(2);
  }
  if (!args.isEmpty() && args.first().startsWith(QStringLiteral("--"))) return Usage();
  const QString document = args.value(0);

  // Qt's own dialogs in French.
  QTranslator qtFrench;
  if (qtFrench.load(QLocale(QLocale::French), QStringLiteral("qtbase"), QStringLiteral("_"),
                    QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(&qtFrench);

  std::unique_ptr<TLogoOn> splash;
  if (screenshot.isEmpty()) {
    splash = std::make_unique<TLogoOn>();
    splash->show();
    QApplication::processEvents();
  }
  QCursor::pos();  // the manipulation cursors are drawn when first shown

  if (!RenderingDeviceAvailable()) {
    splash.reset();
    QMessageBox::critical(nullptr, QStringLiteral("IXORAL"), QString::fromUtf8(kMsgNoRenderDevice));
    return 1;
  }

  // What renders of runs killed outright left in the temporary folder.
  RemoveAbandonedRunFolders(kRenderFolderLabel);
  TQtPrompt prompt;
  // A screenshot runs with nobody to answer a message box: messages go to standard error.
  TStderrPrompt unattended;
  TSettingsStore settings(TSettingsStore::DefaultPath(), FailuresShownBy(prompt));
  TfrmMain window(settings, screenshot.isEmpty() ? nullptr : &unattended);
  prompt.SetParent(&window);
  window.Start(document, screenshot.isEmpty());

  if (!screenshot.isEmpty()) {
    // Where the shipped files were found, for whoever checks an installation.
    for (const char* f : {kAboutSceneFile, "help/index.html", "samples/reference.ixr"}) {
      const std::string found = FindDataFile(f);
      std::printf("ixoral: %s : %s\n", f, found.empty() ? "introuvable" : found.c_str());
    }
    std::fflush(stdout);
    const auto& shown = unattended.Shown();
    if (std::any_of(shown.begin(), shown.end(), [](const auto& s) { return s.Kind == TScriptedPrompt::TShown::Error; }))
      return 1;                // the document was refused; its message is on standard error
    window.resize(1280, 800);  // what a newcomer's screen shows, whatever the platform's default
    window.show();
    // The layout settles and the views are drawn once at their size (each resize asks for one
    // drawing at the next turn of the event loop).
    for (int k = 0; k < 2; ++k) QApplication::processEvents();
    const bool ok = window.grab().save(screenshot, "PNG");
    if (!ok) std::fprintf(stderr, "ixoral: cannot write %s\n", qPrintable(screenshot));
    return ok ? 0 : 1;
  }

  window.showMaximized();
  // The splash stays two seconds, even when the window is ready sooner.
  QTimer::singleShot(2000, splash.get(), [&splash] { splash.reset(); });
  return QApplication::exec();
}
