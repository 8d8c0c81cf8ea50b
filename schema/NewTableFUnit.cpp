#include "schema/NewTableFUnit.h"

#include "common/FormTools.h"
#include "common/Interaction.h"
#include "fields/EditFieldFUnit.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStatusBar>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Column captions in field row order. Cells 8 to 12 hold the unsigned,
// zerofill, binary, auto-increment and unique flags.
QStringList gridCaptions() {
  return {QStringLiteral("Feldname"),      QStringLiteral("Typ"),
          QStringLiteral("Länge"),         QStringLiteral("Stellen"),
          QStringLiteral("Vorgabewert"),   QStringLiteral("Null"),
          QStringLiteral("Hauptindex"),    QStringLiteral("Ohne Vorzeichen"),
          QStringLiteral("Mit 0 gefüllt"), QStringLiteral("Binär"),
          QStringLiteral("Hochzählen"),    QStringLiteral("Eindeutig"),
          QStringLiteral("Index")};
}

// Connects a signal to a handler that runs at a handler's edge.
template <typename Sender, typename Signal>
void onSignal(TNewTableForm *form, Sender *sender, Signal signal,
              void (TNewTableForm::*handler)()) {
  QObject::connect(sender, signal, form,
                   [form, handler] { RunHandler(form, [&] { (form->*handler)(); }); });
}

} // namespace

