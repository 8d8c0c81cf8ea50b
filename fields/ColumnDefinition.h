// Turning a column's present definition, as the server reports it, into the
// field row that the field editor starts from when a field is changed, so that
// accepting the editor unchanged keeps the column as it is. A column that the
// editor cannot show exactly is refused with a reason, never converted.
#pragma once

#include "fields/FieldRow.h"

#include <QString>
#include <QStringList>

#include <optional>

// What the server says of one column: its row of information_schema.COLUMNS,
// the column's own CHECK constraint, and the type and collation of its table.
struct ColumnFacts {
  QString name;
  QString dataType;       // DATA_TYPE, e.g. "int"
  QString columnType;     // COLUMN_TYPE, e.g. "int(10) unsigned"
  bool nullable = true;   // IS_NULLABLE = 'YES'
  QString defaultValue;   // COLUMN_DEFAULT as the server writes it; a null QString for none
  QString extra;          // EXTRA, e.g. "auto_increment"
  QString collation;      // COLLATION_NAME, empty for columns without text
  QString comment;        // COLUMN_COMMENT
  QString tableCollation; // TABLE_COLLATION of the table
  QString tableType;      // TABLE_TYPE: "BASE TABLE", "VIEW", "SEQUENCE", "SYSTEM VERSIONED"
  QString check;          // the column's own CHECK clause; empty when it has none
  bool operator==(const ColumnFacts &) const = default;
};

struct EditableColumn {
  std::optional<FieldRow> row; // set when the editor can show the column exactly
  QString refusal;             // otherwise the German message that says why not
};

EditableColumn EditableFromColumn(const ColumnFacts &column);

// The text of a '...' literal as the server writes a default (quote doubled,
// \0 \n \r \\ escaped); nothing when `literal` is not written so.
bool IsServerTextLiteral(const QString &text);
std::optional<QString> UnquoteServerLiteral(const QString &literal);

// The German message that refuses to open the editor on `column`, saying why.
QString ChangeRefusal(const QString &column, const QString &reason);

// Where two texts of SHOW CREATE TABLE differ: their first differing lines,
// as "aus „…“ würde „…“"; empty when they are the same.
QString DefinitionDifference(const QString &before, const QString &after);

// "<column> = '<name>' AND BINARY <column> = '<name>'" for a name already
// escaped: information_schema compares names without case, so the binary
// comparison keeps the name exact, and the plain one lets the server open
// just the table asked for instead of every table and view of every
// database (which has crashed MariaDB on the views of sys).
QString ExactName(const QString &column, const QString &escapedName);

// The statement that reads the facts of one column; the three names are
// already escaped for a string literal. It gives no row for a column that is
// not there, one otherwise, which ColumnFactsFromRow reads.
QString ColumnFactsQuery(const QString &database, const QString &table, const QString &column);

// The statement that reads the facts of every column of a table (the names
// already escaped), with `more` columns of information_schema.COLUMNS c after
// those of ColumnFacts; a condition may be appended with AND.
QString ColumnFactsSelect(const QString &database, const QString &table, const QString &more);

// The facts from a row of those statements.
ColumnFacts ColumnFactsFromRow(const QStringList &row);
