#include "structure/StructureTools.h"

#include "clientlib/TableOptions.h"
#include "common/BitBtnXP.h"
#include "common/Interaction.h"

#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSignalBlocker>
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

bool NameFitsOrSaySo(QWidget *dialog, const QString &name) {
  constexpr qsizetype Longest = 64;
  // The server counts characters, not UTF-16 units.
  const qsizetype length = name.toUcs4().size();
  if (length <= Longest)
    return true;
  ShowMessage(dialog, QStringLiteral("Der Name „%1“ ist %2 Zeichen lang; der Server erlaubt "
                                     "höchstens %3 Zeichen.")
                          .arg(name)
                          .arg(length)
                          .arg(Longest));
  return false;
}

void ChooseEntry(QComboBox *box, const QString &name) {
  int index = box->findData(name);
  if (index < 0) {
    box->addItem(name, name);
    index = box->count() - 1;
  }
  box->setCurrentIndex(index);
}

QString ChosenEntry(const QComboBox *box) { return box->currentData().toString(); }

void FillCharacterSets(QComboBox *box, const ServerCatalog &catalog, const QString &chosen) {
  const QSignalBlocker quiet(box);
  box->clear();
  for (const QString &set : catalog.characterSets())
    box->addItem(set, set);
  ChooseEntry(box, chosen);
}

void FillCollations(QComboBox *box, const ServerCatalog &catalog, const QString &characterSet,
                    const QString &chosen, const QString &tableCollation) {
  const QSignalBlocker quiet(box);
  box->clear();
  for (const CollationName &c : catalog.collations)
    if (c.characterSet == characterSet)
      box->addItem(c.name == tableCollation ? QStringLiteral("%1 (Vorgabe der Tabelle)").arg(c.name)
                                            : c.name,
                   c.name);
  ChooseEntry(box, chosen.isEmpty() ? catalog.defaultCollation(characterSet) : chosen);
}
