#include "clientlib/Results.h"

#include "clientlib/FieldTypeText.h"

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

MYSQL_RES *ListFieldsOf(MYSQL *handle, const char *table) {
  constexpr qsizetype LongestIntactName = 127;
  const QByteArray name(table);
  if (name.size() <= LongestIntactName)
    return mysql::mysql_list_fields(handle, table, nullptr);
  QByteArray quoted = name;
  quoted.replace('`', "``");
  const QByteArray query = "SELECT * FROM `" + quoted + "` LIMIT 0";
  if (mysql::mysql_real_query(handle, query.constData(), static_cast<unsigned long>(query.size())))
    return nullptr;
  return mysql::mysql_store_result(handle);
}

QString FieldTypeTextOf(const MYSQL_FIELD &field) {
  return FieldTypeText(field.type, field.length, field.decimals, field.flags);
}

std::optional<QList<QStringList>> QueryRows(MYSQL *handle, const QString &query) {
  QueryResult result = QueryOn(handle, query);
  if (!result.ok() || result.columns.isEmpty())
    return std::nullopt;
  return result.texts();
}

namespace {

// The result of the statement the connection just ran (or of the next one
// of a multi-statement request).
QueryResult ReadResult(MYSQL *handle) {
  QueryResult query;
  const Result result(mysql::mysql_store_result(handle));
  if (!result) {
    // No result set: a statement without one, or one whose rows did not arrive.
    if (mysql::mysql_field_count(handle) != 0)
      query.reply = ReplyOf(handle, false);
    else
      query.affectedRows = mysql::mysql_affected_rows(handle);
    return query;
  }
  const unsigned int columns = mysql::mysql_num_fields(result.get());
  const MYSQL_FIELD *fields = mysql::mysql_fetch_fields(result.get());
  for (unsigned int c = 0; c < columns; ++c)
    query.columns << FromLibrary(fields[c].name);
  query.affectedRows = mysql::mysql_affected_rows(handle);
  while (MYSQL_ROW row = mysql::mysql_fetch_row(result.get())) {
    const unsigned long *lengths = mysql::mysql_fetch_lengths(result.get());
    QList<QueryCell> cells;
    cells.reserve(columns);
    for (unsigned int c = 0; c < columns; ++c)
      cells << (row[c] ? QueryCell(QByteArray(row[c], static_cast<qsizetype>(lengths[c])))
                       : QueryCell());
    query.rows << cells;
  }
  return query;
}

} // namespace

QueryResult QueryOn(MYSQL *handle, const QString &statement) {
  const QByteArray text = ToLibrary(statement);
  if (mysql::mysql_real_query(handle, text.constData(), static_cast<unsigned long>(text.size())))
    return {ReplyOf(handle, false), {}, {}, 0};
  return ReadResult(handle);
}

BatchResult BatchOn(MYSQL *handle, const QStringList &statements) {
  BatchResult batch;
  const auto refused = [&](const ServerReply &reply, qsizetype index) {
    batch.reply = reply;
    batch.failed = index;
  };
  // One request needs the two calls of current client libraries, and the
  // server's consent; otherwise one statement after the other.
  const bool oneRequest =
      statements.size() > 1 &&
      mysql::HasEntryPoint(mysql::OptionalEntryPoint::mysql_set_server_option) &&
      mysql::HasEntryPoint(mysql::OptionalEntryPoint::mysql_next_result) &&
      mysql::mysql_set_server_option(handle, MYSQL_OPTION_MULTI_STATEMENTS_ON) == 0;
  if (!oneRequest) {
    for (qsizetype i = 0; i < statements.size(); ++i) {
      QueryResult result = QueryOn(handle, statements[i]);
      if (!result.ok()) {
        refused(result.reply, i);
        break;
      }
      batch.results << result;
    }
    return batch;
  }
  // A line break before each semicolon ends a comment at a statement's end,
  // which would otherwise swallow the semicolon and the next statement.
  const QByteArray text = ToLibrary(statements.join(QStringLiteral("\n;")));
  if (mysql::mysql_real_query(handle, text.constData(), static_cast<unsigned long>(text.size()))) {
    refused(ReplyOf(handle, false), 0);
  } else {
    for (qsizetype i = 0;; ++i) {
      QueryResult result = ReadResult(handle);
      if (!result.ok()) {
        refused(result.reply, i);
        // The results still due would keep the connection from any other call.
        while (mysql::mysql_next_result(handle) == 0)
          Result(mysql::mysql_store_result(handle));
        break;
      }
      batch.results << result;
      const int next = mysql::mysql_next_result(handle); // 0: another, -1: none, else refused
      if (next < 0)
        break;
      if (next > 0) {
        refused(ReplyOf(handle, false), i + 1);
        break;
      }
    }
  }
  // Every later statement is one statement again, whatever it holds.
  mysql::mysql_set_server_option(handle, MYSQL_OPTION_MULTI_STATEMENTS_OFF);
  return batch;
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
