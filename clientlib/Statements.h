// The reads and statements of the main window's commands: selecting a
// database, sending one statement with the check that the object is still
// the one the user saw, creating and dropping a database, and what
// "Feld ändern..." reads of a column and tries out before the editor opens.
#pragma once

#include "clientlib/ColumnFacts.h"
#include "clientlib/Listings.h"
#include "clientlib/QueryResult.h"

#include <QString>

#include <optional>
#include <variant>

class ServerSession;

// What a command checks on the server just before it sends, in the same call
// and with the command's database selected.
//
// The table's fields are still those the field list shows (names and type
// texts, compared as the texts shown); while it shows none, the table is
// still there.
struct TableFieldsStill {
  QString table;
  QList<ListedField> shown;
};
// The column's facts are still those read when the field editor opened.
struct ColumnStill {
  QString database;
  QString table;
  QString column;
  ColumnFacts facts;
};
// std::monostate: nothing to check.
using StillAsShown = std::variant<std::monostate, TableFieldsStill, ColumnStill>;

// Makes `database` the connection's current database.
ServerReply SelectDatabase(ServerSession &session, const QString &database);

// Sends one statement; `what` names it for the wait window.
ServerReply SendStatement(ServerSession &session, const QString &what, const QString &statement);

// Selects the database, checks, and sends the statement, in one call; each
// step only once the one before succeeded.
struct CheckedSend {
  ServerReply select;
  bool holds = true;
  ServerReply send;
};
CheckedSend SelectCheckAndSend(ServerSession &session, const QString &what, const QString &database,
                               const QString &statement, const StillAsShown &check = {});

// Creates or drops a database with the client library's own call where it
// has one, otherwise with the statement and the name quoted.
ServerReply CreateDatabase(ServerSession &session, const QString &name);
ServerReply DropDatabase(ServerSession &session, const QString &name);

// The facts of one column as the server has them now; none when there is no
// such column, nothing read at all when the server refused.
struct ColumnReading {
  ServerReply reply;
  std::optional<ColumnFacts> facts;
};
ColumnReading ReadColumnFacts(ServerSession &session, const QString &what, const QString &database,
                              const QString &table, const QString &column);

// What `statement` does to an empty temporary copy `copy` of a table, which
// only this connection sees and which is dropped again: the copy's CREATE
// TABLE text before and after, or the server's refusal of the statement. Not
// `made` when the copy cannot be made (no right to make temporary tables, a
// table that cannot be copied so); then nothing was tried.
struct TrialOnCopy {
  bool made = false;
  QString before;
  QString after;
  ServerReply statement;
};
TrialOnCopy TryOnTemporaryCopy(ServerSession &session, const QString &what, const QString &database,
                               const QString &table, const QString &copy, const QString &statement);
