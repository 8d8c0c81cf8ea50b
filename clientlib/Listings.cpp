#include "clientlib/Listings.h"

#include "clientlib/ColumnFacts.h"
#include "clientlib/SessionWork.h"
#include "clientlib/SqlText.h"

#include <QRegularExpression>

#include <cstring>

QString ListedNames::text(qsizetype i) const {
  const std::string_view name = at(i);
  return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

qsizetype ListedNames::indexOf(const QString &name) const {
  const QByteArray utf8 = name.toUtf8();
  const std::string_view wanted(utf8.constData(), static_cast<std::size_t>(utf8.size()));
  for (qsizetype i = 0; i < size(); ++i)
    if (at(i) == wanted)
      return i;
  return -1;
}

ListingRequest ListingRequest::Databases() { return {true, {}, false, false, {}}; }

ListingRequest ListingRequest::Browse(const QString &database, const QString &table) {
  return {true, database, true, true, table};
}

ListingRequest ListingRequest::TablesOf(const QString &database) {
  return {false, database, false, true, {}};
}

ListingRequest ListingRequest::FieldsOf(const QString &database, const QString &table) {
  return {false, database, false, false, table};
}

QStringList ListingRequest::statements() const {
  // The statements that mysql_list_dbs and mysql_list_tables send, the
  // database named instead of selected; the fields as mysql_list_fields
  // describes them.
  QStringList statements;
  if (databases)
    statements << QStringLiteral("SHOW DATABASES");
  if (database.isNull())
    return statements;
  if (selectDatabase)
    statements << QStringLiteral("USE ") + QuoteIdentifier(database);
  if (tables)
    statements << QStringLiteral("SHOW TABLES FROM ") + QuoteIdentifier(database);
  if (!table.isNull())
    statements << FieldsQuery(database, table);
  return statements;
}

namespace {

// The first column of each row the result reports; a missing name reads as
// empty, and a result that hands out fewer rows than it reports ends early.
ListedNames NamesOf(MYSQL_RES *result) {
  ListedNames names;
  if (!result)
    return names;
  const my_ulonglong count = mysql::mysql_num_rows(result);
  names.reserve(static_cast<qsizetype>(count));
  for (my_ulonglong i = 0; i < count; ++i) {
    const MYSQL_ROW row = mysql::mysql_fetch_row(result);
    if (!row)
      break;
    names.append(row[0] ? std::string_view(row[0], std::strlen(row[0])) : std::string_view());
  }
  names.fit();
  return names;
}

} // namespace

QList<ListedField> ListedFieldsOf(MYSQL_RES *result) {
  QList<ListedField> fields;
  if (!result)
    return fields;
  const unsigned int count = mysql::mysql_num_fields(result);
  for (unsigned int f = 0; f < count; ++f) {
    const MYSQL_FIELD *field = mysql::mysql_fetch_field(result);
    if (!field)
      break;
    fields.append({FromLibrary(field->name), FieldTypeTextOf(*field)});
  }
  return fields;
}

namespace {

// A string literal of `text` that reads the same whatever the connection's
// SQL mode: its UTF-8 bytes in hex, with the character set introduced.
QString HexLiteral(const char *introducer, const QString &text) {
  return QString::fromLatin1(introducer) + QStringLiteral(" X'") +
         QString::fromLatin1(text.toUtf8().toHex()) + QLatin1Char('\'');
}

} // namespace

QStringList FieldsQuery(const QString &database, const QString &table) {
  // SELECT * leaves out invisible columns, so the columns are named: the
  // first statement collects their names from information_schema (found by
  // name, which opens that one table only), the second builds the SELECT of
  // them on the server. A table that is not there reads as SELECT *, for the
  // server's own refusal.
  return {QStringLiteral("SELECT GROUP_CONCAT(CONCAT('`', REPLACE(COLUMN_NAME, '`', '``'), '`') "
                         "ORDER BY ORDINAL_POSITION SEPARATOR ', ') INTO @quellwerk_columns FROM "
                         "information_schema.COLUMNS WHERE TABLE_SCHEMA = %1 AND TABLE_NAME = %2")
              .arg(HexLiteral("_utf8mb3", database), HexLiteral("_utf8mb3", table)),
          QStringLiteral("EXECUTE IMMEDIATE CONCAT('SELECT ', COALESCE(@quellwerk_columns, '*'), "
                         "' FROM ', %1, ' LIMIT 0')")
              .arg(HexLiteral("_utf8mb4", QuoteQualified(database, table)))};
}

ListingReads::ListingReads(const ListingRequest &request) {
  listing.request = request;
  m_statements = request.statements();
  if (request.databases)
    m_parts << Part::Databases;
  if (!request.database.isNull()) {
    if (request.selectDatabase)
      m_parts << Part::Select;
    if (request.tables)
      m_parts << Part::Tables;
    if (!request.table.isNull())
      m_parts << Part::FieldNames << Part::Fields;
  }
}

void ListingReads::read(qsizetype index, MYSQL_RES *result) {
  switch (m_parts.value(index, Part::Select)) {
  case Part::Databases: listing.databases = NamesOf(result); break;
  case Part::Select:
  case Part::FieldNames: break;
  case Part::Tables: listing.tables = NamesOf(result); break;
  case Part::Fields: listing.fields = ListedFieldsOf(result); break;
  }
}

void ListingReads::refused(qsizetype index, const ServerReply &reply) {
  switch (m_parts.value(index, Part::Select)) {
  case Part::Databases: listing.databasesReply = reply; break;
  case Part::Select: listing.selectReply = reply; break;
  case Part::Tables: listing.tablesReply = reply; break;
  case Part::FieldNames:
  case Part::Fields: listing.fieldsReply = reply; break;
  }
}

Listing ReadListing(ServerSession &session, const QString &what, const ListingRequest &request) {
  return session.run(what, [&](MYSQL *handle) {
    ListingReads reads(request);
    const BatchEnd end =
        ForEachResultOn(handle, reads.statements(),
                        [&](qsizetype index, MYSQL_RES *result) { reads.read(index, result); });
    if (!end.ok())
      reads.refused(end.failed, end.reply);
    return reads.listing;
  });
}
