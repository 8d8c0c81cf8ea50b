// Filling the three lists of the main window from the server. Every call asks
// the server afresh and finds the database and table again by position.
//
// The listings are fetched on the connection's thread in one call; the lists
// are then filled on the interface thread from the fetched results, with the
// messages at the places where the listing met its failures.
#include "app/FieldTypeText.h"
#include "app/mysql_test_main.h"
#include "clientlib/Results.h"
#include "clientlib/ServerSession.h"
#include "common/Interaction.h"
#include "common/ScopeExit.h"

#include <initializer_list>
#include <optional>

namespace {

const QString NoDatabaseList =
    QStringLiteral("Konnte die Liste mit dem Datenbanken nicht abrufen.");
const QString NoTableList = QStringLiteral("Konnte Liste mit Tabellen nicht abrufen!");
const QString NoFieldList = QStringLiteral("Konnte Liste mit Feldern nicht abrufen!");
const QString NoDatabaseSelected = QStringLiteral("Konnte Datenbank nicht auswählen!");

// What one refill fetched: the databases and, for the database at the given
// position, its tables and, for the table at the given position, its fields;
// each with the server's answer where the call failed.
struct Listing {
  Result databases;
  ServerReply databasesReply;
  bool databaseNotSelected = false;
  Result tables;
  ServerReply tablesReply;
  Result fields;
  ServerReply fieldsReply;
};

// The first column of the result's row at `position`, or null; the result
// reads from its first row again afterwards.
const char *NameAt(MYSQL_RES *result, std::int32_t position) {
  if (position < 0 || static_cast<my_ulonglong>(position) >= mysql::mysql_num_rows(result))
    return nullptr;
  mysql::mysql_data_seek(result, static_cast<unsigned long long>(position));
  const MYSQL_ROW row = mysql::mysql_fetch_row(result);
  mysql::mysql_data_seek(result, 0);
  return row && row[0] ? row[0] : nullptr;
}

// Runs on the connection's thread.
Listing FetchListing(MYSQL *handle, std::optional<std::int32_t> databaseIndex,
                     std::optional<std::int32_t> tableIndex) {
  Listing l;
  l.databases.reset(mysql::mysql_list_dbs(handle, nullptr));
  if (!l.databases) {
    l.databasesReply = ServerReply::Of(handle, false);
    return l;
  }
  const char *database = databaseIndex ? NameAt(l.databases.get(), *databaseIndex) : nullptr;
  if (!database)
    return l;
  if (mysql::mysql_select_db(handle, database) != 0) {
    l.databaseNotSelected = true;
    return l;
  }
  l.tables.reset(mysql::mysql_list_tables(handle, nullptr));
  if (!l.tables) {
    l.tablesReply = ServerReply::Of(handle, false);
    return l;
  }
  const char *table = tableIndex ? NameAt(l.tables.get(), *tableIndex) : nullptr;
  if (!table)
    return l;
  l.fields.reset(ListFieldsOf(handle, table));
  if (!l.fields)
    l.fieldsReply = ServerReply::Of(handle, false);
  return l;
}

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
void ShowNoDatabaseList(TMainForm &form, const ServerReply &reply) {
  form.ListView1->clear();
  form.ListView2->clear();
  form.ListView3->clear();
  ShowMessage(&form, NoDatabaseList, reply.error);
}

} // namespace

void TMainForm::ListCurrentDatabases() {
  const Listing l = Session->run(QStringLiteral("Lese die Datenbanken ..."), [](MYSQL *handle) {
    return FetchListing(handle, std::nullopt, std::nullopt);
  });
  if (!l.databases) {
    ShowNoDatabaseList(*this, l.databasesReply);
    return;
  }
  ListUpdate update(*ListView1);
  ListView1->clear();
  ListView2->clear();
  ListView3->clear();
  ForEachRow(l.databases.get(),
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
  const QString what = tableIndex ? QStringLiteral("Lese die Felder der Tabelle ...")
                                  : QStringLiteral("Lese die Tabellen der Datenbank ...");
  const Listing l = Session->run(
      what, [&](MYSQL *handle) { return FetchListing(handle, databaseIndex, tableIndex); });
  if (!l.databases) {
    ShowNoDatabaseList(*this, l.databasesReply);
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
  ForEachRow(l.databases.get(), [&](my_ulonglong i, const char *name) {
    ListView1->items().appendUtf8Row(name);
    if (!IsPosition(i, databaseIndex))
      return;
    if (l.databaseNotSelected) {
      ShowMessageWhileListing(this, updating, NoDatabaseSelected);
      return;
    }
    if (!l.tables) {
      ShowMessageWhileListing(this, updating, NoTableList, l.tablesReply.error);
      return;
    }
    ForEachRow(l.tables.get(), [&](my_ulonglong t, const char *table) {
      ListView2->items().appendUtf8Row(table);
      if (!tableIndex || !IsPosition(t, *tableIndex))
        return;
      if (!l.fields) {
        ShowMessageWhileListing(this, updating, NoFieldList, l.fieldsReply.error);
        return;
      }
      const unsigned int count = mysql::mysql_num_fields(l.fields.get());
      for (unsigned int f = 0; f < count; ++f) {
        const MYSQL_FIELD *field = mysql::mysql_fetch_field(l.fields.get());
        if (!field)
          break;
        ListView3->items().appendUtf8Row(field->name, FieldTypeText(*field));
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
