// Filling the three lists of the main window from the server. Every call asks
// the server afresh and finds the database and table again by position.
//
// The listings are fetched on the connection's thread in one call; the lists
// are then filled on the interface thread from the fetched results, with the
// messages at the places where the listing met its failures.
#include "app/mysql_test_main.h"
#include "clientlib/Listings.h"
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

bool IsPosition(qsizetype rowNumber, std::int32_t position) {
  return position >= 0 && rowNumber == position;
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
  const Listing l =
      ReadListing(*Session, QStringLiteral("Lese die Datenbanken ..."), std::nullopt, std::nullopt);
  if (!l.databases) {
    ShowNoDatabaseList(*this, l.databasesReply);
    return;
  }
  ListUpdate update(*ListView1);
  ListView1->clear();
  ListView2->clear();
  ListView3->clear();
  for (qsizetype i = 0; i < l.databases->size(); ++i)
    ListView1->items().appendUtf8Row(l.databases->at(i));
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
  const Listing l = ReadListing(*Session, what, databaseIndex, tableIndex);
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
  for (qsizetype i = 0; i < l.databases->size(); ++i) {
    ListView1->items().appendUtf8Row(l.databases->at(i));
    if (!IsPosition(i, databaseIndex))
      continue;
    if (l.databaseNotSelected) {
      ShowMessageWhileListing(this, updating, NoDatabaseSelected);
      continue;
    }
    if (!l.tables) {
      ShowMessageWhileListing(this, updating, NoTableList, l.tablesReply.error);
      continue;
    }
    for (qsizetype t = 0; t < l.tables->size(); ++t) {
      ListView2->items().appendUtf8Row(l.tables->at(t));
      if (!tableIndex || !IsPosition(t, *tableIndex))
        continue;
      if (!l.fields) {
        ShowMessageWhileListing(this, updating, NoFieldList, l.fieldsReply.error);
        continue;
      }
      for (const ListedField &field : *l.fields)
        ListView3->items().appendRow(field.name, field.type);
    }
  }
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
