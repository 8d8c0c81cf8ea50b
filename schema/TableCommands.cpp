// Dropping and renaming the selected table.
#include "app/Interaction.h"
#include "app/mysql_test_main.h"
#include "fields/SqlText.h"
#include "schema/RenameTableFUnit.h"

#include <QLineEdit>

void TMainForm::DelTableBtnClick() {
  const int database = ListView1->selectedRow();
  const int table = ListView2->selectedRow();
  if (database < 0 || table < 0)
    return;
  const QString databaseName = ListView1->caption(database);
  const QString tableName = ListView2->caption(table);
  if (!connected()) {
    showNotConnected();
    return;
  }
  if (ShowMessage(this,
                  QStringLiteral("Wollen Sie die Tabelle ") + tableName +
                      QStringLiteral(" in der Datenbank ") + databaseName +
                      QStringLiteral(" wirklich entgültig löschen?"),
                  QStringLiteral("Tabelle löschen?"), MessageButtons::YesNoCancel,
                  MessageIcon::Question) != MessageAnswer::Yes)
    return;
  if (SelectDatabase(databaseName))
    SendStatement(QStringLiteral("DROP TABLE ") + QuoteIdentifier(tableName));
  ListTables(database);
}

void TMainForm::TableRenameBtnClick() {
  const int database = ListView1->selectedRow();
  const int table = ListView2->selectedRow();
  if (database < 0 || table < 0)
    return;
  const QString databaseName = ListView1->caption(database);
  const QString oldName = ListView2->caption(table);
  if (!connected()) {
    showNotConnected();
    return;
  }
  RenameTableForm->TableNameEd->setText(oldName);
  if (ExecModal(*RenameTableForm) != QDialog::Accepted)
    return;
  const QString newName = RenameTableForm->TableNameEd->text();
  if (newName.isEmpty()) {
    ShowMessage(this, QStringLiteral("Das Feld für den Namen der Tabelle darf nicht leer sein!"));
    return;
  }
  if (SelectDatabase(databaseName))
    SendStatement(QStringLiteral("ALTER TABLE ") + QuoteIdentifier(oldName) +
                  QStringLiteral(" RENAME AS ") + QuoteIdentifier(newName));
  ListTables(database);
}
