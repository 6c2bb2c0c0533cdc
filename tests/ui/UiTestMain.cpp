// The main of the window tests: private per-user folders, Qt's offscreen platform (no display
// needed) unless another is asked for, and one application object for the whole run.
#include <gtest/gtest.h>

#include <QApplication>
#include <sys/stat.h>

#include <cstdlib>

#include "TempFolder.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ixoral::test::TTempFolder home("ui-home");
  ixoral::test::UsePrivateUserFolders(home);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // Qt wants its runtime folder to exist and be private.
  const std::string runtime = home.File("runtime");
  ::mkdir(runtime.c_str(), 0700);
  ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("IXORAL"));
  return RUN_ALL_TESTS();
}
