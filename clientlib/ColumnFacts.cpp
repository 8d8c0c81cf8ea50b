#include "clientlib/ColumnFacts.h"

bool IsServerTextLiteral(const QString &text) {
  return text.size() >= 2 && text.startsWith(QLatin1Char('\'')) && text.endsWith(QLatin1Char('\''));
}

std::optional<QString> UnquoteServerLiteral(const QString &literal) {
  if (!IsServerTextLiteral(literal))
    return std::nullopt;
  // Read front to back: the server doubles a quote and writes NUL, line
  // feed, carriage return and backslash as \0, \n, \r and \\.
  const QStringView inner = QStringView(literal).sliced(1, literal.size() - 2);
  QString text;
  for (qsizetype i = 0; i < inner.size(); ++i) {
    const QChar c = inner[i];
    if (c != QLatin1Char('\'') && c != QLatin1Char('\\')) {
      text += c;
      continue;
    }
    if (++i == inner.size())
      return std::nullopt;
    const char16_t next = inner[i].unicode();
    if (c == QLatin1Char('\'') && next == u'\'')
      text += QLatin1Char('\'');
    else if (c == QLatin1Char('\\') && next == u'\\')
      text += QLatin1Char('\\');
    else if (c == QLatin1Char('\\') && next == u'0')
      text += QChar(0);
    else if (c == QLatin1Char('\\') && next == u'n')
      text += QLatin1Char('\n');
    else if (c == QLatin1Char('\\') && next == u'r')
      text += QLatin1Char('\r');
    else
      return std::nullopt; // not the server's own writing: better refused than guessed
  }
  return text;
}

QString ServerTextLiteral(const QString &text) {
  QString literal = QStringLiteral("'");
  for (const QChar c : text) {
    switch (c.unicode()) {
    case 0: literal += QLatin1String("\\0"); break;
    case '\n': literal += QLatin1String("\\n"); break;
    case '\r': literal += QLatin1String("\\r"); break;
    case '\\': literal += QLatin1String("\\\\"); break;
    case '\'': literal += QLatin1String("''"); break;
    default: literal += c;
    }
  }
  return literal + QLatin1Char('\'');
}

QString ColumnFactsQuery(const QString &database, const QString &table, const QString &column) {
  return ColumnFactsSelect(database, table, {}) +
         QStringLiteral(" AND BINARY c.COLUMN_NAME = '%1'").arg(column);
}

QString ExactName(const QString &column, const QString &escapedName) {
  return QStringLiteral("%1 = '%2' AND BINARY %1 = '%2'").arg(column, escapedName);
}

QString ColumnFactsSelect(const QString &database, const QString &table, const QString &more) {
  const auto exactTable = [&](const QString &alias, const QString &schemaColumn) {
    return ExactName(alias + schemaColumn, database) + QStringLiteral(" AND ") +
           ExactName(alias + QStringLiteral("TABLE_NAME"), table);
  };
  // A column's own CHECK constraint carries the column's name.
  return QStringLiteral(
             "SELECT c.COLUMN_NAME, c.DATA_TYPE, c.COLUMN_TYPE, c.IS_NULLABLE, c.COLUMN_DEFAULT, "
             "c.EXTRA, c.COLLATION_NAME, c.COLUMN_COMMENT, t.TABLE_COLLATION, t.TABLE_TYPE, "
             "(SELECT GROUP_CONCAT(k.CHECK_CLAUSE SEPARATOR ') CHECK (') "
             "FROM information_schema.CHECK_CONSTRAINTS k WHERE ") +
         exactTable(QStringLiteral("k."), QStringLiteral("CONSTRAINT_SCHEMA")) +
         QStringLiteral(" AND k.LEVEL = 'Column' AND k.CONSTRAINT_NAME = c.COLUMN_NAME)") +
         (more.isEmpty() ? QString() : QStringLiteral(", ") + more) +
         QStringLiteral(" FROM information_schema.COLUMNS c, information_schema.TABLES t WHERE ") +
         exactTable(QStringLiteral("c."), QStringLiteral("TABLE_SCHEMA")) +
         QStringLiteral(" AND ") + exactTable(QStringLiteral("t."), QStringLiteral("TABLE_SCHEMA"));
}

ColumnFacts ColumnFactsFromRow(const QStringList &row) {
  return {row.value(0), row.value(1), row.value(2), row.value(3) == QLatin1String("YES"),
          row.value(4), row.value(5), row.value(6), row.value(7),
          row.value(8), row.value(9), row.value(10)};
}

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
