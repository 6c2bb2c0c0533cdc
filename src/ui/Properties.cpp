// The property inspector's controls: built from the command layer's rows, filled from its values,
// edits sent back to it.
#include "ui/Properties.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QWheelEvent>
#include <QTimer>

#include "platform/NumberFormat.h"
#include "ui/NumberField.h"
#include "ui/QtPlatform.h"

namespace ixoral {

namespace {

constexpr int kNumberWidth = 65;
constexpr int kTextWidth = 130;
constexpr int kCheckWidth = 15;
constexpr int kSwatchWidth = 65;
constexpr int kSwatchHeight = 20;
constexpr int kRowHeight = 21;
constexpr int kRowGap = 5;
constexpr int kMargin = 5;
constexpr int kScrollStep = 10;
constexpr const char* kKeyProperty = "ixoralKey";

const QColor kFieldBackground(Qt::black);
const QColor kFieldText(Qt::white);
const QColor kDirtyText(255, 220, 80);

// Whether a key belongs to a vector that only its "valider" button applies.
bool WaitsForValidation(const QString& key) {
  return key.startsWith(QLatin1String("vectdir")) || key.startsWith(QLatin1String("vecthaut"));
}

void SetFieldColours(QWidget* w, bool dirty) {
  QPalette p = w->palette();
  p.setColor(QPalette::Base, kFieldBackground);
  p.setColor(QPalette::Text, dirty ? kDirtyText : kFieldText);
  w->setPalette(p);
}

// A number field (the numeric key filter on every key) or a text field.
class TInspectorEdit : public QLineEdit {
 public:
  TInspectorEdit(TProperties* owner, const QString& key, bool numeric, QWidget* parent)
      : QLineEdit(parent), FOwner(owner), FKey(key), FNumeric(numeric) {
    setObjectName(key);
    SetFieldColours(this, false);
    setFrame(false);
    connect(this, &QLineEdit::textEdited, this, [this](const QString& text) {
      // What a paste or a drop brought in: a text no key could have produced is reset to zero.
      if (FNumeric) {
        for (const QChar c : text)
          if (c < QLatin1Char(',') || c > QLatin1Char('9') || c == QLatin1Char('/')) {
            setText(QStringLiteral("0"));
            break;
          }
      }
      FOwner->MarkDirty(FKey);
    });
  }

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    switch (e->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
        FOwner->FieldLeft(FKey);
        return;
      case Qt::Key_Escape:
        FOwner->CancelEdits();
        return;
      default:
        break;
    }
    // The numeric filter decides what a typed key does to the field.
    bool changed = false;
    if (!FNumeric || !FilterNumericKey(*this, *e, &changed)) {
      QLineEdit::keyPressEvent(e);
      return;
    }
    if (changed) FOwner->MarkDirty(FKey);
  }
  void focusOutEvent(QFocusEvent* e) override {
    QLineEdit::focusOutEvent(e);
    // Leaving the field applies it; a menu or another window taking the focus does not.
    if (e->reason() != Qt::PopupFocusReason && e->reason() != Qt::ActiveWindowFocusReason) FOwner->FieldLeft(FKey);
  }

 private:
  TProperties* FOwner;
  QString FKey;
  bool FNumeric;
};

// The colour swatch: a white panel showing the colour; a click asks for another.
class TSwatch : public QLabel {
 public:
  TSwatch(std::function<void()> clicked, QWidget* parent) : QLabel(parent), FClicked(std::move(clicked)) {
    setAutoFillBackground(true);
    setFrameShape(QFrame::Box);
    setCursor(Qt::PointingHandCursor);
  }
  void SetColour(const QColor& c) {
    QPalette p = palette();
    p.setColor(QPalette::Window, c);
    setPalette(p);
  }

 protected:
  void mouseReleaseEvent(QMouseEvent* e) override {
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) FClicked();
  }

 private:
  std::function<void()> FClicked;
};

QLabel* NewLabel(const QString& text, const QString& name, QWidget* parent, bool bold = true) {
  auto* l = new QLabel(text, parent);
  if (!name.isEmpty()) l->setObjectName(name);
  if (bold) {
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
  }
  return l;
}

}  // namespace

