// Adding, changing and dropping a column of the selected table.
#include "app/mysql_test_main.h"
#include "clientlib/Results.h"
#include "clientlib/ServerSession.h"
#include "common/Interaction.h"
#include "fields/ColumnClause.h"
#include "fields/ColumnDefinition.h"
#include "fields/EditFieldFUnit.h"
#include "schema/NewTableFUnit.h"

#include <QLineEdit>
#include <QRadioButton>

namespace {

// Where "Feld ändern..." tries out the CHANGE that accepting the editor
// unchanged would send.
const QString TrialCopy = QStringLiteral("quellwerk_probe");

// Runs on the connection's thread. Tries the CHANGE that accepting the editor
// unchanged sends on an empty temporary copy of the table (only this
// connection sees it, and it is dropped again) and compares SHOW CREATE TABLE
// of the copy before and after: the reason why the column would not come back
// identical, or empty. Without the copy (no right to make temporary tables,
// or a table that cannot be copied so) the trial is left out and the reasons
// read from the column's facts stand alone. The copy has no foreign keys;
// CHANGE leaves those alone anyway.
QString TrialChangeRefusal(MYSQL *handle, const TMainForm::Selection &s, const FieldRow &row) {
  const auto exec = [handle](const QString &statement) {
    return SendStatementOn(handle, statement).ok;
  };
  const auto escape = [handle](const QString &value) { return EscapeLiteralOn(handle, value); };
  const auto definition = [&] {
    const auto rows =
        QueryRows(handle, QStringLiteral("SHOW CREATE TABLE ") + QuoteIdentifier(TrialCopy));
    return rows ? rows->value(0).value(1) : QString();
  };
  const QString drop =
      QStringLiteral("DROP TEMPORARY TABLE IF EXISTS ") + QuoteIdentifier(TrialCopy);
  if (mysql::mysql_select_db(handle, ToLibrary(s.databaseName).constData()) != 0 || !exec(drop) ||
      !exec(QStringLiteral("CREATE TEMPORARY TABLE ") + QuoteIdentifier(TrialCopy) +
            QStringLiteral(" LIKE ") + QuoteIdentifier(s.tableName)))
    return {};
  const QString before = definition();
  QString reason;
  if (!exec(ChangeFieldStatement(TrialCopy, s.fieldName, row, {}, escape)))
    reason = QStringLiteral("der Server nimmt sie so nicht an (%1)").arg(ServerError(handle));
  else
    reason = DefinitionDifference(before, definition());
  exec(drop);
  return reason.isEmpty() ? reason : ChangeRefusal(s.fieldName, reason);
}

// What "Feld ändern..." learns in one server call before the editor opens.
struct ColumnReading {
  std::optional<QList<QStringList>> rows; // nothing when the facts could not be read
  ServerReply reply;
  ColumnFacts facts;       // of the first row, when there is one
  EditableColumn editable; // the row the editor opens on, or why it does not
};

} // namespace

// Shows the prepared field editor; after OK the one field row travels through
// the designer's grid to the ALTER statement, as rows do for a new table.
// `oldName` empty: ADD, otherwise CHANGE of that column, shown first in the
// "dd" box and sent only if `check` holds. The field list is rebuilt unless
// the database cannot be selected.
void TMainForm::AlterField(const Selection &s, const QString &oldName, const StillAsShown &check) {
  NewTableForm->ClearRows();
  if (ExecModal(*EditFieldForm) != QDialog::Accepted)
    return;
  NewTableForm->AppendFieldRow(EditFieldForm->ReadFieldRow());
  const FieldRow row = NewTableForm->FieldRows().value(0);
  if (!SelectDatabase(s.databaseName))
    return;
  const auto escape = [this](const QString &value) { return EscapeLiteral(value); };
  const FieldPlacement placement = EditFieldForm->ReadPlacement();
  const QString what = QStringLiteral("Ändere die Tabelle „%1“ ...").arg(s.tableName);
  if (oldName.isEmpty()) {
    SendStatement(AddFieldStatement(s.tableName, row, placement, escape), what);
  } else {
    const QString statement = ChangeFieldStatement(s.tableName, oldName, row, placement, escape);
    ShowMessage(this, statement, QStringLiteral("dd"));
    if (SelectAndSend(s.databaseName, statement, what, check) == Sent::NotSelected)
      return;
  }
  ListFields(s.database, s.table);
}

