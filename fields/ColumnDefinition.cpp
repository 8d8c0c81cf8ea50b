#include "fields/ColumnDefinition.h"

#include "fields/FieldTypeRules.h"

#include <QRegularExpression>

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

namespace {

// The editor's type word for a column's data type; empty when it has none.
QString TypeWordOf(const QString &dataType) {
  // Kept as a table.
  // clang-format off
  static const QHash<QString, QString> words{
      {"bigint", "BIGINT"},       {"bit", "BIT"},           {"blob", "BLOB"},
      {"char", "CHAR"},           {"date", "DATE"},         {"datetime", "DATETIME"},
      {"decimal", "DECIMAL"},     {"double", "DOUBLE"},     {"float", "FLOAT"},
      {"int", "INT"},             {"longblob", "LONGBLOB"}, {"longtext", "LONGTEXT"},
      {"mediumblob", "MEDIUMBLOB"}, {"mediumint", "MEDIUMINT"}, {"mediumtext", "MEDIUMTEXT"},
      {"smallint", "SMALLINT"},   {"text", "TEXT"},         {"time", "TIME"},
      {"timestamp", "TIMESTAMP"}, {"tinyblob", "TINYBLOB"}, {"tinyint", "TINYINT"},
      {"tinytext", "TINYTEXT"},   {"varchar", "VARCHAR"},   {"year", "YEAR (4)"}};
  // clang-format on
  return words.value(dataType.toLower());
}

QString Refuse(const QString &column, const QString &reason) {
  return QStringLiteral("Die Spalte „%1“ lässt sich mit dem Feld-Editor nicht ändern, ohne dass "
                        "sich mehr als gewollt ändert: %2. Es wurde nichts geändert.")
      .arg(column, reason);
}

QString CharsetOf(const QString &collation) { return collation.section(QLatin1Char('_'), 0, 0); }

// A default as the server writes it: 'text' with quotes doubled, a number,
// NULL, or an expression. Returns the editor's text, or nothing when the
// editor cannot express it (an empty text means "no default" there).
std::optional<QString> EditorDefault(const QString &serverDefault) {
  if (serverDefault.isNull() || serverDefault == QLatin1String("NULL"))
    return QString();
  if (IsServerTextLiteral(serverDefault)) {
    const std::optional<QString> text = UnquoteServerLiteral(serverDefault);
    if (!text || text->isEmpty())
      return std::nullopt;
    return text;
  }
  static const QRegularExpression number(
      QStringLiteral("^-?[0-9]+(\\.[0-9]+)?([eE][-+]?[0-9]+)?$"));
  if (number.match(serverDefault).hasMatch())
    return serverDefault;
  return std::nullopt;
}

} // namespace

