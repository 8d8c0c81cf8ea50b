// For the files of clientlib/ only: small conveniences over the binding. A
// result handle that is freed exactly once, the conversions between the
// program's texts and the library's, and the calls that several operations
// share. Each runs on the connection's thread.
#pragma once

#include "clientlib/Listings.h"
#include "clientlib/QueryResult.h"
#include "clientlib/mysql.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

struct ResultFree {
  void operator()(MYSQL_RES *result) const noexcept;
};
// Owns a listing or query result; freed once when it goes out of scope, also
// when an exception passes.
using Result = std::unique_ptr<MYSQL_RES, ResultFree>;

// Texts go to the library as NUL-terminated UTF-8 (the connection uses utf8mb4).
inline QByteArray ToLibrary(const QString &text) { return text.toUtf8(); }
inline QString FromLibrary(const char *text) { return QString::fromUtf8(text); }

// The answer of a call that succeeded or not; a failure's error number and
// text are read from the connection.
ServerReply ReplyOf(MYSQL *handle, bool succeeded);

// The field descriptions of a table of the current database, as
// mysql_list_fields gives them (null on failure). The client library cuts a
// table name at 127 bytes and sends stray bytes after it as a wildcard, which
// lists another table's fields or none; a longer name (up to 64 characters
// can take 192 bytes) is asked for with a query that returns the same
// descriptions and no rows.
MYSQL_RES *ListFieldsOf(MYSQL *handle, const char *table);

// The type text of the field list for a field as the client library lists it.
QString FieldTypeTextOf(const MYSQL_FIELD &field);
// The fields of a result of ListFieldsOf, as the field list shows them.
QList<ListedField> ListedFieldsOf(MYSQL_RES *result);

// Escapes a value for the inside of a '...' string literal as the server of
// the connection reads it (its NO_BACKSLASH_ESCAPES mode included).
QString EscapeLiteralOn(MYSQL *handle, const QString &value);

// Makes `database` the connection's current database.
ServerReply SelectDatabaseOn(MYSQL *handle, const QString &database);

// Sends one statement; a refusal carries the server's error.
ServerReply SendStatementOn(MYSQL *handle, const QString &statement);

// Sends one statement and reads its result.
QueryResult QueryOn(MYSQL *handle, const QString &statement);
// Sends the statements in one multi-statement request where the library can,
// otherwise one after the other; see ServerSession::batch.
BatchResult BatchOn(MYSQL *handle, const QStringList &statements);

// Sends a query and reads all its rows, each as its columns' texts (SQL NULL
// as a null QString). Nothing when the server refuses the query.
std::optional<QList<QStringList>> QueryRows(MYSQL *handle, const QString &query);
