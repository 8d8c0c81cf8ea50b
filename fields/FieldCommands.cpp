// Adding, changing and dropping a column of the selected table.
#include "app/Interaction.h"
#include "app/mysql_test_main.h"
#include "clientlib/Results.h"
#include "clientlib/ServerSession.h"
#include "fields/ColumnClause.h"
#include "fields/ColumnDefinition.h"
#include "fields/EditFieldFUnit.h"
#include "schema/NewTableFUnit.h"

#include <QLineEdit>
#include <QRadioButton>

// Shows the prepared field editor; after OK the one field row travels through
// the designer's grid to the ALTER statement, as rows do for a new table.
// `oldName` empty: ADD, otherwise CHANGE of that column, shown first in the
// "dd" box. The field list is rebuilt unless the database cannot be selected.
void TMainForm::AlterField(const Selection &s, const QString &oldName) {
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
    SendStatement(statement, what);
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

  // The editor starts from the column as the server has it now.
  const QString factsQuery = ColumnFactsQuery(
      EscapeLiteral(s.databaseName), EscapeLiteral(s.tableName), EscapeLiteral(s.fieldName));
  struct Read {
    std::optional<QList<QStringList>> rows;
    ServerReply reply;
  };
  const Read facts =
      Session->run(QStringLiteral("Lese die Spalte „%1“ ...").arg(s.fieldName), [&](MYSQL *handle) {
        Read r{QueryRows(handle, factsQuery), {}};
        r.reply = ServerReply::Of(handle, r.rows.has_value());
        return r;
      });
  if (!facts.rows) {
    ShowMessage(this, facts.reply.error);
    return;
  }
  if (facts.rows->isEmpty()) {
    ShowMessage(this, QStringLiteral("Die Spalte „%1“ gibt es in der Tabelle „%2“ nicht mehr.")
                          .arg(s.fieldName, s.tableName));
    ListFields(s.database, s.table);
    return;
  }
  const EditableColumn editable = EditableFromColumn(ColumnFactsFromRow(facts.rows->first()));
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
  AlterField(s, s.fieldName);
}

void TMainForm::DelFieldBtnClick() {
  const Selection s = CurrentSelection();
  if (s.database < 0 || s.table < 0 || s.field < 0)
    return;
  if (!ConnectedOrSaySo())
    return;
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
                QStringLiteral("Ändere die Tabelle „%1“ ...").arg(s.tableName));
  ListFields(s.database, s.table);
}
