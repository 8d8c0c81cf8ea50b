// For the files of clientlib/ only: small conveniences over the binding. A
// result handle that is freed exactly once, the conversions between the
// program's texts and the library's, and the calls that several operations
// share. Each runs on the connection's thread.
#pragma once

#include "clientlib/Listings.h"
#include "clientlib/QueryResult.h"
#include "clientlib/TableOptions.h"
#include "clientlib/mysql.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
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

// The type text of the field list for a field as the client library lists it.
QString FieldTypeTextOf(const MYSQL_FIELD &field);
// The fields of a result of FieldsQuery, as the field list shows them.
QList<ListedField> ListedFieldsOf(MYSQL_RES *result);
// The statements (two) whose last result describes the fields of a table as
// mysql_list_fields does (the same descriptions, invisible columns
// included), and holds no rows. Unlike mysql_list_fields they name the
// database, take any table name whole, and can go in one request with other
// statements.
QStringList FieldsQuery(const QString &database, const QString &table);

// A listing read as part of a request that may hold other statements first:
// its statements, and each of their results or the refusal among them, by
// the index within its own statements.
class ListingReads {
public:
  explicit ListingReads(const ListingRequest &request);
  const QStringList &statements() const { return m_statements; }
  void read(qsizetype index, MYSQL_RES *result);
  void refused(qsizetype index, const ServerReply &reply);
  Listing listing;

private:
  enum class Part { Databases, Select, Tables, FieldNames, Fields };
  QStringList m_statements;
  QList<Part> m_parts;
};

// Escapes a value for the inside of a '...' string literal as the server of
// the connection reads it (its NO_BACKSLASH_ESCAPES mode included).
QString EscapeLiteralOn(MYSQL *handle, const QString &value);

// Makes `database` the connection's current database.
ServerReply SelectDatabaseOn(MYSQL *handle, const QString &database);

// Sends one statement; a refusal carries the server's error.
ServerReply SendStatementOn(MYSQL *handle, const QString &statement);

// Sends one statement and reads its result.
QueryResult QueryOn(MYSQL *handle, const QString &statement);

// How a request of several statements ended: the server's refusal of the
// statement at `failed` (those after it did not run), or all ran.
struct BatchEnd {
  ServerReply reply;
  qsizetype failed = -1;
  bool ok() const { return reply.ok; }
};
// Reads the result of the statement at `index` (null for a statement without
// one). The result is freed once the reader returns.
using ResultReader = std::function<void(qsizetype index, MYSQL_RES *result)>;
// Sends the statements in one request (one round trip) where the library
// and the server allow several statements in one, otherwise one after the
// other, and hands each result to `read` in order; stops at the first
// refusal. Each statement is one statement without a final semicolon.
BatchEnd ForEachResultOn(MYSQL *handle, const QStringList &statements, const ResultReader &read);
// The same, each result read as a QueryResult; see ServerSession::batch.
BatchResult BatchOn(MYSQL *handle, const QStringList &statements);
// Forgets what was set up on a connection that is being closed (the
// server's consent to several statements in one request).
void ForgetConnectionOn(MYSQL *handle);
// Makes the server take one statement per request again, for a text that
// the program did not build from quoted names and escaped values.
void OneStatementPerRequestOn(MYSQL *handle);

// The client library's text when its last call found the connection gone
// (the server ended, restarted or broke it, or killed the connection);
// nothing otherwise.
std::optional<QString> ConnectionLossOn(MYSQL *handle);

// The rows of a result, each as its columns' texts (SQL NULL as a null QString).
QList<QStringList> RowsOf(MYSQL_RES *result);

// Sends a query and reads all its rows, each as its columns' texts (SQL NULL
// as a null QString). Nothing when the server refuses the query.
std::optional<QList<QStringList>> QueryRows(MYSQL *handle, const QString &query);

// The query of a table's options (TableOptions.h), and its rows read back;
// for a table that is not there, an empty record. A sequence's definition
// comes from a statement of its own.
QString TableOptionsQuery(MYSQL *handle, const QString &database, const QString &table);
TableOptions TableOptionsFromRows(const QList<QStringList> &rows);
QString SequenceDefinitionQuery(const QString &database, const QString &sequence);
