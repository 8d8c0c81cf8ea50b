#include "clientlib/SchemaCalls.h"

#include "clientlib/MultiStatement.h"
#include "clientlib/Results.h"
#include "clientlib/SessionWork.h"

#include <optional>

namespace {

constexpr unsigned int NoSuchTable = 1146;      // ER_NO_SUCH_TABLE
constexpr unsigned int NoSuchColumnHere = 1054; // ER_BAD_FIELD_ERROR

// SHOW CREATE TABLE statements to a request: large enough that a database of
// ten thousand tables takes a few dozen requests, small enough that one
// request stays far below the server's packet limit.
constexpr qsizetype CreateStatementsPerRequest = 500;

// `database`.`table` between backquotes, as every statement of the program
// names a table.
QString Qualified(const QString &database, const QString &table) {
  const auto quote = [](QString name) {
    return QLatin1Char('`') + name.replace(QLatin1Char('`'), QLatin1String("``")) +
           QLatin1Char('`');
  };
  return quote(database) + QLatin1Char('.') + quote(table);
}

class Reader {
public:
  Reader(MYSQL *handle, SchemaRows &rows) : m_handle(handle), m_rows(rows) {}

  std::optional<QList<QStringList>> query(const QString &sql) {
    ++m_rows.requests;
    std::optional<QList<QStringList>> result = QueryRows(m_handle, sql);
    if (!result)
      m_rows.reply = ReplyOf(m_handle, false);
    return result;
  }

  bool send(const QString &sql) {
    ++m_rows.requests;
    const ServerReply reply = SendStatementOn(m_handle, sql);
    if (!reply.ok && m_rows.reply.ok)
      m_rows.reply = reply;
    return reply.ok;
  }

  // The rows of the database's tables: `schemaColumn` names it exactly (the
  // plain comparison lets the server look into this one database only, the
  // binary one keeps the letter case).
  std::optional<QList<QStringList>> ofDatabase(const QString &select, const QString &schemaColumn,
                                               const QString &database,
                                               const QString &orderBy = {}) {
    const QString name = EscapeLiteralOn(m_handle, database);
    return query(QStringLiteral("%1 WHERE %2 = '%3' AND BINARY %2 = '%3'%4")
                     .arg(select, schemaColumn, name, orderBy));
  }

