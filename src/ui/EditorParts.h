// Pieces the shape and light editors share: the preview tool bar (operation and axis) and a
// colour swatch.
#pragma once

#include <QLabel>
#include <QWidget>
#include <utility>

#include "render/ViewInteraction.h"

class QBoxLayout;
class QGroupBox;
class QRadioButton;
class QToolButton;

namespace ixoral {

class TScenePanel;

inline constexpr const char* kHintTranslation = "Translation";
inline constexpr const char* kHintRotation = "Rotation";
inline constexpr const char* kHintRedim = "Redimenssionnement";
inline constexpr const char* kHintAxes = "Selection des Axes";
inline constexpr const char* kAxisItems[4] = {"default", "sur l'axe X", "sur l'axe Y", "sur l'axe Z"};

// "Translation", "Rotation", "Redimenssionnement" and the axis button with its menu; it sets the
// preview's operation and axis and the panel's cursor.
class TPreviewToolBar : public QWidget {
  Q_OBJECT
 public:
  TPreviewToolBar(QWidget* parent, TViewInteraction* interaction, TScenePanel* panel);
  void SetOperation(TOperation operation);
  void SetAxis(TAxisConstraint axis);
  QToolButton* Button(TOperation operation) const;
  QToolButton* AxisButton() const { return FAxis; }

 private:
  TViewInteraction* FInteraction;
  TScenePanel* FPanel;
  QToolButton* FButtons[3] = {};
  QToolButton* FAxis = nullptr;
};

// A panel showing a colour; a click opens the colour chooser. Keys do nothing.
class TColourSwatch : public QLabel {
  Q_OBJECT
 public:
  explicit TColourSwatch(QWidget* parent, QColor colour = Qt::white);
  QColor Colour() const { return FColour; }
  void SetColour(const QColor& colour);
  // 0xFFRRGGBB
  uint32_t D3DColour() const { return 0xFF000000u | (FColour.rgb() & 0xFFFFFFu); }

 signals:
  void Changed();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QColor FColour;
};

// "`caption` [swatch]" as a row of `column`; the swatch is named "Couleur".
TColourSwatch* AddColourRow(QWidget* parent, QBoxLayout* column, const QString& caption);

// A titled box holding two radio buttons side by side, each with its caption and object name;
// the first is chosen.
struct TTwoChoices {
  QGroupBox* Box;
  QRadioButton* First;
  QRadioButton* Second;
};
TTwoChoices NewTwoChoices(QWidget* parent, const QString& title, const std::pair<QString, QString>& first,
                          const std::pair<QString, QString>& second);

}  // namespace ixoral
