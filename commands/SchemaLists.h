// What the commands of the main window see of its three lists (databases,
// the tables of the selected database, the fields of the selected table):
// the lists are the only record of what is selected.
#pragma once

#include "clientlib/Listings.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>

class SchemaLists {
public:
  // What the lists have selected when a command starts: row positions (-1
  // for none) and captions.
  struct Selection {
    int database = -1;
    int table = -1;
    int field = -1;
    QString databaseName;
    QString tableName;
    QString fieldName;
  };
  virtual Selection CurrentSelection() const = 0;
  // The names the database list shows, top to bottom.
  virtual QStringList ShownDatabases() const = 0;
  // The fields the field list shows: name and type text.
  virtual QList<ListedField> ShownFields() const = 0;

  // Rebuild the lists from the server, finding the database and table again
  // by position.
  virtual void ListCurrentDatabases() = 0;
  virtual void ListTables(std::int32_t index) = 0;
  virtual void ListFields(std::int32_t databaseIndex, std::int32_t tableIndex) = 0;
  // All three lists afresh, the database, table and field selected again by
  // name where they still exist (F5).
  virtual void RefreshLists() = 0;

protected:
  ~SchemaLists() = default;
};
