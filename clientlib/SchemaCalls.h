// What the schema comparison asks of the server and sends to it.
//
// A database's whole schema is read in few requests: one query per
// information_schema table for the whole database (only columns that the
// server answers from the table definitions, without opening every table),
// and the CREATE TABLE texts of all its base tables, many SHOW CREATE TABLE
// statements to a request. The rows come back as the server wrote them;
// compare/ makes a model of them.
#pragma once

#include "clientlib/ServerSession.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

struct SchemaRows {
  ServerReply reply; // the first refusal; the rows are then incomplete
  bool databaseExists = true;
  QString serverVersion;
  int lowerCaseTableNames = 0;
  QString characterSet, collation; // the database's defaults

  // TABLE_NAME, TABLE_TYPE, ENGINE, TABLE_COLLATION, TABLE_COMMENT
  QList<QStringList> tables;
  // TABLE_NAME, COLUMN_NAME, COLUMN_TYPE, IS_NULLABLE, COLUMN_DEFAULT, EXTRA,
  // CHARACTER_SET_NAME, COLLATION_NAME, COLUMN_COMMENT
  QList<QStringList> columns;
  // TABLE_NAME, VIEW_DEFINITION, CHECK_OPTION, SECURITY_TYPE, ALGORITHM
  QList<QStringList> views;
  // TRIGGER_NAME, EVENT_OBJECT_TABLE, ACTION_TIMING, EVENT_MANIPULATION,
  // ACTION_STATEMENT, SQL_MODE; in the order in which they fire
  QList<QStringList> triggers;
  // SHOW CREATE TABLE of each base table, by its name; a table dropped while
  // the texts were read has none.
  QHash<QString, QString> createStatements;

  int requests = 0; // how many requests the reading sent
};

SchemaRows ReadSchemaRows(ServerSession &session, const QString &database);
// Reads two databases at the same time, each over its own connection (two
// sessions, which may be connected to the same server), so that the
// server's work on the one does not wait for the other.
std::pair<SchemaRows, SchemaRows> ReadSchemaRowsTogether(ServerSession &first,
                                                         const QString &firstDatabase,
                                                         ServerSession &second,
                                                         const QString &secondDatabase);
