#include "structure/NewForeignKeyForm.h"

#include "common/FormTools.h"
#include "structure/StructureTools.h"

#include <QComboBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Replaces a box's entries, choosing `current` when it is one of them.
void Refill(QComboBox *box, const QStringList &entries, const QString &current = {}) {
  const QSignalBlocker quiet(box);
  box->clear();
  box->addItems(entries);
  box->setCurrentIndex(std::max(0, static_cast<int>(entries.indexOf(current))));
}

QComboBox *ActionBox(QWidget *parent) {
  auto *box = new QComboBox(parent);
  box->addItems(ReferentialActions());
  return box;
}

} // namespace

TNewForeignKeyForm::TNewForeignKeyForm(QWidget *parent) : QDialog(parent) {
  setObjectName(QStringLiteral("NewForeignKeyForm"));
  setWindowTitle(QStringLiteral("Neuer Fremdschlüssel"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  NameEd = new QLineEdit(this);
  NameEd->setMaxLength(64);
  NameEd->setPlaceholderText(QStringLiteral("vom Server gewählt"));
  DatabaseBox = new QComboBox(this);
  TableBox = new QComboBox(this);
  ColumnBox = new QComboBox(this);
  ReferencedColumnBox = new QComboBox(this);
  AddBtn = new BitBtnXP(QStringLiteral("&Hinzufügen"), BitBtnXP::Kind::Custom, this);
  AddBtn->setGlyph(QStyle::SP_ArrowDown);
  RemoveBtn = new BitBtnXP(QStringLiteral("&Entfernen"), BitBtnXP::Kind::Custom, this);
  RemoveBtn->setGlyph(QStyle::SP_ArrowUp);
  PairList = MakeReportList(this, {QStringLiteral("Spalte"), QStringLiteral("verweist auf")},
                            QStringLiteral("Spaltenpaare des Fremdschlüssels"));
  OnDeleteBox = ActionBox(this);
  OnUpdateBox = ActionBox(this);

  auto *grid = new QGridLayout;
  int row = 0;
  const auto addRow = [&](const QString &caption, QWidget *field) {
    grid->addWidget(MakeBuddyLabel(caption, field, this), row, 0);
    grid->addWidget(field, row++, 1, 1, 2);
  };
  addRow(QStringLiteral("&Name:"), NameEd);
  addRow(QStringLiteral("Verweist auf &Datenbank:"), DatabaseBox);
  addRow(QStringLiteral("Verweist auf &Tabelle:"), TableBox);
  addRow(QStringLiteral("&Spalte dieser Tabelle:"), ColumnBox);
  addRow(QStringLiteral("&Verweist auf Spalte:"), ReferencedColumnBox);
  auto *moves = new QHBoxLayout;
  moves->addWidget(AddBtn);
  moves->addWidget(RemoveBtn);
  moves->addStretch(1);
  grid->addLayout(moves, row++, 1, 1, 2);
  grid->addWidget(MakeBuddyLabel(QStringLiteral("Spalten&paare:"), PairList, this), row, 0,
                  Qt::AlignTop);
  grid->addWidget(PairList, row++, 1, 1, 2);
  addRow(QStringLiteral("&ON DELETE:"), OnDeleteBox);
  addRow(QStringLiteral("ON &UPDATE:"), OnUpdateBox);
  grid->setColumnStretch(1, 1);

  auto *outer = new QVBoxLayout(this);
  outer->addLayout(grid);
  outer->addLayout(MakeOkCancelRow(this, OkBtn, CancelBtn));
  resize(520, 440);

  connect(DatabaseBox, &QComboBox::currentIndexChanged, this,
          &TNewForeignKeyForm::DatabaseBoxChange);
  connect(TableBox, &QComboBox::currentIndexChanged, this, &TNewForeignKeyForm::TableBoxChange);
  connect(AddBtn, &QPushButton::clicked, this, &TNewForeignKeyForm::AddBtnClick);
  connect(RemoveBtn, &QPushButton::clicked, this, &TNewForeignKeyForm::RemoveBtnClick);
  connect(PairList, &QTreeWidget::itemSelectionChanged, this, &TNewForeignKeyForm::UpdateButtons);
  SetTabChain({NameEd, DatabaseBox, TableBox, ColumnBox, ReferencedColumnBox, AddBtn, RemoveBtn,
               PairList, OnDeleteBox, OnUpdateBox, OkBtn, CancelBtn});
}

void TNewForeignKeyForm::Prepare(const QString &database, const QString &table,
                                 const QStringList &columns, const QStringList &databases,
                                 TableLister tables, ColumnLister columnsOf) {
  m_tables = std::move(tables);
  m_columns = std::move(columnsOf);
  NameEd->clear();
  PairList->clear();
  Refill(ColumnBox, columns);
  Refill(DatabaseBox, databases, database);
  Refill(TableBox, m_tables(DatabaseBox->currentText()), table);
  TableBoxChange();
  OnDeleteBox->setCurrentIndex(0);
  OnUpdateBox->setCurrentIndex(0);
  NameEd->setFocus();
}

ForeignKeyDefinition TNewForeignKeyForm::ReadKey() const {
  ForeignKeyDefinition key;
  key.name = NameEd->text();
  key.referencedDatabase = DatabaseBox->currentText();
  key.referencedTable = TableBox->currentText();
  for (int i = 0; i < PairList->topLevelItemCount(); ++i) {
    key.columns << PairList->topLevelItem(i)->text(0);
    key.referencedColumns << PairList->topLevelItem(i)->text(1);
  }
  key.onDelete = OnDeleteBox->currentText();
  key.onUpdate = OnUpdateBox->currentText();
  return key;
}

// Another database or table: the pairs chosen so far referred to the old one.
void TNewForeignKeyForm::DatabaseBoxChange() {
  Refill(TableBox, m_tables(DatabaseBox->currentText()));
  TableBoxChange();
}

void TNewForeignKeyForm::TableBoxChange() {
  PairList->clear();
  Refill(ReferencedColumnBox, TableBox->currentIndex() < 0
                                  ? QStringList()
                                  : m_columns(DatabaseBox->currentText(), TableBox->currentText()));
  UpdateButtons();
}

void TNewForeignKeyForm::AddBtnClick() {
  if (ColumnBox->currentIndex() < 0 || ReferencedColumnBox->currentIndex() < 0)
    return;
  PairList->setCurrentItem(new QTreeWidgetItem(
      PairList, {ColumnBox->currentText(), ReferencedColumnBox->currentText()}));
  UpdateButtons();
}

void TNewForeignKeyForm::RemoveBtnClick() {
  delete PairList->currentItem();
  UpdateButtons();
}

void TNewForeignKeyForm::UpdateButtons() {
  AddBtn->setEnabled(ColumnBox->count() > 0 && ReferencedColumnBox->count() > 0);
  RemoveBtn->setEnabled(PairList->currentItem() != nullptr);
  OkBtn->setEnabled(PairList->topLevelItemCount() > 0);
}

void TNewForeignKeyForm::keyPressEvent(QKeyEvent *event) {
  if (!HandleFormKey(event, {AddBtn, RemoveBtn, OkBtn, CancelBtn}))
    QDialog::keyPressEvent(event);
}
