#include "structure/TableStructure.h"

#include "clientlib/Results.h"
#include "fields/SqlText.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr unsigned int NoSuchTable = 1146;      // ER_NO_SUCH_TABLE
constexpr unsigned int NoSuchColumnHere = 1054; // ER_BAD_FIELD_ERROR

// The rows of a query, or nothing with the server's answer in `reply`.
std::optional<QList<QStringList>> Rows(MYSQL *handle, const QString &query, ServerReply &reply) {
  std::optional<QList<QStringList>> rows = QueryRows(handle, query);
  if (!rows)
    reply = ServerReply::Of(handle, false);
  return rows;
}

// "BINARY <schema> = '...' AND BINARY <table> = '...'": names compare byte for
// byte, where information_schema would compare them without case.
QString SameTable(MYSQL *handle, const QString &schemaColumn, const QString &tableColumn,
                  const QString &database, const QString &table) {
  return QStringLiteral("BINARY %1 = '%2' AND BINARY %3 = '%4'")
      .arg(schemaColumn, EscapeLiteralOn(handle, database), tableColumn,
           EscapeLiteralOn(handle, table));
}

IndexKind KindOf(const QString &name, const QString &nonUnique, const QString &type) {
  if (name == QLatin1String("PRIMARY"))
    return IndexKind::Primary;
  if (type == QLatin1String("FULLTEXT"))
    return IndexKind::Fulltext;
  if (type == QLatin1String("SPATIAL"))
    return IndexKind::Spatial;
  return nonUnique == QLatin1String("0") ? IndexKind::Unique : IndexKind::Index;
}

// MariaDB names the hidden state of an index IGNORED (10.6 and later), MySQL
// IS_VISIBLE; an older server has neither, and all its indexes are used.
std::optional<QList<QStringList>> IndexRows(MYSQL *handle, const QString &where,
                                            ServerReply &reply) {
  for (const char *visible : {"IGNORED = 'NO'", "IS_VISIBLE = 'YES'", "1"}) {
    const QString query =
        QStringLiteral("SELECT INDEX_NAME, NON_UNIQUE, INDEX_TYPE, COLUMN_NAME, SUB_PART, "
                       "COLLATION, %1, SEQ_IN_INDEX FROM information_schema.STATISTICS WHERE %2")
            .arg(QLatin1String(visible), where);
    std::optional<QList<QStringList>> rows = Rows(handle, query, reply);
    if (rows || reply.errorNumber != NoSuchColumnHere)
      return rows;
    reply = {};
  }
  return std::nullopt;
}

// The indexes in the server's order of keys (the order of the rows, which an
// ORDER BY would lose); a part's place is its SEQ_IN_INDEX.
QList<IndexRecord> IndexesOf(const QList<QStringList> &rows) {
  QList<IndexRecord> indexes;
  for (const QStringList &r : rows) {
    auto index = std::find_if(indexes.begin(), indexes.end(),
                              [&](const IndexRecord &i) { return i.name == r.value(0); });
    if (index == indexes.end()) {
      indexes.append({r.value(0),
                      KindOf(r.value(0), r.value(1), r.value(2)),
                      {},
                      r.value(6) == QLatin1String("1")});
      index = std::prev(indexes.end());
    }
    const qsizetype place = std::clamp<qsizetype>(r.value(7).toInt() - 1, 0, index->parts.size());
    index->parts.insert(place, {r.value(3), r.value(4).toInt(), r.value(5) == QLatin1String("D")});
  }
  return indexes;
}

QList<ForeignKeyRecord> ForeignKeysOf(const QList<QStringList> &rows) {
  QList<ForeignKeyRecord> keys;
  for (const QStringList &r : rows) {
    if (keys.isEmpty() || keys.last().name != r.value(0) || keys.last().database != r.value(1) ||
        keys.last().table != r.value(2))
      keys.append({r.value(0),
                   r.value(1),
                   r.value(2),
                   {},
                   r.value(4),
                   r.value(5),
                   {},
                   r.value(7),
                   r.value(8)});
    keys.last().columns << r.value(3);
    keys.last().referencedColumns << r.value(6);
  }
  return keys;
}

std::optional<QList<ForeignKeyRecord>> ReadForeignKeys(MYSQL *handle, const QString &where,
                                                       ServerReply &reply) {
  const QString query = QStringLiteral(
      "SELECT k.CONSTRAINT_NAME, k.TABLE_SCHEMA, k.TABLE_NAME, k.COLUMN_NAME, "
      "k.REFERENCED_TABLE_SCHEMA, k.REFERENCED_TABLE_NAME, k.REFERENCED_COLUMN_NAME, "
      "r.DELETE_RULE, r.UPDATE_RULE FROM information_schema.KEY_COLUMN_USAGE k "
      "JOIN information_schema.REFERENTIAL_CONSTRAINTS r "
      "ON BINARY r.CONSTRAINT_SCHEMA = k.CONSTRAINT_SCHEMA AND BINARY r.TABLE_NAME = k.TABLE_NAME "
      "AND BINARY r.CONSTRAINT_NAME = k.CONSTRAINT_NAME WHERE %1 "
      "ORDER BY BINARY k.TABLE_SCHEMA, BINARY k.TABLE_NAME, BINARY k.CONSTRAINT_NAME, "
      "k.ORDINAL_POSITION");
  const std::optional<QList<QStringList>> rows = Rows(handle, query.arg(where), reply);
  if (!rows)
    return std::nullopt;
  return ForeignKeysOf(*rows);
}

