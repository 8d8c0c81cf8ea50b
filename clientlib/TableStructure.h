// A table's structure as the server reports it in information_schema: its
// columns, its indexes with their parts in order, its foreign keys and those
// of other tables that refer to it, and its CREATE TABLE text. The reads run
// on the session's thread and hand back typed records.
#pragma once

#include "clientlib/ColumnFacts.h"
#include "clientlib/QueryResult.h"
#include "clientlib/TableOptions.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

struct ColumnRecord {
  ColumnFacts facts;
  QString characterSet;
  QString generation; // the expression of a generated column, else empty
  ColumnDefault defaultValue() const { return ColumnDefault::FromServer(facts.defaultValue); }
};

struct IndexPart {
  QString column;
  int prefixLength = 0; // 0: the whole column
  bool descending = false;
};

enum class IndexKind { Primary, Unique, Index, Fulltext, Spatial };
QString IndexKindName(IndexKind kind); // "PRIMARY", "UNIQUE", "INDEX", "FULLTEXT", "SPATIAL"

struct IndexRecord {
  QString name;
  IndexKind kind = IndexKind::Index;
  QList<IndexPart> parts; // in the index's order
  bool visible = true;    // false: the optimizer ignores it
};

struct ForeignKeyRecord {
  QString name;
  QString database, table; // the table that holds the key
  QStringList columns;
  QString referencedDatabase, referencedTable;
  QStringList referencedColumns;
  QString onDelete, onUpdate; // RESTRICT, CASCADE, SET NULL, NO ACTION, SET DEFAULT
};

struct TableStructure {
  ServerReply reply; // the first refusal, if any
  bool exists = true;
  // The search for the keys of other tables that refer to this one was
  // given up by the user ("Abbrechen"): referencedBy is not known.
  bool referencesCancelled = false;
  QList<ColumnRecord> columns;
  QList<IndexRecord> indexes;
  QList<ForeignKeyRecord> foreignKeys;  // held by this table
  QList<ForeignKeyRecord> referencedBy; // held by other tables (or this one) and pointing here
  QString createStatement;
  TableOptions options; // the table as a whole: its kind, engine, size, ...
};

class ServerSession;

// One request reads it all where the account may read InnoDB's dictionary
// (information_schema.INNODB_SYS_FOREIGN, with the PROCESS privilege), which
// answers which keys refer to the table at once, however many tables the
// server holds. Otherwise a second request searches every database for such
// keys, which opens every table of the server and can take long; the user
// can give that search up and still sees the rest.
TableStructure ReadTableStructure(ServerSession &session, const QString &database,
                                  const QString &table);

// Names for the lists of the foreign-key dialog: databases, the tables of a
// database that can hold rows (system-versioned ones too), columns of a table
// (in their order). Nothing when the server refuses.
struct NameList {
  QStringList names;
  ServerReply reply;
};
NameList ReadDatabaseNames(ServerSession &session);
NameList ReadTableNames(ServerSession &session, const QString &database);
NameList ReadColumnNames(ServerSession &session, const QString &database, const QString &table);
