// Runs the chosen statements of a comparison on database B with the
// program's script runner: several statements to a request, the first that
// fails ends the run, the session's settings come back afterwards. The
// script's sql_mode is set before the first statement.
#pragma once

#include "clientlib/StatementBatch.h"
#include "compare/ComparisonScript.h"

struct ComparisonRun {
  ScriptOutcome outcome;
  qsizetype statements = 0; // chosen
  QString lost;             // the connection broke off: the client library's text
  qsizetype done() const;   // of the chosen that ran
  bool complete() const;
};

ComparisonRun RunComparison(ServerSession &session, const SchemaComparison &comparison,
                            const QList<ComparisonStatement> &statements, JobProgress &progress);

// What the user is told of a run that did not complete: which statement
// failed (its number, where it stands in the script and how it begins) and
// why, or that it was stopped; and how many ran.
QString ComparisonRunReport(const ComparisonRun &run, const SchemaComparison &comparison,
                            const QList<ComparisonStatement> &statements);