TProperties::TProperties(TModeller& modeller, QWidget* panel)
    : QWidget(panel), FModeller(modeller), FScene(modeller.Scene()), FPanel(panel) {
  setObjectName(QStringLiteral("Inspecteur"));
  setGeometry(panel ? panel->rect() : QRect());
  if (panel) panel->installEventFilter(this);
  ChooseColour = [this](const QColor& initial) -> std::optional<QColor> {
    const QColor c = QColorDialog::getColor(initial, this);
    return c.isValid() ? std::optional<QColor>(c) : std::nullopt;
  };
  FSubscription = FScene.Observe([this](const TSceneEvent& e) {
    switch (e.Change) {
      case TSceneChange::SelectionChanged:
        ScheduleRefresh(false);
        break;
      case TSceneChange::ObjectRemoved:
      case TSceneChange::SceneCleared:
      case TSceneChange::SceneLoaded:
      case TSceneChange::HierarchyChanged:
        // Indices may now name other objects, and a parent decides what the relation rows take.
        ScheduleRefresh(true);
        break;
      case TSceneChange::ObjectChanged:
      case TSceneChange::ObjectRenamed:
        if (!FApplying && Index() >= 0 && (e.Index < 0 || e.Index == Index())) ScheduleRefresh(false);
        break;
      default:
        break;
    }
  });
  hide();
}

TProperties::~TProperties() {
  FSubscription.Reset();
  // The controls go first, while the inspector they call is whole: a focused field leaving applies
  // nothing.
  FFilling = true;
  delete FBody;
  FBody = nullptr;
}

// ---------------------------------------------------------------- show, build, fill

void TProperties::ScheduleRefresh(bool rebuild) {
  FRebuildPending |= rebuild;
  if (FRefreshScheduled) return;
  FRefreshScheduled = true;
  QTimer::singleShot(0, this, [this] {
    FRefreshScheduled = false;
    const bool again = std::exchange(FRebuildPending, false);
    const int current = FScene.CurrentObject();
    if (again || FScene.IdAt(current) != FObject) {
      if (again) FObject = kNoObject;
      Show(current);
    } else if (Index() >= 0) {
      Fill();
    }
  });
}

void TProperties::Show(int index) {
  if (index < 0 || !FScene.ObjectAt(index)) {
    Clear();
    return;
  }
  if (FScene.IdAt(index) != FObject) {
    FreeControls();
    FObject = FScene.IdAt(index);
    Build();
  }
  Fill();
  show();
}

void TProperties::Rebuild() {
  const int index = Index();
  FObject = kNoObject;
  Show(index);
}

void TProperties::Clear() {
  hide();
  FObject = kNoObject;
  FreeControls();
  emit VisibilityChanged(false);
}

void TProperties::FreeControls() {
  FFilling = true;  // a focused field going away applies nothing
  delete FBody;
  FBody = nullptr;
  FRows.clear();
  FControls.clear();
  FDirty.clear();
  FSwatches.clear();
  FLayout = {};
  FFilling = false;
}

QWidget* TProperties::Control(const QString& key) const { return FControls.value(key, nullptr); }

QWidget* TProperties::AddNumber(const QString& key, int width, QWidget* parent) {
  auto* e = new TInspectorEdit(this, key, true, parent);
  e->setFixedWidth(width);
  FControls.insert(key, e);
  return e;
}

void TProperties::Build() {
  FLayout = DescribeProperties(FScene, Index());
  FBody = new QWidget(this);
  FBody->setObjectName(QStringLiteral("Controles"));
  AddTitleRow();
  for (const TPropertyField& f : FLayout.Fields) {
    const QString key = ToQt(f.Key);
    TRow row;
    row.Key = key;
    row.Label = NewLabel(ToQt(f.Label), QStringLiteral("lbl") + key, FBody);
    FControls.insert(row.Label->objectName(), row.Label);
    switch (f.Kind) {
      case TPropertyKind::Check:
        AddCheck(row, f);
        break;
      case TPropertyKind::Number:
        row.Controls.append(AddNumber(key, kNumberWidth, FBody));
        break;
      case TPropertyKind::Text: {
        auto* e = new TInspectorEdit(this, key, false, FBody);
        e->setFixedWidth(kTextWidth);
        FControls.insert(key, e);
        row.Controls.append(e);
        break;
      }
      case TPropertyKind::List:
        row.Controls.append(AddList(key, f));
        break;
      case TPropertyKind::Colour: {
        auto* s = new TSwatch([this, key] { ChooseSwatchColour(key); }, FBody);
        s->setObjectName(key);
        s->setFixedSize(kSwatchWidth, kSwatchHeight);
        s->SetColour(Qt::white);
        FControls.insert(key, s);
        row.Controls.append(s);
        break;
      }
      case TPropertyKind::Vector:
        AddVectorRows(row, f);
        continue;
    }
    FRows.append(row);
  }
  Layout();
  FBody->show();
  emit VisibilityChanged(true);
}

