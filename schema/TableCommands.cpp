// Dropping and renaming the selected table.
#include "app/mysql_test_main.h"
#include "clientlib/SqlText.h"
#include "common/Interaction.h"
#include "schema/RenameTableFUnit.h"

#include <QLineEdit>

void TMainForm::DelTableBtnClick() {
  const Selection s = CurrentSelection();
  if (s.database < 0 || s.table < 0)
    return;
  if (!ConnectedOrSaySo())
    return;
  const Check check = TableAsShown(s);
  if (ShowMessage(this,
                  QStringLiteral("Wollen Sie die Tabelle ") + s.tableName +
                      QStringLiteral(" in der Datenbank ") + s.databaseName +
                      QStringLiteral(" wirklich entgültig löschen?"),
                  QStringLiteral("Tabelle löschen?"), MessageButtons::YesNoCancel,
                  MessageIcon::Question) != MessageAnswer::Yes)
    return;
  SelectAndSend(s.databaseName, QStringLiteral("DROP TABLE ") + QuoteIdentifier(s.tableName),
                QStringLiteral("Lösche die Tabelle „%1“ ...").arg(s.tableName), check);
  ListTables(s.database);
}

void TMainForm::TableRenameBtnClick() {
  const Selection s = CurrentSelection();
  if (s.database < 0 || s.table < 0)
    return;
  if (!ConnectedOrSaySo())
    return;
  const Check check = TableAsShown(s);
  RenameTableForm->TableNameEd->setText(s.tableName);
  if (ExecModal(*RenameTableForm) != QDialog::Accepted)
    return;
  const QString newName = RenameTableForm->TableNameEd->text();
  if (newName.isEmpty()) {
    ShowMessage(this, QStringLiteral("Das Feld für den Namen der Tabelle darf nicht leer sein!"));
    return;
  }
  SelectAndSend(s.databaseName,
                QStringLiteral("ALTER TABLE ") + QuoteIdentifier(s.tableName) +
                    QStringLiteral(" RENAME AS ") + QuoteIdentifier(newName),
                QStringLiteral("Benenne die Tabelle „%1“ um ...").arg(s.tableName), check);
  ListTables(s.database);
}