void TMainForm::NewFieldBtnClick() {
  const Selection s = CurrentSelection();
  if (s.database < 0 || s.table < 0 || !connected())
    return;
  EditFieldForm->PrepareNewField(true);
  AlterField(s, {});
}

void TMainForm::ChangeFieldBntClick() {
  const Selection s = CurrentSelection();
  if (s.database < 0 || s.table < 0 || s.field < 0 || !connected())
    return;

  // The editor starts from the column as the server has it now, and only
  // when accepting it unchanged gives back that very column.
  const QString factsQuery = ColumnFactsQuery(
      EscapeLiteral(s.databaseName), EscapeLiteral(s.tableName), EscapeLiteral(s.fieldName));
  const ColumnReading reading =
      Session->run(QStringLiteral("Lese die Spalte „%1“ ...").arg(s.fieldName), [&](MYSQL *handle) {
        ColumnReading r{QueryRows(handle, factsQuery), {}, {}, {}};
        r.reply = ServerReply::Of(handle, r.rows.has_value());
        if (!r.rows || r.rows->isEmpty())
          return r;
        r.facts = ColumnFactsFromRow(r.rows->first());
        r.editable = EditableFromColumn(r.facts);
        if (r.editable.row)
          if (QString refusal = TrialChangeRefusal(handle, s, *r.editable.row); !refusal.isEmpty())
            r.editable = {std::nullopt, refusal};
        return r;
      });
  if (!reading.rows) {
    ShowMessage(this, reading.reply.error);
    return;
  }
  if (reading.rows->isEmpty()) {
    ShowMessage(this, QStringLiteral("Die Spalte „%1“ gibt es in der Tabelle „%2“ nicht mehr.")
                          .arg(s.fieldName, s.tableName));
    ListFields(s.database, s.table);
    return;
  }
  if (!reading.editable.row) {
    ShowMessage(this, reading.editable.refusal);
    return;
  }
  EditFieldForm->FillFromRow(*reading.editable.row);
  EditFieldForm->SetPositionEnabled(true);
  // "Als letztes Feld" writes no position: the column keeps its place unless
  // the user chooses another.
  EditFieldForm->RadioButton1->setChecked(true);
  EditFieldForm->BitBtnXP1->setEnabled(true);
  // Sent only while the column is still as it was read here.
  const auto holds = [factsQuery, facts = reading.facts](MYSQL *handle) {
    const auto rows = QueryRows(handle, factsQuery);
    return rows && !rows->isEmpty() && ColumnFactsFromRow(rows->first()) == facts;
  };
  AlterField(s, s.fieldName,
             {holds, QStringLiteral("Die Spalte „%1“ der Tabelle „%2“ wurde geändert, seit der "
                                    "Feld-Editor geöffnet wurde, oder gibt es nicht mehr. Es "
                                    "wurde nichts gesendet; die Felder werden neu gelesen.")
                         .arg(s.fieldName, s.tableName)});
}

void TMainForm::DelFieldBtnClick() {
  const Selection s = CurrentSelection();
  if (s.database < 0 || s.table < 0 || s.field < 0)
    return;
  if (!ConnectedOrSaySo())
    return;
  const StillAsShown check = TableAsShown(s);
  if (ShowMessage(this,
                  QStringLiteral("Wollen Sie das Feld ") + s.fieldName +
                      QStringLiteral(" in der Tabelle ") + s.tableName +
                      QStringLiteral(" in der Datenbank ") + s.databaseName +
                      QStringLiteral(" wirklich entgültig löschen?"),
                  QStringLiteral("Feld löschen?"), MessageButtons::YesNoCancel,
                  MessageIcon::Question) != MessageAnswer::Yes)
    return;
  SelectAndSend(s.databaseName,
                QStringLiteral("ALTER TABLE ") + QuoteIdentifier(s.tableName) +
                    QStringLiteral(" DROP COLUMN ") + QuoteIdentifier(s.fieldName),
                QStringLiteral("Ändere die Tabelle „%1“ ...").arg(s.tableName), check);
  ListFields(s.database, s.table);
}