void TProperties::AddTitleRow() {
  auto* title = new QLabel(ToQt(FLayout.Title), FBody);
  title->setObjectName(QStringLiteral("lblNomObjet"));
  QFont tf = title->font();
  tf.setUnderline(true);
  tf.setPointSize(15);
  title->setFont(tf);
  QPalette tp = title->palette();
  tp.setColor(QPalette::WindowText, Qt::white);
  title->setPalette(tp);
  FControls.insert(title->objectName(), title);
  TRow titleRow;
  titleRow.Label = title;
  titleRow.Height = title->sizeHint().height();
  FRows.append(titleRow);
}

void TProperties::AddCheck(TRow& row, const TPropertyField& f) {
  const QString key = row.Key;
  auto* c = new QCheckBox(FBody);
  c->setObjectName(key);
  c->setFixedWidth(kCheckWidth);
  connect(c, &QCheckBox::clicked, this, [this, key] {
    MarkDirty(key);
    ApplyNow(key);
  });
  FControls.insert(key, c);
  row.Controls.append(c);
  if (f.ToolButton.empty()) return;
  auto* b = new QPushButton(QStringLiteral("..."), FBody);
  const QString name = ToQt(f.ToolButton);
  b->setObjectName(name);
  QFont bf = b->font();
  bf.setBold(true);
  b->setFont(bf);
  b->setFixedSize(26, kRowHeight);
  b->setFocusPolicy(Qt::NoFocus);
  connect(b, &QPushButton::clicked, this, [this, name] {
    if (OnToolButton) OnToolButton(name);
  });
  FControls.insert(name, b);
  row.Extra = b;
}

QWidget* TProperties::AddList(const QString& key, const TPropertyField& f) {
  auto* c = new QComboBox(FBody);
  c->setObjectName(key);
  QStringList items;
  items.reserve(static_cast<int>(f.Items.size()));
  for (const auto& item : f.Items) items << ToQt(item);
  c->addItems(items);
  c->setFixedWidth(f.Key == "font" ? kTextWidth : std::max(kNumberWidth, c->sizeHint().width()));
  connect(c, &QComboBox::activated, this, [this, key, c](int) {
    if (key == QLatin1String("font")) {
      // The text field shows the chosen font at once.
      if (QWidget* text = Control(QStringLiteral("text"))) {
        QFont font = text->font();
        font.setFamily(c->currentText());
        text->setFont(font);
      }
    }
    MarkDirty(key);
    ApplyNow(key);
  });
  FControls.insert(key, c);
  return c;
}

void TProperties::AddVectorRows(const TRow& row, const TPropertyField& f) {
  const QString& key = row.Key;
  FRows.append(row);
  const char* parts[] = {"x", "y", "z"};
  const char* labels[] = {kLblComponentX, kLblComponentY, kLblComponentZ};
  for (int k = 0; k < 3; ++k) {
    TRow sub;
    sub.SubRow = true;
    sub.Key = key + QLatin1String(parts[k]);
    sub.Label = NewLabel(QString::fromUtf8(labels[k]), QString(), FBody, false);
    sub.Controls.append(AddNumber(sub.Key, kNumberWidth, FBody));
    FRows.append(sub);
  }
  if (!f.ValidateButton) return;
  TRow button;
  button.SubRow = true;
  auto* b = new QPushButton(QString::fromLatin1(kLblValider), FBody);
  b->setObjectName(QStringLiteral("btn") + key);
  b->setFixedWidth(kNumberWidth);
  connect(b, &QPushButton::clicked, this, [this, key] { Validate(key); });
  FControls.insert(b->objectName(), b);
  button.Controls.append(b);
  button.Height = b->sizeHint().height();
  FRows.append(button);
}

