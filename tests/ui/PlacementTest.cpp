// Where windows and pop-ups appear. On the offscreen platform these hold trivially; they are run
// again on X11 under a real window manager (see run-under-window-manager.sh), where the window
// manager places windows and a dialog or pop-up can land elsewhere than where it was asked to be.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>
#include <QTest>

#include "TempFolder.h"
#include "WindowTestUtil.h"
#include "platform/Prompt.h"
#include "scene/Scene.h"
#include "ui/PrintDialog.h"
#include "ui/ResolutionDialog.h"
#include "ui/TourHosts.h"

using namespace ixoral;

namespace {

// Waits until the window manager has placed `w` and its position holds still.
QPoint SettledPosition(QWidget& w) {
  QPoint last(-100000, -100000);
  for (int k = 0; k < 20; ++k) {
    QTest::qWait(50);
    const QPoint now = w.frameGeometry().topLeft();
    if (now == last) break;
    last = now;
  }
  return last;
}

}  // namespace

TEST(Placement, ThePrintDialogStaysWhereItIsWhenAPositionValueIsChosen) {
  test::TTempFolder folder("placement");
  TScriptedPrompt prompt;
  TSettingsStore settings(folder.File("settings.ini"));
  TScene scene;
  scene.NewScene(true);
  TFrmRendu d(nullptr, scene, &settings, prompt, 4.0 / 3.0);
  d.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
  const QPoint before = SettledPosition(d);
  // Centred on its screen, not at its corner.
  const QRect screen = d.screen()->availableGeometry();
  EXPECT_NEAR(d.frameGeometry().center().x(), screen.center().x(), 40);
  for (QRadioButton* b : d.findChildren<QRadioButton*>())
    if (b->text() == "Valeur") QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
  EXPECT_TRUE(d.Field("ValeurH")->isVisible());
  EXPECT_TRUE(d.Field("ValeurV")->isVisible());
  EXPECT_EQ(SettledPosition(d), before);
  // What a tour points at lies on the dialog as the screen shows it.
  const TScreenRect printers = ScreenRectOf(*d.Printers());
  EXPECT_TRUE(d.frameGeometry().contains(QPoint(printers.CentreX(), printers.CentreY())))
      << "control at (" << printers.CentreX() << ", " << printers.CentreY() << "), dialog at (" << d.frameGeometry().x()
      << ", " << d.frameGeometry().y() << ") " << d.frameGeometry().width() << " x " << d.frameGeometry().height()
      << ", before " << before.x() << ", " << before.y();
}

TEST(Placement, TheResolutionListDropsDownUnderItsField) {
  TFrmReso d(nullptr);
  d.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
  SettledPosition(d);
  QComboBox* sizes = d.Sizes();
  QTest::mouseClick(sizes, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 2000));
  QWidget* popup = QApplication::activePopupWidget();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(popup));
  SettledPosition(*popup);
  const QRect field(sizes->mapToGlobal(QPoint(0, 0)), sizes->size());
  const QRect list = popup->frameGeometry();
  // The list overlaps its field's column and lies within a list's height of it.
  EXPECT_LT(std::abs(list.left() - field.left()), 20) << "list at " << list.left() << ", field at " << field.left();
  EXPECT_LT(std::abs(list.top() - field.top()), list.height() + field.height());
  popup->close();
}
