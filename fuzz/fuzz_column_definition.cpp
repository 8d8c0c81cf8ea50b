// The field row that "Feld ändern..." starts from, made from any column facts:
// no crash; a row it gives is one the field editor can show (a type word of
// its list, lengths and decimals only where the type's boxes are open, every
// flag "ja" or "nein", no key ticked, a length the box can show; only a
// column of a plain table without a CHECK); a refusal always says why. And a text
// default, written the way the server writes it into information_schema
// (quote doubled; NUL, line feed, carriage return and backslash as \0, \n,
// \r, \\), comes back exactly as it was.
#include "fields/ColumnDefinition.h"
#include "fields/FieldTypeRules.h"
#include "fuzz/FuzzCheck.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

QString anyText(FuzzedDataProvider &input, std::size_t max = 40) {
  const std::string bytes = input.ConsumeRandomLengthString(max);
  if (input.ConsumeBool())
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
  return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

template <std::size_t N> QString oneOf(FuzzedDataProvider &input, const char *const (&words)[N]) {
  const std::size_t pick = input.ConsumeIntegralInRange<std::size_t>(0, N);
  return pick == N ? anyText(input) : QString::fromLatin1(words[pick]);
}

const char *const DataTypes[] = {"int",       "bigint", "tinyint", "smallint", "mediumint",
                                 "decimal",   "double", "float",   "varchar",  "char",
                                 "text",      "blob",   "date",    "datetime", "time",
                                 "timestamp", "year",   "bit",     "enum",     "json"};
const char *const Attributes[] = {"", " unsigned", " zerofill", " unsigned zerofill", " signed"};
const char *const Extras[] = {"", "auto_increment", "AUTO_INCREMENT",
                              "on update current_timestamp()", "VIRTUAL GENERATED"};
const char *const TableTypes[] = {"BASE TABLE", "VIEW", "SEQUENCE", "SYSTEM VERSIONED"};
const char *const Collations[] = {"", "utf8mb4_general_ci", "utf8mb4_bin", "latin1_swedish_ci",
                                  "latin1_bin"};

// The server's writing of a text default (MariaDB's append_unescaped).
QString serverQuoted(const QString &text) {
  QString out = QStringLiteral("'");
  for (const QChar c : text) {
    switch (c.unicode()) {
    case 0: out += QLatin1String("\\0"); break;
    case '\n': out += QLatin1String("\\n"); break;
    case '\r': out += QLatin1String("\\r"); break;
    case '\\': out += QLatin1String("\\\\"); break;
    case '\'': out += QLatin1String("''"); break;
    default: out += c;
    }
  }
  return out + QLatin1Char('\'');
}

bool digitsOrEmpty(const QString &text) {
  for (const QChar c : text)
    if (c < QLatin1Char('0') || c > QLatin1Char('9'))
      return false;
  return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  ColumnFacts column;
  column.name = anyText(input);
  column.dataType = oneOf(input, DataTypes);
  const bool shaped = input.ConsumeBool();
  if (shaped) {
    // The shape the server writes: type(m[,d]) and attributes.
    column.columnType = column.dataType.toLower();
    if (input.ConsumeBool()) {
      column.columnType += QLatin1Char('(') + QString::number(input.ConsumeIntegralInRange(0, 300));
      if (input.ConsumeBool())
        column.columnType +=
            QLatin1Char(',') + QString::number(input.ConsumeIntegralInRange(0, 40));
      column.columnType += QLatin1Char(')');
    }
    column.columnType += oneOf(input, Attributes);
  } else {
    column.columnType = anyText(input);
  }
  column.nullable = input.ConsumeBool();
  const bool quotedDefault = input.ConsumeBool();
  const QString typedDefault = anyText(input);
  if (quotedDefault)
    column.defaultValue = serverQuoted(typedDefault);
  else if (input.ConsumeBool())
    column.defaultValue = typedDefault;
  // else: a null text, no default
  column.extra = oneOf(input, Extras);
  column.collation = oneOf(input, Collations);
  column.tableCollation = oneOf(input, Collations);
  if (input.ConsumeBool())
    column.comment = anyText(input);
  column.tableType = oneOf(input, TableTypes);
  if (input.ConsumeBool())
    column.check = anyText(input);

  const EditableColumn editable = EditableFromColumn(column);
  if (!editable.row) {
    QW_FUZZ_CHECK(!editable.refusal.isEmpty(), "a refusal without a reason");
    return 0;
  }
  const FieldRow &row = *editable.row;
  QW_FUZZ_CHECK(editable.refusal.isEmpty(), "a row and a refusal");
  QW_FUZZ_CHECK(row[CellName] == column.name, "the name changed");
  const int type = FieldTypeIndex(row[CellType]);
  QW_FUZZ_CHECK(type >= 0, "a type word outside the editor's list");
  const FieldTypeRule &rule = FieldTypeRules[static_cast<std::size_t>(type)];
  QW_FUZZ_CHECK(digitsOrEmpty(row[CellLength]) && digitsOrEmpty(row[CellDecimals]),
                "length or decimals not digits");
  QW_FUZZ_CHECK(rule.length || row[CellLength].isEmpty(), "a length where the box is closed");
  QW_FUZZ_CHECK(row[CellLength].size() <= 5 && row[CellLength].toInt() <= FieldNumberMax,
                "a length beyond the box's range");
  QW_FUZZ_CHECK(column.tableType == QLatin1String("BASE TABLE") && column.check.isEmpty(),
                "a column of another kind of table, or with a CHECK, taken");
  QW_FUZZ_CHECK(rule.decimals || row[CellDecimals].isEmpty(), "decimals where the box is closed");
  for (std::size_t cell = CellNull; cell <= CellIndex; ++cell)
    QW_FUZZ_CHECK(row[cell] == FlagYes || row[cell] == FlagNo, "a flag neither ja nor nein");
  for (const FieldCell key : {CellPrimary, CellUnique, CellIndex})
    QW_FUZZ_CHECK(row[key] == FlagNo, "a key ticked: CHANGE would add it again");
  QW_FUZZ_CHECK(rule.unsignedFlag || row[CellUnsigned] == FlagNo, "unsigned where it cannot be");
  QW_FUZZ_CHECK(rule.zerofill || row[CellZerofill] == FlagNo, "zerofill where it cannot be");
  QW_FUZZ_CHECK(rule.binary || row[CellBinary] == FlagNo, "binary where it cannot be");
  QW_FUZZ_CHECK(rule.autoIncrement || row[CellAutoIncrement] == FlagNo,
                "auto increment where it cannot be");
  QW_FUZZ_CHECK(row[CellNull] == FlagText(column.nullable), "null allowed changed");
  if (quotedDefault)
    QW_FUZZ_CHECK(row[CellDefault] == typedDefault, "a quoted default came back changed");
  else if (column.defaultValue.isNull())
    QW_FUZZ_CHECK(row[CellDefault].isEmpty(), "a default where there was none");
  return 0;
}
