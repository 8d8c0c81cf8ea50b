// CREATE TABLE, ALTER TABLE ... ADD and ALTER TABLE ... CHANGE with any names,
// any default values, any flag texts and any placement. The type word, the
// length and the decimals come from the field editor's controls (a fixed
// list and two spin boxes), so they are drawn from what those can hold.
//
// Each statement is read back by a small tokenizer of this target's own that
// knows backquoted identifiers (a doubled backquote stands for one) and
// single-quoted literals (backslash escapes as the server reads them, a
// doubled quote stands for one). The statement must end outside any quoting;
// its identifiers, in order, must be exactly the names that went in, so no
// name can end its quoting early; its literals must be exactly the default
// values; and outside the quoting only the fixed words, digits, blanks,
// parentheses, commas and carriage returns may appear: nothing that starts a
// comment, a second statement or another kind of string. The client library
// stops a statement at its first NUL byte; what is left then must end inside
// an open quoting, so that the server refuses it whole.
#include "fields/ColumnClause.h"
#include "fields/FieldTypeRules.h"
#include "fuzz/FuzzCheck.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

constexpr QChar IdentifierMark(0xE000);
constexpr QChar LiteralMark(0xE001);

struct Scan {
  enum class End { Complete, OpenIdentifier, OpenLiteral, OtherString };
  QStringList identifiers;
  QStringList literals;
  QString outside; // the text outside quoting, each quoted part replaced by a mark
  End end = End::Complete;
};

// A backslash sequence inside a literal as the server reads it.
QString unescaped(QChar c) {
  switch (c.unicode()) {
  case '0': return QString(QChar(0));
  case 'b': return QStringLiteral("\b");
  case 'n': return QStringLiteral("\n");
  case 'r': return QStringLiteral("\r");
  case 't': return QStringLiteral("\t");
  case 'Z': return QString(QChar(0x1A));
  case '%': return QStringLiteral("\\%");
  case '_': return QStringLiteral("\\_");
  default: return QString(c);
  }
}

