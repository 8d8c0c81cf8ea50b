// Small conveniences over the binding: a result handle that is freed exactly
// once, and the conversions between the program's texts and the library's.
#pragma once

#include "clientlib/mysql.h"

#include <QByteArray>
#include <QString>

#include <QList>
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

// The error text of the last failed call on the connection.
QString ServerError(MYSQL *handle);

// The field descriptions of a table of the current database, as
// mysql_list_fields gives them (null on failure). The client library cuts a
// table name at 127 bytes and sends stray bytes after it as a wildcard, which
// lists another table's fields or none; a longer name (up to 64 characters
// can take 192 bytes) is asked for with a query that returns the same
// descriptions and no rows.
MYSQL_RES *ListFieldsOf(MYSQL *handle, const char *table);

// Escapes a value for the inside of a '...' string literal as the server of
// the connection reads it (its NO_BACKSLASH_ESCAPES mode included).
QString EscapeLiteralOn(MYSQL *handle, const QString &value);

// Sends one statement; a refusal carries the server's error.
struct ServerReply;
ServerReply SendStatementOn(MYSQL *handle, const QString &statement);

// Sends a query and reads all its rows, each as its columns' texts (SQL NULL
// as a null QString). Nothing when the server refuses the query.
std::optional<QList<QStringList>> QueryRows(MYSQL *handle, const QString &query);
