#include "fields/ColumnDefinition.h"

#include "clientlib/ColumnDesign.h"
#include "fields/FieldTypeRules.h"

#include <QRegularExpression>

#include <algorithm>

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

// Why the editor cannot change a column of a table of this kind; empty for a plain table.
QString TableKindReason(const QString &tableType) {
  if (tableType == QLatin1String("BASE TABLE"))
    return {};
  if (tableType == QLatin1String("VIEW"))
    return QStringLiteral("sie gehört zu einer Sicht (VIEW), nicht zu einer Tabelle");
  if (tableType == QLatin1String("SEQUENCE"))
    return QStringLiteral("sie gehört zu einer Sequenz");
  if (tableType == QLatin1String("SYSTEM VERSIONED"))
    return QStringLiteral("ihre Tabelle ist systemversioniert (WITH SYSTEM VERSIONING)");
  return QStringLiteral("ihre Tabelle ist vom Typ „%1“").arg(tableType);
}

} // namespace

QString ChangeRefusal(const QString &column, const QString &reason) {
  return QStringLiteral("Die Spalte „%1“ lässt sich mit dem Feld-Editor nicht ändern, ohne dass "
                        "sich mehr als gewollt ändert: %2. Es wurde nichts geändert.")
      .arg(column, reason);
}

QString DefinitionDifference(const QString &before, const QString &after) {
  // Only the lines of the columns and keys: CHANGE leaves the table's options
  // alone, but a temporary copy may have others (an Aria copy turns
  // PAGE_CHECKSUM off with any ALTER).
  const auto body = [](const QString &created) {
    QStringList lines =
        created.left(created.lastIndexOf(QLatin1String("\n)"))).split(QLatin1Char('\n'));
    lines.removeFirst();
    return lines;
  };
  const QStringList was = body(before);
  const QStringList becomes = body(after);
  // The first line that differs, without its indent and closing comma.
  const auto shown = [](QString line) {
    line = line.trimmed();
    if (line.endsWith(QLatin1Char(',')))
      line.chop(1);
    return line;
  };
  for (qsizetype i = 0; i < std::max(was.size(), becomes.size()); ++i)
    if (was.value(i) != becomes.value(i))
      return QStringLiteral("aus „%1“ würde „%2“")
          .arg(shown(was.value(i)), shown(becomes.value(i)));
  return {};
}

