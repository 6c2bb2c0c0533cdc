// "Modification en Mode Point": the object's points in a table, each cell typed through the
// numeric key filter, every row of a moved point following.
#include <QHeaderView>
#include <QLineEdit>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

#include "platform/NumberFormat.h"
#include "ui/QtPlatform.h"
#include "ui/ScenePanel.h"
#include "ui/ToolDialogs.h"

namespace ixoral {

namespace {

// The table's cells are edited through the numeric key filter.
class TNumberCellDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override {
    QLineEdit* f = NewToolNumberField(parent);
    f->setFixedWidth(QWIDGETSIZE_MAX);
    f->setMinimumWidth(0);
    return f;
  }
};

}  // namespace

TFrmMeshEdit::TFrmMeshEdit(QWidget* parent, TModeller& modeller, IPrompt& prompt, TSettingsStore* settings, int index)
    : TToolDialog(parent, QStringLiteral("Modification en Mode Point"), modeller, prompt, settings, index, 260) {
  setObjectName(QStringLiteral("FrmMeshEdit"));
  SetTour(TTour::PointMode);

  FTable = new QTableWidget(Body());
  FTable->setObjectName(QStringLiteral("Grille"));
  FTable->setColumnCount(6);
  QStringList headers;
  for (const char* h : kGridHeaders) headers << QString::fromUtf8(h);
  FTable->setHorizontalHeaderLabels(headers);
  FTable->verticalHeader()->hide();
  FTable->verticalHeader()->setDefaultSectionSize(20);
  for (int c = 0; c < 6; ++c) FTable->setColumnWidth(c, kGridColumnWidths[size_t(c)] + 20);
  FTable->setItemDelegate(new TNumberCellDelegate(FTable));
  FTable->setMinimumWidth(340);
  AddColumn(FTable, 1);
  connect(FTable, &QTableWidget::currentCellChanged, this,
          [this](int row, int column, int previousRow, int previousColumn) {
            CellLeft(previousRow, previousColumn, row, column);
          });

  auto* right = new QVBoxLayout;
  right->addLayout(CreateRotationZoomTools());
  right->addWidget(CreateObjectPreview(233, 241, true));
  if (FDrawn) {
    FDrawn->Renderer.ShowGrid = true;
    FDrawn->Renderer.ShowAxes = true;
  }
  AddLastColumn(right, {});

  if (const TSolidObject* s = FMain.SolidAt(FIndex)) FGrid.Fill(*s);
  FillTable();
  resize(700, 460);
  Redraw();
}

void TFrmMeshEdit::FillTable() {
  FFilling = true;
  const int rows = FGrid.RowCount() - 1;
  FTable->setRowCount(rows);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < 6; ++c) {
      QTableWidgetItem* item = FTable->item(r, c);
      if (!item) {
        item = new QTableWidgetItem;
        if (c == 0) item->setFlags(item->flags() & ~Qt::ItemIsEditable);
        FTable->setItem(r, c, item);
      }
      item->setText(ToQt(FGrid.Cell(r + 1, c)));
    }
  FFilling = false;
}

void TFrmMeshEdit::CellLeft(int row, int column, int newRow, int newColumn) {
  if (FFilling || !FDrawn) return;
  TSolidObject* solid = FDrawn->Scene.SolidAt(FShown);
  if (row >= 0 && column >= 1 && solid) {
    QTableWidgetItem* item = FTable->item(row, column);
    const std::string previous = FGrid.Cell(row + 1, column);
    FGrid.SetCell(row + 1, column, item ? FromQt(item->text()) : std::string());
    std::string message;
    if (FGrid.Commit(*solid, row + 1, column, FRemembered, message)) {
      // The model was filled again from the preview object: other rows of a moved point follow.
      FillTable();
      Redraw();
    } else {
      // Nothing committed: the cell shows its value again.
      FGrid.SetCell(row + 1, column, previous);
      if (item) {
        FFilling = true;
        item->setText(ToQt(previous));
        FFilling = false;
      }
      if (!message.empty()) FPrompt.Error(message);
    }
  }
  if (newRow >= 0 && newColumn >= 1) {
    const std::optional<double> v = ParseNumber(FGrid.Cell(newRow + 1, newColumn));
    FRemembered = v ? *v : 0;
  }
}

void TFrmMeshEdit::Accept() {
  // A cell still being edited is left first.
  CellLeft(FTable->currentRow(), FTable->currentColumn(), -1, -1);
  if (FDrawn) FModeller.ApplyToolResult(Target(), FDrawn->Scene, TModeller::TToolResult::HandEdits);
  accept();
}

}  // namespace ixoral
