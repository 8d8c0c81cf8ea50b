#include "compare/SchemaModel.h"

#include "clientlib/SchemaCalls.h"
#include "compare/SqlScan.h"

#include <QRegularExpression>

namespace {

using namespace SqlScan;

bool StartsWithWords(QStringView text, QStringView words) {
  return text.startsWith(words, Qt::CaseInsensitive) &&
         (text.size() == words.size() || !text[words.size()].isLetterOrNumber());
}

// The word at `from` (up to white space), and the index after it.
QStringView WordAt(QStringView text, qsizetype from, qsizetype *end = nullptr) {
  qsizetype stop = from;
  while (stop < text.size() && !text[stop].isSpace() && text[stop] != u',')
    ++stop;
  if (end)
    *end = stop;
  return text.mid(from, stop - from);
}

// What follows a column's type: without the character set and collation
// that the server may have written first.
QStringView AfterCharsetAndCollation(QStringView rest) {
  for (const QStringView clause : {QStringView(u"CHARACTER SET "), QStringView(u"COLLATE ")}) {
    const QStringView trimmed = rest.trimmed();
    if (trimmed.startsWith(clause, Qt::CaseInsensitive)) {
      qsizetype end = 0;
      WordAt(trimmed, SkipSpace(trimmed, clause.size()), &end);
      rest = trimmed.mid(end);
    }
  }
  return rest;
}

ColumnModel ReadColumn(const QString &name, const QString &rest, const QStringList *facts) {
  ColumnModel column;
  column.name = name;
  column.definition = rest;
  if (!facts)
    return column;
  column.type = facts->value(2);
  column.nullable = facts->value(3) == QLatin1String("YES");
  column.defaultValue = facts->value(4);
  column.extra = facts->value(5);
  column.characterSet = facts->value(6);
  column.collation = facts->value(7);
  column.comment = facts->value(8);
  const bool typeFirst = rest.startsWith(column.type) &&
                         (rest.size() == column.type.size() || rest[column.type.size()] == u' ');
  if (!column.collation.isEmpty() && typeFirst) {
    const QStringView after =
        AfterCharsetAndCollation(QStringView(rest).mid(column.type.size())).trimmed();
    column.definition = column.type + QStringLiteral(" CHARACTER SET ") + column.characterSet +
                        QStringLiteral(" COLLATE ") + column.collation;
    if (!after.isEmpty()) {
      column.definition += QLatin1Char(' ');
      column.definition += after;
    }
  }
  return column;
}

// FOREIGN KEY (...) REFERENCES [`db`.]`table` (...) rules
bool ReadForeignKey(QStringView text, ForeignKeyModel &key) {
  qsizetype i = SkipSpace(text, 0);
  if (!StartsWithWords(text.mid(i), u"FOREIGN KEY"))
    return false;
  i = SkipSpace(text, i + 11);
  const qsizetype close = i < text.size() && text[i] == u'(' ? ClosingParenthesis(text, i) : -1;
  if (close < 0)
    return false;
  key.columns = text.mid(i + 1, close - i - 1).trimmed().toString();
  i = SkipSpace(text, close + 1);
  if (!StartsWithWords(text.mid(i), u"REFERENCES"))
    return false;
  i = SkipSpace(text, i + 10);
  std::optional<QuotedName> first = ReadQuotedName(text, i);
  if (!first)
    return false;
  key.referencedTable = first->name;
  i = first->end;
  if (i < text.size() && text[i] == u'.') {
    const std::optional<QuotedName> second = ReadQuotedName(text, i + 1);
    if (!second)
      return false;
    key.referencedDatabase = first->name;
    key.referencedTable = second->name;
    i = second->end;
  }
  i = SkipSpace(text, i);
  const qsizetype refClose = i < text.size() && text[i] == u'(' ? ClosingParenthesis(text, i) : -1;
  if (refClose < 0)
    return false;
  key.referencedColumns = text.mid(i + 1, refClose - i - 1).trimmed().toString();
  key.rules = text.mid(refClose + 1).trimmed().toString();
  return true;
}

bool IsIndexPart(QStringView part) {
  for (const QStringView start :
       {QStringView(u"KEY"), QStringView(u"INDEX"), QStringView(u"UNIQUE"),
        QStringView(u"FULLTEXT"), QStringView(u"SPATIAL"), QStringView(u"VECTOR")})
    if (StartsWithWords(part, start))
      return true;
  return false;
}

QString RowFormatOf(QStringView options) {
  const qsizetype at = FindWord(options, u"ROW_FORMAT");
  if (at < 0)
    return {};
  qsizetype i = SkipSpace(options, at + 10);
  if (i < options.size() && options[i] == u'=')
    i = SkipSpace(options, i + 1);
  return WordAt(options, i).toString().toUpper();
}

} // namespace

