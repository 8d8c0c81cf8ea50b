#include "clientlib/ColumnDesign.h"

#include "clientlib/ColumnFacts.h"

#include <QHash>
#include <QRegularExpression>

namespace {

// Kept as a table: the parts each type takes besides the name, NULL,
// default, comment, CHECK and visibility.
struct TypeEntry {
  const char *word;
  ColumnTypeRule rule;
};
constexpr ColumnTypeRule Rule(bool length, bool decimals, bool numeric, bool text, bool values,
                              bool autoIncrement, bool onUpdate, bool compressible) {
  return {length, decimals, numeric, text, values, autoIncrement, onUpdate, compressible};
}
// clang-format off
const TypeEntry TypeEntries[] = {
    //                        length decimals numeric text  values autoinc onupdate compressible
    {"tinyint",          Rule(true,  false,   true,   false, false, true,   false,   false)},
    {"smallint",         Rule(true,  false,   true,   false, false, true,   false,   false)},
    {"mediumint",        Rule(true,  false,   true,   false, false, true,   false,   false)},
    {"int",              Rule(true,  false,   true,   false, false, true,   false,   false)},
    {"bigint",           Rule(true,  false,   true,   false, false, true,   false,   false)},
    {"decimal",          Rule(true,  true,    true,   false, false, false,  false,   false)},
    {"float",            Rule(true,  true,    true,   false, false, true,   false,   false)},
    {"double",           Rule(true,  true,    true,   false, false, true,   false,   false)},
    {"bit",              Rule(true,  false,   false,  false, false, false,  false,   false)},
    {"boolean",          Rule(false, false,   false,  false, false, false,  false,   false)},
    {"date",             Rule(false, false,   false,  false, false, false,  false,   false)},
    {"time",             Rule(true,  false,   false,  false, false, false,  false,   false)},
    {"datetime",         Rule(true,  false,   false,  false, false, false,  true,    false)},
    {"timestamp",        Rule(true,  false,   false,  false, false, false,  true,    false)},
    {"year",             Rule(true,  false,   false,  false, false, false,  false,   false)},
    {"char",             Rule(true,  false,   false,  true,  false, false,  false,   false)},
    {"varchar",          Rule(true,  false,   false,  true,  false, false,  false,   true)},
    {"binary",           Rule(true,  false,   false,  false, false, false,  false,   false)},
    {"varbinary",        Rule(true,  false,   false,  false, false, false,  false,   true)},
    {"tinytext",         Rule(false, false,   false,  true,  false, false,  false,   true)},
    {"text",             Rule(true,  false,   false,  true,  false, false,  false,   true)},
    {"mediumtext",       Rule(false, false,   false,  true,  false, false,  false,   true)},
    {"longtext",         Rule(false, false,   false,  true,  false, false,  false,   true)},
    {"tinyblob",         Rule(false, false,   false,  false, false, false,  false,   true)},
    {"blob",             Rule(true,  false,   false,  false, false, false,  false,   true)},
    {"mediumblob",       Rule(false, false,   false,  false, false, false,  false,   true)},
    {"longblob",         Rule(false, false,   false,  false, false, false,  false,   true)},
    {"enum",             Rule(false, false,   false,  true,  true,  false,  false,   false)},
    {"set",              Rule(false, false,   false,  true,  true,  false,  false,   false)},
    {"json",             Rule(false, false,   false,  false, false, false,  false,   false)},
    {"inet4",            Rule(false, false,   false,  false, false, false,  false,   false)},
    {"inet6",            Rule(false, false,   false,  false, false, false,  false,   false)},
    {"uuid",             Rule(false, false,   false,  false, false, false,  false,   false)},
    {"geometry",         Rule(false, false,   false,  false, false, false,  false,   false)},
    {"point",            Rule(false, false,   false,  false, false, false,  false,   false)},
    {"linestring",       Rule(false, false,   false,  false, false, false,  false,   false)},
    {"polygon",          Rule(false, false,   false,  false, false, false,  false,   false)},
    {"multipoint",       Rule(false, false,   false,  false, false, false,  false,   false)},
    {"multilinestring",  Rule(false, false,   false,  false, false, false,  false,   false)},
    {"multipolygon",     Rule(false, false,   false,  false, false, false,  false,   false)},
    {"geometrycollection", Rule(false, false, false,  false, false, false,  false,   false)},
};
// clang-format on

// How the server writes a compressed column's attribute, read by MariaDB alone.
const QString CompressedAsWritten = QStringLiteral("/*M!100301 COMPRESSED*/");

// The parts of a COLUMN_TYPE text: "decimal(10,2) unsigned zerofill",
// "enum('a','b')", "blob /*M!100301 COMPRESSED*/".
struct TypeParts {
  QString word;
  QString inner; // between the parentheses
  QStringList attributes;
};

// Where the literal that starts at `from` ends (after its closing quote), or -1.
qsizetype LiteralEnd(const QString &text, qsizetype from) {
  for (qsizetype i = from + 1; i < text.size(); ++i) {
    if (text[i] == QLatin1Char('\\'))
      ++i;
    else if (text[i] == QLatin1Char('\'')) {
      if (i + 1 < text.size() && text[i + 1] == QLatin1Char('\''))
        ++i;
      else
        return i + 1;
    }
  }
  return -1;
}

std::optional<TypeParts> SplitType(const QString &columnType) {
  TypeParts parts;
  qsizetype i = 0;
  while (i < columnType.size() &&
         (columnType[i].isLetterOrNumber() || columnType[i] == QLatin1Char('_')))
    ++i;
  parts.word = columnType.left(i).toLower();
  if (parts.word.isEmpty())
    return std::nullopt;
  if (i < columnType.size() && columnType[i] == QLatin1Char('(')) {
    const qsizetype open = i++;
    while (i < columnType.size() && columnType[i] != QLatin1Char(')')) {
      if (columnType[i] == QLatin1Char('\'')) {
        i = LiteralEnd(columnType, i);
        if (i < 0)
          return std::nullopt;
      } else {
        ++i;
      }
    }
    if (i == columnType.size())
      return std::nullopt;
    parts.inner = columnType.mid(open + 1, i - open - 1);
    ++i;
  }
  parts.attributes = columnType.mid(i)
                         .replace(CompressedAsWritten, QStringLiteral("compressed"))
                         .split(QLatin1Char(' '), Qt::SkipEmptyParts);
  return parts;
}

// 'a','it''s' into its values; nothing when it is not a list of literals.
std::optional<QStringList> SplitValues(const QString &inner) {
  QStringList values;
  qsizetype i = 0;
  while (i < inner.size()) {
    if (inner[i] != QLatin1Char('\''))
      return std::nullopt;
    const qsizetype end = LiteralEnd(inner, i);
    if (end < 0)
      return std::nullopt;
    const std::optional<QString> value = UnquoteServerLiteral(inner.mid(i, end - i));
    if (!value)
      return std::nullopt;
    values << *value;
    i = end;
    if (i < inner.size() && inner[i++] != QLatin1Char(','))
      return std::nullopt;
  }
  return values;
}

bool IsNumber(const QString &text) {
  static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
  return digits.match(text).hasMatch();
}

// The words of EXTRA, which MariaDB separates by commas: "on update
// current_timestamp(3), INVISIBLE".
QStringList ExtraWords(const QString &extra) {
  QStringList words;
  for (const QString &word : extra.split(QLatin1Char(','), Qt::SkipEmptyParts))
    words << word.trimmed();
  return words;
}

QString TypeText(const ColumnDesign &design, const ColumnTypeRule &rule,
                 const std::function<QString(const QString &)> &literal) {
  QString text = design.type;
  if (rule.values && !design.values.isEmpty()) {
    QStringList quoted;
    for (const QString &value : design.values)
      quoted << literal(value);
    text += QLatin1Char('(') + quoted.join(QLatin1Char(',')) + QLatin1Char(')');
  } else if (rule.length && !design.length.isEmpty()) {
    text += QLatin1Char('(') + design.length;
    if (rule.decimals && !design.decimals.isEmpty())
      text += QLatin1Char(',') + design.decimals;
    text += QLatin1Char(')');
  }
  if (rule.numeric && design.isUnsigned)
    text += QStringLiteral(" unsigned");
  if (rule.numeric && design.zerofill)
    text += QStringLiteral(" zerofill");
  return text;
}

// The definition in the server's order; `literal` writes a '...' literal,
// `asServerWrites` the compressed attribute as SHOW CREATE TABLE does.
QString Definition(const ColumnDesign &design, const QString &tableCollation,
                   const std::function<QString(const QString &)> &literal, bool asServerWrites) {
  const ColumnTypeRule rule = RuleOfType(design.type);
  QString text = QuoteIdentifier(design.name) + QLatin1Char(' ') + TypeText(design, rule, literal);
  if (rule.compressible && design.compressed)
    text +=
        QLatin1Char(' ') + (asServerWrites ? CompressedAsWritten : QStringLiteral("COMPRESSED"));
  if (rule.text && !design.collation.isEmpty() && design.collation != tableCollation) {
    if (!design.characterSet.isEmpty())
      text += QStringLiteral(" CHARACTER SET ") + design.characterSet;
    text += QStringLiteral(" COLLATE ") + design.collation;
  }
  switch (design.generation) {
  case Generation::None: break;
  case Generation::Virtual:
    text += QStringLiteral(" GENERATED ALWAYS AS (%1) VIRTUAL").arg(design.expression);
    break;
  case Generation::Stored:
    text += QStringLiteral(" GENERATED ALWAYS AS (%1) STORED").arg(design.expression);
    break;
  case Generation::RowStart: text += QStringLiteral(" GENERATED ALWAYS AS ROW START"); break;
  case Generation::RowEnd: text += QStringLiteral(" GENERATED ALWAYS AS ROW END"); break;
  }
  const bool generated = design.generation != Generation::None;
  // A TIMESTAMP column says that it takes NULL: under the old rules of the
  // server it would otherwise not.
  if (!generated && !design.nullable)
    text += QStringLiteral(" NOT NULL");
  else if (!generated && design.type == QLatin1String("timestamp"))
    text += QStringLiteral(" NULL");
  if (design.invisible)
    text += QStringLiteral(" INVISIBLE");
  if (!generated) {
    switch (design.defaultValue.kind) {
    case ColumnDefault::Kind::None: break;
    case ColumnDefault::Kind::Null: text += QStringLiteral(" DEFAULT NULL"); break;
    case ColumnDefault::Kind::Text:
      text += QStringLiteral(" DEFAULT ") + literal(design.defaultValue.text);
      break;
    case ColumnDefault::Kind::Expression:
      text += QStringLiteral(" DEFAULT ") + design.defaultValue.text;
      break;
    }
  }
  if (design.withoutVersioning)
    text += QStringLiteral(" WITHOUT SYSTEM VERSIONING");
  if (rule.onUpdate && !design.onUpdate.isEmpty())
    text += QStringLiteral(" ON UPDATE ") + design.onUpdate;
  if (rule.autoIncrement && design.autoIncrement)
    text += QStringLiteral(" AUTO_INCREMENT");
  if (!design.comment.isEmpty())
    text += QStringLiteral(" COMMENT ") + literal(design.comment);
  if (!design.check.isEmpty())
    text += QStringLiteral(" CHECK (%1)").arg(design.check);
  return text;
}

QString PlaceText(const ColumnPlace &place) {
  switch (place.kind) {
  case ColumnPlace::Kind::Unchanged: return {};
  case ColumnPlace::Kind::First: return QStringLiteral(" FIRST");
  case ColumnPlace::Kind::After: return QStringLiteral(" AFTER ") + QuoteIdentifier(place.after);
  }
  return {};
}

QString AlterTable(const ColumnTable &table) {
  return (table.systemVersioned
              ? QStringLiteral("SET STATEMENT system_versioning_alter_history = KEEP FOR ")
              : QString()) +
         QStringLiteral("ALTER TABLE ") + QuoteQualified(table.database, table.table);
}

// How much a type holds is set by its length for these; an integer's is only
// the width it is shown in, and a year's is always 4.
bool LengthHoldsData(const QString &type) {
  const ColumnTypeRule rule = RuleOfType(type);
  static const QStringList widthOnly{QStringLiteral("tinyint"),   QStringLiteral("smallint"),
                                     QStringLiteral("mediumint"), QStringLiteral("int"),
                                     QStringLiteral("bigint"),    QStringLiteral("year")};
  return rule.length && !widthOnly.contains(type);
}

// A number of the type text, or the type's own when none is written.
int NumberOr(const QString &text, int otherwise) {
  bool ok = false;
  const int value = text.toInt(&ok);
  return ok ? value : otherwise;
}

} // namespace

