// The script of the chosen steps: their operations phase by phase, the
// clauses for one table in one phase joined into one ALTER TABLE (a clause
// that two steps need, such as dropping a foreign key, only once).
#pragma once

#include "compare/SchemaCompare.h"

#include <QList>
#include <QString>

struct ScriptStatement {
  QString text;
  QList<int> steps; // the steps (their places in SchemaComparison::steps) it serves
};

// `chosen` holds one flag per step.
QList<ScriptStatement> BuildScript(const SchemaComparison &comparison, const QList<bool> &chosen);

// Before and after the statements when they run: the session's sql_mode is
// kept aside and ScriptSqlMode set, and afterwards the old one comes back
// (also when a statement failed).
QString ScriptPrologue();
QString ScriptEpilogue();

// The script as a file the mariadb client runs: a header naming both
// databases, SET NAMES, the prologue, every statement, the epilogue. A
// statement that holds semicolons (a trigger's body) stands between
// DELIMITER lines.
QString ScriptFileText(const SchemaComparison &comparison,
                       const QList<ScriptStatement> &statements);