NameList ReadNames(MYSQL *handle, const QString &query) {
  NameList list;
  if (const auto rows = Rows(handle, query, list.reply))
    for (const QStringList &row : *rows)
      list.names << row.value(0);
  return list;
}

} // namespace

ColumnDefault ColumnDefault::FromServer(const QString &columnDefault) {
  if (columnDefault.isNull())
    return {};
  if (columnDefault == QLatin1String("NULL"))
    return {Kind::Null, {}};
  if (const std::optional<QString> text = UnquoteServerLiteral(columnDefault))
    return {Kind::Text, *text};
  return {Kind::Expression, columnDefault};
}

QString ColumnDefault::display() const {
  switch (kind) {
  case Kind::None: return {};
  case Kind::Null: return QStringLiteral("NULL");
  case Kind::Text: return QLatin1Char('\'') + text + QLatin1Char('\'');
  case Kind::Expression: return text;
  }
  return {};
}

QString IndexKindName(IndexKind kind) {
  switch (kind) {
  case IndexKind::Primary: return QStringLiteral("PRIMARY");
  case IndexKind::Unique: return QStringLiteral("UNIQUE");
  case IndexKind::Index: return QStringLiteral("INDEX");
  case IndexKind::Fulltext: return QStringLiteral("FULLTEXT");
  case IndexKind::Spatial: return QStringLiteral("SPATIAL");
  }
  return {};
}

TableStructure ReadTableStructure(MYSQL *handle, const QString &database, const QString &table) {
  TableStructure s;
  const auto created =
      Rows(handle, QStringLiteral("SHOW CREATE TABLE ") + QuoteQualified(database, table), s.reply);
  if (!created) {
    s.exists = s.reply.errorNumber != NoSuchTable;
    return s;
  }
  s.createStatement = created->value(0).value(1);

  const auto columns =
      Rows(handle,
           ColumnFactsSelect(EscapeLiteralOn(handle, database), EscapeLiteralOn(handle, table),
                             QStringLiteral("c.CHARACTER_SET_NAME, "
                                            "c.GENERATION_EXPRESSION")) +
               QStringLiteral(" ORDER BY c.ORDINAL_POSITION"),
           s.reply);
  if (!columns)
    return s;
  for (const QStringList &row : *columns)
    s.columns.append({ColumnFactsFromRow(row), row.value(9), row.value(10)});

  const auto indexes =
      IndexRows(handle, SameTable(handle, "TABLE_SCHEMA", "TABLE_NAME", database, table), s.reply);
  if (!indexes)
    return s;
  s.indexes = IndexesOf(*indexes);

  const auto own = ReadForeignKeys(
      handle, SameTable(handle, "k.TABLE_SCHEMA", "k.TABLE_NAME", database, table), s.reply);
  if (!own)
    return s;
  s.foreignKeys = *own;
  const auto others = ReadForeignKeys(
      handle,
      SameTable(handle, "k.REFERENCED_TABLE_SCHEMA", "k.REFERENCED_TABLE_NAME", database, table),
      s.reply);
  if (others)
    s.referencedBy = *others;
  return s;
}

NameList ReadDatabaseNames(MYSQL *handle) {
  return ReadNames(handle, QStringLiteral("SELECT SCHEMA_NAME FROM information_schema.SCHEMATA "
                                          "ORDER BY BINARY SCHEMA_NAME"));
}

NameList ReadTableNames(MYSQL *handle, const QString &database) {
  return ReadNames(handle, QStringLiteral("SELECT TABLE_NAME FROM information_schema.TABLES "
                                          "WHERE BINARY TABLE_SCHEMA = '%1' AND TABLE_TYPE = "
                                          "'BASE TABLE' ORDER BY BINARY TABLE_NAME")
                               .arg(EscapeLiteralOn(handle, database)));
}

NameList ReadColumnNames(MYSQL *handle, const QString &database, const QString &table) {
  return ReadNames(handle, QStringLiteral("SELECT COLUMN_NAME FROM information_schema.COLUMNS "
                                          "WHERE %1 ORDER BY ORDINAL_POSITION")
                               .arg(SameTable(handle, QStringLiteral("TABLE_SCHEMA"),
                                              QStringLiteral("TABLE_NAME"), database, table)));
}
