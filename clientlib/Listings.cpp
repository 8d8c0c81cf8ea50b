#include "clientlib/Listings.h"

#include "clientlib/SessionWork.h"

#include <cstring>

std::string_view ListedNames::at(qsizetype i) const {
  const std::uint32_t begin = i > 0 ? m_ends[static_cast<std::size_t>(i - 1)] : 0;
  return std::string_view(m_bytes).substr(begin, m_ends[static_cast<std::size_t>(i)] - begin);
}

QString ListedNames::text(qsizetype i) const {
  const std::string_view name = at(i);
  return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

void ListedNames::append(std::string_view name) {
  m_bytes.append(name);
  m_ends.push_back(static_cast<std::uint32_t>(m_bytes.size()));
}

namespace {

// The first column of each row the result reports; a missing name reads as
// empty, and a result that hands out fewer rows than it reports ends early.
ListedNames NamesOf(MYSQL_RES *result) {
  ListedNames names;
  const my_ulonglong count = mysql::mysql_num_rows(result);
  names.reserve(static_cast<qsizetype>(count));
  for (my_ulonglong i = 0; i < count; ++i) {
    const MYSQL_ROW row = mysql::mysql_fetch_row(result);
    if (!row)
      break;
    names.append(row[0] ? std::string_view(row[0], std::strlen(row[0])) : std::string_view());
  }
  return names;
}

// The name at `position`, when there is one.
std::optional<QByteArray> NameAt(const ListedNames &names, std::optional<std::int32_t> position) {
  if (!position || *position < 0 || *position >= names.size())
    return std::nullopt;
  const std::string_view name = names.at(*position);
  return QByteArray(name.data(), static_cast<qsizetype>(name.size()));
}

} // namespace

QList<ListedField> ListedFieldsOf(MYSQL_RES *result) {
  QList<ListedField> fields;
  const unsigned int count = mysql::mysql_num_fields(result);
  for (unsigned int f = 0; f < count; ++f) {
    const MYSQL_FIELD *field = mysql::mysql_fetch_field(result);
    if (!field)
      break;
    fields.append({FromLibrary(field->name), FieldTypeTextOf(*field)});
  }
  return fields;
}

Listing ReadListing(ServerSession &session, const QString &what,
                    std::optional<std::int32_t> databaseIndex,
                    std::optional<std::int32_t> tableIndex) {
  return session.run(what, [&](MYSQL *handle) {
    Listing l;
    const Result databases(mysql::mysql_list_dbs(handle, nullptr));
    if (!databases) {
      l.databasesReply = ReplyOf(handle, false);
      return l;
    }
    l.databases = NamesOf(databases.get());
    const std::optional<QByteArray> database = NameAt(*l.databases, databaseIndex);
    if (!database)
      return l;
    if (mysql::mysql_select_db(handle, database->constData()) != 0) {
      l.databaseNotSelected = true;
      return l;
    }
    const Result tables(mysql::mysql_list_tables(handle, nullptr));
    if (!tables) {
      l.tablesReply = ReplyOf(handle, false);
      return l;
    }
    l.tables = NamesOf(tables.get());
    const std::optional<QByteArray> table = NameAt(*l.tables, tableIndex);
    if (!table)
      return l;
    const Result fields(ListFieldsOf(handle, table->constData()));
    if (!fields)
      l.fieldsReply = ReplyOf(handle, false);
    else
      l.fields = ListedFieldsOf(fields.get());
    return l;
  });
}
