#include "clientlib/TableOptions.h"

#include "clientlib/ColumnFacts.h"
#include "clientlib/SessionWork.h"
#include "clientlib/SqlText.h"

namespace {

std::optional<std::uint64_t> Number(const QString &text) {
  bool ok = false;
  const std::uint64_t value = text.toULongLong(&ok);
  return ok ? std::optional<std::uint64_t>(value) : std::nullopt;
}

// Every collation with its character set. MariaDB 10.10 and later name a
// collation that serves several character sets (uca1400_ai_ci) in full per
// set (utf8mb4_uca1400_ai_ci), as columns carry it; older servers and MySQL
// know only the plain names.
std::optional<QList<QStringList>> CollationRows(MYSQL *handle) {
  constexpr unsigned int NoSuchColumnHere = 1054; // ER_BAD_FIELD_ERROR
  auto rows = QueryRows(
      handle, QStringLiteral("SELECT FULL_COLLATION_NAME, CHARACTER_SET_NAME, IS_DEFAULT FROM "
                             "information_schema.COLLATION_CHARACTER_SET_APPLICABILITY "
                             "ORDER BY CHARACTER_SET_NAME, FULL_COLLATION_NAME"));
  if (rows || mysql::mysql_errno(handle) != NoSuchColumnHere)
    return rows;
  return QueryRows(handle, QStringLiteral("SELECT COLLATION_NAME, CHARACTER_SET_NAME, IS_DEFAULT "
                                          "FROM information_schema.COLLATIONS WHERE "
                                          "CHARACTER_SET_NAME IS NOT NULL ORDER BY "
                                          "CHARACTER_SET_NAME, COLLATION_NAME"));
}

} // namespace

QString TableOptionsQuery(MYSQL *handle, const QString &database, const QString &table) {
  const QString where =
      ExactName(QStringLiteral("%1.TABLE_SCHEMA"), EscapeLiteralOn(handle, database)) +
      QStringLiteral(" AND ") +
      ExactName(QStringLiteral("%1.TABLE_NAME"), EscapeLiteralOn(handle, table));
  // One row; the partitions summed up in the same statement.
  return QStringLiteral(
             "SELECT t.TABLE_TYPE, t.ENGINE, t.ROW_FORMAT, t.TABLE_ROWS, t.DATA_LENGTH, "
             "t.INDEX_LENGTH, t.AUTO_INCREMENT, t.TABLE_COLLATION, "
             "(SELECT c.CHARACTER_SET_NAME FROM information_schema.COLLATIONS c "
             "WHERE c.COLLATION_NAME = t.TABLE_COLLATION), t.TABLE_COMMENT, t.CREATE_TIME, "
             "t.UPDATE_TIME, t.CREATE_OPTIONS, p.PARTITION_METHOD, p.PARTITION_EXPRESSION, "
             "p.SUBPARTITION_METHOD, p.SUBPARTITION_EXPRESSION, p.PARTITIONS "
             "FROM information_schema.TABLES t LEFT JOIN (SELECT MIN(p.PARTITION_METHOD) "
             "PARTITION_METHOD, MIN(p.PARTITION_EXPRESSION) PARTITION_EXPRESSION, "
             "MIN(p.SUBPARTITION_METHOD) SUBPARTITION_METHOD, MIN(p.SUBPARTITION_EXPRESSION) "
             "SUBPARTITION_EXPRESSION, COUNT(DISTINCT p.PARTITION_NAME) PARTITIONS "
             "FROM information_schema.PARTITIONS p WHERE %2 AND p.PARTITION_NAME IS NOT NULL) p "
             "ON TRUE WHERE %1")
      .arg(QString(where).replace(QStringLiteral("%1"), QStringLiteral("t")),
           QString(where).replace(QStringLiteral("%1"), QStringLiteral("p")));
}

TableOptions TableOptionsFromRows(const QList<QStringList> &rows) {
  if (rows.isEmpty())
    return TableOptions{};
  const QStringList &r = rows.first();
  TableOptions o;
  o.tableType = r.value(0);
  o.engine = r.value(1);
  o.rowFormat = r.value(2);
  o.rows = Number(r.value(3));
  o.dataLength = Number(r.value(4));
  o.indexLength = Number(r.value(5));
  o.autoIncrement = Number(r.value(6));
  o.collation = r.value(7);
  o.characterSet = r.value(8);
  // A view's comment is the server's note on the view ("VIEW", or why it is broken).
  o.comment = o.isView() ? QString() : r.value(9);
  o.createTime = r.value(10);
  o.updateTime = r.value(11);
  o.createOptions = r.value(12);
  o.partitionMethod = r.value(13);
  o.partitionExpression = r.value(14);
  o.subpartitionMethod = r.value(15);
  o.subpartitionExpression = r.value(16);
  o.partitions = o.partitionMethod.isEmpty() ? 0 : r.value(17).toInt();
  return o;
}

QString SequenceDefinitionQuery(const QString &database, const QString &sequence) {
  return QStringLiteral("SHOW CREATE SEQUENCE ") + QuoteQualified(database, sequence);
}

QStringList ServerCatalog::characterSets() const {
  QStringList sets;
  for (const CollationName &c : collations)
    if (sets.isEmpty() || sets.last() != c.characterSet)
      sets << c.characterSet;
  return sets;
}

QString ServerCatalog::defaultCollation(const QString &characterSet) const {
  for (const CollationName &c : collations)
    if (c.characterSet == characterSet && c.isDefault)
      return c.name;
  return {};
}

QString ServerCatalog::characterSetOf(const QString &collation) const {
  for (const CollationName &c : collations)
    if (c.name == collation)
      return c.characterSet;
  return {};
}

ServerCatalog ReadServerCatalog(ServerSession &session) {
  return session.run(
      QStringLiteral("Lese die Speicher-Engines und Sortierfolgen ..."), [](MYSQL *handle) {
        ServerCatalog catalog;
        const auto engines =
            QueryRows(handle, QStringLiteral("SELECT ENGINE FROM information_schema.ENGINES "
                                             "WHERE SUPPORT IN ('YES', 'DEFAULT') "
                                             "ORDER BY ENGINE"));
        const auto collations = engines ? CollationRows(handle) : std::nullopt;
        if (!collations) {
          catalog.reply = ReplyOf(handle, false);
          return catalog;
        }
        for (const QStringList &row : *engines)
          catalog.engines << row.value(0);
        for (const QStringList &row : *collations)
          catalog.collations.append(
              {row.value(0), row.value(1), row.value(2) == QLatin1String("Yes")});
        return catalog;
      });
}

NullCount CountNullRows(ServerSession &session, const QString &database, const QString &table,
                        const QString &column) {
  return session.run(
      QStringLiteral("Zähle die NULL-Werte der Spalte „%1“ ...").arg(column), [&](MYSQL *handle) {
        NullCount count;
        const auto rows =
            QueryRows(handle, QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2 IS NULL")
                                  .arg(QuoteQualified(database, table), QuoteIdentifier(column)));
        count.reply = ReplyOf(handle, rows.has_value());
        if (rows)
          count.rows = rows->value(0).value(0).toULongLong();
        return count;
      });
}