EditableColumn EditableFromColumn(const ColumnFacts &column) {
  const QString &name = column.name;
  if (const QString reason = TableKindReason(column.tableType); !reason.isEmpty())
    return {std::nullopt, ChangeRefusal(name, reason)};
  const QString typeText = QStringLiteral("ihr Typ „%1“").arg(column.columnType);
  const QString word = TypeWordOf(column.dataType);
  if (word.isEmpty())
    return {std::nullopt,
            ChangeRefusal(name, typeText + QStringLiteral(" steht nicht in der Typliste"))};
  if (column.columnType.contains(QLatin1String("COMPRESSED"), Qt::CaseInsensitive))
    return {std::nullopt, ChangeRefusal(name, QStringLiteral("sie wird komprimiert gespeichert"))};
  const FieldTypeRule &rule = FieldTypeRules[static_cast<std::size_t>(FieldTypeIndex(word))];
  const QString notExact = typeText + QStringLiteral(" lässt sich dort nicht genau einstellen");

  // "type(m,d) attributes"
  static const QRegularExpression shape(
      QStringLiteral("^([a-z]+)(?:\\((\\d+)(?:,(\\d+))?\\))?((?: [a-z]+)*)$"));
  const QRegularExpressionMatch parts = shape.match(column.columnType.toLower());
  if (!parts.hasMatch())
    return {std::nullopt, ChangeRefusal(name, notExact)};
  QString length = parts.captured(2);
  QString decimals = parts.captured(3);
  if (bool number = false; !length.isEmpty() && (length.toInt(&number) > FieldNumberMax || !number))
    return {std::nullopt,
            ChangeRefusal(name, typeText + QStringLiteral(" ist länger, als der Feld-Editor "
                                                          "einstellen kann (höchstens %1)")
                                               .arg(FieldNumberMax))};
  const QStringList attributes = parts.captured(4).split(QLatin1Char(' '), Qt::SkipEmptyParts);
  const bool isUnsigned = attributes.contains(QLatin1String("unsigned"));
  const bool zerofill = attributes.contains(QLatin1String("zerofill"));
  for (const QString &a : attributes)
    if (a != QLatin1String("unsigned") && a != QLatin1String("zerofill"))
      return {std::nullopt, ChangeRefusal(name, notExact)};

  // Lengths the editor leaves out must be the type's own: BIT(1), YEAR(4), no fractions.
  if (!rule.length) {
    const bool implied = length.isEmpty() || (word == QLatin1String("BIT") && length == "1") ||
                         (word == QLatin1String("YEAR (4)") && length == "4");
    if (!implied)
      return {std::nullopt, ChangeRefusal(name, notExact)};
    length.clear();
  }
  // DECIMAL(M,0) is DECIMAL(M), but FLOAT(M) and DOUBLE(M) are other types
  // than (M,0), which the decimals box (1 and up) cannot show.
  if (decimals == QLatin1String("0")) {
    if (word != QLatin1String("DECIMAL"))
      return {std::nullopt,
              ChangeRefusal(name, typeText + QStringLiteral(" hat 0 Nachkommastellen, der "
                                                            "Feld-Editor lässt nur 1 bis %1 zu")
                                                 .arg(FieldNumberMax))};
    decimals.clear();
  }
  if (!decimals.isEmpty() && !rule.decimals)
    return {std::nullopt, ChangeRefusal(name, notExact)};
  if (length == QLatin1String("0"))
    return {std::nullopt, ChangeRefusal(name, notExact)};
  // Zero-fill makes a column unsigned by itself.
  if ((zerofill && !rule.zerofill) || (isUnsigned && !rule.unsignedFlag && !zerofill))
    return {std::nullopt, ChangeRefusal(name, notExact)};

  const bool autoIncrement =
      column.extra.contains(QLatin1String("auto_increment"), Qt::CaseInsensitive);
  QString otherExtra = column.extra;
  otherExtra.remove(QLatin1String("auto_increment"), Qt::CaseInsensitive);
  if (!otherExtra.trimmed().isEmpty())
    return {std::nullopt,
            ChangeRefusal(
                name, QStringLiteral("sie hat die Eigenschaft „%1“").arg(column.extra.trimmed()))};
  if (autoIncrement && !rule.autoIncrement)
    return {std::nullopt, ChangeRefusal(name, notExact)};
  if (!column.check.isEmpty())
    return {std::nullopt,
            ChangeRefusal(
                name, QStringLiteral("sie hat die Prüfbedingung CHECK (%1)").arg(column.check))};
  if (!column.comment.isEmpty())
    return {std::nullopt, ChangeRefusal(name, QStringLiteral("sie hat einen Kommentar"))};

  // Text columns: the table's collation, or with "Binär" its binary one.
  bool binary = false;
  if (!column.collation.isEmpty() && column.collation != column.tableCollation) {
    const QString binaryCollation = CharsetOf(column.tableCollation) + QStringLiteral("_bin");
    if (rule.binary && column.collation == binaryCollation)
      binary = true;
    else
      return {std::nullopt,
              ChangeRefusal(name, QStringLiteral("sie hat die Sortierfolge „%1“, die Tabelle „%2“")
                                      .arg(column.collation, column.tableCollation))};
  }

  const std::optional<QString> defaultText = EditorDefault(column.defaultValue);
  if (!defaultText)
    return {std::nullopt,
            ChangeRefusal(name, QStringLiteral("ihr Vorgabewert %1 lässt sich dort nicht "
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

QString UnseenAttributes(const ColumnFacts &column, const QString &createStatement) {
  const QString server = ColumnLineOf(createStatement, column.name);
  const ColumnReadBack read = DesignOfColumn({column, CharsetOf(column.collation), {}});
  const QString written =
      read.design ? ColumnAsServerWrites(*read.design, column.tableCollation) : QString();
  if (server.isEmpty() || server == written)
    return {};
  return QStringLiteral("der Server schreibt sie „%1“, aus ihren Angaben ergäbe sich nur „%2“")
      .arg(server, written);
}
