#include "structure/NewIndexForm.h"

#include "common/FormTools.h"
#include "structure/StructureTools.h"

#include <QComboBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
// The longest prefix the server accepts for a key part, in bytes.
constexpr int LongestPrefix = 3072;
const QList<IndexKind> Kinds{IndexKind::Index, IndexKind::Unique, IndexKind::Primary,
                             IndexKind::Fulltext, IndexKind::Spatial};
} // namespace

TNewIndexForm::TNewIndexForm(QWidget *parent) : QDialog(parent) {
  setObjectName(QStringLiteral("NewIndexForm"));
  setWindowTitle(QStringLiteral("Neuer Index"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  NameEd = new QLineEdit(this);
  NameEd->setMaxLength(64);
  KindBox = new QComboBox(this);
  for (IndexKind kind : Kinds)
    KindBox->addItem(IndexKindName(kind));
  ColumnList = new QListWidget(this);
  PartList = MakeReportList(this, {QStringLiteral("Spalte"), QStringLiteral("Präfixlänge")},
                            QStringLiteral("Spalten des Index"));
  PrefixEd = new QSpinBox(this);
  PrefixEd->setRange(0, LongestPrefix);
  PrefixEd->setSpecialValueText(QStringLiteral("ganze Spalte"));
  AddBtn = new BitBtnXP(QStringLiteral("&Hinzufügen"), BitBtnXP::Kind::Custom, this);
  AddBtn->setGlyph(QStyle::SP_ArrowRight);
  RemoveBtn = new BitBtnXP(QStringLiteral("&Entfernen"), BitBtnXP::Kind::Custom, this);
  RemoveBtn->setGlyph(QStyle::SP_ArrowLeft);
  UpBtn = new BitBtnXP(QStringLiteral("Nach &oben"), BitBtnXP::Kind::Custom, this);
  UpBtn->setGlyph(QStyle::SP_ArrowUp);
  DownBtn = new BitBtnXP(QStringLiteral("Nach &unten"), BitBtnXP::Kind::Custom, this);
  DownBtn->setGlyph(QStyle::SP_ArrowDown);

  auto *grid = new QGridLayout;
  grid->addWidget(MakeBuddyLabel(QStringLiteral("&Name:"), NameEd, this), 0, 0);
  grid->addWidget(NameEd, 0, 1, 1, 2);
  grid->addWidget(MakeBuddyLabel(QStringLiteral("&Art:"), KindBox, this), 1, 0);
  grid->addWidget(KindBox, 1, 1, 1, 2);
  grid->addWidget(MakeBuddyLabel(QStringLiteral("Spalten der &Tabelle:"), ColumnList, this), 2, 0,
                  1, 2);
  grid->addWidget(MakeBuddyLabel(QStringLiteral("&Spalten des Index:"), PartList, this), 2, 2);
  grid->addWidget(ColumnList, 3, 0, 1, 2);
  grid->addWidget(PartList, 3, 2);
  auto *moves = new QHBoxLayout;
  for (BitBtnXP *b : {AddBtn, RemoveBtn, UpBtn, DownBtn})
    moves->addWidget(b);
  moves->addStretch(1);
  grid->addLayout(moves, 4, 0, 1, 3);
  auto *prefix = new QHBoxLayout;
  prefix->addWidget(
      MakeBuddyLabel(QStringLiteral("&Präfixlänge der gewählten Spalte:"), PrefixEd, this));
  prefix->addWidget(PrefixEd);
  prefix->addStretch(1);
  grid->addLayout(prefix, 5, 0, 1, 3);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(2, 1);

  auto *outer = new QVBoxLayout(this);
  outer->addLayout(grid);
  outer->addLayout(MakeOkCancelRow(this, OkBtn, CancelBtn));
  resize(520, 400);

  connect(AddBtn, &QPushButton::clicked, this, &TNewIndexForm::AddBtnClick);
  connect(ColumnList, &QListWidget::itemDoubleClicked, this, &TNewIndexForm::AddBtnClick);
  connect(RemoveBtn, &QPushButton::clicked, this, &TNewIndexForm::RemoveBtnClick);
  connect(UpBtn, &QPushButton::clicked, this, [this] { MovePart(-1); });
  connect(DownBtn, &QPushButton::clicked, this, [this] { MovePart(1); });
  connect(NameEd, &QLineEdit::textChanged, this, &TNewIndexForm::UpdateButtons);
  connect(KindBox, &QComboBox::currentIndexChanged, this, &TNewIndexForm::UpdateButtons);
  connect(ColumnList, &QListWidget::currentRowChanged, this, &TNewIndexForm::UpdateButtons);
  connect(PartList, &QTreeWidget::itemSelectionChanged, this, [this] {
    const int row = SelectedRow(PartList);
    PrefixEd->setValue(row < 0 ? 0 : PartList->topLevelItem(row)->text(1).toInt());
    UpdateButtons();
  });
  connect(PrefixEd, &QSpinBox::valueChanged, this, [this](int value) {
    if (const int row = SelectedRow(PartList); row >= 0)
      PartList->topLevelItem(row)->setText(1, value > 0 ? QString::number(value) : QString());
  });
  SetTabChain({NameEd, KindBox, ColumnList, PartList, AddBtn, RemoveBtn, UpBtn, DownBtn, PrefixEd,
               OkBtn, CancelBtn});
}

void TNewIndexForm::Prepare(const QStringList &columns) {
  NameEd->clear();
  KindBox->setCurrentIndex(0);
  ColumnList->clear();
  ColumnList->addItems(columns);
  ColumnList->setCurrentRow(0);
  PartList->clear();
  NameEd->setFocus();
  UpdateButtons();
}

IndexDefinition TNewIndexForm::ReadIndex() const {
  IndexDefinition index;
  index.kind = Kinds.value(KindBox->currentIndex(), IndexKind::Index);
  index.name = index.kind == IndexKind::Primary ? QString() : NameEd->text();
  for (int i = 0; i < PartList->topLevelItemCount(); ++i) {
    const QTreeWidgetItem *item = PartList->topLevelItem(i);
    index.parts.append({item->text(0), item->text(1).toInt(), false});
  }
  return index;
}

void TNewIndexForm::AddBtnClick() {
  const QListWidgetItem *column = ColumnList->currentItem();
  if (!column)
    return;
  auto *part = new QTreeWidgetItem(PartList, {column->text(), QString()});
  PartList->setCurrentItem(part);
  UpdateButtons();
}

void TNewIndexForm::RemoveBtnClick() {
  delete PartList->currentItem();
  UpdateButtons();
}

void TNewIndexForm::MovePart(int by) {
  const int row = SelectedRow(PartList);
  const int to = row + by;
  if (row < 0 || to < 0 || to >= PartList->topLevelItemCount())
    return;
  QTreeWidgetItem *item = PartList->takeTopLevelItem(row);
  PartList->insertTopLevelItem(to, item);
  PartList->setCurrentItem(item);
}

void TNewIndexForm::UpdateButtons() {
  const bool primary = Kinds.value(KindBox->currentIndex(), IndexKind::Index) == IndexKind::Primary;
  NameEd->setEnabled(!primary);
  const bool partSelected = SelectedRow(PartList) >= 0;
  AddBtn->setEnabled(ColumnList->currentItem() != nullptr);
  RemoveBtn->setEnabled(partSelected);
  UpBtn->setEnabled(partSelected);
  DownBtn->setEnabled(partSelected);
  PrefixEd->setEnabled(partSelected);
  OkBtn->setEnabled(PartList->topLevelItemCount() > 0 && (primary || !NameEd->text().isEmpty()));
}

void TNewIndexForm::keyPressEvent(QKeyEvent *event) {
  if (!HandleFormKey(event, {AddBtn, RemoveBtn, UpBtn, DownBtn, OkBtn, CancelBtn}))
    QDialog::keyPressEvent(event);
}
