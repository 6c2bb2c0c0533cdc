// The splash window shown while the modeller starts: a rounded window with four round holes near
// its corners, top-most, showing a picture of the program's own.
#pragma once

#include <QRegion>
#include <QWidget>

namespace ixoral {

inline constexpr int kSplashWidth = 447, kSplashHeight = 351;

// The window's shape for a w x h window: a rectangle with rounded corners (a 100 x 100 ellipse)
// less four holes of 20 pixels across whose boxes start at (w - 40, 20), (20, 20),
// (w - 40, h - 40) and (20, h - 40).
QRegion SplashRegion(int width, int height);

class TLogoOn : public QWidget {
  Q_OBJECT
 public:
  explicit TLogoOn(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage FPicture;
};

}  // namespace ixoral