TNewTableForm::TNewTableForm(TEditFieldForm *editor, QWidget *parent)
    : QDialog(parent), m_editor(editor) {
  setObjectName(QStringLiteral("NewTableForm"));
  setWindowTitle(QStringLiteral("Neue Tabelle erstellen"));
  setSizeGripEnabled(false); // the status bar has its own

  Panel1 = new QWidget(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Label1 = new QLabel(QStringLiteral("Name der Tabelle:"), Panel1);
  Label1->setObjectName(QStringLiteral("Label1"));
  TableNameEd = new QLineEdit(Panel1);
  TableNameEd->setObjectName(QStringLiteral("TableNameEd"));
  TableNameEd->setAccessibleName(Label1->text());
  TableNameEd->setMinimumWidth(185);
  Label1->setBuddy(TableNameEd);

  ListView1 = new ReportListView(this);
  ListView1->setObjectName(QStringLiteral("ListView1"));
  ListView1->setColumns(gridCaptions(), {100, 100, 75, 75, 100});
  ListView1->setAccessibleName(QStringLiteral("Felder der neuen Tabelle"));
  ListView1->viewport()->installEventFilter(this);

  Panel2 = new QWidget(this);
  Panel2->setObjectName(QStringLiteral("Panel2"));
  NewFieldBtn = new BitBtnXP(QStringLiteral("Neues Feld..."), BitBtnXP::Kind::Custom, Panel2);
  NewFieldBtn->setObjectName(QStringLiteral("NewFieldBtn"));
  NewFieldBtn->setGlyph(QStyle::SP_FileIcon);
  NewFieldBtn->setDefaultRole(true);
  BitBtnXP4 = new BitBtnXP(QStringLiteral("Feld bearbeiten..."), BitBtnXP::Kind::Custom, Panel2);
  BitBtnXP4->setObjectName(QStringLiteral("BitBtnXP4"));
  BitBtnXP4->setGlyph(QStyle::SP_FileDialogDetailedView);
  BitBtnXP5 = new BitBtnXP(QStringLiteral("Feld löschen"), BitBtnXP::Kind::Custom, Panel2);
  BitBtnXP5->setObjectName(QStringLiteral("BitBtnXP5"));
  BitBtnXP5->setGlyph(QStyle::SP_TrashIcon);
  BitBtnXP5->setCancelRole(true);

  Panel3 = new QWidget(this);
  Panel3->setObjectName(QStringLiteral("Panel3"));
  BitBtnXP1 = new BitBtnXP(QStringLiteral("OK"), BitBtnXP::Kind::Ok, Panel3);
  BitBtnXP1->setObjectName(QStringLiteral("BitBtnXP1"));
  BitBtnXP1->setDefault(true);
  BitBtnXP1->setEnabled(false);
  BitBtnXP2 = new BitBtnXP(QStringLiteral("Abbrechen"), BitBtnXP::Kind::Cancel, Panel3);
  BitBtnXP2->setObjectName(QStringLiteral("BitBtnXP2"));

  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setAccessibleName(QStringLiteral("Statuszeile"));

  buildLayout();
  SetTabChain({TableNameEd, ListView1, NewFieldBtn, BitBtnXP4, BitBtnXP5, BitBtnXP1, BitBtnXP2});

  onSignal(this, TableNameEd, &QLineEdit::textChanged, &TNewTableForm::TableNameEdChange);
  onSignal(this, NewFieldBtn, &QPushButton::clicked, &TNewTableForm::NewFieldBtnClick);
  onSignal(this, BitBtnXP4, &QPushButton::clicked, &TNewTableForm::BitBtnXP4Click);
  onSignal(this, BitBtnXP5, &QPushButton::clicked, &TNewTableForm::BitBtnXP5Click);
  connect(BitBtnXP1, &QPushButton::clicked, this, &QDialog::accept);
  connect(BitBtnXP2, &QPushButton::clicked, this, &QDialog::reject);
}

void TNewTableForm::buildLayout() {
  // Top strip, 57 high: the label at (8, 8), the name at (8, 24), 185 wide.
  auto *top = new QVBoxLayout(Panel1);
  top->setContentsMargins(8, 8, 8, 8);
  top->setSpacing(0);
  top->addWidget(Label1);
  top->addSpacing(std::max(0, 16 - Label1->sizeHint().height()));
  top->addWidget(TableNameEd, 0, Qt::AlignLeft);
  Panel1->setFixedHeight(std::max(57, top->sizeHint().height()));

  // Right strip, 144 wide: three buttons 129 x 25 at (8, 8), (8, 40), (8, 72).
  int width = 129;
  for (BitBtnXP *b : {NewFieldBtn, BitBtnXP4, BitBtnXP5})
    width = std::max(width, b->sizeHint().width());
  auto *right = new QVBoxLayout(Panel2);
  right->setContentsMargins(8, 8, 7, 8);
  right->setSpacing(7);
  for (BitBtnXP *b : {NewFieldBtn, BitBtnXP4, BitBtnXP5}) {
    b->setDesignSize(width, 25);
    right->addWidget(b);
  }
  right->addStretch(1);
  Panel2->setFixedWidth(std::max(144, right->sizeHint().width()));

  // Bottom strip, 41 high: OK at (8, 8), 97 wide; "Abbrechen" at (112, 8), 113 wide.
  BitBtnXP1->setDesignSize(97, 25);
  BitBtnXP2->setDesignSize(113, 25);
  auto *bottom = new QHBoxLayout(Panel3);
  bottom->setContentsMargins(8, 8, 8, 8);
  bottom->setSpacing(7);
  bottom->addWidget(BitBtnXP1);
  bottom->addWidget(BitBtnXP2);
  bottom->addStretch(1);
  Panel3->setFixedHeight(std::max(41, bottom->sizeHint().height()));

  auto *middle = new QHBoxLayout;
  middle->setContentsMargins(0, 0, 0, 0);
  middle->setSpacing(0);
  middle->addWidget(ListView1, 1);
  middle->addWidget(Panel2);

  auto *outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);
  outer->addWidget(Panel1);
  outer->addLayout(middle, 1);
  outer->addWidget(Panel3);
  outer->addWidget(StatusBar1);

  // Header captions are never cut short, whatever the font.
  QHeaderView *header = ListView1->header();
  for (int i = 0; i < header->count(); ++i)
    header->resizeSection(i, std::max(header->sectionSize(i), header->sectionSizeHint(i)));

  resize(QSize(650, 480).expandedTo(minimumSizeHint()));
}

