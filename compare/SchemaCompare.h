// Comparing two databases' schemas (A and B) and the steps that make B equal
// to A. Each step is one change the user can choose (a table to create, the
// changes of one table, a column to drop, ...); steps that can lose data are
// marked so and are not chosen unless the user chooses them. A step is made
// of operations, each in a phase of the script, so that whatever is chosen
// runs in an order that works: foreign keys are dropped before anything they
// hold on to changes and added once all tables are there, views come after
// the tables they read and each other, triggers last.
#pragma once

#include "compare/SchemaModel.h"

#include <QList>
#include <QString>

// The phases of the script, in the order in which they run.
enum class ScriptPhase {
  Database,
  DropTriggers,
  DropViews,
  DropForeignKeys,
  DropTables,
  CreateTables,
  AlterTables,
  AddForeignKeys,
  CreateViews,
  CreateTriggers,
};

// A statement of its own, or (with `table` set) a clause of the one ALTER
// TABLE that the script writes for that table in that phase; clauses are put
// in the order of `rank`, then `order`.
struct ScriptOperation {
  ScriptPhase phase = ScriptPhase::AlterTables;
  QString table;
  int rank = 0;
  int order = 0;
  QString text;
};

struct ScriptStep {
  QString title; // German: what it does, naming the object
  bool losesData = false;
  QList<ScriptOperation> operations;
};

struct SchemaDifference {
  enum class Kind { OnlyInA, OnlyInB, Changed };
  enum class Area { Database, Table, View, Trigger };
  Kind kind = Kind::Changed;
  Area area = Area::Table;
  QString object; // "Tabelle „t“", "Sicht „v“", "Trigger „t“", "Datenbank"
  QString detail; // what of it differs, e.g. "Spalte „c“: Typ"; empty: the whole object
  QString inA, inB;
};

struct SchemaComparison {
  QString databaseA, databaseB;
  QList<SchemaDifference> differences;
  QList<ScriptStep> steps;
};

SchemaComparison CompareSchemas(const SchemaModel &a, const SchemaModel &b);

// Whether changing a column from `from` (B) to `to` (A) can lose what it holds:
// a narrower or other type, another character set, a value list that is not
// the old one extended, a column that becomes generated.
bool MayLoseData(const ColumnModel &from, const ColumnModel &to);

// The sql_mode in which the script runs: strict, so that a change whose data
// does not fit fails instead of cutting it, and without substituting engines.
inline const QString ScriptSqlMode =
    QStringLiteral("STRICT_ALL_TABLES,ERROR_FOR_DIVISION_BY_ZERO,NO_ENGINE_SUBSTITUTION");
