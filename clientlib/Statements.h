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
// texts, compared as the texts shown: another client's change of a type is
// found as well as a renamed or swapped table); while it shows none, the
// table is still there.
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
// The table is still the one a structure window shows: its SHOW CREATE
// TABLE text is the one read then, but for the AUTO_INCREMENT counter, which
// every insert moves on. It names the table with its database, so that no
// database need be selected.
struct TableStill {
  QString database;
  QString table;
  QString createStatement;
};
// std::monostate: nothing to check.
using StillAsShown = std::variant<std::monostate, TableFieldsStill, ColumnStill, TableStill>;

// A table's SHOW CREATE TABLE text without the AUTO_INCREMENT counter of its options.
QString WithoutCounter(const QString &createStatement);

// Makes `database` the connection's current database.
ServerReply SelectDatabase(ServerSession &session, const QString &database);

// Sends one statement; `what` names it for the wait window.
ServerReply SendStatement(ServerSession &session, const QString &what, const QString &statement);

// Selects the database, checks, sends the statement and reads the listing
// `then`, each step only once the one before succeeded: the database
// selected and the check in one request, the statement and the listing in
// the next; with nothing to check, all in one request. The listing is read
// only when the statement succeeded.
struct CheckedSend {
  ServerReply select;
  bool holds = true;
  ServerReply check; // the server's refusal of the check's read, if any
  ServerReply send;
  std::optional<Listing> listing;
};
CheckedSend SelectCheckAndSend(ServerSession &session, const QString &what, const QString &database,
                               const QString &statement, const StillAsShown &check = {},
                               const std::optional<ListingRequest> &then = std::nullopt);
// Checks, then sends the statement, for a statement that names its table
// with the database: nothing is selected.
CheckedSend CheckAndSend(ServerSession &session, const QString &what, const QString &statement,
                         const StillAsShown &check);

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
// table that cannot be copied so); then nothing was tried, and `before` is
// the table's own CREATE TABLE text. One request, and one more to drop the
// copy when the statement was refused.
struct TrialOnCopy {
  bool made = false;
  QString before;
  QString after;
  ServerReply statement;
};
TrialOnCopy TryOnTemporaryCopy(ServerSession &session, const QString &what, const QString &database,
                               const QString &table, const QString &copy, const QString &statement);