  // SHOW CREATE TABLE of every base table, many statements to a request
  // where the client library can send them so. A table that is gone by then
  // is left out.
  void readCreateStatements(const QString &database, const QStringList &tables) {
    const MultiStatements several(m_handle);
    const qsizetype perRequest = several.on() ? CreateStatementsPerRequest : 1;
    for (qsizetype next = 0; next < tables.size();) {
      const qsizetype count = std::min(perRequest, tables.size() - next);
      QStringList statements;
      for (qsizetype i = next; i < next + count; ++i)
        statements << QStringLiteral("SHOW CREATE TABLE ") + Qualified(database, tables[i]);
      ++m_rows.requests;
      const BatchReply reply =
          SendBatch(m_handle, ToLibrary(statements.join(QLatin1Char(';'))), count,
                    {[&](qsizetype index, MYSQL_RES *result) {
                       MYSQL_ROW row = mysql::mysql_fetch_row(result);
                       if (row && mysql::mysql_num_fields(result) >= 2 && row[1])
                         m_rows.createStatements.insert(
                             tables[next + index],
                             QString::fromUtf8(row[1], static_cast<qsizetype>(
                                                           mysql::mysql_fetch_lengths(result)[1])));
                     },
                     {}});
      if (reply.failure.ok) {
        next += count;
      } else if (reply.failure.errorNumber == NoSuchTable) {
        next += reply.ran + 1; // dropped meanwhile: the rest of the request is sent again
      } else {
        m_rows.reply = reply.failure;
        return;
      }
    }
  }

private:
  MYSQL *m_handle;
  SchemaRows &m_rows;
};

void ReadOn(MYSQL *handle, const QString &database, SchemaRows &rows) {
  Reader reader(handle, rows);
  const auto server = reader.query(QStringLiteral("SELECT @@version, @@lower_case_table_names"));
  if (!server)
    return;
  rows.serverVersion = server->value(0).value(0);
  rows.lowerCaseTableNames = server->value(0).value(1).toInt();

  const auto schema = reader.ofDatabase(
      QStringLiteral("SELECT DEFAULT_CHARACTER_SET_NAME, DEFAULT_COLLATION_NAME FROM "
                     "information_schema.SCHEMATA"),
      QStringLiteral("SCHEMA_NAME"), database);
  if (!schema)
    return;
  if (schema->isEmpty()) {
    rows.databaseExists = false;
    return;
  }
  rows.characterSet = schema->first().value(0);
  rows.collation = schema->first().value(1);

  // Only what the table definitions say: ROW_FORMAT, CREATE_OPTIONS and the
  // constraint tables would make the server open every table once more,
  // which SHOW CREATE TABLE does anyway.
  const auto read = [&](QList<QStringList> &into, const char *select, const char *schemaColumn,
                        const QString &orderBy = {}) {
    auto found =
        reader.ofDatabase(QLatin1String(select), QLatin1String(schemaColumn), database, orderBy);
    if (found)
      into = *found;
    return found.has_value();
  };
  if (!read(rows.tables,
            "SELECT TABLE_NAME, TABLE_TYPE, ENGINE, TABLE_COLLATION, TABLE_COMMENT FROM "
            "information_schema.TABLES",
            "TABLE_SCHEMA") ||
      !read(rows.columns,
            "SELECT TABLE_NAME, COLUMN_NAME, COLUMN_TYPE, IS_NULLABLE, COLUMN_DEFAULT, EXTRA, "
            "CHARACTER_SET_NAME, COLLATION_NAME, COLUMN_COMMENT FROM information_schema.COLUMNS",
            "TABLE_SCHEMA"))
    return;
  // MySQL's VIEWS has no ALGORITHM column.
  if (!read(rows.views,
            "SELECT TABLE_NAME, VIEW_DEFINITION, CHECK_OPTION, SECURITY_TYPE, ALGORITHM FROM "
            "information_schema.VIEWS",
            "TABLE_SCHEMA")) {
    if (rows.reply.errorNumber != NoSuchColumnHere)
      return;
    rows.reply = {};
    if (!read(rows.views,
              "SELECT TABLE_NAME, VIEW_DEFINITION, CHECK_OPTION, SECURITY_TYPE, 'UNDEFINED' FROM "
              "information_schema.VIEWS",
              "TABLE_SCHEMA"))
      return;
  }
  if (!read(rows.triggers,
            "SELECT TRIGGER_NAME, EVENT_OBJECT_TABLE, ACTION_TIMING, EVENT_MANIPULATION, "
            "ACTION_STATEMENT, SQL_MODE FROM information_schema.TRIGGERS",
            "TRIGGER_SCHEMA",
            QStringLiteral(" ORDER BY EVENT_OBJECT_TABLE, ACTION_TIMING, EVENT_MANIPULATION, "
                           "ACTION_ORDER")))
    return;

  QStringList baseTables;
  for (const QStringList &table : rows.tables)
    if (table.value(1) != QLatin1String("VIEW"))
      baseTables << table.value(0);
  // The texts in the server's own spelling, whatever the session's sql_mode
  // (ANSI_QUOTES, NO_BACKSLASH_ESCAPES, NO_TABLE_OPTIONS would change them);
  // the session's settings come back afterwards.
  if (!reader.send(QStringLiteral("SET @qw_sql_mode = @@SESSION.sql_mode, @qw_quote_show = "
                                  "@@SESSION.sql_quote_show_create, SESSION sql_mode = '', "
                                  "SESSION sql_quote_show_create = 1")))
    return;
  reader.readCreateStatements(database, baseTables);
  reader.send(QStringLiteral("SET SESSION sql_mode = @qw_sql_mode, SESSION sql_quote_show_create "
                             "= @qw_quote_show"));
}

} // namespace

SchemaRows ReadSchemaRows(ServerSession &session, const QString &database) {
  return session.run(QStringLiteral("Lese die Struktur der Datenbank „%1“ ...").arg(database),
                     [&](MYSQL *handle) {
                       SchemaRows rows;
                       ReadOn(handle, database, rows);
                       return rows;
                     });
}

std::pair<SchemaRows, SchemaRows> ReadSchemaRowsTogether(ServerSession &first,
                                                         const QString &firstDatabase,
                                                         ServerSession &second,
                                                         const QString &secondDatabase) {
  std::pair<SchemaRows, SchemaRows> rows;
  SessionAccess::ExecuteTogether(
      first, second,
      QStringLiteral("Lese die Struktur der Datenbanken „%1“ und „%2“ ...")
          .arg(firstDatabase, secondDatabase),
      [&](MYSQL *handle) { ReadOn(handle, firstDatabase, rows.first); },
      [&](MYSQL *handle) { ReadOn(handle, secondDatabase, rows.second); });
  return rows;
}
