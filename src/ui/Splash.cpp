// The splash window: its shape, and a picture drawn from the shipped sample scene.
#include "ui/Splash.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "document/SceneDocument.h"
#include "platform/DataFiles.h"
#include "render/SceneRenderer.h"

namespace ixoral {

QRegion SplashRegion(int w, int h) {
  QPainterPath rounded;
  rounded.addRoundedRect(QRectF(0, 0, w, h), 50, 50);
  QRegion region(rounded.toFillPolygon().toPolygon());
  for (const QPoint corner : {QPoint(w - 40, 20), QPoint(20, 20), QPoint(w - 40, h - 40), QPoint(20, h - 40)})
    region -= QRegion(QRect(corner, QSize(20, 20)), QRegion::Ellipse);
  return region;
}

namespace {

// The sample scene's perspective view, drawn by the program's own renderer.
QImage SamplePicture(int w, int h) {
  const std::string sample = FindDataFile("samples/reference.ixr");
  if (sample.empty()) return {};
  TDisplayScene drawn(w, h, nullptr, nullptr);
  drawn.Scene.FourViews = false;
  if (!drawn.Renderer.InitDevice() || !LoadDocument(drawn.Scene, sample).Ok()) return {};
  drawn.Scene.ClearSelection();
  drawn.Renderer.ShowGrid = true;
  drawn.Renderer.DrawView(0);
  const TSurface* s = drawn.Display.OffscreenSurface();
  return QImage(reinterpret_cast<const uchar*>(s->Pixels()), s->Width(), s->Height(), s->Width() * 4,
                QImage::Format_RGB32)
      .copy();
}

}  // namespace

TLogoOn::TLogoOn(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("LogoOn"));
  setFixedSize(kSplashWidth, kSplashHeight);
  setMask(SplashRegion(kSplashWidth, kSplashHeight));
  FPicture = SamplePicture(kSplashWidth - 120, kSplashHeight - 150);
}

void TLogoOn::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, height());
  sky.setColorAt(0, QColor(160, 184, 245));
  sky.setColorAt(1, QColor(70, 96, 170));
  p.fillRect(rect(), sky);
  if (!FPicture.isNull()) {
    const QRect frame((width() - FPicture.width()) / 2, 95, FPicture.width(), FPicture.height());
    QPainterPath clip;
    clip.addRoundedRect(frame, 14, 14);
    p.setClipPath(clip);
    p.drawImage(frame, FPicture);
    p.setClipping(false);
    p.setPen(QPen(QColor(29, 42, 80), 2));
    p.drawPath(clip);
  }
  QFont title(QStringLiteral("DejaVu Serif"));
  title.setPixelSize(54);
  title.setBold(true);
  title.setLetterSpacing(QFont::AbsoluteSpacing, 6);
  p.setFont(title);
  p.setPen(QColor(29, 42, 80));
  p.drawText(QRect(3, 23, width(), 70), Qt::AlignHCenter | Qt::AlignVCenter, QStringLiteral("IXORAL"));
  p.setPen(Qt::white);
  p.drawText(QRect(0, 20, width(), 70), Qt::AlignHCenter | Qt::AlignVCenter, QStringLiteral("IXORAL"));
  QFont sub(QStringLiteral("DejaVu Sans"));
  sub.setPixelSize(14);
  p.setFont(sub);
  p.drawText(QRect(0, height() - 50, width(), 24), Qt::AlignHCenter,
             QStringLiteral("Modeleur 3D — chargement en cours…"));
}

}  // namespace ixoral
