// Creating a table from the new-table designer.
#include "app/mysql_test_main.h"
#include "common/Interaction.h"
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
  const Sent sent =
      SelectAndSend(s.databaseName,
                    CreateTableStatement(NewTableForm->TableName(), NewTableForm->FieldRows(),
                                         [this](const QString &v) { return EscapeLiteral(v); }),
                    QStringLiteral("Erstelle die Tabelle „%1“ ...").arg(NewTableForm->TableName()));
  // A design the server refused is offered again by the next "Neue Tabelle...".
  if (sent != Sent::Done)
    NewTableForm->KeepDesign();
  ListTables(s.database);
}
