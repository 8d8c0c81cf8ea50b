// The statements that add and drop an index or a foreign key. Every name is
// quoted (backquotes, an embedded backquote doubled) and the table is named
// with its database, so that no statement depends on the connection's
// current database.
#pragma once

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
