// Filling the three lists of the main window from the server. Every call asks
// the server afresh and finds the database and table again by position.
#include "app/FieldTypeText.h"
#include "app/Interaction.h"
#include "app/ScopeExit.h"
#include "app/mysql_test_main.h"
#include "clientlib/Results.h"

#include <initializer_list>
#include <optional>

namespace {

const QString NoDatabaseList =
    QStringLiteral("Konnte die Liste mit dem Datenbanken nicht abrufen.");
const QString NoTableList = QStringLiteral("Konnte Liste mit Tabellen nicht abrufen!");
const QString NoFieldList = QStringLiteral("Konnte Liste mit Feldern nicht abrufen!");
const QString NoDatabaseSelected = QStringLiteral("Konnte Datenbank nicht auswählen!");

// Calls `row(number, firstColumn)` for each of the rows the result reports.
template <typename OnRow> void ForEachRow(MYSQL_RES *result, OnRow &&onRow) {
  const my_ulonglong count = mysql::mysql_num_rows(result);
  for (my_ulonglong i = 0; i < count; ++i) {
    MYSQL_ROW row = mysql::mysql_fetch_row(result);
    if (!row) // a result never holds fewer rows than it reports; be safe anyway
      break;
    onRow(i, row[0] ? row[0] : "");
  }
}

bool IsPosition(my_ulonglong rowNumber, std::int32_t position) {
  return position >= 0 && rowNumber == static_cast<my_ulonglong>(position);
}

// A message box in the middle of a refill: the lists being refilled keep
// what they showed, unrepainted, until the refill ends.
void ShowMessageWhileListing(QWidget *parent, std::initializer_list<ReportListView *> updating,
                             const QString &text, const QString &title = {}) {
  for (ReportListView *list : updating)
    list->holdRepaint();
  ShowMessage(parent, text, title);
}

// A refill that cannot even list the databases empties all three lists, as
// "Trennen" does, before it says so: a list left as it was would pass for the
// one just asked for (after a click on another database, the tables of the
// one before would stand beside it).
void ShowNoDatabaseList(TMainForm &form) {
  form.ListView1->clear();
  form.ListView2->clear();
  form.ListView3->clear();
  ShowMessage(&form, NoDatabaseList, ServerError(form.MySQLHandle));
}

} // namespace

void TMainForm::ListCurrentDatabases() {
  WaitCursor wait;
  Result dbs(mysql::mysql_list_dbs(MySQLHandle, nullptr));
  if (!dbs) {
    ShowNoDatabaseList(*this);
    return;
  }
  ListUpdate update(*ListView1);
  ListView1->clear();
  ListView2->clear();
  ListView3->clear();
  ForEachRow(dbs.get(),
             [&](my_ulonglong, const char *name) { ListView1->items().appendUtf8Row(name); });
}

void TMainForm::ListTables(std::int32_t index) { Relist(index, std::nullopt); }

void TMainForm::ListFields(std::int32_t databaseIndex, std::int32_t tableIndex) {
  Relist(databaseIndex, tableIndex);
}

// Lists the databases again, the tables of the database at `databaseIndex`
// and, given a table position, the fields of the table there; then selects
// those rows again. The lists are refilled in one update each.
void TMainForm::Relist(std::int32_t databaseIndex, std::optional<std::int32_t> tableIndex) {
  WaitCursor wait;
  Result dbs(mysql::mysql_list_dbs(MySQLHandle, nullptr));
  if (!dbs) {
    ShowNoDatabaseList(*this);
    return;
  }
  const auto updating = {ListView1, ListView2, ListView3};
  ScopeExit finish([&] {
    for (ReportListView *list : updating)
      list->endUpdate();
    ListView1->selectRow(databaseIndex);
    if (tableIndex)
      ListView2->selectRow(*tableIndex);
  });
  for (ReportListView *list : updating) {
    list->beginUpdate();
    list->clear();
  }
  ForEachRow(dbs.get(), [&](my_ulonglong i, const char *name) {
    ListView1->items().appendUtf8Row(name);
    if (!IsPosition(i, databaseIndex))
      return;
    if (mysql::mysql_select_db(MySQLHandle, name) != 0) {
      ShowMessageWhileListing(this, updating, NoDatabaseSelected);
      return;
    }
    Result tables(mysql::mysql_list_tables(MySQLHandle, nullptr));
    if (!tables) {
      ShowMessageWhileListing(this, updating, NoTableList, ServerError(MySQLHandle));
      return;
    }
    ForEachRow(tables.get(), [&](my_ulonglong t, const char *table) {
      ListView2->items().appendUtf8Row(table);
      if (!tableIndex || !IsPosition(t, *tableIndex))
        return;
      Result fields(ListFieldsOf(MySQLHandle, table));
      if (!fields) {
        ShowMessageWhileListing(this, updating, NoFieldList, ServerError(MySQLHandle));
        return;
      }
      const unsigned int count = mysql::mysql_num_fields(fields.get());
      for (unsigned int f = 0; f < count; ++f) {
        const MYSQL_FIELD *field = mysql::mysql_fetch_field(fields.get());
        if (!field)
          break;
        ListView3->items().appendUtf8Row(
            field->name, FieldTypeText(field->type, field->length, field->decimals, field->flags));
      }
    });
  });
}

void TMainForm::ListView1Click() {
  const int database = ListView1->selectedRow();
  if (database < 0)
    return;
  ListTables(database);
}

void TMainForm::ListView2Click() {
  const int database = ListView1->selectedRow();
  if (database < 0)
    return;
  const int table = ListView2->selectedRow();
  if (table < 0)
    return;
  ListFields(database, table);
}
