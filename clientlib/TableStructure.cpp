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
// KEY_COLUMN_USAGE also lists the columns of primary and unique keys, and a
// unique key may bear the name of a foreign key of its table: only rows that
// refer to a table belong to the foreign key.
QString ForeignKeySelect(const QString &holder, const QString &more) {
  return QStringLiteral(
             "SELECT k.CONSTRAINT_NAME, k.TABLE_SCHEMA, k.TABLE_NAME, k.COLUMN_NAME, "
             "k.REFERENCED_TABLE_SCHEMA, k.REFERENCED_TABLE_NAME, k.REFERENCED_COLUMN_NAME, "
             "r.DELETE_RULE, r.UPDATE_RULE, k.ORDINAL_POSITION "
             "FROM information_schema.KEY_COLUMN_USAGE k "
             "JOIN information_schema.REFERENTIAL_CONSTRAINTS r "
             "ON BINARY r.CONSTRAINT_SCHEMA = k.CONSTRAINT_SCHEMA AND BINARY r.TABLE_NAME = "
             "k.TABLE_NAME AND BINARY r.CONSTRAINT_NAME = k.CONSTRAINT_NAME "
             "WHERE k.REFERENCED_TABLE_NAME IS NOT NULL AND %1%2")
      .arg(holder, more);
}

NameList ReadNames(MYSQL *handle, const QString &query) {
  NameList list;
  if (const auto rows = Rows(handle, query, list.reply))
    for (const QStringList &row : *rows)
      list.names << row.value(0);
  return list;
}

QString DatabaseNamesQuery() {
  return QStringLiteral(
      "SELECT SCHEMA_NAME FROM information_schema.SCHEMATA ORDER BY BINARY SCHEMA_NAME");
}

NameList DatabaseNamesOn(MYSQL *handle) { return ReadNames(handle, DatabaseNamesQuery()); }

} // namespace

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

// The filename-safe form in which InnoDB's dictionary names a database or
// table ("Größe" is "Gr@1i@1je"), as a binary string for an exact comparison.
QString DictionaryName(MYSQL *handle, const QString &name) {
  return QStringLiteral("CAST(CONVERT('%1' USING filename) AS BINARY)")
      .arg(EscapeLiteralOn(handle, name));
}

// A database or table name of the dictionary ("db/table") back as text.
QString NameFromDictionary(const QString &column, int part) {
  return QStringLiteral("CONVERT(CAST(SUBSTRING_INDEX(%1, '/', %2) AS BINARY) USING filename)")
      .arg(column)
      .arg(part);
}

// The keys that refer to `database`.`table`, from InnoDB's dictionary, in
// the columns of ForeignKeySelect. The rules are the dictionary's bits:
// ON DELETE CASCADE 1, SET NULL 2, NO ACTION 16; ON UPDATE CASCADE 4,
// SET NULL 8, NO ACTION 32; none of them: RESTRICT. A table that an ALTER
// TABLE is rebuilding (#sql-...) is left out, as information_schema leaves
// it out.
QString DictionaryReferencesSelect(MYSQL *handle, const QString &database, const QString &table) {
  return QStringLiteral(
             "SELECT SUBSTRING(f.ID, LOCATE('/', f.ID) + 1), %1, %2, c.FOR_COL_NAME, '%3', '%4', "
             "c.REF_COL_NAME, "
             "CASE WHEN f.TYPE & 1 THEN 'CASCADE' WHEN f.TYPE & 2 THEN 'SET NULL' "
             "WHEN f.TYPE & 16 THEN 'NO ACTION' ELSE 'RESTRICT' END, "
             "CASE WHEN f.TYPE & 4 THEN 'CASCADE' WHEN f.TYPE & 8 THEN 'SET NULL' "
             "WHEN f.TYPE & 32 THEN 'NO ACTION' ELSE 'RESTRICT' END, c.POS + 1 "
             "FROM information_schema.INNODB_SYS_FOREIGN f "
             "JOIN information_schema.INNODB_SYS_FOREIGN_COLS c ON c.ID = f.ID "
             "WHERE BINARY f.REF_NAME = CONCAT(%5, '/', %6) AND f.FOR_NAME NOT LIKE '%/#sql%'")
      .arg(NameFromDictionary(QStringLiteral("f.FOR_NAME"), 1),
           NameFromDictionary(QStringLiteral("f.FOR_NAME"), -1), EscapeLiteralOn(handle, database),
           EscapeLiteralOn(handle, table), DictionaryName(handle, database),
           DictionaryName(handle, table));
}

// The keys that refer to `database`.`table` held by the tables of
// `holders`: one SELECT per database, each looked up by its name, in one
// statement. Reads every table of those databases.
QString SearchedReferencesSelect(MYSQL *handle, const QStringList &holders, const QString &database,
                                 const QString &table) {
  const QString pointsHere = QStringLiteral(" AND ") +
                             ExactTable(handle, QStringLiteral("k.REFERENCED_TABLE_SCHEMA"),
                                        QStringLiteral("k.REFERENCED_TABLE_NAME"), database, table);
  QStringList selects;
  for (const QString &holder : holders)
    if (!IsSystemSchema(holder))
      selects << ForeignKeySelect(
          ExactSchema(handle, QStringLiteral("k.TABLE_SCHEMA"), holder),
          QStringLiteral(" AND ") +
              ExactSchema(handle, QStringLiteral("r.CONSTRAINT_SCHEMA"), holder) + pointsHere);
  return selects.join(QStringLiteral(" UNION ALL "));
}

