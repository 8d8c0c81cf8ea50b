#include "clientlib/TableStructure.h"

#include "clientlib/SessionWork.h"
#include "clientlib/SqlText.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr unsigned int NoSuchTable = 1146;      // ER_NO_SUCH_TABLE
constexpr unsigned int NoSuchDatabase = 1049;   // ER_BAD_DB_ERROR
constexpr unsigned int NoSuchColumnHere = 1054; // ER_BAD_FIELD_ERROR

// The rows of a query, or nothing with the server's answer in `reply`.
std::optional<QList<QStringList>> Rows(MYSQL *handle, const QString &query, ServerReply &reply) {
  std::optional<QList<QStringList>> rows = QueryRows(handle, query);
  if (!rows)
    reply = ReplyOf(handle, false);
  return rows;
}

// One table, or all tables of a database, by exact name (see ExactName).
QString ExactSchema(MYSQL *handle, const QString &schemaColumn, const QString &database) {
  return ExactName(schemaColumn, EscapeLiteralOn(handle, database));
}

QString ExactTable(MYSQL *handle, const QString &schemaColumn, const QString &tableColumn,
                   const QString &database, const QString &table) {
  return ExactSchema(handle, schemaColumn, database) + QStringLiteral(" AND ") +
         ExactName(tableColumn, EscapeLiteralOn(handle, table));
}

