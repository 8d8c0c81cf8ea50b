#include "clientlib/Results.h"

#include "clientlib/ServerSession.h"

#include <stdexcept>

void ResultFree::operator()(MYSQL_RES *result) const noexcept {
  // Runs in destructors: never throw. A library that can no longer free the
  // result leaves it to the process end.
  if (result && mysql::HasEntryPoint(mysql::EntryPoint::mysql_free_result))
    mysql::mysql_free_result(result);
}

QString ServerError(MYSQL *handle) { return FromLibrary(mysql::mysql_error(handle)); }

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

std::optional<QList<QStringList>> QueryRows(MYSQL *handle, const QString &query) {
  const QByteArray text = ToLibrary(query);
  if (mysql::mysql_real_query(handle, text.constData(), static_cast<unsigned long>(text.size())))
    return std::nullopt;
  Result result(mysql::mysql_store_result(handle));
  if (!result)
    return std::nullopt;
  QList<QStringList> rows;
  const unsigned int columns = mysql::mysql_num_fields(result.get());
  while (MYSQL_ROW row = mysql::mysql_fetch_row(result.get())) {
    const unsigned long *lengths = mysql::mysql_fetch_lengths(result.get());
    QStringList cells;
    for (unsigned int c = 0; c < columns; ++c)
      cells << (row[c] ? QString::fromUtf8(row[c], static_cast<qsizetype>(lengths[c])) : QString());
    rows << cells;
  }
  return rows;
}

QString EscapeLiteralOn(MYSQL *handle, const QString &value) {
  const QByteArray from = ToLibrary(value);
  QByteArray to(from.size() * 2 + 1, Qt::Uninitialized);
  const unsigned long length = mysql::mysql_real_escape_string(
      handle, to.data(), from.constData(), static_cast<unsigned long>(from.size()));
  if (length == static_cast<unsigned long>(-1))
    throw std::runtime_error("Ein Text konnte nicht für den Server aufbereitet werden");
  to.truncate(static_cast<qsizetype>(length));
  return FromLibrary(to.constData());
}

ServerReply SendStatementOn(MYSQL *handle, const QString &statement) {
  return ServerReply::Of(handle, mysql::mysql_query(handle, ToLibrary(statement).constData()) == 0);
}
