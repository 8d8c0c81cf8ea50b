// Creating a table from the new-table designer.
#include "app/Interaction.h"
#include "app/mysql_test_main.h"
#include "fields/ColumnClause.h"
#include "schema/NewTableFUnit.h"

void TMainForm::NewTableBtnClick() {
  const Selection s = CurrentSelection();
  if (s.database < 0)
    return;
  if (!ConnectedOrSaySo())
    return;
  NewTableForm->Clear();
  if (ExecModal(*NewTableForm) != QDialog::Accepted)
    return;
  if (SelectDatabase(s.databaseName))
    SendStatement(CreateTableStatement(NewTableForm->TableName(), NewTableForm->FieldRows(),
                                       [this](const QString &v) { return EscapeLiteral(v); }));
  ListTables(s.database);
}