void TNewTableForm::Clear() {
  TableNameEd->clear();
  BitBtnXP1->setEnabled(false);
  ClearRows();
  if (!m_kept)
    return;
  TableNameEd->setText(m_kept->name);
  for (const FieldRow &row : m_kept->rows)
    AppendFieldRow(row);
  m_kept.reset();
  UpdateOkButton();
}

void TNewTableForm::KeepDesign() { m_kept = Design{TableName(), FieldRows()}; }

QString TNewTableForm::TableName() const { return TableNameEd->text(); }

QList<FieldRow> TNewTableForm::FieldRows() const {
  QList<FieldRow> rows;
  const ReportListModel &items = ListView1->items();
  rows.reserve(items.rows());
  for (int r = 0; r < items.rows(); ++r) {
    FieldRow row;
    for (std::size_t c = 0; c < FieldRowCells; ++c)
      row[c] = items.cell(r, static_cast<int>(c));
    rows.append(row);
  }
  return rows;
}

void TNewTableForm::ClearRows() { ListView1->clear(); }

void TNewTableForm::AppendFieldRow(const FieldRow &row) {
  ListView1->items().appendRow(ToCellList(row));
}

void TNewTableForm::setRow(int row, const FieldRow &cells) {
  for (std::size_t c = 0; c < FieldRowCells; ++c)
    ListView1->items().setCell(row, static_cast<int>(c), cells[c]);
}

void TNewTableForm::UpdateOkButton() {
  BitBtnXP1->setEnabled(!TableNameEd->text().isEmpty() && ListView1->count() > 0);
}

void TNewTableForm::TableNameEdChange() { UpdateOkButton(); }

void TNewTableForm::NewFieldBtnClick() {
  // A table still being designed has no field positions.
  m_editor->PrepareNewField(false);
  if (ExecModal(*m_editor) == QDialog::Accepted)
    AppendFieldRow(m_editor->ReadFieldRow());
  UpdateOkButton();
}

void TNewTableForm::BitBtnXP4Click() {
  const int row = ListView1->selectedRow();
  if (row < 0)
    return;
  FieldRow current;
  for (std::size_t c = 0; c < FieldRowCells; ++c)
    current[c] = ListView1->items().cell(row, static_cast<int>(c));
  m_editor->FillFromRow(current);
  if (ExecModal(*m_editor) == QDialog::Accepted)
    setRow(row, m_editor->ReadFieldRow());
}

void TNewTableForm::ListView1DblClick() { BitBtnXP4Click(); }

void TNewTableForm::BitBtnXP5Click() {
  const int row = ListView1->selectedRow();
  if (row >= 0)
    ListView1->items().removeRow(row);
  UpdateOkButton();
}

QList<BitBtnXP *> TNewTableForm::buttonsInCreationOrder() const {
  // The bottom strip answers Enter and Escape before the right strip.
  return {BitBtnXP1, BitBtnXP2, NewFieldBtn, BitBtnXP4, BitBtnXP5};
}

void TNewTableForm::FormShow() { TableNameEd->setFocus(); }

void TNewTableForm::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  if (!m_placed) {
    m_placed = true;
    CentreOnScreen(this);
  }
  FormShow();
}

void TNewTableForm::keyPressEvent(QKeyEvent *event) {
  // Enter presses OK while it is enabled and "Neues Feld..." otherwise;
  // Escape presses "Abbrechen".
  if (!HandleFormKey(event, buttonsInCreationOrder()))
    QDialog::keyPressEvent(event);
}

bool TNewTableForm::eventFilter(QObject *watched, QEvent *event) {
  // A double click anywhere in the grid edits the selected row, if any.
  if (watched == ListView1->viewport() && event->type() == QEvent::MouseButtonDblClick &&
      static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
    RunHandler(this, [this] { ListView1DblClick(); });
    return true;
  }
  return QDialog::eventFilter(watched, event);
}