ColumnTypeRule RuleOfType(const QString &type) {
  static const QHash<QString, ColumnTypeRule> rules = [] {
    QHash<QString, ColumnTypeRule> byWord;
    for (const TypeEntry &entry : TypeEntries)
      byWord.insert(QLatin1String(entry.word), entry.rule);
    return byWord;
  }();
  return rules.value(type.toLower(), ColumnTypeRule{});
}

const QStringList &ColumnTypeWords() {
  static const QStringList words = [] {
    QStringList list;
    for (const TypeEntry &entry : TypeEntries)
      list << QLatin1String(entry.word);
    return list;
  }();
  return words;
}

ColumnReadBack DesignOfColumn(const ColumnRecord &column) {
  const ColumnFacts &f = column.facts;
  const auto refused = [&](const QString &why) { return ColumnReadBack{std::nullopt, why}; };
  const std::optional<TypeParts> parts = SplitType(f.columnType);
  if (!parts)
    return refused(QStringLiteral("ihr Typ „%1“ hat eine unbekannte Form").arg(f.columnType));
  ColumnDesign design;
  design.name = f.name;
  design.type = parts->word;
  if (parts->word == QLatin1String("enum") || parts->word == QLatin1String("set")) {
    const std::optional<QStringList> values = SplitValues(parts->inner);
    if (!values)
      return refused(
          QStringLiteral("die Werte ihres Typs „%1“ lassen sich nicht lesen").arg(f.columnType));
    design.values = *values;
  } else if (!parts->inner.isEmpty()) {
    const QStringList numbers = parts->inner.split(QLatin1Char(','));
    if (numbers.size() > 2 || !std::all_of(numbers.begin(), numbers.end(), IsNumber))
      return refused(QStringLiteral("ihr Typ „%1“ hat eine unbekannte Form").arg(f.columnType));
    design.length = numbers.value(0);
    design.decimals = numbers.value(1);
  }
  for (const QString &attribute : parts->attributes) {
    if (attribute == QLatin1String("unsigned"))
      design.isUnsigned = true;
    else if (attribute == QLatin1String("zerofill"))
      design.zerofill = true;
    else if (attribute == QLatin1String("compressed"))
      design.compressed = true;
    else
      return refused(QStringLiteral("ihr Typ „%1“ hat die unbekannte Angabe „%2“")
                         .arg(f.columnType, attribute));
  }
  design.characterSet = column.characterSet;
  design.collation = f.collation;
  design.nullable = f.nullable;
  design.defaultValue = ColumnDefault::FromServer(f.defaultValue);
  design.comment = f.comment;
  design.check = f.check;
  static const QRegularExpression onUpdate(QStringLiteral("^on update (.+)$"),
                                           QRegularExpression::CaseInsensitiveOption);
  for (const QString &word : ExtraWords(f.extra)) {
    const QString upper = word.toUpper();
    if (upper == QLatin1String("AUTO_INCREMENT")) {
      design.autoIncrement = true;
    } else if (upper == QLatin1String("INVISIBLE")) {
      design.invisible = true;
    } else if (upper == QLatin1String("WITHOUT SYSTEM VERSIONING")) {
      design.withoutVersioning = true;
    } else if (upper == QLatin1String("VIRTUAL GENERATED") ||
               upper == QLatin1String("STORED GENERATED") ||
               upper == QLatin1String("PERSISTENT GENERATED")) {
      design.expression = column.generation;
      design.generation = column.generation == QLatin1String("ROW START") ? Generation::RowStart
                          : column.generation == QLatin1String("ROW END")
                              ? Generation::RowEnd
                              : (upper.startsWith(QLatin1String("VIRTUAL")) ? Generation::Virtual
                                                                            : Generation::Stored);
      if (design.generation == Generation::RowStart || design.generation == Generation::RowEnd)
        design.expression.clear();
    } else if (const QRegularExpressionMatch m = onUpdate.match(word); m.hasMatch()) {
      design.onUpdate = m.captured(1);
    } else {
      return refused(QStringLiteral("sie hat die unbekannte Eigenschaft „%1“").arg(word));
    }
  }
  return {design, QString()};
}

