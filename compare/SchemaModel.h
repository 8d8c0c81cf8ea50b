// One database's schema as the comparison sees it, made from what the server
// says (clientlib/SchemaCalls.h): tables with their columns, indexes,
// foreign keys and CHECK constraints, views and triggers. Definitions are
// kept in the server's own words (the parts of SHOW CREATE TABLE), so that
// two objects are alike exactly when the server writes them alike; the
// information_schema facts of a column only say which of its properties
// differ.
#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

struct SchemaRows;

struct ColumnModel {
  QString name;
  // What follows the name in SHOW CREATE TABLE, with the character set and
  // collation always spelled out (the server leaves out the table's own).
  QString definition;
  // From information_schema.COLUMNS.
  QString type; // COLUMN_TYPE
  bool nullable = true;
  QString defaultValue; // COLUMN_DEFAULT as the server writes it; null: none
  QString extra;
  QString characterSet, collation;
  QString comment;
};

struct IndexModel {
  QString name;       // "PRIMARY" for the primary key
  QString definition; // as SHOW CREATE TABLE writes it, e.g. "UNIQUE KEY `u` (`a`(10))"
  QString shape;      // the definition without the name: equal shapes index alike
  bool primary() const { return name == QLatin1String("PRIMARY"); }
};

struct ForeignKeyModel {
  QString name;
  QString columns;            // inside the parentheses, as the server writes them
  QString referencedDatabase; // empty: the table's own database
  QString referencedTable;
  QString referencedColumns;
  QString rules; // "ON DELETE CASCADE ON UPDATE SET NULL", as written; may be empty
};

struct CheckModel {
  QString name;
  QString clause; // "CHECK (...)"
};

struct TableModel {
  QString name;
  QString type; // TABLE_TYPE
  QString engine, collation, comment;
  QString rowFormat;          // as declared; empty for the engine's default
  QList<ColumnModel> columns; // in their order
  QList<IndexModel> indexes;
  QList<ForeignKeyModel> foreignKeys;
  QList<CheckModel> checks;
  QStringList otherParts; // any other part of the definition (PERIOD FOR ...), as written
  // SHOW CREATE TABLE taken apart: the parts in the parentheses but the
  // foreign keys (which a new table gets once all tables are there), and
  // the table options after them.
  QStringList partsWithoutForeignKeys;
  QString createOptions;
  // The whole text: two tables of the same name and text are alike.
  QString createStatement;
};

struct ViewModel {
  QString name;
  QString definition; // VIEW_DEFINITION: the server names objects with their database
  QString checkOption, security, algorithm;
};

struct TriggerModel {
  QString name, table, timing, event;
  QString body; // ACTION_STATEMENT, as written
  QString sqlMode;
};

struct SchemaModel {
  QString database;
  QString serverVersion;
  int lowerCaseTableNames = 0;
  QString characterSet, collation;
  QList<TableModel> tables;
  QList<ViewModel> views;
  QList<TriggerModel> triggers;
};

SchemaModel BuildSchemaModel(const QString &database, const SchemaRows &rows);

// A CREATE TABLE text of SHOW CREATE TABLE taken apart; false when it does
// not read as one.
bool SplitCreateTable(const QString &text, QStringList &parts, QString &options);

// Fills `table` from the parts of its CREATE TABLE and its options, with
// the columns' facts (rows of SchemaRows::columns, by column name) where known.
void ReadCreateParts(TableModel &table, const QStringList &parts, const QString &options,
                     const QHash<QString, QStringList> &facts);

// A server's version (@@version) as one number, 101106 for
// "10.11.6-MariaDB-0+deb12u1"; 0 where it cannot be read.
int VersionNumber(const QString &serverVersion);
// Whether the server stopped showing integer display widths (MySQL 8.0.19
// and later): then int(11) and int are the same column type.
bool DropsIntegerWidths(const QString &serverVersion);
// `type` without the display width of an integer type; tinyint(1), which
// such servers keep showing, and ZEROFILL types stay as they are.
QString WithoutIntegerWidth(const QString &type);
