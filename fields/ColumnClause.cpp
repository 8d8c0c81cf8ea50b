#include "fields/ColumnClause.h"

namespace {

void addToList(QString &list, const QString &name) {
  if (!list.isEmpty())
    list += QLatin1Char(',');
  list += QuoteIdentifier(name);
}

void addKeyClause(QString &text, const char *word, const QString &list, StatementKind kind) {
  if (list.isEmpty())
    return;
  text += QLatin1String(kind == StatementKind::Alter ? ", ADD " : ", ");
  text += QLatin1String(word);
  text += QLatin1String(" (");
  text += list;
  text += QLatin1Char(')');
}

// The column, position and key clauses of the one row of an ALTER statement.
QString alterTail(const FieldRow &row, const FieldPlacement &placement,
                  const LiteralEscaper &escape) {
  KeyLists keys;
  AddToKeyLists(row, keys);
  return ColumnClause(row, escape) + PositionClause(placement) +
         KeyClauses(keys, StatementKind::Alter);
}

} // namespace

QString LengthPart(const FieldRow &row) {
  const QString &length = row[CellLength];
  const QString &decimals = row[CellDecimals];
  if (length.isEmpty())
    return {};
  if (decimals.isEmpty())
    return QLatin1Char('(') + length + QLatin1Char(')');
  return QLatin1Char('(') + length + QLatin1Char(',') + decimals + QLatin1Char(')');
}

QString FlagWords(const FieldRow &row) {
  QString words;
  if (IsFlagSet(row, CellUnsigned))
    words += QLatin1String("unsigned ");
  if (IsFlagSet(row, CellZerofill))
    words += QLatin1String("zerofill ");
  if (IsFlagSet(row, CellBinary))
    words += QLatin1String("binary ");
  // A primary-key column is NOT NULL even when null was allowed.
  if (!IsFlagSet(row, CellNull) || IsFlagSet(row, CellPrimary))
    words += QLatin1String("NOT NULL ");
  if (IsFlagSet(row, CellAutoIncrement))
    words += QLatin1String("AUTO_INCREMENT ");
  return words;
}

QString DefaultClause(const QString &value, const LiteralEscaper &escape) {
  if (value.isEmpty())
    return {};
  return QLatin1String("default '") + escape(value) + QLatin1Char('\'');
}

QString ColumnClause(const FieldRow &row, const LiteralEscaper &escape) {
  // Every part before the default ends in one blank; without a default that
  // blank is dropped, so the clause never ends in one.
  QString clause = QuoteIdentifier(row[CellName]) + QLatin1Char(' ') + row[CellType] +
                   LengthPart(row) + QLatin1Char(' ') + FlagWords(row);
  const QString defaultClause = DefaultClause(row[CellDefault], escape);
  if (defaultClause.isEmpty())
    clause.chop(1);
  else
    clause += defaultClause;
  return clause;
}

void AddToKeyLists(const FieldRow &row, KeyLists &keys) {
  if (IsFlagSet(row, CellPrimary))
    addToList(keys.primary, row[CellName]);
  if (IsFlagSet(row, CellUnique))
    addToList(keys.unique, row[CellName]);
  if (IsFlagSet(row, CellIndex))
    addToList(keys.index, row[CellName]);
}

QString PositionClause(FieldPosition position, const QString &afterField) {
  if (position == FieldPosition::First)
    return QStringLiteral(" FIRST");
  if (position == FieldPosition::After && !afterField.isEmpty())
    return QLatin1String(" AFTER ") + QuoteIdentifier(afterField);
  return {};
}

QString KeyClauses(const KeyLists &keys, StatementKind kind) {
  QString text;
  addKeyClause(text, "PRIMARY KEY", keys.primary, kind);
  addKeyClause(text, "UNIQUE", keys.unique, kind);
  addKeyClause(text, "INDEX", keys.index, kind);
  return text;
}

QString CreateTableStatement(const QString &table, const QList<FieldRow> &rows,
                             const LiteralEscaper &escape) {
  QString sql = QLatin1String("CREATE TABLE ") + QuoteIdentifier(table) + QLatin1String(" (");
  KeyLists keys;
  for (qsizetype i = 0; i < rows.size(); ++i) {
    if (i > 0)
      sql += QLatin1String(",\r");
    sql += ColumnClause(rows[i], escape);
    AddToKeyLists(rows[i], keys);
  }
  sql += KeyClauses(keys, StatementKind::Create);
  sql += QLatin1Char(')');
  return sql;
}

QString AddFieldStatement(const QString &table, const FieldRow &row,
                          const FieldPlacement &placement, const LiteralEscaper &escape) {
  return QLatin1String("ALTER TABLE ") + QuoteIdentifier(table) + QLatin1String(" ADD ") +
         alterTail(row, placement, escape);
}

QString ChangeFieldStatement(const QString &table, const QString &oldName, const FieldRow &row,
                             const FieldPlacement &placement, const LiteralEscaper &escape) {
  return QLatin1String("ALTER TABLE ") + QuoteIdentifier(table) + QLatin1String(" CHANGE ") +
         QuoteIdentifier(oldName) + QLatin1Char(' ') + alterTail(row, placement, escape);
}
