// What the server says of one column, read from information_schema, and the
// statements that read it; how the server writes a text default. Plain text
// work: nothing here talks to the server itself.
#pragma once

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

// The text of a '...' literal as the server writes a default (quote doubled,
// \0 \n \r \\ escaped); nothing when `literal` is not written so.
bool IsServerTextLiteral(const QString &text);
std::optional<QString> UnquoteServerLiteral(const QString &literal);
// The literal as the server writes it, which UnquoteServerLiteral reads back.
QString ServerTextLiteral(const QString &text);

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

// A column's default as the server writes it (MariaDB 10.2 and later).
struct ColumnDefault {
  enum class Kind { None, Null, Text, Expression };
  Kind kind = Kind::None;
  QString text; // Text: the value itself; Expression: as written (a number, current_timestamp())
  static ColumnDefault FromServer(const QString &columnDefault);
  // How the structure window shows it: nothing, NULL, the text in quotes, the expression.
  QString display() const;
  bool operator==(const ColumnDefault &) const = default;
};
