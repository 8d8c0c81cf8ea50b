// What the commands of the main window see of its three lists (databases,
// the tables of the selected database, the fields of the selected table):
// the lists are the only record of what is selected.
#pragma once

#include "clientlib/Listings.h"

#include <QList>
#include <QString>
#include <QStringList>

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

  // Rebuild the lists from the server as `request` asks (what a command
  // changed, and no more), finding the database and table again by name.
  virtual void ListCurrentDatabases() = 0;
  virtual void Relist(const ListingRequest &request) = 0;
  // The same with what a command read in the request of its statement.
  virtual void ShowListing(Listing listing) = 0;
  // All three lists afresh, the database, table and field selected again by
  // name where they still exist (F5).
  virtual void RefreshLists() = 0;

protected:
  ~SchemaLists() = default;
};
