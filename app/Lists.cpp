// Filling the three lists of the main window from the server. Every refill
// asks the server afresh in one request and finds the database and table
// again by name; one that is gone is said so, and nothing is selected in its
// place.
//
// The listings are fetched on the connection's thread in one call; the lists
// are then filled on the interface thread from the fetched results, with the
// messages at the places where the listing met its failures.
#include "app/mysql_test_main.h"
#include "clientlib/Listings.h"
#include "common/Interaction.h"
#include "common/ScopeExit.h"

#include <initializer_list>
#include <string_view>

namespace {

const QString NoDatabaseList = QStringLiteral("Konnte die Liste der Datenbanken nicht abrufen.");
const QString NoTableList = QStringLiteral("Konnte Liste mit Tabellen nicht abrufen!");
const QString NoFieldList = QStringLiteral("Konnte Liste mit Feldern nicht abrufen!");
const QString NoDatabaseSelected = QStringLiteral("Konnte Datenbank nicht auswählen!");

constexpr unsigned int NoSuchDatabase = 1049; // ER_BAD_DB_ERROR
constexpr unsigned int NoSuchTable = 1146;    // ER_NO_SUCH_TABLE

QString DatabaseGone(const QString &database) {
  return QStringLiteral("Die Datenbank „%1“ gibt es nicht mehr; die Liste der Datenbanken wurde "
                        "neu gelesen.")
      .arg(database);
}

QString TableGone(const QString &database, const QString &table) {
  return QStringLiteral("Die Tabelle „%1“ gibt es in der Datenbank „%2“ nicht mehr; die Liste "
                        "der Tabellen wurde neu gelesen.")
      .arg(table, database);
}

// What the wait window says while a refill reads.
QString WhatIsRead(const ListingRequest &request) {
  if (!request.table.isNull())
    return QStringLiteral("Lese die Felder der Tabelle „%1“ ...").arg(request.table);
  if (!request.database.isNull())
    return QStringLiteral("Lese die Tabellen der Datenbank „%1“ ...").arg(request.database);
  return QStringLiteral("Lese die Datenbanken ...");
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

void TMainForm::ListCurrentDatabases() { Relist(ListingRequest::Databases()); }

void TMainForm::ListTables(const QString &database) { Relist(ListingRequest::Browse(database)); }

void TMainForm::ListFields(const QString &database, const QString &table) {
  Relist(ListingRequest::Browse(database, table));
}

void TMainForm::Relist(const ListingRequest &request) {
  ShowListing(ReadListing(*Session, WhatIsRead(request), request));
}

void TMainForm::ShowListing(Listing listing) {
  if (listing.request.databases)
    ShowBrowsed(listing);
  else if (listing.request.tables)
    ShowTables(listing);
  else
    ShowFields(listing);
}

// The databases again; the tables of the database asked for, made current;
// the fields of the table asked for; then those rows selected again. The
// lists are refilled in one update each, the names lists taking the listed
// names over whole.
void TMainForm::ShowBrowsed(Listing &l) {
  if (!l.databases) {
    ShowNoDatabaseList(*this, l.databasesReply);
    return;
  }
  const ListingRequest &asked = l.request;
  if (asked.database.isNull()) {
    {
      ListUpdate update(*ListView1);
      ListView1->items().replaceWithUtf8Rows(l.databases->take());
    }
    ListView2->clear();
    ListView3->clear();
    return;
  }
  const int databaseRow = static_cast<int>(l.databases->indexOf(asked.database));
  int tableRow = -1;
  {
    const auto updating = {ListView1, ListView2, ListView3};
    ScopeExit finish([&] {
      for (ReportListView *list : updating)
        list->endUpdate();
      ListView1->selectRow(databaseRow);
      if (!asked.table.isNull())
        ListView2->selectRow(tableRow);
    });
    for (ReportListView *list : updating)
      list->beginUpdate();
    ListView1->items().replaceWithUtf8Rows(l.databases->take());
    ListView3->clear();
    if (databaseRow < 0 || !l.selectReply.ok || !l.tables) {
      ListView2->clear();
      if (databaseRow >= 0 && !l.selectReply.ok)
        ShowMessageWhileListing(this, updating, NoDatabaseSelected);
      else if (databaseRow >= 0)
        ShowMessageWhileListing(this, updating, NoTableList, l.tablesReply.error);
    } else {
      if (!asked.table.isNull())
        tableRow = static_cast<int>(l.tables->indexOf(asked.table));
      ListView2->items().replaceWithUtf8Rows(l.tables->take());
      if (tableRow >= 0 && !l.fields)
        ShowMessageWhileListing(this, updating, NoFieldList, l.fieldsReply.error);
      else if (tableRow >= 0)
        for (const ListedField &field : *l.fields)
          ListView3->items().appendRow(field.name, field.type);
    }
  }
  if (databaseRow < 0)
    ShowMessage(this, DatabaseGone(asked.database));
  else if (!asked.table.isNull() && l.tables && tableRow < 0)
    ShowMessage(this, TableGone(asked.database, asked.table));
}

// After a table command: the tables of its database; the database list is
// left as it is, with that database selected again, and the field list is
// emptied.
void TMainForm::ShowTables(Listing &l) {
  const QString &database = l.request.database;
  if (!l.tables && l.tablesReply.errorNumber == NoSuchDatabase) {
    ShowMessage(this, DatabaseGone(database));
    ListCurrentDatabases();
    return;
  }
  {
    ListUpdate tables(*ListView2);
    ListUpdate fields(*ListView3);
    ListView3->clear();
    if (l.tables)
      ListView2->items().replaceWithUtf8Rows(l.tables->take());
    else
      ListView2->clear();
  }
  ListView1->selectRow(ListView1->rowOf(database));
  if (!l.tables)
    ShowMessage(this, NoTableList, l.tablesReply.error);
}

// After a field command: the fields of its table; the other two lists are
// left as they are, with the database and table selected again.
void TMainForm::ShowFields(Listing &l) {
  const QString &database = l.request.database, &table = l.request.table;
  if (!l.fields && l.fieldsReply.errorNumber == NoSuchDatabase) {
    ShowMessage(this, DatabaseGone(database));
    ListCurrentDatabases();
    return;
  }
  if (!l.fields && l.fieldsReply.errorNumber == NoSuchTable) {
    ShowMessage(this, TableGone(database, table));
    Relist(ListingRequest::TablesOf(database));
    return;
  }
  {
    ListUpdate fields(*ListView3);
    ListView3->clear();
    if (l.fields)
      for (const ListedField &field : *l.fields)
        ListView3->items().appendRow(field.name, field.type);
  }
  ListView1->selectRow(ListView1->rowOf(database));
  ListView2->selectRow(ListView2->rowOf(table));
  if (!l.fields)
    ShowMessage(this, NoFieldList, l.fieldsReply.error);
}

void TMainForm::ListView1Click() {
  const int database = ListView1->selectedRow();
  if (database < 0)
    return;
  ListTables(ListView1->caption(database));
}

void TMainForm::ListView2Click() {
  const int database = ListView1->selectedRow();
  if (database < 0)
    return;
  const int table = ListView2->selectedRow();
  if (table < 0)
    return;
  ListFields(ListView1->caption(database), ListView2->caption(table));
}
