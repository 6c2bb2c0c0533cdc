// Builds the assistant's two shipped characters, drawn here frame by frame with QPainter: Merlin,
// a wizard in a starry robe with his staff, and Hibou, a tawny owl. Each has the animations the
// guide plays: "Show", "Hide", "Idle" (breathing and blinking), "Speaking", "Explain", the four
// gestures, "Moving" and "Wave".
//
// Run as: ixoral-make-characters OUTPUT_FOLDER [SHEET_FOLDER]
// (the shipped files are data/chars/merlin.acs and data/chars/hibou.acs; with SHEET_FOLDER, one
// picture per character showing all its frames side by side is written there too).
#include <QBuffer>
#include <cctype>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "assistant/CharacterFile.h"

using namespace ixoral;

namespace {

constexpr double kPi = 3.14159265358979323846;

double Rad(double degrees) { return degrees * kPi / 180.0; }
QPointF Polar(double degrees, double length) {
  return {std::cos(Rad(degrees)) * length, std::sin(Rad(degrees)) * length};
}
double Mix(double a, double b, double t) { return a + (b - a) * t; }

// Everything a frame can vary.
struct TPose {
  double Bob = 0;    // the body's rise (pixels, up is negative)
  double Blink = 0;  // 0 eyes open, 1 closed
  double Mouth = 0;  // 0 closed, 1 wide open
  double Scale = 1;  // about the feet
  double Opacity = 1;
  double Lean = 0;        // degrees, positive leans right
  double Sparkle = -1;    // phase of the sparkles around the figure; negative: none
  QPointF Look;           // where the eyes look, each coordinate -1 … 1
  double RightArm = 111;  // direction of the right arm (degrees; 0 right, 90 down)
  double LeftArm = 117;
  bool RightPoints = false, LeftPoints = false;
  double Glow = 0.5;  // the staff's crystal, or the owl's eye shine
  double Trail = 0;   // motion streaks while moving
};

TPose Blend(const TPose& a, const TPose& b, double t) {
  TPose p = t < 0.5 ? a : b;
  p.Bob = Mix(a.Bob, b.Bob, t);
  p.Blink = Mix(a.Blink, b.Blink, t);
  p.Mouth = Mix(a.Mouth, b.Mouth, t);
  p.Scale = Mix(a.Scale, b.Scale, t);
  p.Opacity = Mix(a.Opacity, b.Opacity, t);
  p.Lean = Mix(a.Lean, b.Lean, t);
  p.Look = a.Look + (b.Look - a.Look) * t;
  p.RightArm = Mix(a.RightArm, b.RightArm, t);
  p.LeftArm = Mix(a.LeftArm, b.LeftArm, t);
  p.Glow = Mix(a.Glow, b.Glow, t);
  return p;
}

void Sparkles(QPainter& p, double phase, QRectF area, int count) {
  p.save();
  p.setPen(Qt::NoPen);
  for (int k = 0; k < count; ++k) {
    // Fixed places around the figure, each twinkling on its own beat.
    const double u = std::fmod(k * 0.618034, 1.0), v = std::fmod(k * 0.381966 + 0.2, 1.0);
    const QPointF c(area.left() + u * area.width(), area.top() + v * area.height());
    const double life = 0.5 + 0.5 * std::sin(phase * 2 * kPi + k * 1.7);
    const double r = 1.5 + 3.5 * life;
    QPainterPath star;
    star.moveTo(c + QPointF(0, -r));
    star.quadTo(c, c + QPointF(r, 0));
    star.quadTo(c, c + QPointF(0, r));
    star.quadTo(c, c + QPointF(-r, 0));
    star.quadTo(c, c + QPointF(0, -r));
    p.setBrush(QColor(255, 236, 140, static_cast<int>(120 + 135 * life)));
    p.drawPath(star);
  }
  p.restore();
}

// A hand, with one finger out toward `direction` when it points.
void Hand(QPainter& p, QPointF at, double direction, bool points, QColor skin) {
  p.setPen(QPen(skin.darker(130), 1));
  p.setBrush(skin);
  if (points) {
    p.save();
    p.setPen(QPen(skin, 3.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(at, at + Polar(direction, 10));
    p.restore();
  }
  p.drawEllipse(at, 5, 5);
}

// A wide sleeve from the shoulder to the wrist.
void Sleeve(QPainter& p, QPointF shoulder, QPointF wrist, QColor cloth) {
  const QPointF d = wrist - shoulder;
  const double len = std::hypot(d.x(), d.y());
  if (len < 1) return;
  const QPointF n(-d.y() / len, d.x() / len);
  QPainterPath s;
  s.moveTo(shoulder + n * 6);
  s.lineTo(wrist + n * 7);
  s.quadTo(wrist + d / len * 3, wrist - n * 7);
  s.lineTo(shoulder - n * 6);
  s.closeSubpath();
  p.setPen(QPen(cloth.darker(140), 1));
  p.setBrush(cloth);
  p.drawPath(s);
  p.setPen(QPen(QColor(255, 214, 90), 2));
  p.drawLine(wrist + n * 6.5, wrist - n * 6.5);  // gold cuff
}

// ---------------------------------------------------------------- the wizard (128 x 160)

// The wizard's head: face, nose, eyes, beard with the mouth in it.
void WizardHead(QPainter& p, const TPose& pose, const QPointF face, const QColor& skin, const QColor& beard) {
  p.setPen(QPen(skin.darker(125), 1));
  p.setBrush(skin);
  p.drawEllipse(face, 15, 16);
  p.setBrush(QColor(240, 190, 160));
  p.drawEllipse(face + QPointF(0, 3), 3.2, 3.6);  // nose
  // Eyes, looking where the pose says, closing with the lids.
  const QPointF look(pose.Look.x() * 1.5, pose.Look.y() * 1.2);
  for (double ex : {-6.0, 6.0}) {
    const QPointF eye = face + QPointF(ex, -3);
    if (pose.Blink > 0.5) {
      p.setPen(QPen(QColor(40, 30, 50), 1.6, Qt::SolidLine, Qt::RoundCap));
      p.drawArc(QRectF(eye.x() - 3, eye.y() - 2, 6, 4), 200 * 16, 140 * 16);
    } else {
      p.setPen(Qt::NoPen);
      p.setBrush(Qt::white);
      p.drawEllipse(eye, 3.2, 3.0 * (1 - pose.Blink));
      p.setBrush(QColor(40, 60, 110));
      p.drawEllipse(eye + look, 1.7, 1.9 * (1 - pose.Blink));
    }
    // Bushy brows.
    p.setPen(QPen(QColor(225, 225, 232), 2.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(eye + QPointF(-3.5, -4.5), eye + QPointF(3.5, -5.5 + (ex < 0 ? 0.8 : 0)));
  }
  QPainterPath beardPath;
  beardPath.moveTo(face + QPointF(-15, 2));
  beardPath.cubicTo(face + QPointF(-16, 22), face + QPointF(-8, 40), face + QPointF(0, 48));
  beardPath.cubicTo(face + QPointF(8, 40), face + QPointF(16, 22), face + QPointF(15, 2));
  beardPath.quadTo(face + QPointF(10, 10), face + QPointF(4, 6));
  beardPath.quadTo(face + QPointF(0, 5), face + QPointF(-4, 6));
  beardPath.quadTo(face + QPointF(-10, 10), face + QPointF(-15, 2));
  p.setPen(QPen(QColor(200, 200, 215), 1));
  p.setBrush(beard);
  p.drawPath(beardPath);
  p.setPen(QPen(QColor(210, 210, 222), 1));
  for (double x : {-6.0, 0.0, 6.0}) p.drawLine(face + QPointF(x, 24), face + QPointF(x * 0.6, 38));
  // Mouth: a dark opening in the beard.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(120, 40, 50));
  p.drawEllipse(face + QPointF(0, 12), 4.2, 0.8 + 3.6 * pose.Mouth);
  // Moustache over it.
  p.setPen(QPen(beard, 3.2, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(face + QPointF(-1, 9), face + QPointF(-8, 11));
  p.drawLine(face + QPointF(1, 9), face + QPointF(8, 11));
}

// The wizard's hat with its brim, stars and moon, the tip curling back; `b` is the breathing.
void WizardHat(QPainter& p, double b, const QBrush& cloth, const QColor& robeDark, const QColor& gold) {
  QPainterPath hat;
  hat.moveTo(40, 46 + b);
  hat.cubicTo(52, 30 + b, 58, 16 + b, 70, 3 + b);
  hat.quadTo(80, -1 + b, 84, 8 + b);
  hat.quadTo(76, 6 + b, 74, 12 + b);
  hat.cubicTo(76, 24 + b, 80, 36 + b, 88, 46 + b);
  hat.closeSubpath();
  p.setPen(QPen(robeDark.darker(130), 1.2));
  p.setBrush(cloth);
  p.drawPath(hat);
  p.setBrush(robeDark);
  p.drawRoundedRect(QRectF(34, 42 + b, 60, 8), 4, 4);
  p.setPen(Qt::NoPen);
  p.setBrush(gold);
  p.drawEllipse(QPointF(66, 30 + b), 2.2, 2.2);
  p.drawEllipse(QPointF(74, 18 + b), 1.6, 1.6);
  QPainterPath moon;
  moon.addEllipse(QPointF(56, 37 + b), 4.5, 4.5);
  QPainterPath bite;
  bite.addEllipse(QPointF(58.5, 35.5 + b), 4, 4);
  p.drawPath(moon.subtracted(bite));
}

void DrawWizard(QPainter& p, const TPose& pose) {
  const QColor robe(58, 80, 180), robeDark(36, 50, 128), skin(248, 214, 182), beard(246, 246, 250), gold(255, 214, 90);
  p.setRenderHint(QPainter::Antialiasing);
  p.setOpacity(pose.Opacity);
  if (pose.Sparkle >= 0) Sparkles(p, pose.Sparkle, QRectF(8, 10, 112, 140), 9);
  p.translate(0, 3);  // room above the hat's tip for the breathing
  p.translate(64, 156);
  p.scale(pose.Scale, pose.Scale);
  p.rotate(pose.Lean);
  p.translate(-64, -156);

  // Shadow at the feet (only half opaque, so outside the window's outline).
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 0, 0, 60));
  p.drawEllipse(QPointF(64, 154), 38, 4);

  if (pose.Trail > 0) {
    p.setPen(QPen(QColor(150, 190, 255, 200), 2, Qt::SolidLine, Qt::RoundCap));
    for (int k = 0; k < 3; ++k) {
      const double y = 112 + k * 14 + pose.Trail * 3;
      p.drawLine(QPointF(8 + k * 3, y), QPointF(22 + k * 3 + pose.Trail * 4, y));
    }
  }

  const double b = pose.Bob;
  const QPointF leftShoulder(47, 82 + b), rightShoulder(81, 82 + b);
  const QPointF leftHand = leftShoulder + Polar(pose.LeftArm, 28);
  const QPointF rightHand = rightShoulder + Polar(pose.RightArm, 28);

  // Staff in the left hand, tilting as the arm rises.
  const double staffAngle = -90 - (pose.LeftArm - 117) * 0.15;
  const QPointF staffTop = leftHand + Polar(staffAngle, 46), staffFoot = leftHand - Polar(staffAngle, 60);
  p.setPen(QPen(QColor(118, 78, 40), 4.5, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(staffFoot, staffTop);
  QRadialGradient glow(staffTop, 11);
  glow.setColorAt(0, QColor(220, 250, 255, 255));
  glow.setColorAt(0.45, QColor(110, 210, 255, static_cast<int>(150 + 100 * pose.Glow)));
  glow.setColorAt(1, QColor(110, 210, 255, 0));
  p.setPen(Qt::NoPen);
  p.setBrush(glow);
  p.drawEllipse(staffTop, 8 + 3 * pose.Glow, 8 + 3 * pose.Glow);
  p.setBrush(QColor(140, 225, 255));
  p.setPen(QPen(QColor(40, 120, 180), 1));
  p.drawEllipse(staffTop, 5.5, 5.5);

  // Robe, widening to the hem, with its stars.
  QPainterPath gown;
  gown.moveTo(52, 74 + b);
  gown.cubicTo(44, 100 + b, 30, 130, 24, 152);
  gown.quadTo(64, 158, 104, 152);
  gown.cubicTo(98, 130, 84, 100 + b, 76, 74 + b);
  gown.closeSubpath();
  QLinearGradient cloth(30, 0, 100, 0);
  cloth.setColorAt(0, robe.lighter(115));
  cloth.setColorAt(1, robeDark);
  p.setPen(QPen(robeDark.darker(130), 1.2));
  p.setBrush(cloth);
  p.drawPath(gown);
  p.setPen(Qt::NoPen);
  p.setBrush(gold);
  for (const QPointF& s : {QPointF(50, 118), QPointF(74, 134), QPointF(66, 104), QPointF(42, 142), QPointF(88, 146)})
    p.drawEllipse(s + QPointF(0, s.y() < 120 ? b : 0), 1.8, 1.8);
  p.setBrush(QColor(255, 214, 90, 200));
  p.drawEllipse(QPointF(82, 122), 2.6, 2.6);
  // Belt.
  p.setBrush(robeDark.darker(120));
  p.drawRoundedRect(QRectF(46, 100 + b * 0.7, 36, 5), 2, 2);
  p.setBrush(gold);
  p.drawRect(QRectF(61, 99.5 + b * 0.7, 6, 6));

  // Arms: the left holds the staff, the right points, explains or rests.
  Sleeve(p, leftShoulder, leftHand, robe);
  Hand(p, leftHand, pose.LeftArm, pose.LeftPoints, skin);

  WizardHead(p, pose, QPointF(64, 58 + b), skin, beard);
  WizardHat(p, b, cloth, robeDark, gold);

  Sleeve(p, rightShoulder, rightHand, robe);
  Hand(p, rightHand, pose.RightArm, pose.RightPoints, skin);
}

// ---------------------------------------------------------------- the owl (120 x 140)

// The owl's facial disc, eyes and beak; `b` is the bob.
void OwlFace(QPainter& p, const TPose& pose, double b, const QColor& body, const QColor& bodyDark, const QColor& disc,
             const QColor& beak, const QColor& eyeRing) {
  p.setPen(QPen(QColor(180, 140, 96), 1));
  p.setBrush(disc);
  p.drawEllipse(QPointF(47, 52 + b), 15, 15);
  p.drawEllipse(QPointF(73, 52 + b), 15, 15);
  const QPointF look(pose.Look.x() * 3, pose.Look.y() * 3);
  for (double ex : {47.0, 73.0}) {
    const QPointF eye(ex, 52 + b);
    p.setPen(QPen(bodyDark, 1));
    p.setBrush(eyeRing);
    p.drawEllipse(eye, 9.5, 9.5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 16, 12));
    p.drawEllipse(eye + look, 5.2, 5.2);
    p.setBrush(QColor(255, 255, 255, static_cast<int>(160 + 90 * pose.Glow)));
    p.drawEllipse(eye + look + QPointF(-1.8, -2), 1.6, 1.6);
    if (pose.Blink > 0) {
      // The lid comes down from above.
      p.save();
      QPainterPath ball;
      ball.addEllipse(eye, 10, 10);
      p.setClipPath(ball);
      p.setBrush(body);
      p.setPen(QPen(bodyDark, 1));
      p.drawRect(QRectF(eye.x() - 11, eye.y() - 11, 22, 22 * pose.Blink));
      p.restore();
    }
  }
  // Beak: upper part fixed, lower part dropping as it speaks.
  const QPointF beakTop(60, 58 + b);
  QPainterPath lower;
  lower.moveTo(beakTop + QPointF(-4, 6));
  lower.lineTo(beakTop + QPointF(4, 6));
  lower.lineTo(beakTop + QPointF(0, 9 + 5 * pose.Mouth));
  lower.closeSubpath();
  p.setPen(QPen(beak.darker(140), 1));
  p.setBrush(beak.darker(115));
  if (pose.Mouth > 0.05) {
    p.setBrush(QColor(120, 40, 40));
    p.drawEllipse(beakTop + QPointF(0, 8 + 1.5 * pose.Mouth), 3, 1 + 2 * pose.Mouth);
    p.setBrush(beak.darker(115));
  }
  p.drawPath(lower.translated(0, 3 * pose.Mouth));
  QPainterPath upper;
  upper.moveTo(beakTop + QPointF(-5, 0));
  upper.lineTo(beakTop + QPointF(5, 0));
  upper.quadTo(beakTop + QPointF(4, 6), beakTop + QPointF(0, 10));
  upper.quadTo(beakTop + QPointF(-4, 6), beakTop + QPointF(-5, 0));
  p.setBrush(beak);
  p.drawPath(upper);
}

void DrawOwl(QPainter& p, const TPose& pose) {
  const QColor body(150, 100, 58), bodyDark(104, 66, 36), belly(238, 214, 170), disc(226, 196, 150), beak(236, 150, 40),
      eyeRing(250, 196, 40);
  p.setRenderHint(QPainter::Antialiasing);
  p.setOpacity(pose.Opacity);
  if (pose.Sparkle >= 0) Sparkles(p, pose.Sparkle, QRectF(6, 8, 108, 120), 8);
  p.translate(60, 130);
  p.scale(pose.Scale, pose.Scale);
  p.rotate(pose.Lean);
  p.translate(-60, -130);
  const double b = pose.Bob;

  // The branch it perches on.
  p.setPen(QPen(QColor(96, 64, 34), 7, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(10, 128), QPointF(110, 124));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(92, 150, 60));
  p.drawEllipse(QPointF(104, 118), 7, 3.5);
  p.drawEllipse(QPointF(16, 121), 6, 3);

  if (pose.Trail > 0) {
    p.setPen(QPen(QColor(230, 220, 190, 210), 2, Qt::SolidLine, Qt::RoundCap));
    for (int k = 0; k < 3; ++k) {
      const double y = 60 + k * 16 + pose.Trail * 3;
      p.drawLine(QPointF(4 + k * 2, y), QPointF(14 + k * 2 + pose.Trail * 4, y));
    }
  }

  // A wing: a feathered teardrop from the shoulder, swinging out along its direction.
  auto wing = [&](QPointF shoulder, double direction, bool points) {
    const QPointF tip = shoulder + Polar(direction, points ? 32 : 36);
    const QPointF d = (tip - shoulder) / std::hypot(tip.x() - shoulder.x(), tip.y() - shoulder.y());
    const QPointF n(-d.y(), d.x());
    QPainterPath w;
    w.moveTo(shoulder + n * 9);
    w.cubicTo(shoulder + n * 15 + d * 18, tip + n * 6, tip);
    w.cubicTo(tip - n * 6, shoulder - n * 12 + d * 16, shoulder - n * 9);
    w.closeSubpath();
    p.setPen(QPen(bodyDark.darker(120), 1.2));
    p.setBrush(bodyDark);
    p.drawPath(w);
    p.setPen(QPen(QColor(190, 150, 100), 1.2));
    for (double f : {0.45, 0.65, 0.82}) {
      const QPointF at = shoulder + (tip - shoulder) * f;
      p.drawLine(at + n * (7 * (1 - f) + 2), at - n * (7 * (1 - f) + 2));
    }
  };

  // Wings behind the body when resting, beside it when raised.
  const QPointF leftShoulder(34, 66 + b), rightShoulder(86, 66 + b);
  const double leftRest = 100, rightRest = 80;
  const bool leftOut = std::fabs(pose.LeftArm - leftRest) > 20, rightOut = std::fabs(pose.RightArm - rightRest) > 20;
  if (!leftOut) wing(leftShoulder, pose.LeftArm, false);
  if (!rightOut) wing(rightShoulder, pose.RightArm, false);

  // Body and belly.
  QPainterPath shape;
  shape.moveTo(60, 28 + b);
  shape.cubicTo(92, 28 + b, 98, 70 + b, 90, 98);
  shape.cubicTo(84, 118, 36, 118, 30, 98);
  shape.cubicTo(22, 70 + b, 28, 28 + b, 60, 28 + b);
  QLinearGradient fur(0, 28, 0, 118);
  fur.setColorAt(0, body.lighter(110));
  fur.setColorAt(1, bodyDark);
  p.setPen(QPen(bodyDark.darker(130), 1.2));
  p.setBrush(fur);
  p.drawPath(shape);
  p.setPen(Qt::NoPen);
  p.setBrush(belly);
  p.drawEllipse(QPointF(60, 92 + b * 0.5), 20, 21);
  p.setPen(QPen(QColor(170, 120, 70), 1.4, Qt::SolidLine, Qt::RoundCap));
  for (int row = 0; row < 3; ++row)
    for (int col = -1; col <= 1; ++col) {
      const QPointF c(60 + col * 9 + (row % 2) * 4.5 - 2, 80 + row * 9 + b * 0.5);
      p.drawLine(c + QPointF(-2.5, -1.5), c + QPointF(0, 1));
      p.drawLine(c + QPointF(0, 1), c + QPointF(2.5, -1.5));
    }

  // Ear tufts.
  p.setPen(QPen(bodyDark.darker(120), 1));
  p.setBrush(bodyDark);
  for (double side : {-1.0, 1.0}) {
    QPainterPath tuft;
    tuft.moveTo(60 + side * 14, 32 + b);
    tuft.lineTo(60 + side * 30, 14 + b);
    tuft.lineTo(60 + side * 26, 36 + b);
    tuft.closeSubpath();
    p.drawPath(tuft);
  }

  OwlFace(p, pose, b, body, bodyDark, disc, beak, eyeRing);

  // Feet gripping the branch.
  p.setPen(QPen(QColor(210, 130, 40), 2.4, Qt::SolidLine, Qt::RoundCap));
  for (double fx : {50.0, 70.0})
    for (double t : {-4.0, 0.0, 4.0}) p.drawLine(QPointF(fx, 116), QPointF(fx + t, 124));

  if (leftOut) wing(leftShoulder, pose.LeftArm, pose.LeftPoints);
  if (rightOut) wing(rightShoulder, pose.RightArm, pose.RightPoints);
}

// ---------------------------------------------------------------- animations

struct TCharacterDesign {
  TCharacterInfo Info;
  std::function<void(QPainter&, const TPose&)> Draw;
  TPose Rest;
  // The full pose of each gesture and of the explaining one.
  TPose Up, Down, Left, Right, ExplainA, ExplainB, WaveA, WaveB;
};

class TBuilder {
 public:
  explicit TBuilder(TCharacterDesign& d) : FDesign(d) {}

  // The picture of `pose` under `name` (drawn once; a name asked again gives the same picture).
  std::string Picture(const std::string& name, const TPose& pose) {
    if (!FPictures.count(name)) {
      QImage image(FDesign.Info.Width, FDesign.Info.Height, QImage::Format_ARGB32_Premultiplied);
      image.fill(Qt::transparent);
      {
        QPainter p(&image);
        FDesign.Draw(p, pose);
      }
      image = image.convertToFormat(QImage::Format_ARGB32);
      QByteArray bytes;
      QBuffer buffer(&bytes);
      buffer.open(QIODevice::WriteOnly);
      image.save(&buffer, "PNG", 0);
      FPictures[name] = bytes.toStdString();
      FImages.push_back(image);
    }
    return name;
  }

  TCharacterAnimation& Animation(const std::string& name, bool loops = false, const std::string& next = {}) {
    FDesign.Info.Animations.push_back({name, {}, loops, next});
    return FDesign.Info.Animations.back();
  }

  static void Frame(TCharacterAnimation& a, const std::string& picture, int ms) { a.Frames.push_back({picture, ms}); }

  // Raises toward `full` in three steps, holds it, and comes back.
  void Gesture(const std::string& animation, const std::string& key, const TPose& full) {
    TCharacterAnimation& a = Animation(animation);
    std::vector<std::string> steps;
    for (int k = 1; k <= 3; ++k)
      steps.push_back(Picture(key + "-" + std::to_string(k) + ".png", Blend(FDesign.Rest, full, k / 3.0)));
    Frame(a, steps[0], 70);
    Frame(a, steps[1], 70);
    Frame(a, steps[2], 900);
    Frame(a, steps[1], 80);
    Frame(a, steps[0], 80);
  }

  void BuildAll() {
    const TPose& rest = FDesign.Rest;
    // Idle: breathing up and down, a blink at the top of the cycle.
    std::vector<std::string> breath;
    for (int k = 0; k < 8; ++k) {
      const double s = std::sin(k * 2 * kPi / 8);
      const int level = static_cast<int>(std::lround(s * 2));  // -2 … 2: five pictures
      TPose p = rest;
      p.Bob = -level * 0.75;
      p.Glow = 0.5 + 0.25 * level;
      breath.push_back(Picture("idle" + std::to_string(level + 2) + ".png", p));
    }
    TPose blink = rest;
    blink.Blink = 1;
    const std::string blinked = Picture("idle-blink.png", blink);
    TCharacterAnimation& idle = Animation("Idle", true);
    for (int k = 0; k < 8; ++k) Frame(idle, breath[static_cast<size_t>(k)], 260);
    Frame(idle, breath[0], 900);
    Frame(idle, blinked, 130);
    Frame(idle, breath[0], 600);

    // Show and Hide: growing out of sparkles and back into them.
    std::vector<std::string> appear;
    for (int k = 0; k < 6; ++k) {
      TPose p = rest;
      const double t = (k + 1) / 6.0;
      p.Scale = 0.2 + 0.8 * t * t * (3 - 2 * t);
      p.Opacity = std::min(1.0, 0.3 + t);
      p.Sparkle = k < 5 ? k / 6.0 : -1;
      appear.push_back(Picture("show" + std::to_string(k) + ".png", p));
    }
    TCharacterAnimation& show = Animation("Show");
    for (const std::string& s : appear) Frame(show, s, 70);
    TCharacterAnimation& hide = Animation("Hide");
    for (auto it = appear.rbegin(); it != appear.rend(); ++it) Frame(hide, *it, 70);

    // Speaking: the mouth opens and closes, the body nods a little.
    const double mouths[] = {0.3, 0.9, 0.5, 1.0, 0.15};
    TCharacterAnimation& speak = Animation("Speaking", true);
    for (int k = 0; k < 5; ++k) {
      TPose p = rest;
      p.Mouth = mouths[k];
      p.Bob = k % 2 ? -0.8 : 0;
      Frame(speak, Picture("speak" + std::to_string(k) + ".png", p), 120);
    }

    // Explain: arms open, the mouth going.
    TCharacterAnimation& explain = Animation("Explain");
    std::vector<std::string> ex;
    for (int k = 0; k < 4; ++k) {
      TPose p = Blend(FDesign.ExplainA, FDesign.ExplainB, k / 3.0);
      p.Mouth = k % 2 ? 0.7 : 0.2;
      ex.push_back(Picture("explain" + std::to_string(k) + ".png", p));
    }
    const std::string half = Picture("explain-in.png", Blend(rest, FDesign.ExplainA, 0.5));
    Frame(explain, half, 90);
    for (int round = 0; round < 2; ++round) {
      for (int k = 0; k < 4; ++k) Frame(explain, ex[static_cast<size_t>(k)], 160);
      for (int k = 2; k > 0; --k) Frame(explain, ex[static_cast<size_t>(k)], 160);
    }
    Frame(explain, ex[0], 160);
    Frame(explain, half, 90);

    Gesture("GestureUp", "up", FDesign.Up);
    Gesture("GestureDown", "down", FDesign.Down);
    Gesture("GestureLeft", "left", FDesign.Left);
    Gesture("GestureRight", "right", FDesign.Right);

    // Moving: leaning into the move with streaks behind.
    TCharacterAnimation& moving = Animation("Moving", true);
    for (int k = 0; k < 4; ++k) {
      TPose p = rest;
      p.Lean = 6 + (k % 2) * 2;
      p.Bob = -2 - 1.5 * std::sin(k * kPi / 2);
      p.Trail = 1 + k % 2;
      p.Look = QPointF(1, 0);
      p.LeftArm = rest.LeftArm + (k % 2 ? 8 : -4);
      p.RightArm = rest.RightArm + (k % 2 ? -10 : 6);
      Frame(moving, Picture("move" + std::to_string(k) + ".png", p), 110);
    }

    // Wave: a hand (or wing) up, to and fro.
    TCharacterAnimation& wave = Animation("Wave");
    const std::string w0 = Picture("wave0.png", Blend(rest, FDesign.WaveA, 0.5));
    const std::string w1 = Picture("wave1.png", FDesign.WaveA);
    const std::string w2 = Picture("wave2.png", FDesign.WaveB);
    Frame(wave, w0, 80);
    for (int k = 0; k < 3; ++k) {
      Frame(wave, w1, 150);
      Frame(wave, w2, 150);
    }
    Frame(wave, w1, 120);
    Frame(wave, w0, 80);
  }

  const std::map<std::string, std::string>& Pictures() const { return FPictures; }
  const std::vector<QImage>& Images() const { return FImages; }

 private:
  TCharacterDesign& FDesign;
  std::map<std::string, std::string> FPictures;
  std::vector<QImage> FImages;
};

TCharacterDesign Merlin() {
  TCharacterDesign d;
  d.Info.Name = "Merlin";
  d.Info.Version = "1.0";
  d.Info.Description = "Merlin, le magicien d'Ixoral, avec sa robe étoilée et son bâton de cristal";
  d.Info.ExtraData = "Personnage dessiné pour Ixoral";
  d.Info.Width = 128;
  d.Info.Height = 160;
  d.Draw = DrawWizard;
  d.Up = d.Rest;
  d.Up.RightArm = -78;
  d.Up.RightPoints = true;
  d.Up.Look = QPointF(0.3, -1);
  d.Down = d.Rest;
  d.Down.RightArm = 50;
  d.Down.RightPoints = true;
  d.Down.Look = QPointF(0.5, 1);
  d.Right = d.Rest;
  d.Right.RightArm = -4;
  d.Right.RightPoints = true;
  d.Right.Look = QPointF(1, 0);
  d.Left = d.Rest;
  d.Left.LeftArm = 192;
  d.Left.LeftPoints = true;
  d.Left.Look = QPointF(-1, 0);
  d.ExplainA = d.Rest;
  d.ExplainA.RightArm = 20;
  d.ExplainA.LeftArm = 150;
  d.ExplainB = d.ExplainA;
  d.ExplainB.RightArm = -20;
  d.ExplainB.LeftArm = 165;
  d.WaveA = d.Rest;
  d.WaveA.RightArm = -95;
  d.WaveB = d.Rest;
  d.WaveB.RightArm = -55;
  return d;
}

TCharacterDesign Hibou() {
  TCharacterDesign d;
  d.Info.Name = "Hibou";
  d.Info.Version = "1.0";
  d.Info.Description = "Hibou, la chouette savante qui connaît tous les recoins d'Ixoral";
  d.Info.ExtraData = "Personnage dessiné pour Ixoral";
  d.Info.Width = 120;
  d.Info.Height = 140;
  d.Draw = DrawOwl;
  d.Rest.LeftArm = 100;
  d.Rest.RightArm = 80;
  d.Up = d.Rest;
  d.Up.RightArm = -60;
  d.Up.RightPoints = true;
  d.Up.Look = QPointF(0.3, -1);
  d.Down = d.Rest;
  d.Down.RightArm = 35;
  d.Down.RightPoints = true;
  d.Down.Look = QPointF(0.4, 1);
  d.Right = d.Rest;
  d.Right.RightArm = -10;
  d.Right.RightPoints = true;
  d.Right.Look = QPointF(1, 0);
  d.Left = d.Rest;
  d.Left.LeftArm = 190;
  d.Left.LeftPoints = true;
  d.Left.Look = QPointF(-1, 0);
  d.ExplainA = d.Rest;
  d.ExplainA.RightArm = 20;
  d.ExplainA.LeftArm = 160;
  d.ExplainB = d.ExplainA;
  d.ExplainB.RightArm = -15;
  d.ExplainB.LeftArm = 195;
  d.WaveA = d.Rest;
  d.WaveA.RightArm = -80;
  d.WaveB = d.Rest;
  d.WaveB.RightArm = -35;
  return d;
}

// Every frame side by side on a light background, for looking at them.
void WriteSheet(const std::vector<QImage>& images, const QString& path) {
  if (images.empty()) return;
  const int columns = 10, w = images[0].width(), h = images[0].height();
  const int rows = (static_cast<int>(images.size()) + columns - 1) / columns;
  QImage sheet(columns * w, rows * h, QImage::Format_ARGB32);
  sheet.fill(QColor(214, 222, 240));
  QPainter p(&sheet);
  for (size_t k = 0; k < images.size(); ++k)
    p.drawImage(static_cast<int>(k % columns) * w, static_cast<int>(k / columns) * h, images[k]);
  p.end();
  sheet.save(path);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER [SHEET_FOLDER]\n", argv[0]);
    return 2;
  }
  // Text is not drawn; a platform-less application is enough for QPainter on images.
  const std::string out = argv[1];
  int failures = 0;
  for (auto make : {Merlin, Hibou}) {
    TCharacterDesign design = make();
    TBuilder builder(design);
    builder.BuildAll();
    std::string file = design.Info.Name;
    for (char& c : file) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string path = out + "/" + file + ".acs";
    std::string error;
    if (!WriteCharacterFile(path, design.Info, builder.Pictures(), error)) {
      std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
      ++failures;
      continue;
    }
    std::printf("%s: %zu pictures\n", path.c_str(), builder.Pictures().size());
    if (argc > 2)
      WriteSheet(builder.Images(), QString::fromStdString(std::string(argv[2]) + "/" + file + "-sheet.png"));
  }
  return failures ? 1 : 0;
}
