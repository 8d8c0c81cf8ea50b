#include "structure/StructureTools.h"

#include "common/BitBtnXP.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>

QTreeWidget *MakeReportList(QWidget *parent, const QStringList &headers,
                            const QString &accessibleName) {
  auto *list = new QTreeWidget(parent);
  list->setHeaderLabels(headers);
  list->setRootIsDecorated(false);
  list->setUniformRowHeights(true);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setAllColumnsShowFocus(true);
  list->setAccessibleName(accessibleName);
  list->header()->setStretchLastSection(true);
  return list;
}

QLabel *MakeBuddyLabel(const QString &caption, QWidget *buddy, QWidget *parent) {
  auto *label = new QLabel(caption, parent);
  label->setTextFormat(Qt::PlainText);
  label->setBuddy(buddy);
  buddy->setAccessibleName(PlainCaption(caption).remove(QLatin1Char(':')));
  return label;
}

QHBoxLayout *MakeOkCancelRow(QDialog *dialog, BitBtnXP *&ok, BitBtnXP *&cancel) {
  ok = new BitBtnXP(QStringLiteral("OK"), BitBtnXP::Kind::Ok, dialog);
  cancel = new BitBtnXP(QStringLiteral("Abbrechen"), BitBtnXP::Kind::Cancel, dialog);
  ok->setObjectName(QStringLiteral("OkBtn"));
  cancel->setObjectName(QStringLiteral("CancelBtn"));
  ok->setDesignSize(75, 25);
  cancel->setDesignSize(96, 25);
  QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
  QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
  auto *row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(ok);
  row->addWidget(cancel);
  row->addStretch(1);
  return row;
}

int SelectedRow(const QTreeWidget *list) {
  const QList<QTreeWidgetItem *> selected = list->selectedItems();
  return selected.isEmpty() ? -1 : list->indexOfTopLevelItem(selected.first());
}