EditableColumn EditableFromColumn(const ColumnFacts &column) {
  const QString &name = column.name;
  const QString typeText = QStringLiteral("ihr Typ „%1“").arg(column.columnType);
  const QString word = TypeWordOf(column.dataType);
  if (word.isEmpty())
    return {std::nullopt, Refuse(name, typeText + QStringLiteral(" steht nicht in der Typliste"))};
  const FieldTypeRule &rule = FieldTypeRules[static_cast<std::size_t>(FieldTypeIndex(word))];
  const QString notExact = typeText + QStringLiteral(" lässt sich dort nicht genau einstellen");

  // "type(m,d) attributes"
  static const QRegularExpression shape(
      QStringLiteral("^([a-z]+)(?:\\((\\d+)(?:,(\\d+))?\\))?((?: [a-z]+)*)$"));
  const QRegularExpressionMatch parts = shape.match(column.columnType.toLower());
  if (!parts.hasMatch())
    return {std::nullopt, Refuse(name, notExact)};
  QString length = parts.captured(2);
  QString decimals = parts.captured(3);
  const QStringList attributes = parts.captured(4).split(QLatin1Char(' '), Qt::SkipEmptyParts);
  const bool isUnsigned = attributes.contains(QLatin1String("unsigned"));
  const bool zerofill = attributes.contains(QLatin1String("zerofill"));
  for (const QString &a : attributes)
    if (a != QLatin1String("unsigned") && a != QLatin1String("zerofill"))
      return {std::nullopt, Refuse(name, notExact)};

  // Lengths the editor leaves out must be the type's own: BIT(1), YEAR(4), no fractions.
  if (!rule.length) {
    const bool implied = length.isEmpty() || (word == QLatin1String("BIT") && length == "1") ||
                         (word == QLatin1String("YEAR (4)") && length == "4");
    if (!implied)
      return {std::nullopt, Refuse(name, notExact)};
    length.clear();
  }
  // No decimals means none; an explicit 0 is the same and needs no box.
  if (decimals == QLatin1String("0"))
    decimals.clear();
  if (!decimals.isEmpty() && !rule.decimals)
    return {std::nullopt, Refuse(name, notExact)};
  if (length == QLatin1String("0"))
    return {std::nullopt, Refuse(name, notExact)};
  // Zero-fill makes a column unsigned by itself.
  if ((zerofill && !rule.zerofill) || (isUnsigned && !rule.unsignedFlag && !zerofill))
    return {std::nullopt, Refuse(name, notExact)};

  const bool autoIncrement =
      column.extra.contains(QLatin1String("auto_increment"), Qt::CaseInsensitive);
  QString otherExtra = column.extra;
  otherExtra.remove(QLatin1String("auto_increment"), Qt::CaseInsensitive);
  if (!otherExtra.trimmed().isEmpty())
    return {
        std::nullopt,
        Refuse(name, QStringLiteral("sie hat die Eigenschaft „%1“").arg(column.extra.trimmed()))};
  if (autoIncrement && !rule.autoIncrement)
    return {std::nullopt, Refuse(name, notExact)};
  if (!column.comment.isEmpty())
    return {std::nullopt, Refuse(name, QStringLiteral("sie hat einen Kommentar"))};

  // Text columns: the table's collation, or with "Binär" its binary one.
  bool binary = false;
  if (!column.collation.isEmpty() && column.collation != column.tableCollation) {
    const QString binaryCollation = CharsetOf(column.tableCollation) + QStringLiteral("_bin");
    if (rule.binary && column.collation == binaryCollation)
      binary = true;
    else
      return {std::nullopt,
              Refuse(name, QStringLiteral("sie hat die Sortierfolge „%1“, die Tabelle „%2“")
                               .arg(column.collation, column.tableCollation))};
  }

  const std::optional<QString> defaultText = EditorDefault(column.defaultValue);
  if (!defaultText)
    return {std::nullopt, Refuse(name, QStringLiteral("ihr Vorgabewert %1 lässt sich dort nicht "
                                                      "angeben")
                                           .arg(column.defaultValue))};

  FieldRow row;
  row[CellName] = name;
  row[CellType] = word;
  row[CellLength] = length;
  row[CellDecimals] = decimals;
  row[CellDefault] = *defaultText;
  row[CellNull] = FlagText(column.nullable);
  row[CellPrimary] = FlagNo; // CHANGE keeps the column's keys; ticking one would add it again
  row[CellUnsigned] = FlagText(rule.unsignedFlag && (isUnsigned || zerofill));
  row[CellZerofill] = FlagText(zerofill);
  row[CellBinary] = FlagText(binary);
  row[CellAutoIncrement] = FlagText(autoIncrement);
  row[CellUnique] = FlagNo;
  row[CellIndex] = FlagNo;
  return {row, QString()};
}

QString ColumnFactsQuery(const QString &database, const QString &table, const QString &column) {
  return ColumnFactsSelect(database, table, {}) +
         QStringLiteral(" AND BINARY c.COLUMN_NAME = '%1'").arg(column);
}

QString ColumnFactsSelect(const QString &database, const QString &table, const QString &more) {
  // The plain comparisons let the server open this one table (information_schema
  // looks tables up by them alone, and otherwise opens every table and view of
  // every database); the binary ones keep names exact, where it compares without case.
  return QStringLiteral(
             "SELECT c.COLUMN_NAME, c.DATA_TYPE, c.COLUMN_TYPE, c.IS_NULLABLE, c.COLUMN_DEFAULT, "
             "c.EXTRA, c.COLLATION_NAME, c.COLUMN_COMMENT, t.TABLE_COLLATION%3 "
             "FROM information_schema.COLUMNS c JOIN information_schema.TABLES t "
             "ON t.TABLE_SCHEMA = c.TABLE_SCHEMA AND t.TABLE_NAME = c.TABLE_NAME "
             "WHERE c.TABLE_SCHEMA = '%1' AND c.TABLE_NAME = '%2' AND t.TABLE_SCHEMA = '%1' "
             "AND t.TABLE_NAME = '%2' AND BINARY c.TABLE_SCHEMA = '%1' AND BINARY c.TABLE_NAME = "
             "'%2'")
      .arg(database, table, more.isEmpty() ? QString() : QStringLiteral(", ") + more);
}

ColumnFacts ColumnFactsFromRow(const QStringList &f) {
  return {f.value(0), f.value(1), f.value(2), f.value(3) == QLatin1String("YES"),
          f.value(4), f.value(5), f.value(6), f.value(7),
          f.value(8)};
}
