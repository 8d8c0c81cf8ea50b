#include "schema/TableCommands.h"

#include "common/Interaction.h"
#include "common/ScopeExit.h"
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
  // A design the server refused, or that did not reach it, is offered again
  // by the next "Neue Tabelle...".
  bool created = false;
  const ScopeExit keep([&] {
    if (!created)
      designer.KeepDesign();
  });
  created =
      SelectAndSend(s->databaseName,
                    CreateTableStatement(designer.TableName(), designer.FieldRows(), Escaper()),
                    QStringLiteral("Erstelle die Tabelle „%1“ ...").arg(designer.TableName()), {},
                    {ListingRequest::TablesOf(s->databaseName)}) == Sent::Done;
}

void TableCommands::DropTable() {
  const std::optional<Selection> s = Start(Needs::Table);
  if (!s)
    return;
  const Check check = TableAsShown(*s);
  if (!Confirmed(QStringLiteral("Wollen Sie die Tabelle ") + s->tableName +
                     QStringLiteral(" in der Datenbank ") + s->databaseName +
                     QStringLiteral(" wirklich entgültig löschen?"),
                 QStringLiteral("Tabelle löschen?")))
    return;
  const Afterwards afterwards{ListingRequest::TablesOf(s->databaseName)};
  const CheckedSend sent = SelectCheckAndSend(
      m_session, QStringLiteral("Lösche die Tabelle „%1“ ...").arg(s->tableName), s->databaseName,
      QStringLiteral("DROP TABLE ") + QuoteIdentifier(s->tableName), check.still, afterwards.lists);
  // A view stands in the table list like a table, but DROP TABLE leaves it.
  constexpr unsigned int ItIsAView = 1965; // ER_IT_IS_A_VIEW
  if (sent.select.ok && sent.holds && sent.send.errorNumber == ItIsAView) {
    if (Confirmed(QStringLiteral("„%1“ ist eine Sicht (VIEW), keine Tabelle. Wollen Sie die Sicht "
                                 "%1 in der Datenbank %2 wirklich entgültig löschen?")
                      .arg(s->tableName, s->databaseName),
                  QStringLiteral("Sicht löschen?")))
      SelectAndSend(s->databaseName, QStringLiteral("DROP VIEW ") + QuoteIdentifier(s->tableName),
                    QStringLiteral("Lösche die Sicht „%1“ ...").arg(s->tableName), check,
                    afterwards);
  } else {
    Report(sent, check, afterwards);
  }
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
                QStringLiteral("Benenne die Tabelle „%1“ um ...").arg(s->tableName), check,
                {ListingRequest::TablesOf(s->databaseName)});
}