// The databases of the server itself, which hold no foreign keys.
bool IsSystemSchema(const QString &name) {
  static const QStringList system{QStringLiteral("information_schema"),
                                  QStringLiteral("performance_schema"), QStringLiteral("mysql"),
                                  QStringLiteral("sys")};
  return system.contains(name, Qt::CaseInsensitive);
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

// The key columns of the foreign keys held by the tables that `holder`
// selects by its schema (and table); both sides of the join are looked up so.
QString ForeignKeySelect(const QString &holder, const QString &more) {
  return QStringLiteral(
             "SELECT k.CONSTRAINT_NAME, k.TABLE_SCHEMA, k.TABLE_NAME, k.COLUMN_NAME, "
             "k.REFERENCED_TABLE_SCHEMA, k.REFERENCED_TABLE_NAME, k.REFERENCED_COLUMN_NAME, "
             "r.DELETE_RULE, r.UPDATE_RULE, k.ORDINAL_POSITION "
             "FROM information_schema.KEY_COLUMN_USAGE k "
             "JOIN information_schema.REFERENTIAL_CONSTRAINTS r "
             "ON BINARY r.CONSTRAINT_SCHEMA = k.CONSTRAINT_SCHEMA AND BINARY r.TABLE_NAME = "
             "k.TABLE_NAME AND BINARY r.CONSTRAINT_NAME = k.CONSTRAINT_NAME WHERE %1%2")
      .arg(holder, more);
}

// By holder, key and position: rows of one key together and in order.
std::optional<QList<ForeignKeyRecord>> ReadForeignKeys(MYSQL *handle, const QString &query,
                                                       ServerReply &reply) {
  std::optional<QList<QStringList>> rows = Rows(handle, query, reply);
  if (!rows)
    return std::nullopt;
  std::stable_sort(rows->begin(), rows->end(), [](const QStringList &a, const QStringList &b) {
    for (int c : {1, 2, 0})
      if (a[c] != b[c])
        return a[c] < b[c];
    return a[9].toInt() < b[9].toInt();
  });
  return ForeignKeysOf(*rows);
}

NameList ReadNames(MYSQL *handle, const QString &query) {
  NameList list;
  if (const auto rows = Rows(handle, query, list.reply))
    for (const QStringList &row : *rows)
      list.names << row.value(0);
  return list;
}

NameList DatabaseNamesOn(MYSQL *handle) {
  return ReadNames(handle, QStringLiteral("SELECT SCHEMA_NAME FROM information_schema.SCHEMATA "
                                          "ORDER BY BINARY SCHEMA_NAME"));
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

namespace {

TableStructure TableStructureOn(MYSQL *handle, const QString &database, const QString &table) {
  TableStructure s;
  const auto created =
      Rows(handle, QStringLiteral("SHOW CREATE TABLE ") + QuoteQualified(database, table), s.reply);
  if (!created) {
    s.exists = s.reply.errorNumber != NoSuchTable && s.reply.errorNumber != NoSuchDatabase;
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
  // The two columns asked for come after those of the facts.
  for (const QStringList &row : *columns)
    s.columns.append(
        {ColumnFactsFromRow(row), row.value(row.size() - 2), row.value(row.size() - 1)});

  const auto indexes = IndexRows(handle,
                                 ExactTable(handle, QStringLiteral("TABLE_SCHEMA"),
                                            QStringLiteral("TABLE_NAME"), database, table),
                                 s.reply);
  if (!indexes)
    return s;
  s.indexes = IndexesOf(*indexes);

  const auto own = ReadForeignKeys(
      handle,
      ForeignKeySelect(ExactTable(handle, QStringLiteral("k.TABLE_SCHEMA"),
                                  QStringLiteral("k.TABLE_NAME"), database, table),
                       QStringLiteral(" AND ") +
                           ExactTable(handle, QStringLiteral("r.CONSTRAINT_SCHEMA"),
                                      QStringLiteral("r.TABLE_NAME"), database, table)),
      s.reply);
  if (!own)
    return s;
  s.foreignKeys = *own;

  // Keys that refer to this table may stand in any database: one SELECT per
  // database, each looked up by its name, in one statement.
  const NameList databases = DatabaseNamesOn(handle);
  if (!databases.reply.ok) {
    s.reply = databases.reply;
    return s;
  }
  const QString pointsHere = QStringLiteral(" AND ") +
                             ExactTable(handle, QStringLiteral("k.REFERENCED_TABLE_SCHEMA"),
                                        QStringLiteral("k.REFERENCED_TABLE_NAME"), database, table);
  QStringList selects;
  for (const QString &holder : databases.names)
    if (!IsSystemSchema(holder))
      selects << ForeignKeySelect(
          ExactSchema(handle, QStringLiteral("k.TABLE_SCHEMA"), holder),
          QStringLiteral(" AND ") +
              ExactSchema(handle, QStringLiteral("r.CONSTRAINT_SCHEMA"), holder) + pointsHere);
  if (selects.isEmpty())
    return s;
  if (const auto others =
          ReadForeignKeys(handle, selects.join(QStringLiteral(" UNION ALL ")), s.reply))
    s.referencedBy = *others;
  return s;
}

} // namespace

TableStructure ReadTableStructure(ServerSession &session, const QString &database,
                                  const QString &table) {
  return session.run(QStringLiteral("Lese die Struktur der Tabelle „%1“ ...").arg(table),
                     [&](MYSQL *handle) { return TableStructureOn(handle, database, table); });
}

NameList ReadDatabaseNames(ServerSession &session) {
  return session.run(QStringLiteral("Lese die Datenbanken ..."), DatabaseNamesOn);
}

NameList ReadTableNames(ServerSession &session, const QString &database) {
  return session.run(QStringLiteral("Lese die Tabellen ..."), [&](MYSQL *handle) {
    return ReadNames(handle,
                     QStringLiteral("SELECT TABLE_NAME FROM information_schema.TABLES "
                                    "WHERE %1 AND TABLE_TYPE = 'BASE TABLE' "
                                    "ORDER BY BINARY TABLE_NAME")
                         .arg(ExactSchema(handle, QStringLiteral("TABLE_SCHEMA"), database)));
  });
}

NameList ReadColumnNames(ServerSession &session, const QString &database, const QString &table) {
  return session.run(QStringLiteral("Lese die Spalten ..."), [&](MYSQL *handle) {
    return ReadNames(handle, QStringLiteral("SELECT COLUMN_NAME FROM information_schema.COLUMNS "
                                            "WHERE %1 ORDER BY ORDINAL_POSITION")
                                 .arg(ExactTable(handle, QStringLiteral("TABLE_SCHEMA"),
                                                 QStringLiteral("TABLE_NAME"), database, table)));
  });
}
