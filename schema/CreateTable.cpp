// Creating a table from the new-table designer.
#include "app/Interaction.h"
#include "app/mysql_test_main.h"
#include "fields/ColumnClause.h"
#include "schema/NewTableFUnit.h"

void TMainForm::NewTableBtnClick() {
  const int database = ListView1->selectedRow();
  if (database < 0)
    return;
  const QString databaseName = ListView1->caption(database);
  if (!connected()) {
    showNotConnected();
    return;
  }
  NewTableForm->Clear();
  if (ExecModal(*NewTableForm) != QDialog::Accepted)
    return;
  if (SelectDatabase(databaseName))
    SendStatement(CreateTableStatement(NewTableForm->TableName(), NewTableForm->FieldRows(),
                                       [this](const QString &v) { return EscapeLiteral(v); }));
  ListTables(database);
}