void TProperties::Layout() {
  if (!FBody) return;
  const int width = FPanel ? FPanel->width() : this->width();
  int y = 10;
  for (const TRow& row : FRows) {
    // A row shows while its label or one of its controls is meant to.
    const bool visible = !row.Label || !row.Label->isHidden();
    if (!visible) {
      for (QWidget* c : row.Controls) c->hide();
      if (row.Extra) row.Extra->hide();
      continue;
    }
    for (QWidget* c : row.Controls)
      if (!qobject_cast<QCheckBox*>(c)) c->show();
    int right = width - kMargin;
    if (row.Extra) {
      row.Extra->show();
      right -= row.Extra->width();
      row.Extra->move(right, y);
      right -= 4;
    }
    int height = row.Height;
    for (auto it = row.Controls.rbegin(); it != row.Controls.rend(); ++it) {
      QWidget* c = *it;
      const int h = c == row.Controls.back() && qobject_cast<QCheckBox*>(c) ? kRowHeight : c->sizeHint().height();
      right -= c->width();
      c->setGeometry(right, y, c->width(), std::max(h, kSwatchHeight));
      height = std::max(height, c->height());
    }
    if (row.Label) {
      const int x = row.SubRow ? kMargin + 15 : kMargin;
      const int w = row.Controls.isEmpty() ? width - x - kMargin : std::max(10, right - x - 4);
      row.Label->setGeometry(x, y, w, std::max(row.Label->sizeHint().height(), height));
      height = std::max(height, row.Label->height());
    }
    y += height + kRowGap;
  }
  FBody->setGeometry(0, FBody->y(), width, y + kRowGap);
  resize(width, std::max(FPanel ? FPanel->height() : 0, FBody->height()));
}

void TProperties::Fill() {
  if (Index() < 0 || !FBody) return;
  if (!FScene.ObjectAt(Index())) {
    Clear();
    return;
  }
  FFilling = true;
  const TPropertyValues values = ReadProperties(FScene, Index());
  if (auto* title = qobject_cast<QLabel*>(Control(QStringLiteral("lblNomObjet"))))
    title->setText(ToQt(FScene.ObjectAt(Index())->Name()));
  for (const auto& [k, v] : values) {
    const QString key = ToQt(k);
    QWidget* w = Control(key);
    if (!w) continue;
    // A vector waiting for its "valider" keeps what was typed.
    if (FDirty.contains(key) && WaitsForValidation(key)) continue;
    FDirty.remove(key);
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
      e->setText(ToQt(v.Text));
      e->setCursorPosition(0);
      e->setReadOnly(!v.Enabled);
      SetFieldColours(e, false);
    } else if (auto* c = qobject_cast<QCheckBox*>(w)) {
      const QSignalBlocker quiet(c);
      c->setChecked(v.Checked);
      c->setEnabled(v.Enabled);
      c->setVisible(v.Visible);
    } else if (auto* list = qobject_cast<QComboBox*>(w)) {
      const QSignalBlocker quiet(list);
      list->setCurrentIndex(v.Choice);
    } else if (auto* s = dynamic_cast<TSwatch*>(w)) {
      const QColor colour = QColor::fromRgb(v.Colour & 0x00FFFFFFu);
      FSwatches.insert(key, colour);
      s->SetColour(colour);
    }
    // Rows shown or hidden by the values (the check boxes above hide alone: their "..." stays).
    if (!qobject_cast<QCheckBox*>(w))
      if (QWidget* label = Control(QStringLiteral("lbl") + key)) {
        label->setVisible(v.Visible);
        if (!v.Label.empty()) qobject_cast<QLabel*>(label)->setText(ToQt(v.Label));
      }
  }
  // The text field shows its font.
  if (auto* text = Control(QStringLiteral("text")))
    if (auto* font = qobject_cast<QComboBox*>(Control(QStringLiteral("font"))); font && font->currentIndex() >= 0) {
      QFont f = text->font();
      f.setFamily(font->currentText());
      text->setFont(f);
    }
  FFilling = false;
  Layout();
}

// ---------------------------------------------------------------- edits

