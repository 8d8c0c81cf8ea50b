// Adding, changing and dropping a column of the selected table.
#include "app/Interaction.h"
#include "app/mysql_test_main.h"
#include "clientlib/Results.h"
#include "fields/ColumnClause.h"
#include "fields/ColumnDefinition.h"
#include "fields/EditFieldFUnit.h"
#include "schema/NewTableFUnit.h"

#include <QLineEdit>

namespace {

// What a field command works on: the selected database and table (and field),
// with the positions that the field list is rebuilt from afterwards.
struct FieldTarget {
  int database = -1;
  int table = -1;
  QString databaseName;
  QString tableName;
  QString fieldName;
};

} // namespace

// The one field row travels through the designer's grid to the statement,
// as for a new table.
static FieldRow CarryThroughGrid(TNewTableForm &grid, const FieldRow &row) {
  grid.ClearRows();
  grid.AppendFieldRow(row);
  return grid.FieldRows().value(0);
}

void TMainForm::NewFieldBtnClick() {
  FieldTarget target{ListView1->selectedRow(), ListView2->selectedRow(), {}, {}, {}};
  if (target.database < 0 || target.table < 0)
    return;
  target.databaseName = ListView1->caption(target.database);
  target.tableName = ListView2->caption(target.table);
  if (!connected())
    return;
  EditFieldForm->PrepareNewField(true);
  NewTableForm->ClearRows();
  if (ExecModal(*EditFieldForm) != QDialog::Accepted)
    return;
  const FieldRow row = CarryThroughGrid(*NewTableForm, EditFieldForm->ReadFieldRow());
  if (!SelectDatabase(target.databaseName))
    return;
  SendStatement(AddFieldStatement(target.tableName, row, EditFieldForm->ReadPlacement(),
                                  [this](const QString &v) { return EscapeLiteral(v); }));
  ListFields(target.database, target.table);
}

void TMainForm::ChangeFieldBntClick() {
  FieldTarget target{ListView1->selectedRow(), ListView2->selectedRow(), {}, {}, {}};
  const int field = ListView3->selectedRow();
  if (target.database < 0 || target.table < 0 || field < 0)
    return;
  target.databaseName = ListView1->caption(target.database);
  target.tableName = ListView2->caption(target.table);
  target.fieldName = ListView3->caption(field);
  if (!connected())
    return;

  // The editor starts from the column as the server has it now.
  std::optional<QList<QStringList>> facts;
  {
    WaitCursor wait;
    facts = QueryRows(MySQLHandle,
                      ColumnFactsQuery(EscapeLiteral(target.databaseName),
                                       EscapeLiteral(target.tableName),
                                       EscapeLiteral(target.fieldName)));
  }
  if (!facts) {
    ShowMessage(this, ServerError(MySQLHandle));
    return;
  }
  if (facts->isEmpty()) {
    ShowMessage(this, QStringLiteral("Die Spalte „%1“ gibt es in der Tabelle „%2“ nicht mehr.")
                          .arg(target.fieldName, target.tableName));
    ListFields(target.database, target.table);
    return;
  }
  const QStringList &f = facts->first();
  const ColumnFacts column{f.value(0), f.value(1), f.value(2), f.value(3) == QLatin1String("YES"),
                           f.value(4), f.value(5), f.value(6), f.value(7), f.value(8)};
  const EditableColumn editable = EditableFromColumn(column);
  if (!editable.row) {
    ShowMessage(this, editable.refusal);
    return;
  }
  EditFieldForm->FillFromRow(*editable.row);
  EditFieldForm->SetPositionEnabled(true);
  EditFieldForm->BitBtnXP1->setEnabled(true);
  NewTableForm->ClearRows();
  if (ExecModal(*EditFieldForm) != QDialog::Accepted)
    return;
  const FieldRow row = CarryThroughGrid(*NewTableForm, EditFieldForm->ReadFieldRow());
  if (!SelectDatabase(target.databaseName))
    return;
  const QString statement =
      ChangeFieldStatement(target.tableName, target.fieldName, row, EditFieldForm->ReadPlacement(),
                           [this](const QString &v) { return EscapeLiteral(v); });
  ShowMessage(this, statement, QStringLiteral("dd"));
  SendStatement(statement);
  ListFields(target.database, target.table);
}

void TMainForm::DelFieldBtnClick() {
  const int database = ListView1->selectedRow();
  const int table = ListView2->selectedRow();
  const int field = ListView3->selectedRow();
  if (database < 0 || table < 0 || field < 0)
    return;
  const QString databaseName = ListView1->caption(database);
  const QString tableName = ListView2->caption(table);
  const QString fieldName = ListView3->caption(field);
  if (!connected()) {
    showNotConnected();
    return;
  }
  if (ShowMessage(this,
                  QStringLiteral("Wollen Sie das Feld ") + fieldName +
                      QStringLiteral(" in der Tabelle ") + tableName +
                      QStringLiteral(" in der Datenbank ") + databaseName +
                      QStringLiteral(" wirklich entgültig löschen?"),
                  QStringLiteral("Feld löschen?"), MessageButtons::YesNoCancel,
                  MessageIcon::Question) != MessageAnswer::Yes)
    return;
  if (SelectDatabase(databaseName))
    SendStatement(QStringLiteral("ALTER TABLE ") + QuoteIdentifier(tableName) +
                  QStringLiteral(" DROP COLUMN ") + QuoteIdentifier(fieldName));
  ListFields(database, table);
}
