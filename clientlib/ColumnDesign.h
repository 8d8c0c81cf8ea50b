// A column with all that MariaDB lets a column have, taken from what the
// server reports of it, and written back as the column definition of ALTER
// TABLE ... ADD, MODIFY or CHANGE, in the order and form of the server's own
// SHOW CREATE TABLE; the structure window's column editor holds one. Plain
// text work: nothing here talks to the server.
#pragma once

#include "clientlib/SqlText.h"
#include "clientlib/TableStructure.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

enum class Generation { None, Virtual, Stored, RowStart, RowEnd };

struct ColumnDesign {
  QString name;
  QString type;       // the type word in lower case, as the server writes it: "int", "enum"
  QString length;     // the first number in parentheses: 10 of decimal(10,2), 6 of datetime(6)
  QString decimals;   // the second: 2 of decimal(10,2)
  QStringList values; // of ENUM and SET, each as it is
  bool isUnsigned = false;
  bool zerofill = false;
  bool compressed = false;
  QString characterSet; // of a column that holds text; with the collation
  QString collation;    // the same as the table's: the table's default
  Generation generation = Generation::None;
  QString expression; // of a VIRTUAL or STORED column
  bool nullable = true;
  bool invisible = false;
  ColumnDefault defaultValue;
  bool withoutVersioning = false; // WITHOUT SYSTEM VERSIONING
  QString onUpdate;               // the ON UPDATE expression; empty for none
  bool autoIncrement = false;
  QString comment;
  QString check; // the column's own CHECK expression; empty for none
  bool operator==(const ColumnDesign &) const = default;
};

// What the editor may set for a type: its parts besides the name, NULL,
// default, comment, CHECK and visibility, which every column has. A type
// word the program does not know allows everything, and the server judges.
struct ColumnTypeRule {
  bool length = true;
  bool decimals = true;
  bool numeric = true; // UNSIGNED and ZEROFILL
  bool text = true;    // character set and collation
  bool values = true;  // ENUM and SET
  bool autoIncrement = true;
  bool onUpdate = true;
  bool compressible = true;
};
ColumnTypeRule RuleOfType(const QString &type);
// The type words the editor offers, in lower case.
const QStringList &ColumnTypeWords();

// The column as the server reports it, or why that cannot be read (a type
// text of an unknown shape).
struct ColumnReadBack {
  std::optional<ColumnDesign> design;
  QString refusal;
};
ColumnReadBack DesignOfColumn(const ColumnRecord &column);

// The definition that follows ALTER TABLE ... ADD or MODIFY: the quoted name,
// the type and every attribute, values escaped with `escape`.
QString ColumnDefinition(const ColumnDesign &design, const QString &tableCollation,
                         const LiteralEscaper &escape);
// The same as SHOW CREATE TABLE writes it (without its indent and comma), to
// compare with the server's line: a column whose line the editor does not
// write the same has something the editor cannot carry.
QString ColumnAsServerWrites(const ColumnDesign &design, const QString &tableCollation);
// The line of `column` in a SHOW CREATE TABLE text, without indent and
// comma; empty when there is none.
QString ColumnLineOf(const QString &createStatement, const QString &column);

// Where a column goes: for a new one, Unchanged means at the end.
struct ColumnPlace {
  enum class Kind { Unchanged, First, After };
  Kind kind = Kind::Unchanged;
  QString after;
};

// A table's name with its database and whether it is system-versioned, for
// the statements: MariaDB changes the columns of a system-versioned table
// only when told to keep its history as it is.
struct ColumnTable {
  QString database;
  QString table;
  QString collation; // the table's default collation
  bool systemVersioned = false;
};
QString AddColumnStatement(const ColumnTable &table, const ColumnDesign &design,
                           const ColumnPlace &place, const LiteralEscaper &escape);
// MODIFY, or CHANGE when the name is another.
QString ChangeColumnStatement(const ColumnTable &table, const QString &oldName,
                              const ColumnDesign &design, const ColumnPlace &place,
                              const LiteralEscaper &escape);

// Why changing `before` into `after` may lose data, one German line a
// reason; `nullRows` is the number of rows that hold NULL in the column.
QStringList PossibleLosses(const ColumnDesign &before, const ColumnDesign &after,
                           std::uint64_t nullRows);
