#include "clientlib/Results.h"

#include "clientlib/FieldTypeText.h"

#include <mutex>
#include <set>
#include <stdexcept>

void ResultFree::operator()(MYSQL_RES *result) const noexcept {
  // Runs in destructors: never throw. A library that can no longer free the
  // result leaves it to the process end.
  if (result && mysql::HasEntryPoint(mysql::EntryPoint::mysql_free_result))
    mysql::mysql_free_result(result);
}

ServerReply ReplyOf(MYSQL *handle, bool succeeded) {
  if (succeeded)
    return {};
  return {false, mysql::mysql_errno(handle), FromLibrary(mysql::mysql_error(handle))};
}

QString FieldTypeTextOf(const MYSQL_FIELD &field) {
  return FieldTypeText(field.type, field.length, field.decimals, field.flags);
}

QList<QStringList> RowsOf(MYSQL_RES *result) {
  QList<QStringList> rows;
  if (!result)
    return rows;
  const unsigned int columns = mysql::mysql_num_fields(result);
  while (const MYSQL_ROW row = mysql::mysql_fetch_row(result)) {
    const unsigned long *lengths = mysql::mysql_fetch_lengths(result);
    QStringList cells;
    for (unsigned int c = 0; c < columns; ++c)
      cells << (row[c] ? QString::fromUtf8(row[c], static_cast<qsizetype>(lengths[c])) : QString());
    rows << cells;
  }
  return rows;
}

std::optional<QList<QStringList>> QueryRows(MYSQL *handle, const QString &query) {
  QueryResult result = QueryOn(handle, query);
  if (!result.ok() || result.columns.isEmpty())
    return std::nullopt;
  return result.texts();
}

namespace {

// A result as the program's QueryResult.
QueryResult ReadResult(MYSQL *handle, MYSQL_RES *result) {
  QueryResult query;
  query.affectedRows = mysql::mysql_affected_rows(handle);
  if (!result)
    return query;
  const unsigned int columns = mysql::mysql_num_fields(result);
  const MYSQL_FIELD *fields = mysql::mysql_fetch_fields(result);
  for (unsigned int c = 0; c < columns; ++c)
    query.columns << FromLibrary(fields[c].name);
  while (MYSQL_ROW row = mysql::mysql_fetch_row(result)) {
    const unsigned long *lengths = mysql::mysql_fetch_lengths(result);
    QList<QueryCell> cells;
    cells.reserve(columns);
    for (unsigned int c = 0; c < columns; ++c)
      cells << (row[c] ? QueryCell(QByteArray(row[c], static_cast<qsizetype>(lengths[c])))
                       : QueryCell());
    query.rows << cells;
  }
  return query;
}

// The connections whose server has agreed to several statements in one
// request. The consent costs a round trip of its own, so it is asked once
// per connection and kept for the statements that the program builds: every
// name in them is quoted and every value escaped on the live connection, so
// no text can end a statement early whatever it holds. A text from
// elsewhere (ServerSession::query) goes with the consent withdrawn.
struct MultiStatementConnections {
  std::mutex mutex;
  std::set<MYSQL *> handles;
};
MultiStatementConnections &MultiStatements() {
  static MultiStatementConnections connections;
  return connections;
}

bool SeveralStatementsPerRequest(MYSQL *handle) {
  MultiStatementConnections &known = MultiStatements();
  {
    const std::lock_guard lock(known.mutex);
    if (known.handles.contains(handle))
      return true;
  }
  if (!mysql::HasEntryPoint(mysql::OptionalEntryPoint::mysql_set_server_option) ||
      !mysql::HasEntryPoint(mysql::OptionalEntryPoint::mysql_next_result) ||
      mysql::mysql_set_server_option(handle, MYSQL_OPTION_MULTI_STATEMENTS_ON) != 0)
    return false;
  const std::lock_guard lock(known.mutex);
  known.handles.insert(handle);
  return true;
}

// Reads the result due now; false (the refusal in `end`) when it did not arrive.
bool ReadDue(MYSQL *handle, qsizetype index, const ResultReader &read, BatchEnd &end) {
  const Result result(mysql::mysql_store_result(handle));
  if (!result && mysql::mysql_field_count(handle) != 0) {
    end = {ReplyOf(handle, false), index};
    return false;
  }
  read(index, result.get());
  return true;
}

// The results still due would keep the connection from any other call.
void DiscardRemainingResults(MYSQL *handle) {
  while (mysql::mysql_next_result(handle) == 0)
    Result(mysql::mysql_store_result(handle));
}

} // namespace

