// What the window tests share: letting posted events run, screenshots of what they drive (with a
// check that no control of a framed dialog is cut by its rounded outline), and acting on a modal
// dialog from inside its event loop.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QRegion>
#include <QTest>
#include <QTimer>
#include <functional>

#include "ui/DialogFrame.h"

namespace ixoral {

inline void Settle() {
  for (int k = 0; k < 3; ++k) QApplication::processEvents();
}

// Every visible control in the body of a framed dialog lies wholly inside the dialog's outline:
// the rounded corners and the title tabs cut away whatever stands under them on screen.
inline void ExpectWithinFrame(QWidget* w, const char* name) {
  auto* frame = qobject_cast<TDialogFrame*>(w);
  if (!frame || frame->mask().isEmpty()) return;
  const QRegion outline = frame->mask();
  for (QWidget* c : frame->Body()->findChildren<QWidget*>()) {
    // Containers reach the edges by design; what they hold is what a person must see.
    if (!c->isVisibleTo(frame) || c->isWindow() || !c->findChildren<QWidget*>().isEmpty()) continue;
    // What shows of it: a label scrolling in a clipped area shows only its window.
    const QRect shown = c->visibleRegion().boundingRect();
    if (shown.isEmpty()) continue;
    const QRect r(c->mapTo(frame, shown.topLeft()), shown.size());
    for (const QPoint p : {r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight()})
      EXPECT_TRUE(outline.contains(p)) << name << ": " << c->metaObject()->className() << " \""
                                       << c->objectName().toStdString() << "\" at (" << p.x() << ", " << p.y()
                                       << ") is cut by the dialog's outline";
  }
}

inline void Screenshot(QWidget* w, const char* name) {
  ExpectWithinFrame(w, name);
  w->grab().save(QStringLiteral(IXORAL_TEST_OUTPUT_DIR "/%1.png").arg(name));
}

// Runs `act` on the modal dialog once it is up, from inside its event loop.
inline void WhenModal(std::function<void(QWidget*)> act) {
  QTimer::singleShot(0, [act] {
    QWidget* modal = QApplication::activeModalWidget();
    ASSERT_NE(modal, nullptr);
    EXPECT_TRUE(QTest::qWaitForWindowExposed(modal));
    act(modal);
  });
}

}  // namespace ixoral
