// The schema as the server's information_schema reports it: every database,
// every table and every column with its definition. Taken before and after a
// command, two snapshots show exactly what the command changed.
#pragma once

#include <QList>
#include <QMap>
#include <QString>

#include <utility>

class AdminConnection;

struct SchemaSnapshot {
  using TableKey = std::pair<QString, QString>; // database, table
  struct Column {
    QString name;
    QString definition; // type, null, default, extra, key, collation, comment
    bool operator==(const Column &) const = default;
  };

  // database -> character set and collation
  QMap<QString, QString> databases;
  // (database, table) -> table type, engine and collation
  QMap<TableKey, QString> tables;
  // (database, table) -> its columns in their order
  QMap<TableKey, QList<Column>> columns;

  bool operator==(const SchemaSnapshot &) const = default;

  // Only what lies in one database (empty when it does not exist).
  SchemaSnapshot only(const QString &database) const;
  // Readable lines for a failure message: what `other` has that this has not
  // ("+"), what this has that `other` has not ("-").
  QString differenceTo(const SchemaSnapshot &other) const;
};

// The whole schema of the server. The four system schemas are listed as
// databases only: information_schema and performance_schema change with no
// command, and the columns of the views of sys and the tables of mysql are
// not the tests' business.
SchemaSnapshot TakeSnapshot(AdminConnection &admin);