QString ColumnDefinition(const ColumnDesign &design, const QString &tableCollation,
                         const LiteralEscaper &escape) {
  return Definition(
      design, tableCollation,
      [&](const QString &text) { return QLatin1Char('\'') + escape(text) + QLatin1Char('\''); },
      false);
}

QString ColumnAsServerWrites(const ColumnDesign &design, const QString &tableCollation) {
  return Definition(design, tableCollation, ServerTextLiteral, true);
}

QString ColumnLineOf(const QString &createStatement, const QString &column) {
  const QString start = QStringLiteral("\n  ") + QuoteIdentifier(column) + QLatin1Char(' ');
  const qsizetype at = createStatement.indexOf(start);
  if (at < 0)
    return {};
  // A name may hold a line feed; nothing after it does, the server writes \n.
  const qsizetype end = createStatement.indexOf(QLatin1Char('\n'), at + start.size());
  QString line = createStatement.mid(at + 3, end < 0 ? -1 : end - at - 3);
  if (line.endsWith(QLatin1Char(',')))
    line.chop(1);
  return line;
}

QString AddColumnStatement(const ColumnTable &table, const ColumnDesign &design,
                           const ColumnPlace &place, const LiteralEscaper &escape) {
  return AlterTable(table) + QStringLiteral(" ADD COLUMN ") +
         ColumnDefinition(design, table.collation, escape) + PlaceText(place);
}