void TProperties::MarkDirty(const QString& key) {
  if (FFilling || !Control(key)) return;
  FDirty.insert(key);
  if (auto* e = qobject_cast<QLineEdit*>(Control(key))) SetFieldColours(e, true);
}

void TProperties::FieldLeft(const QString& key) {
  if (FFilling || FApplying || WaitsForValidation(key)) return;
  if (!FDirty.isEmpty()) Apply();
}

void TProperties::ApplyNow(const QString&) {
  if (FFilling || FApplying) return;
  Apply();
}

TPropertyEdits TProperties::DirtyEdits() const {
  TPropertyEdits edits;
  for (const QString& key : FDirty) {
    if (WaitsForValidation(key)) continue;
    QWidget* w = Control(key);
    TPropertyEdit e;
    if (auto* line = qobject_cast<QLineEdit*>(w)) {
      e.Text = FromQt(line->text());
    } else if (auto* c = qobject_cast<QCheckBox*>(w)) {
      e.Checked = c->isChecked();
    } else if (auto* list = qobject_cast<QComboBox*>(w)) {
      e.Choice = list->currentIndex();
      e.Text = FromQt(list->currentText());
    } else if (FSwatches.contains(key)) {
      e.Colour = 0xFF000000u | (FSwatches.value(key).rgb() & 0x00FFFFFFu);
    } else {
      continue;
    }
    edits[FromQt(key)] = e;
  }
  return edits;
}

void TProperties::Apply() {
  if (Index() < 0 || FApplying) return;
  const TPropertyEdits edits = DirtyEdits();
  TPropertyApplyResult result;
  FApplying = true;
  if (!edits.empty()) result = FModeller.ApplyProperties(Index(), edits);
  FApplying = false;
  // The object's index may have been taken by the rename's notification: follow the scene.
  Fill();
  if (result.TextChanged && OnTextChanged) OnTextChanged(Index());
}

void TProperties::CancelEdits() {
  FDirty.clear();
  Fill();
}

void TProperties::Validate(const QString& key) {
  if (Index() < 0) return;
  std::array<std::string, 3> texts;
  const char* parts[] = {"x", "y", "z"};
  for (int k = 0; k < 3; ++k)
    if (auto* e = qobject_cast<QLineEdit*>(Control(key + QLatin1String(parts[k]))))
      texts[size_t(k)] = FromQt(e->text());
  FApplying = true;
  FModeller.ValidateVector(Index(), FromQt(key), texts);
  FApplying = false;
  for (const char* p : parts) FDirty.remove(key + QLatin1String(p));
  Fill();
}

void TProperties::ChooseSwatchColour(const QString& key) {
  if (Index() < 0 || !ChooseColour) return;
  const auto chosen = ChooseColour(FSwatches.value(key, Qt::white));
  if (!chosen || !chosen->isValid()) return;
  FSwatches.insert(key, *chosen);
  if (auto* s = dynamic_cast<TSwatch*>(Control(key))) s->SetColour(*chosen);
  MarkDirty(key);
  ApplyNow(key);
}

// ---------------------------------------------------------------- scrolling

bool TProperties::ScrollUp() {
  if (!FBody || FBody->y() >= FInitialTop) return false;
  FBody->move(0, std::min(FInitialTop, FBody->y() + kScrollStep));
  return true;
}

bool TProperties::ScrollDown() {
  if (!FBody || !FPanel || FBody->y() + FBody->height() <= FPanel->height()) return false;
  FBody->move(0, FBody->y() - kScrollStep);
  return true;
}

// The wheel scrolls the controls as the arrows do, three steps a notch; a wheel turned over a
// control that takes it (a list) reaches here only if that control leaves it.
void TProperties::wheelEvent(QWheelEvent* event) {
  const int delta = event->angleDelta().y();
  if (delta == 0) return QWidget::wheelEvent(event);
  const int steps = std::max(1, std::abs(delta) / 40);
  for (int k = 0; k < steps; ++k)
    if (!(delta > 0 ? ScrollUp() : ScrollDown())) break;
  event->accept();
}

bool TProperties::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FPanel && event->type() == QEvent::Resize) Layout();

  return QWidget::eventFilter(watched, event);
}

}  // namespace ixoral
