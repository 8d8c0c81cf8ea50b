#include "schema/TableCommands.h"

#include "common/Interaction.h"
#include "fields/ColumnClause.h"
#include "schema/NewTableFUnit.h"
#include "schema/RenameTableFUnit.h"

#include <QLineEdit>

void TableCommands::NewTable(TNewTableForm &designer) {
  const std::optional<Selection> s = Start(Needs::Database);
  if (!s)
    return;
  designer.Clear();
  if (ExecModal(designer) != QDialog::Accepted)
    return;
  const Sent sent = SelectAndSend(
      s->databaseName, CreateTableStatement(designer.TableName(), designer.FieldRows(), Escaper()),
      QStringLiteral("Erstelle die Tabelle „%1“ ...").arg(designer.TableName()));
  // A design the server refused is offered again by the next "Neue Tabelle...".
  if (sent != Sent::Done)
    designer.KeepDesign();
  m_lists.ListTables(s->database);
}

void TableCommands::DropTable() {
  const std::optional<Selection> s = Start(Needs::Table);
  if (s && AskAndSendOnTable(*s,
                             QStringLiteral("Wollen Sie die Tabelle ") + s->tableName +
                                 QStringLiteral(" in der Datenbank ") + s->databaseName +
                                 QStringLiteral(" wirklich entgültig löschen?"),
                             QStringLiteral("Tabelle löschen?"),
                             QStringLiteral("DROP TABLE ") + QuoteIdentifier(s->tableName),
                             QStringLiteral("Lösche die Tabelle „%1“ ...").arg(s->tableName)))
    m_lists.ListTables(s->database);
}

void TableCommands::RenameTable(TRenameTableForm &dialog) {
  const std::optional<Selection> s = Start(Needs::Table);
  if (!s)
    return;
  const Check check = TableAsShown(*s);
  dialog.TableNameEd->setText(s->tableName);
  if (ExecModal(dialog) != QDialog::Accepted)
    return;
  const QString newName = dialog.TableNameEd->text();
  if (newName.isEmpty()) {
    ShowMessage(m_window,
                QStringLiteral("Das Feld für den Namen der Tabelle darf nicht leer sein!"));
    return;
  }
  SelectAndSend(s->databaseName,
                QStringLiteral("ALTER TABLE ") + QuoteIdentifier(s->tableName) +
                    QStringLiteral(" RENAME AS ") + QuoteIdentifier(newName),
                QStringLiteral("Benenne die Tabelle „%1“ um ...").arg(s->tableName), check);
  m_lists.ListTables(s->database);
}
