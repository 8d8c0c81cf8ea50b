#include "fields/FieldCommands.h"

#include "clientlib/ServerSession.h"
#include "common/Interaction.h"
#include "fields/ColumnClause.h"
#include "fields/ColumnDefinition.h"
#include "fields/EditFieldFUnit.h"

#include <QLineEdit>
#include <QRadioButton>

namespace {

// Where "Feld ändern..." tries out the CHANGE that accepting the editor
// unchanged would send.
const QString TrialCopy = QStringLiteral("quellwerk_probe");

} // namespace

FieldCommands::FieldCommands(ServerSession &session, SchemaLists &lists, QWidget *window,
                             TEditFieldForm &editor, FieldRowCarrier &carrier)
    : Command(session, lists, window), m_editor(editor), m_carrier(carrier) {}

// Why accepting the editor unchanged would not give back the column: the
// CHANGE that it sends tried on an empty temporary copy of the table (only
// this connection sees it, and it is dropped again), SHOW CREATE TABLE of the
// copy compared before and after; empty when it comes back identical. Without
// the copy (no right to make temporary tables, or a table that cannot be
// copied so) the trial is left out: the reasons read from the column's facts
// stand, and the table's CREATE TABLE text must show no more of the column
// than its facts do. The copy has no foreign keys; CHANGE leaves those alone
// anyway.
QString FieldCommands::TrialChangeRefusal(const QString &what, const Selection &s,
                                          const ColumnFacts &facts, const FieldRow &row) const {
  const TrialOnCopy trial =
      TryOnTemporaryCopy(m_session, what, s.databaseName, s.tableName, TrialCopy,
                         ChangeFieldStatement(TrialCopy, s.fieldName, row, {}, Escaper()));
  if (!trial.made) {
    const QString unseen = UnseenAttributes(facts, trial.before);
    return unseen.isEmpty() ? unseen : ChangeRefusal(s.fieldName, unseen);
  }
  const QString reason =
      trial.statement.ok
          ? DefinitionDifference(trial.before, trial.after)
          : QStringLiteral("der Server nimmt sie so nicht an (%1)").arg(trial.statement.error);
  return reason.isEmpty() ? reason : ChangeRefusal(s.fieldName, reason);
}

// Shows the prepared field editor; after OK the one field row travels through
// the designer's grid to the ALTER statement, as rows do for a new table.
// `oldName` empty: ADD, sent with the database selected and the field list
// read in the same request; otherwise CHANGE of that column: the statement is
// shown first in the "dd" box, then the database selected and `check` read
// in one request, and the statement sent only if the check holds. The field list is rebuilt unless
// the database cannot be selected.
void FieldCommands::AlterField(const Selection &s, const QString &oldName, const Check &check) {
  m_carrier.ClearRows();
  if (ExecModal(m_editor) != QDialog::Accepted)
    return;
  m_carrier.AppendFieldRow(m_editor.ReadFieldRow());
  const FieldRow row = m_carrier.FieldRows().value(0);
  const LiteralEscaper escape = Escaper();
  const FieldPlacement placement = m_editor.ReadPlacement();
  const QString what = QStringLiteral("Ändere die Tabelle „%1“ ...").arg(s.tableName);
  const Afterwards afterwards{ListingRequest::FieldsOf(s.databaseName, s.tableName), false};
  if (oldName.isEmpty()) {
    SelectAndSend(s.databaseName, AddFieldStatement(s.tableName, row, placement, escape), what, {},
                  afterwards);
    return;
  }
  // The database is selected together with the check, after the "dd" box:
  // it is current already, and a separate request would only repeat that.
  const QString statement = ChangeFieldStatement(s.tableName, oldName, row, placement, escape);
  ShowMessage(m_window, statement, QStringLiteral("dd"));
  SelectAndSend(s.databaseName, statement, what, check, afterwards);
}

void FieldCommands::NewField() {
  const std::optional<Selection> s = Start(Needs::Table, WhenNotConnected::Silent);
  if (!s)
    return;
  m_editor.PrepareNewField(true);
  AlterField(*s, {});
}

void FieldCommands::ChangeField() {
  const std::optional<Selection> selected = Start(Needs::Field, WhenNotConnected::Silent);
  if (!selected)
    return;
  const Selection &s = *selected;

  // The editor starts from the column as the server has it now, and only
  // when accepting it unchanged gives back that very column.
  const QString what = QStringLiteral("Lese die Spalte „%1“ ...").arg(s.fieldName);
  const ColumnReading reading =
      ReadColumnFacts(m_session, what, s.databaseName, s.tableName, s.fieldName);
  if (!reading.reply.ok) {
    ShowMessage(m_window, reading.reply.error);
    return;
  }
  if (!reading.facts) {
    ShowMessage(m_window, QStringLiteral("Die Spalte „%1“ gibt es in der Tabelle „%2“ nicht mehr.")
                              .arg(s.fieldName, s.tableName));
    m_lists.Relist(ListingRequest::FieldsOf(s.databaseName, s.tableName));
    return;
  }
  EditableColumn editable = EditableFromColumn(*reading.facts);
  if (editable.row)
    if (QString refusal = TrialChangeRefusal(what, s, *reading.facts, *editable.row);
        !refusal.isEmpty())
      editable = {std::nullopt, refusal};
  if (!editable.row) {
    ShowMessage(m_window, editable.refusal);
    return;
  }
  m_editor.FillFromRow(*editable.row);
  m_editor.SetPositionEnabled(true);
  // "Als letztes Feld" writes no position: the column keeps its place unless
  // the user chooses another.
  m_editor.RadioButton1->setChecked(true);
  m_editor.BitBtnXP1->setEnabled(true);
  // Sent only while the column is still as it was read here.
  AlterField(s, s.fieldName,
             {ColumnStill{s.databaseName, s.tableName, s.fieldName, *reading.facts},
              QStringLiteral("Die Spalte „%1“ der Tabelle „%2“ wurde geändert, seit der "
                             "Feld-Editor geöffnet wurde, oder gibt es nicht mehr. Es "
                             "wurde nichts gesendet; die Felder werden neu gelesen.")
                  .arg(s.fieldName, s.tableName)});
}

void FieldCommands::DropField() {
  const std::optional<Selection> s = Start(Needs::Field);
  if (s)
    AskAndSendOnTable(*s,
                      QStringLiteral("Wollen Sie das Feld ") + s->fieldName +
                          QStringLiteral(" in der Tabelle ") + s->tableName +
                          QStringLiteral(" in der Datenbank ") + s->databaseName +
                          QStringLiteral(" wirklich entgültig löschen?"),
                      QStringLiteral("Feld löschen?"),
                      QStringLiteral("ALTER TABLE ") + QuoteIdentifier(s->tableName) +
                          QStringLiteral(" DROP COLUMN ") + QuoteIdentifier(s->fieldName),
                      QStringLiteral("Ändere die Tabelle „%1“ ...").arg(s->tableName),
                      ListingRequest::FieldsOf(s->databaseName, s->tableName));
}