bool SplitCreateTable(const QString &text, QStringList &parts, QString &options) {
  const qsizetype nameAt = text.indexOf(QLatin1Char('`'));
  const std::optional<QuotedName> name = nameAt < 0 ? std::nullopt : ReadQuotedName(text, nameAt);
  if (!name)
    return false;
  const qsizetype open = SkipSpace(text, name->end);
  if (open >= text.size() || text[open] != QLatin1Char('('))
    return false;
  const qsizetype close = ClosingParenthesis(text, open);
  if (close < 0)
    return false;
  parts = SplitList(QStringView(text).mid(open + 1, close - open - 1));
  options = QStringView(text).mid(close + 1).trimmed().toString();
  return true;
}

void ReadCreateParts(TableModel &table, const QStringList &parts, const QString &options,
                     const QHash<QString, QStringList> &facts) {
  table.createOptions = options;
  table.rowFormat = RowFormatOf(options);
  for (const QString &part : parts) {
    const QStringView view(part);
    const qsizetype keys = table.foreignKeys.size();
    if (const std::optional<QuotedName> column = ReadQuotedName(view, 0)) {
      const auto known = facts.constFind(column->name);
      table.columns << ReadColumn(column->name, view.mid(column->end).trimmed().toString(),
                                  known == facts.constEnd() ? nullptr : &*known);
    } else if (StartsWithWords(view, u"PRIMARY KEY")) {
      table.indexes << IndexModel{QStringLiteral("PRIMARY"), part, part};
    } else if (StartsWithWords(view, u"CONSTRAINT")) {
      const qsizetype nameAt = SkipSpace(view, 10);
      const std::optional<QuotedName> name = ReadQuotedName(view, nameAt);
      const QStringView rest = name ? view.mid(name->end).trimmed() : QStringView();
      ForeignKeyModel key;
      key.name = name ? name->name : QString();
      if (name && StartsWithWords(rest, u"CHECK"))
        table.checks << CheckModel{name->name, rest.toString()};
      else if (name && ReadForeignKey(rest, key))
        table.foreignKeys << key;
      else
        table.otherParts << part;
    } else if (StartsWithWords(view, u"CHECK")) {
      table.checks << CheckModel{part, part}; // unnamed: known by its clause
    } else if (IsIndexPart(view)) {
      const qsizetype nameAt = view.indexOf(u'`');
      const std::optional<QuotedName> name =
          nameAt < 0 ? std::nullopt : ReadQuotedName(view, nameAt);
      if (name)
        table.indexes << IndexModel{name->name, part,
                                    view.left(nameAt).trimmed().toString() + QLatin1Char(' ') +
                                        view.mid(name->end).trimmed().toString()};
      else
        table.otherParts << part;
    } else {
      table.otherParts << part;
    }
    if (table.foreignKeys.size() == keys)
      table.partsWithoutForeignKeys << part;
  }
}

SchemaModel BuildSchemaModel(const QString &database, const SchemaRows &rows) {
  SchemaModel model;
  model.database = database;
  model.serverVersion = rows.serverVersion;
  model.lowerCaseTableNames = rows.lowerCaseTableNames;
  model.characterSet = rows.characterSet;
  model.collation = rows.collation;

  QHash<QString, QHash<QString, QStringList>> facts;
  for (const QStringList &column : rows.columns)
    facts[column.value(0)].insert(column.value(1), column);

  for (const QStringList &row : rows.tables) {
    if (row.value(1) == QLatin1String("VIEW"))
      continue;
    const auto created = rows.createStatements.constFind(row.value(0));
    if (created == rows.createStatements.constEnd())
      continue; // dropped while the schema was read
    TableModel table;
    table.name = row.value(0);
    table.type = row.value(1);
    table.engine = row.value(2);
    table.collation = row.value(3);
    table.comment = row.value(4);
    QStringList parts;
    QString options;
    if (!SplitCreateTable(*created, parts, options))
      continue;
    ReadCreateParts(table, parts, options, facts.value(table.name));
    table.createStatement = *created;
    model.tables << table;
  }
  for (const QStringList &row : rows.views)
    model.views << ViewModel{row.value(0), row.value(1), row.value(2), row.value(3), row.value(4)};
  for (const QStringList &row : rows.triggers)
    model.triggers << TriggerModel{row.value(0), row.value(1), row.value(2),
                                   row.value(3), row.value(4), row.value(5)};
  return model;
}

int VersionNumber(const QString &serverVersion) {
  const QStringList parts = serverVersion.section(QLatin1Char('-'), 0, 0).split(QLatin1Char('.'));
  return parts.value(0).toInt() * 10000 + parts.value(1).toInt() * 100 + parts.value(2).toInt();
}

bool DropsIntegerWidths(const QString &serverVersion) {
  return !serverVersion.contains(QLatin1String("MariaDB"), Qt::CaseInsensitive) &&
         VersionNumber(serverVersion) >= 80019;
}

QString WithoutIntegerWidth(const QString &type) {
  static const QRegularExpression width(
      QStringLiteral("^(tinyint|smallint|mediumint|int|integer|bigint)\\(\\d+\\)"),
      QRegularExpression::CaseInsensitiveOption);
  if (type.startsWith(QLatin1String("tinyint(1)"), Qt::CaseInsensitive) ||
      type.contains(QLatin1String("zerofill"), Qt::CaseInsensitive))
    return type;
  QString result = type;
  return result.replace(width, QStringLiteral("\\1"));
}