Scan scan(QStringView sql) {
  Scan result;
  const qsizetype n = sql.size();
  qsizetype i = 0;
  while (i < n) {
    const QChar c = sql[i];
    if (c == QLatin1Char('`')) {
      QString name;
      for (++i;;) {
        if (i == n) {
          result.end = Scan::End::OpenIdentifier;
          return result;
        }
        if (sql[i] == QLatin1Char('`')) {
          if (i + 1 < n && sql[i + 1] == QLatin1Char('`')) {
            name += QLatin1Char('`');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        name += sql[i++];
      }
      result.identifiers << name;
      result.outside += IdentifierMark;
    } else if (c == QLatin1Char('\'')) {
      QString text;
      for (++i;;) {
        if (i == n || (sql[i] == QLatin1Char('\\') && i + 1 == n)) {
          result.end = Scan::End::OpenLiteral;
          return result;
        }
        if (sql[i] == QLatin1Char('\\')) {
          text += unescaped(sql[i + 1]);
          i += 2;
          continue;
        }
        if (sql[i] == QLatin1Char('\'')) {
          if (i + 1 < n && sql[i + 1] == QLatin1Char('\'')) {
            text += QLatin1Char('\'');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        text += sql[i++];
      }
      result.literals << text;
      result.outside += LiteralMark;
    } else if (c == QLatin1Char('"')) {
      result.end = Scan::End::OtherString;
      return result;
    } else {
      result.outside += c;
      ++i;
    }
  }
  return result;
}

bool onlyFixedText(const QString &outside) {
  for (const QChar c : outside) {
    const char16_t u = c.unicode();
    const bool ok = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') ||
                    u == '_' || u == ' ' || u == '(' || u == ')' || u == ',' || u == '\r' ||
                    c == IdentifierMark || c == LiteralMark;
    if (!ok)
      return false;
  }
  return true;
}

QString anyText(FuzzedDataProvider &input) {
  const std::string bytes = input.ConsumeRandomLengthString(80);
  // Latin-1 reaches every byte value (NUL included), UTF-8 umlauts and more.
  if (input.ConsumeBool())
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
  return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString spinBoxText(FuzzedDataProvider &input) {
  if (input.ConsumeBool())
    return {}; // the box is disabled for the type
  return QString::number(input.ConsumeIntegralInRange<int>(1, 10000));
}

QString flagText(FuzzedDataProvider &input) {
  switch (input.ConsumeIntegralInRange<int>(0, 3)) {
  case 0: return FlagYes;
  case 1: return FlagNo;
  case 2: return QStringLiteral("Ja");
  default: return anyText(input);
  }
}

FieldRow anyRow(FuzzedDataProvider &input) {
  FieldRow row;
  row[CellName] = anyText(input);
  row[CellType] = QString::fromLatin1(
      FieldTypeRules[input.ConsumeIntegralInRange<std::size_t>(0, FieldTypeRules.size() - 1)].word);
  row[CellLength] = spinBoxText(input);
  row[CellDecimals] = spinBoxText(input);
  row[CellDefault] = anyText(input);
  for (std::size_t cell = CellNull; cell <= CellIndex; ++cell)
    row[cell] = flagText(input);
  return row;
}

// The names of the key lists, in the order the key clauses write them.
QStringList keyNames(const QList<FieldRow> &rows) {
  QStringList names;
  for (const FieldCell flag : {CellPrimary, CellUnique, CellIndex})
    for (const FieldRow &row : rows)
      if (row[flag] == FlagYes)
        names << row[CellName];
  return names;
}

void check(const QString &sql, const QStringList &names, const QStringList &defaults) {
  const Scan whole = scan(sql);
  QW_FUZZ_CHECK(whole.end == Scan::End::Complete, "the statement ends inside quoting");
  QW_FUZZ_CHECK(whole.identifiers == names, "identifiers differ from the names that went in");
  for (const QString &identifier : whole.identifiers)
    QW_FUZZ_CHECK(names.contains(identifier), "an identifier that is no input name");
  QW_FUZZ_CHECK(whole.literals == defaults, "literals differ from the default values");
  QW_FUZZ_CHECK(onlyFixedText(whole.outside), "unexpected text outside the quoting");

  const qsizetype nul = sql.indexOf(QChar(0));
  if (nul >= 0)
    QW_FUZZ_CHECK(scan(QStringView(sql).first(nul)).end != Scan::End::Complete,
                  "a statement cut at a NUL byte still reads as complete");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const int kind = input.ConsumeIntegralInRange<int>(0, 2);
  const QString table = anyText(input);
  const QString oldName = anyText(input);
  FieldPlacement placement;
  placement.position = static_cast<FieldPosition>(input.ConsumeIntegralInRange<int>(0, 2));
  placement.afterField = anyText(input);
  QList<FieldRow> rows;
  const int rowCount = kind == 0 ? input.ConsumeIntegralInRange<int>(0, 6) : 1;
  for (int i = 0; i < rowCount; ++i)
    rows << anyRow(input);

  QStringList names{table};
  if (kind == 2)
    names << oldName;
  QStringList defaults;
  for (const FieldRow &row : rows) {
    names << row[CellName]; // an ALTER statement has exactly one row
    if (!row[CellDefault].isEmpty())
      defaults << row[CellDefault];
  }
  if (kind != 0) {
    if (placement.position == FieldPosition::After && !placement.afterField.isEmpty())
      names << placement.afterField;
  }
  names << keyNames(rows);

  QString sql;
  switch (kind) {
  case 0: sql = CreateTableStatement(table, rows, EscapeStringLiteral); break;
  case 1: sql = AddFieldStatement(table, rows.first(), placement, EscapeStringLiteral); break;
  default:
    sql = ChangeFieldStatement(table, oldName, rows.first(), placement, EscapeStringLiteral);
    break;
  }
  check(sql, names, defaults);
  return 0;
}
