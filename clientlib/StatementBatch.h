// Running a script of statements against a database with few round trips:
// statements go to the server many per request (as one multi-statement
// request), so that a file of many small statements does not pay a round
// trip for each. The statements come from a source that runs beside, on the
// connection's thread, so that a file is read as a stream while it runs.
#pragma once

#include "clientlib/JobProgress.h"
#include "clientlib/ScriptStatement.h"
#include "clientlib/ServerSession.h"

#include <QByteArray>
#include <QString>

// Where the statements come from. Called on the connection's thread.
class StatementSource {
public:
  virtual ~StatementSource() = default;
  // Before the first statement: whether the server reads a backslash in a
  // quoted string as an escape (not in the NO_BACKSLASH_ESCAPES mode), and
  // the longest statement it takes in (its max_allowed_packet, less a margin).
  virtual void begin(bool backslashEscapes, qint64 longestStatement) = 0;
  // The next statement; false at the end of the script, or when the source
  // cannot go on (it keeps the reason).
  virtual bool next(ScriptStatement &statement) = 0;
  // After a statement that sets the mode (setsMode) has run: how the server
  // reads a backslash in a quoted string now.
  virtual void modeSet(bool backslashEscapes) = 0;
};

struct ScriptOutcome {
  bool databaseSelected = true; // false: the database could not be made the current one
  qint64 ran = 0;               // statements the server ran
  ScriptStatement failed;       // the statement the server refused (number 0: none)
  ServerReply reply;            // the server's refusal (of the statement or the database)
  bool stopped = false;         // ended on the user's request
};

// Makes `database` the current database and runs the source's statements in
// order, several per request, until the source ends, the server refuses one
// (nothing after it runs) or the user asks to stop. The session's settings
// are put back afterwards (as a connect left them): whatever the script set
// (SET NAMES, sql_mode, foreign_key_checks, ...) does not stay for the
// program's own statements. `progress` counts the statements run and the
// bytes up to the end of the last one.
ScriptOutcome RunScript(ServerSession &session, const QString &what, const QString &database,
                        StatementSource &source, JobProgress &progress);