QueryResult QueryOn(MYSQL *handle, const QString &statement) {
  QueryResult query;
  const BatchEnd end = ForEachResultOn(handle, {statement}, [&](qsizetype, MYSQL_RES *result) {
    query = ReadResult(handle, result);
  });
  if (!end.ok())
    query = {end.reply, {}, {}, 0};
  return query;
}

BatchEnd ForEachResultOn(MYSQL *handle, const QStringList &statements, const ResultReader &read) {
  BatchEnd end;
  if (statements.size() <= 1 || !SeveralStatementsPerRequest(handle)) {
    for (qsizetype i = 0; i < statements.size(); ++i) {
      const QByteArray text = ToLibrary(statements[i]);
      if (mysql::mysql_real_query(handle, text.constData(),
                                  static_cast<unsigned long>(text.size()))) {
        end = {ReplyOf(handle, false), i};
        break;
      }
      if (!ReadDue(handle, i, read, end))
        break;
    }
    return end;
  }
  // A line break before each semicolon ends a comment at a statement's end,
  // which would otherwise swallow the semicolon and the next statement.
  const QByteArray text = ToLibrary(statements.join(QStringLiteral("\n;")));
  if (mysql::mysql_real_query(handle, text.constData(), static_cast<unsigned long>(text.size())))
    return {ReplyOf(handle, false), 0};
  for (qsizetype i = 0;; ++i) {
    bool readOne = false;
    try {
      readOne = ReadDue(handle, i, read, end);
    } catch (...) {
      DiscardRemainingResults(handle);
      throw;
    }
    if (!readOne) {
      DiscardRemainingResults(handle);
      break;
    }
    const int next = mysql::mysql_next_result(handle); // 0: another, -1: none, else refused
    if (next < 0)
      break;
    if (next > 0) {
      end = {ReplyOf(handle, false), i + 1};
      break;
    }
  }
  return end;
}

BatchResult BatchOn(MYSQL *handle, const QStringList &statements) {
  BatchResult batch;
  const BatchEnd end = ForEachResultOn(handle, statements, [&](qsizetype, MYSQL_RES *result) {
    batch.results << ReadResult(handle, result);
  });
  batch.reply = end.reply;
  batch.failed = end.failed;
  return batch;
}

void ForgetConnectionOn(MYSQL *handle) {
  MultiStatementConnections &known = MultiStatements();
  const std::lock_guard lock(known.mutex);
  known.handles.erase(handle);
}

void OneStatementPerRequestOn(MYSQL *handle) {
  MultiStatementConnections &known = MultiStatements();
  {
    const std::lock_guard lock(known.mutex);
    if (!known.handles.contains(handle))
      return;
  }
  if (mysql::mysql_set_server_option(handle, MYSQL_OPTION_MULTI_STATEMENTS_OFF) == 0)
    ForgetConnectionOn(handle);
}

std::optional<QString> ConnectionLossOn(MYSQL *handle) {
  constexpr unsigned int ServerShutdown = 1053, ServerGone = 2006, ServerLost = 2013,
                         ServerLostExtended = 2055, ConnectionKilled = 1927;
  switch (mysql::mysql_errno(handle)) {
  case ServerShutdown:
  case ServerGone:
  case ServerLost:
  case ServerLostExtended:
  case ConnectionKilled: return FromLibrary(mysql::mysql_error(handle));
  default: return std::nullopt;
  }
}

QString EscapeLiteralOn(MYSQL *handle, const QString &value) {
  const QByteArray from = ToLibrary(value);
  QByteArray to(from.size() * 2 + 1, Qt::Uninitialized);
  const unsigned long length = mysql::mysql_real_escape_string(
      handle, to.data(), from.constData(), static_cast<unsigned long>(from.size()));
  if (length == static_cast<unsigned long>(-1))
    throw std::runtime_error("Ein Text konnte nicht für den Server aufbereitet werden");
  // Without backslash escapes a NUL stays as it is: the length, not the
  // first NUL, ends the text.
  to.truncate(static_cast<qsizetype>(length));
  return QString::fromUtf8(to);
}

ServerReply SelectDatabaseOn(MYSQL *handle, const QString &database) {
  return ReplyOf(handle, mysql::mysql_select_db(handle, ToLibrary(database).constData()) == 0);
}

ServerReply SendStatementOn(MYSQL *handle, const QString &statement) {
  return ReplyOf(handle, mysql::mysql_query(handle, ToLibrary(statement).constData()) == 0);
}