// By holder, key and position: rows of one key together and in order.
QList<ForeignKeyRecord> SortedForeignKeys(QList<QStringList> rows) {
  std::stable_sort(rows.begin(), rows.end(), [](const QStringList &a, const QStringList &b) {
    for (int c : {1, 2, 0})
      if (a[c] != b[c])
        return a[c] < b[c];
    return a[9].toInt() < b[9].toInt();
  });
  return ForeignKeysOf(rows);
}

// What the first request reads; `searchIn` gets the databases to search when
// the dictionary could not be read.
TableStructure TableStructureOn(MYSQL *handle, const QString &database, const QString &table,
                                std::optional<QStringList> &searchIn) {
  TableStructure s;
  enum : qsizetype { Created, Options, Columns, Indexes, Own, Databases, References };
  const QString exactTable = ExactTable(handle, QStringLiteral("TABLE_SCHEMA"),
                                        QStringLiteral("TABLE_NAME"), database, table);
  // MariaDB names the hidden state of an index IGNORED (10.6 and later),
  // MySQL IS_VISIBLE; an older server has neither, and all its indexes are
  // used. The request is made again with the next when the server does not
  // know a column.
  for (const char *visible : {"IGNORED = 'NO'", "IS_VISIBLE = 'YES'", "1"}) {
    const QStringList statements{
        QStringLiteral("SHOW CREATE TABLE ") + QuoteQualified(database, table),
        TableOptionsQuery(handle, database, table),
        ColumnFactsSelect(EscapeLiteralOn(handle, database), EscapeLiteralOn(handle, table),
                          QStringLiteral("c.CHARACTER_SET_NAME, c.GENERATION_EXPRESSION")) +
            QStringLiteral(" ORDER BY c.ORDINAL_POSITION"),
        QStringLiteral("SELECT INDEX_NAME, NON_UNIQUE, INDEX_TYPE, COLUMN_NAME, SUB_PART, "
                       "COLLATION, %1, SEQ_IN_INDEX FROM information_schema.STATISTICS WHERE %2")
            .arg(QLatin1String(visible), exactTable),
        ForeignKeySelect(ExactTable(handle, QStringLiteral("k.TABLE_SCHEMA"),
                                    QStringLiteral("k.TABLE_NAME"), database, table),
                         QStringLiteral(" AND ") +
                             ExactTable(handle, QStringLiteral("r.CONSTRAINT_SCHEMA"),
                                        QStringLiteral("r.TABLE_NAME"), database, table)),
        DatabaseNamesQuery(),
        DictionaryReferencesSelect(handle, database, table)};
    TableStructure read;
    QStringList databases;
    const BatchEnd end =
        ForEachResultOn(handle, statements, [&](qsizetype index, MYSQL_RES *result) {
          QList<QStringList> rows = RowsOf(result);
          switch (index) {
          case Created: read.createStatement = rows.value(0).value(1); break;
          case Options: read.options = TableOptionsFromRows(rows); break;
          case Columns:
            // The two columns asked for come after those of the facts.
            for (const QStringList &row : rows)
              read.columns.append(
                  {ColumnFactsFromRow(row), row.value(row.size() - 2), row.value(row.size() - 1)});
            break;
          case Indexes: read.indexes = IndexesOf(rows); break;
          case Own: read.foreignKeys = SortedForeignKeys(std::move(rows)); break;
          case Databases:
            for (const QStringList &row : rows)
              databases << row.value(0);
            break;
          case References: read.referencedBy = SortedForeignKeys(std::move(rows)); break;
          }
        });
    s = std::move(read);
    if (end.failed == Indexes && end.reply.errorNumber == NoSuchColumnHere)
      continue;
    if (end.failed == Created) {
      s.reply = end.reply;
      s.exists = end.reply.errorNumber != NoSuchTable && end.reply.errorNumber != NoSuchDatabase;
    } else if (end.failed == References) {
      searchIn = databases;
    } else if (!end.ok()) {
      s.reply = end.reply;
    }
    // A sequence's definition is asked for only when the table is one.
    if (s.reply.ok && s.options.isSequence())
      if (const auto created = Rows(handle, SequenceDefinitionQuery(database, table), s.reply))
        s.options.sequenceDefinition = created->value(0).value(1);
    return s;
  }
  return s;
}

} // namespace

TableStructure ReadTableStructure(ServerSession &session, const QString &database,
                                  const QString &table) {
  std::optional<QStringList> searchIn;
  TableStructure s = session.run(
      QStringLiteral("Lese die Struktur der Tabelle „%1“ ...").arg(table),
      [&](MYSQL *handle) { return TableStructureOn(handle, database, table, searchIn); });
  if (!searchIn)
    return s;
  const QString what =
      QStringLiteral("Suche in allen Datenbanken die Verweise auf die Tabelle „%1“ ...").arg(table);
  const std::optional<QList<QStringList>> rows = session.run(what, [&](MYSQL *handle) {
    const QString query = SearchedReferencesSelect(handle, *searchIn, database, table);
    return query.isEmpty() ? std::optional<QList<QStringList>>(QList<QStringList>())
                           : Rows(handle, query, s.reply);
  });
  if (rows)
    s.referencedBy = SortedForeignKeys(*rows);
  else if (session.cancelledByUser(s.reply)) {
    s.reply = {};
    s.referencesCancelled = true;
  }
  return s;
}

NameList ReadDatabaseNames(ServerSession &session) {
  return session.run(QStringLiteral("Lese die Datenbanken ..."), DatabaseNamesOn);
}

NameList ReadTableNames(ServerSession &session, const QString &database) {
  return session.run(QStringLiteral("Lese die Tabellen ..."), [&](MYSQL *handle) {
    return ReadNames(handle,
                     QStringLiteral("SELECT TABLE_NAME FROM information_schema.TABLES "
                                    "WHERE %1 AND TABLE_TYPE IN ('BASE TABLE', 'SYSTEM VERSIONED') "
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
