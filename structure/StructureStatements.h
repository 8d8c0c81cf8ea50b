// The statements that add and drop an index or a foreign key. Every name is
// quoted (backquotes, an embedded backquote doubled) and the table is named
// with its database, so that no statement depends on the connection's
// current database.
#pragma once

#include "clientlib/SqlText.h"
#include "clientlib/TableStructure.h"

#include <QString>

// A new index: PRIMARY needs no name (the server calls it PRIMARY); the sort
// order of the parts is the server's default.
struct IndexDefinition {
  QString name;
  IndexKind kind = IndexKind::Index;
  QList<IndexPart> parts;
};

// The referential actions a new foreign key offers.
const QStringList &ReferentialActions();

// A new foreign key; an empty name lets the server choose one.
struct ForeignKeyDefinition {
  QString name;
  QStringList columns;
  QString referencedDatabase, referencedTable;
  QStringList referencedColumns;
  QString onDelete = QStringLiteral("RESTRICT");
  QString onUpdate = QStringLiteral("RESTRICT");
};

QString AddIndexStatement(const QString &database, const QString &table,
                          const IndexDefinition &index);
QString DropIndexStatement(const QString &database, const QString &table, const QString &name);
QString AddForeignKeyStatement(const QString &database, const QString &table,
                               const ForeignKeyDefinition &key);
QString DropForeignKeyStatement(const QString &database, const QString &table, const QString &name);

// What "Tabelle ändern..." sets: the storage engine, the row format, the
// default character set and collation for new columns, and the comment.
struct TableOptionChoice {
  QString engine;
  QString rowFormat; // DEFAULT, DYNAMIC, ...
  QString characterSet;
  QString collation;
  QString comment;
  bool operator==(const TableOptionChoice &) const = default;
};
// The row formats the dialog offers.
const QStringList &RowFormats();
// The choice as the table has it now.
TableOptionChoice ChoiceOf(const TableOptions &options);
// ALTER TABLE with what differs between `before` and `after`, the comment
// escaped with `escape`; empty when nothing does.
QString ChangeTableStatement(const QString &database, const QString &table,
                             const TableOptionChoice &before, const TableOptionChoice &after,
                             const LiteralEscaper &escape);
