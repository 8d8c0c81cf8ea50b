// Adding, changing and dropping a column of the selected table.
#include "app/mysql_test_main.h"
#include "clientlib/ServerSession.h"
#include "clientlib/Statements.h"
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

// Why accepting the editor unchanged would not give back the column: the
// CHANGE that it sends tried on an empty temporary copy of the table (only
// this connection sees it, and it is dropped again), SHOW CREATE TABLE of the
// copy compared before and after; empty when it comes back identical. Without
// the copy (no right to make temporary tables, or a table that cannot be
// copied so) the trial is left out and the reasons read from the column's
// facts stand alone. The copy has no foreign keys; CHANGE leaves those alone
// anyway.
QString TrialChangeRefusal(ServerSession &session, const QString &what,
                           const TMainForm::Selection &s, const FieldRow &row) {
  const TrialOnCopy trial = TryOnTemporaryCopy(
      session, what, s.databaseName, s.tableName, TrialCopy,
      ChangeFieldStatement(TrialCopy, s.fieldName, row, {},
                           [&](const QString &value) { return session.escape(value); }));
  if (!trial.made)
    return {};
  const QString reason =
      trial.statement.ok
          ? DefinitionDifference(trial.before, trial.after)
          : QStringLiteral("der Server nimmt sie so nicht an (%1)").arg(trial.statement.error);
  return reason.isEmpty() ? reason : ChangeRefusal(s.fieldName, reason);
}

} // namespace

// Shows the prepared field editor; after OK the one field row travels through
// the designer's grid to the ALTER statement, as rows do for a new table.
// `oldName` empty: ADD, otherwise CHANGE of that column, shown first in the
// "dd" box and sent only if `check` holds. The field list is rebuilt unless
// the database cannot be selected.
void TMainForm::AlterField(const Selection &s, const QString &oldName, const Check &check) {
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
  const QString what = QStringLiteral("Lese die Spalte „%1“ ...").arg(s.fieldName);
  const ColumnReading reading =
      ReadColumnFacts(*Session, what, s.databaseName, s.tableName, s.fieldName);
  if (!reading.reply.ok) {
    ShowMessage(this, reading.reply.error);
    return;
  }
  if (!reading.facts) {
    ShowMessage(this, QStringLiteral("Die Spalte „%1“ gibt es in der Tabelle „%2“ nicht mehr.")
                          .arg(s.fieldName, s.tableName));
    ListFields(s.database, s.table);
    return;
  }
  EditableColumn editable = EditableFromColumn(*reading.facts);
  if (editable.row)
    if (QString refusal = TrialChangeRefusal(*Session, what, s, *editable.row); !refusal.isEmpty())
      editable = {std::nullopt, refusal};
  if (!editable.row) {
    ShowMessage(this, editable.refusal);
    return;
  }
  EditFieldForm->FillFromRow(*editable.row);
  EditFieldForm->SetPositionEnabled(true);
  // "Als letztes Feld" writes no position: the column keeps its place unless
  // the user chooses another.
  EditFieldForm->RadioButton1->setChecked(true);
  EditFieldForm->BitBtnXP1->setEnabled(true);
  // Sent only while the column is still as it was read here.
  AlterField(s, s.fieldName,
             {ColumnStill{s.databaseName, s.tableName, s.fieldName, *reading.facts},
              QStringLiteral("Die Spalte „%1“ der Tabelle „%2“ wurde geändert, seit der "
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
  const Check check = TableAsShown(s);
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