QString ChangeColumnStatement(const ColumnTable &table, const QString &oldName,
                              const ColumnDesign &design, const ColumnPlace &place,
                              const LiteralEscaper &escape) {
  const QString how = oldName == design.name ? QStringLiteral(" MODIFY COLUMN ")
                                             : QStringLiteral(" CHANGE COLUMN ") +
                                                   QuoteIdentifier(oldName) + QLatin1Char(' ');
  return AlterTable(table) + how + ColumnDefinition(design, table.collation, escape) +
         PlaceText(place);
}

QStringList PossibleLosses(const ColumnDesign &before, const ColumnDesign &after,
                           std::uint64_t nullRows) {
  QStringList losses;
  const ColumnTypeRule rule = RuleOfType(after.type);
  if (after.type != before.type) {
    losses << QStringLiteral("Der Typ wird ein anderer (%1 → %2).").arg(before.type, after.type);
  } else {
    if (LengthHoldsData(after.type) && NumberOr(after.length, 0) < NumberOr(before.length, 0) &&
        !after.length.isEmpty())
      losses << QStringLiteral("Die Länge wird kürzer (%1 → %2).").arg(before.length, after.length);
    if (rule.decimals && NumberOr(after.decimals, 0) < NumberOr(before.decimals, 0))
      losses << QStringLiteral("Es gibt weniger Nachkommastellen (%1 → %2).")
                    .arg(before.decimals,
                         after.decimals.isEmpty() ? QStringLiteral("0") : after.decimals);
    QStringList gone;
    for (const QString &value : before.values)
      if (!after.values.contains(value))
        gone << ServerTextLiteral(value);
    if (rule.values && !gone.isEmpty())
      losses << QStringLiteral("Diese Werte fallen weg: %1.").arg(gone.join(QStringLiteral(", ")));
    // ZEROFILL makes a column unsigned by itself.
    if (rule.numeric && (after.isUnsigned || after.zerofill) &&
        !(before.isUnsigned || before.zerofill))
      losses << QStringLiteral("UNSIGNED: negative Werte gehen verloren.");
  }
  if (rule.text && RuleOfType(before.type).text && !before.characterSet.isEmpty() &&
      !after.characterSet.isEmpty() && after.characterSet != before.characterSet)
    losses << QStringLiteral("Der Zeichensatz wird ein anderer (%1 → %2); Zeichen, die er nicht "
                             "kennt, gehen verloren.")
                  .arg(before.characterSet, after.characterSet);
  if (before.generation == Generation::None && after.generation != Generation::None)
    losses << QStringLiteral("Die Spalte wird berechnet: ihre Werte werden ersetzt.");
  if (before.nullable && !after.nullable && after.generation == Generation::None && nullRows > 0)
    losses << (nullRows == 1 ? QStringLiteral("Eine Zeile hat NULL in „%2“")
                             : QStringLiteral("%1 Zeilen haben NULL in „%2“"))
                      .arg(nullRows)
                      .arg(before.name) +
                  QStringLiteral("; mit NOT NULL lehnt der Server die Änderung ab oder setzt "
                                 "dort einen leeren Wert.");
  return losses;
}
