// The script of the chosen steps: their operations phase by phase, the
// clauses for one table in one phase joined into one ALTER TABLE (a clause
// that two steps need, such as dropping a foreign key, only once).
#pragma once

#include "compare/SchemaCompare.h"

#include <QList>
#include <QString>

struct ComparisonStatement {
  QString text;
  QList<int> steps; // the steps (their places in SchemaComparison::steps) it serves
};

// `chosen` holds one flag per step.
QList<ComparisonStatement> BuildScript(const SchemaComparison &comparison,
                                       const QList<bool> &chosen);

// Sets the session's sql_mode to ScriptSqlMode: the first statement of a run.
QString ScriptModeStatement();

// The script as a file the mariadb client runs: a header naming both
// databases, SET NAMES, the sql_mode (the session's own kept aside and put
// back at the end), every statement. A statement that holds semicolons (a
// trigger's body) stands between DELIMITER lines. `lines`, if given,
// receives the line on which each statement starts.
QString ScriptFileText(const SchemaComparison &comparison,
                       const QList<ComparisonStatement> &statements,
                       QList<qint64> *lines = nullptr);
