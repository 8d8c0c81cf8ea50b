#include "tests/reliability/SchemaSnapshot.h"

#include "tests/support/TestSupport.h"

namespace {

const QString Separator = QStringLiteral(" | ");

QString Cell(const QString &value) { return value.isNull() ? QStringLiteral("<NULL>") : value; }

QString Joined(const QStringList &row, qsizetype from) {
  QStringList cells;
  for (qsizetype i = from; i < row.size(); ++i)
    cells << Cell(row[i]);
  return cells.join(Separator);
}

QString Shown(const SchemaSnapshot::TableKey &key) {
  return QuoteName(key.first) + QLatin1Char('.') + QuoteName(key.second);
}

QStringList Lines(const SchemaSnapshot &s) {
  QStringList lines;
  for (auto it = s.databases.cbegin(); it != s.databases.cend(); ++it)
    lines << QStringLiteral("database %1: %2").arg(QuoteName(it.key()), it.value());
  for (auto it = s.tables.cbegin(); it != s.tables.cend(); ++it)
    lines << QStringLiteral("table %1: %2").arg(Shown(it.key()), it.value());
  for (auto it = s.columns.cbegin(); it != s.columns.cend(); ++it)
    for (qsizetype i = 0; i < it.value().size(); ++i)
      lines << QStringLiteral("column %1 #%2 %3: %4")
                   .arg(Shown(it.key()))
                   .arg(i + 1)
                   .arg(QuoteName(it.value()[i].name), it.value()[i].definition);
  return lines;
}

} // namespace

SchemaSnapshot SchemaSnapshot::only(const QString &database) const {
  SchemaSnapshot part;
  if (databases.contains(database))
    part.databases.insert(database, databases.value(database));
  for (auto it = tables.cbegin(); it != tables.cend(); ++it)
    if (it.key().first == database)
      part.tables.insert(it.key(), it.value());
  for (auto it = columns.cbegin(); it != columns.cend(); ++it)
    if (it.key().first == database)
      part.columns.insert(it.key(), it.value());
  return part;
}

QString SchemaSnapshot::differenceTo(const SchemaSnapshot &other) const {
  const QStringList mine = Lines(*this);
  const QStringList theirs = Lines(other);
  QStringList out;
  for (const QString &line : theirs)
    if (!mine.contains(line))
      out << QStringLiteral("+ ") + line;
  for (const QString &line : mine)
    if (!theirs.contains(line))
      out << QStringLiteral("- ") + line;
  return out.join(QLatin1Char('\n'));
}

SchemaSnapshot TakeSnapshot(AdminConnection &admin) {
  const QString skip =
      QStringLiteral(" NOT IN ('information_schema', 'performance_schema', 'mysql', 'sys')");
  SchemaSnapshot s;
  for (const QStringList &row : admin.rows(
           QStringLiteral("SELECT SCHEMA_NAME, DEFAULT_CHARACTER_SET_NAME, DEFAULT_COLLATION_NAME "
                          "FROM information_schema.SCHEMATA")))
    s.databases.insert(row.value(0), Joined(row, 1));
  for (const QStringList &row : admin.rows(
           QStringLiteral("SELECT TABLE_SCHEMA, TABLE_NAME, TABLE_TYPE, ENGINE, TABLE_COLLATION "
                          "FROM information_schema.TABLES WHERE TABLE_SCHEMA") +
           skip))
    s.tables.insert({row.value(0), row.value(1)}, Joined(row, 2));
  for (const QStringList &row : admin.rows(
           QStringLiteral("SELECT TABLE_SCHEMA, TABLE_NAME, COLUMN_NAME, COLUMN_TYPE, IS_NULLABLE, "
                          "COLUMN_DEFAULT, EXTRA, COLUMN_KEY, COLLATION_NAME, COLUMN_COMMENT "
                          "FROM information_schema.COLUMNS WHERE TABLE_SCHEMA") +
           skip + QStringLiteral(" ORDER BY ORDINAL_POSITION")))
    s.columns[{row.value(0), row.value(1)}].append({row.value(2), Joined(row, 3)});
  return s;
}
