// SQL text for column definitions: the column clause of one field row, the
// position clause of the ALTER statements, the key clauses that close a
// statement, and the three statements CREATE TABLE, ALTER TABLE ... ADD and
// ALTER TABLE ... CHANGE built from them. Plain text work: nothing here talks
// to a server or looks at a window.
#pragma once

#include "clientlib/SqlText.h"
#include "fields/FieldRow.h"

#include <QList>
#include <QString>

// Where an added or changed column goes: the field editor's three position
// buttons ("Als letztes Feld", "Als erstes Feld", "Hinter diesem Feld:") and
// the name typed beside the third.
enum class FieldPosition { Last, First, After };

struct FieldPlacement {
  FieldPosition position = FieldPosition::Last;
  QString afterField; // as typed; used only with FieldPosition::After
};

// The column names marked primary key, unique and index, each list reading
// `a` or `a`,`b` in row order.
struct KeyLists {
  QString primary;
  QString unique;
  QString index;
};

enum class StatementKind { Create, Alter };

// "(12)", "(12,2)", or empty when the length cell is empty (whatever the
// decimals cell holds).
QString LengthPart(const FieldRow &row);

// The attribute words in fixed order, each followed by one blank: "unsigned ",
// "zerofill ", "binary ", "NOT NULL " (null not allowed, or primary key),
// "AUTO_INCREMENT ".
QString FlagWords(const FieldRow &row);

// "default '<value>'" with the value escaped by `escape`; empty when the
// value is empty, so that a column without a default gets none.
QString DefaultClause(const QString &value, const LiteralEscaper &escape);

// `name` TYPE(length) flags default '...', without a trailing blank.
QString ColumnClause(const FieldRow &row, const LiteralEscaper &escape);

// Adds the row's quoted name to each key list whose flag is set.
void AddToKeyLists(const FieldRow &row, KeyLists &keys);

// " FIRST", " AFTER `name`", or empty ("Als letztes Feld", or "Hinter diesem
// Feld:" with no name).
QString PositionClause(FieldPosition position, const QString &afterField);
inline QString PositionClause(const FieldPlacement &placement) {
  return PositionClause(placement.position, placement.afterField);
}

// ", PRIMARY KEY (...)", ", UNIQUE (...)", ", INDEX (...)" in this order, each
// only for a non-empty list; the ALTER statements write "ADD " before each key.
QString KeyClauses(const KeyLists &keys, StatementKind kind);

// CREATE TABLE `table` (<column>,\r<column>..., keys). Rows are separated by
// a comma and one carriage return.
QString CreateTableStatement(const QString &table, const QList<FieldRow> &rows,
                             const LiteralEscaper &escape);

// ALTER TABLE `table` ADD <column><position><keys>
QString AddFieldStatement(const QString &table, const FieldRow &row,
                          const FieldPlacement &placement, const LiteralEscaper &escape);

// ALTER TABLE `table` CHANGE `oldName` <column><position><keys>; the column
// clause carries the new name from the row.
QString ChangeFieldStatement(const QString &table, const QString &oldName, const FieldRow &row,
                             const FieldPlacement &placement, const LiteralEscaper &escape);
