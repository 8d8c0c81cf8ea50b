#include "compare/SchemaCompare.h"

#include "clientlib/SqlText.h"
#include "compare/SqlScan.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <map>

namespace {

using Kind = SchemaDifference::Kind;
using Area = SchemaDifference::Area;
using Phase = ScriptPhase;

// The ranks of the clauses of one ALTER TABLE: what goes comes first, then
// the columns in their new order, then what needs them.
enum Rank { DropKeys = 1, DropColumns, Columns, AddKeys, AddChecks, Options };

const QString Absent = QStringLiteral("fehlt");

QString Named(const char *kind, const QString &name) {
  return QStringLiteral("%1 „%2“").arg(QString::fromUtf8(kind), name);
}

// Column, index and constraint names: the server never tells apart what
// differs in letter case only.
QString Folded(const QString &name) { return name.toLower(); }

// A word of the server's own (an engine, a collation, a row format) as it
// goes into a table option: bare when it is a plain word, else quoted.
QString OptionWord(const QString &word) {
  static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_]+$"));
  return plain.match(word).hasMatch() ? word : QuoteIdentifier(word);
}

QStringList FoldedNames(const QString &list) {
  QStringList names;
  for (const QString &part : SqlScan::SplitList(list)) {
    const std::optional<SqlScan::QuotedName> name = SqlScan::ReadQuotedName(part, 0);
    names << Folded(name ? name->name : part);
  }
  return names;
}

// The longest common subsequence of two lists of names: the columns that
// keep their order and need not move.
QSet<QString> KeptInOrder(const QStringList &a, const QStringList &b) {
  if (a == b)
    return QSet<QString>(a.begin(), a.end());
  const qsizetype n = a.size(), m = b.size();
  std::vector<int> length(static_cast<size_t>((n + 1) * (m + 1)), 0);
  const auto at = [m](qsizetype i, qsizetype j) { return static_cast<size_t>(i * (m + 1) + j); };
  for (qsizetype i = n - 1; i >= 0; --i)
    for (qsizetype j = m - 1; j >= 0; --j)
      length[at(i, j)] = a[i] == b[j] ? length[at(i + 1, j + 1)] + 1
                                      : std::max(length[at(i + 1, j)], length[at(i, j + 1)]);
  QSet<QString> kept;
  for (qsizetype i = 0, j = 0; i < n && j < m;) {
    if (a[i] == b[j]) {
      kept.insert(a[i]);
      ++i, ++j;
    } else if (length[at(i + 1, j)] >= length[at(i, j + 1)]) {
      ++i;
    } else {
      ++j;
    }
  }
  return kept;
}

struct TypeParts {
  QString base;
  QStringList parameters;
  bool isUnsigned = false;
};

TypeParts ReadType(const QString &type) {
  TypeParts parts;
  qsizetype i = 0;
  while (i < type.size() && (type[i].isLetter() || type[i] == QLatin1Char('_')))
    ++i;
  parts.base = type.left(i).toLower();
  if (i < type.size() && type[i] == QLatin1Char('(')) {
    const qsizetype close = SqlScan::ClosingParenthesis(type, i);
    if (close > i) {
      parts.parameters = SqlScan::SplitList(QStringView(type).mid(i + 1, close - i - 1));
      i = close + 1;
    }
  }
  parts.isUnsigned = type.mid(i).contains(QLatin1String("unsigned"), Qt::CaseInsensitive);
  return parts;
}

int RankIn(const QString &base, std::initializer_list<const char *> ranks) {
  int rank = 1;
  for (const char *name : ranks) {
    if (base == QLatin1String(name))
      return rank;
    ++rank;
  }
  return 0;
}

int Parameter(const TypeParts &type, int index, int otherwise) {
  bool ok = false;
  const int value = type.parameters.value(index).toInt(&ok);
  return ok ? value : otherwise;
}

// Whether every value of type `from` has its like in type `to`.
bool Holds(const TypeParts &from, const TypeParts &to) {
  if (from.base == to.base && from.parameters == to.parameters && from.isUnsigned == to.isUnsigned)
    return true;
  const bool signOk = !to.isUnsigned || from.isUnsigned;
  const int intFrom = RankIn(from.base, {"tinyint", "smallint", "mediumint", "int", "bigint"});
  const int intTo = RankIn(to.base, {"tinyint", "smallint", "mediumint", "int", "bigint"});
  if (intFrom && intTo)
    return signOk && (from.isUnsigned == to.isUnsigned ? intTo >= intFrom : intTo > intFrom);
  const auto isDecimal = [](const QString &base) {
    return RankIn(base, {"decimal", "numeric", "dec", "fixed"}) > 0;
  };
  if (isDecimal(from.base) && isDecimal(to.base)) {
    const int mFrom = Parameter(from, 0, 10), dFrom = Parameter(from, 1, 0);
    const int mTo = Parameter(to, 0, 10), dTo = Parameter(to, 1, 0);
    return signOk && dTo >= dFrom && mTo - dTo >= mFrom - dFrom;
  }
  if (from.base == QLatin1String("float") && to.base == QLatin1String("double"))
    return signOk && from.parameters.isEmpty() && to.parameters.isEmpty();
  const int textFrom = RankIn(from.base, {"tinytext", "text", "mediumtext", "longtext"});
  const int textTo = RankIn(to.base, {"tinytext", "text", "mediumtext", "longtext"});
  const int blobFrom = RankIn(from.base, {"tinyblob", "blob", "mediumblob", "longblob"});
  const int blobTo = RankIn(to.base, {"tinyblob", "blob", "mediumblob", "longblob"});
  if ((textFrom && textTo) || (blobFrom && blobTo))
    return textTo + blobTo >= textFrom + blobFrom;
  const int charFrom = RankIn(from.base, {"char", "varchar"});
  const int binaryFrom = RankIn(from.base, {"binary", "varbinary"});
  const int length = Parameter(from, 0, 1);
  if ((charFrom && RankIn(to.base, {"char", "varchar"}) >= charFrom) ||
      (binaryFrom && RankIn(to.base, {"binary", "varbinary"}) >= binaryFrom))
    return Parameter(to, 0, 1) >= length;
  // The bytes a TEXT or BLOB holds, against four bytes a character at most.
  const int capacity[] = {0, 255, 65535, -1, -1};
  if (charFrom && textTo)
    return capacity[textTo] < 0 || length * 4 <= capacity[textTo];
  if (binaryFrom && blobTo)
    return capacity[blobTo] < 0 || length <= capacity[blobTo];
  if ((from.base == QLatin1String("enum") || from.base == QLatin1String("set")) &&
      from.base == to.base)
    return to.parameters.mid(0, from.parameters.size()) == from.parameters;
  if (RankIn(from.base, {"datetime", "timestamp", "time"}) && from.base == to.base)
    return Parameter(to, 0, 0) >= Parameter(from, 0, 0);
  if (from.base == QLatin1String("bit") && to.base == from.base)
    return Parameter(to, 0, 1) >= Parameter(from, 0, 1);
  return false;
}

class Comparer {
public:
  Comparer(const SchemaModel &a, const SchemaModel &b)
      : a(a), b(b), foldTables(a.lowerCaseTableNames != 0 || b.lowerCaseTableNames != 0),
        dropsWidths(DropsIntegerWidths(a.serverVersion) || DropsIntegerWidths(b.serverVersion)) {
    result.databaseA = a.database;
    result.databaseB = b.database;
  }

  SchemaComparison run() {
    collectForeignKeys();
    area = Area::Database;
    compareDatabases();
    area = Area::Table;
    compareTables();
    area = Area::View;
    compareViews();
    area = Area::Trigger;
    compareTriggers();
    return result;
  }

private:
  // Table, view and trigger names: the letter case counts unless a server
  // keeps names in lower case (lower_case_table_names).
  QString key(const QString &name) const { return foldTables ? name.toLower() : name; }

  QString inB(const QString &name) const { return QuoteQualified(b.database, name); }

  void differ(Kind kind, const QString &object, const QString &detail, const QString &inA,
              const QString &inB) {
    result.differences.append({kind, area, object, detail, inA, inB});
  }

  void step(const QString &title, QList<ScriptOperation> operations, bool losesData = false) {
    if (!operations.isEmpty())
      result.steps.append({title, losesData, std::move(operations)});
  }

  // Whether `name`, qualified with A's database in A's SQL, is one of A's
  // objects (or a column of one, or a function), so that in B it names B's.
  bool namesOwnObject(const QString &name, QChar followedBy) const {
    return followedBy == QLatin1Char('.') || followedBy == QLatin1Char('(') ||
           aObjects.contains(key(name));
  }
  // A's SQL as it reads in B: its own objects named in B's database.
  QString asInB(const QString &sql) const {
    return SqlScan::Requalify(
        sql, a.database, b.database,
        [this](const QString &name, QChar followedBy) { return namesOwnObject(name, followedBy); });
  }

  // A foreign key as compared: its referenced database left out where it is
  // the key's own.
  QString keyShape(const ForeignKeyModel &k, const QString &ownDatabase) const {
    const QString database =
        k.referencedDatabase.isEmpty() || key(k.referencedDatabase) == key(ownDatabase)
            ? QString()
            : k.referencedDatabase;
    return QStringLiteral("(%1) REFERENCES %2%3 (%4) %5")
        .arg(FoldedNames(k.columns).join(QLatin1Char(',')),
             database.isEmpty() ? QString() : QuoteIdentifier(database) + QLatin1Char('.'),
             QuoteIdentifier(key(k.referencedTable)),
             FoldedNames(k.referencedColumns).join(QLatin1Char(',')), k.rules);
  }
  static QString keyText(const ForeignKeyModel &k) {
    const QString table = k.referencedDatabase.isEmpty()
                              ? QuoteIdentifier(k.referencedTable)
                              : QuoteQualified(k.referencedDatabase, k.referencedTable);
    return QStringLiteral("FOREIGN KEY (%1) REFERENCES %2 (%3)%4")
        .arg(k.columns, table, k.referencedColumns,
             k.rules.isEmpty() ? QString() : QLatin1Char(' ') + k.rules);
  }
  // A's foreign key added to a table of B.
  ScriptOperation addKey(const QString &table, const ForeignKeyModel &k) const {
    const QString database =
        k.referencedDatabase.isEmpty() || key(k.referencedDatabase) == key(a.database)
            ? b.database
            : k.referencedDatabase;
    ForeignKeyModel there = k;
    there.referencedDatabase = database;
    return {Phase::AddForeignKeys, table, 0, 0,
            QStringLiteral("ADD CONSTRAINT %1 %2").arg(QuoteIdentifier(k.name), keyText(there))};
  }
  static ScriptOperation dropKey(const QString &table, const QString &name) {
    return {Phase::DropForeignKeys, table, 0, 0,
            QStringLiteral("DROP FOREIGN KEY ") + QuoteIdentifier(name)};
  }

  void collectForeignKeys() {
    for (const TableModel &t : a.tables) {
      aObjects.insert(key(t.name));
      for (const ForeignKeyModel &k : t.foreignKeys)
        aKeys.insert(Folded(k.name), {t.name, k});
    }
    for (const ViewModel &v : a.views)
      aObjects.insert(key(v.name));
    for (const TableModel &t : b.tables)
      for (const ForeignKeyModel &k : t.foreignKeys) {
        const bool own =
            k.referencedDatabase.isEmpty() || key(k.referencedDatabase) == key(b.database);
        bKeys.append({t.name, k, FoldedNames(k.columns), own ? key(k.referencedTable) : QString(),
                      FoldedNames(k.referencedColumns)});
        bKeysByTable[key(t.name)] << bKeys.size() - 1;
        if (own && key(k.referencedTable) != key(t.name))
          bKeysByTable[key(k.referencedTable)] << bKeys.size() - 1;
      }
  }

  // The foreign keys of B that hold on to column `column` of table `table`,
  // on either side: the server refuses to change the column under them, so
  // they are dropped first and A's are added again afterwards.
  QList<ScriptOperation> keysHoldingOn(const QString &table, const QString &column) const {
    QList<ScriptOperation> operations;
    for (const qsizetype at : bKeysByTable.value(key(table))) {
      const KeyUse &use = bKeys[at];
      if (!(key(use.holder) == key(table) && use.columns.contains(column)) &&
          !(use.referencedTable == key(table) && use.referencedColumns.contains(column)))
        continue;
      operations << dropKey(use.holder, use.key.name);
      const auto again = aKeys.constFind(Folded(use.key.name));
      if (again != aKeys.constEnd() && key(again->first) == key(use.holder))
        operations << addKey(use.holder, again->second);
    }
    return operations;
  }

  void compareDatabases() {
    if (a.collation == b.collation || a.collation.isEmpty() || b.collation.isEmpty())
      return;
    const auto text = [](const SchemaModel &m) {
      return QStringLiteral("%1 / %2").arg(m.characterSet, m.collation);
    };
    differ(Kind::Changed, QStringLiteral("Datenbank"), QStringLiteral("Zeichensatz / Sortierfolge"),
           text(a), text(b));
    step(QStringLiteral("Zeichensatz der Datenbank „%1“ angleichen").arg(b.database),
         {{Phase::Database,
           {},
           0,
           0,
           QStringLiteral("ALTER DATABASE %1 CHARACTER SET %2 COLLATE %3")
               .arg(QuoteIdentifier(b.database), OptionWord(a.characterSet),
                    OptionWord(a.collation))}});
  }

  static QString tableSummary(const TableModel &t) {
    return t.columns.size() == 1 ? QStringLiteral("Tabelle, 1 Spalte")
                                 : QStringLiteral("Tabelle, %1 Spalten").arg(t.columns.size());
  }

  void compareTables() {
    QHash<QString, const TableModel *> bTables;
    for (const TableModel &t : b.tables)
      bTables.insert(key(t.name), &t);
    QSet<QString> matched;
    for (const TableModel *ta : sorted(a.tables)) {
      const auto tb = bTables.constFind(key(ta->name));
      if (tb == bTables.constEnd()) {
        createTable(*ta);
        continue;
      }
      matched.insert(key(ta->name));
      compareTable(*ta, **tb);
    }
    for (const TableModel *tb : sorted(b.tables))
      if (!matched.contains(key(tb->name)))
        dropTable(*tb);
  }

  template <typename T> static QList<const T *> sorted(const QList<T> &objects) {
    QList<const T *> list;
    for (const T &o : objects)
      list << &o;
    std::sort(list.begin(), list.end(), [](const T *x, const T *y) { return x->name < y->name; });
    return list;
  }

  void createTable(const TableModel &t) {
    differ(Kind::OnlyInA, Named("Tabelle", t.name), {}, tableSummary(t), Absent);
    // The counter of AUTO_INCREMENT belongs to A's rows, not to the table's form.
    QString options = t.createOptions;
    const qsizetype counter = SqlScan::FindWord(options, u"AUTO_INCREMENT");
    if (counter >= 0) {
      qsizetype end = counter + 14;
      while (end < options.size() && (options[end] == QLatin1Char('=') || options[end].isDigit()))
        ++end;
      options.remove(counter, SqlScan::SkipSpace(options, end) - counter);
    }
    QList<ScriptOperation> operations{
        {Phase::CreateTables,
         {},
         0,
         0,
         QStringLiteral("CREATE TABLE %1 (\n  %2\n) %3")
             .arg(inB(t.name), t.partsWithoutForeignKeys.join(QStringLiteral(",\n  ")), options)
             .trimmed()}};
    for (const ForeignKeyModel &k : t.foreignKeys)
      operations << addKey(t.name, k);
    step(QStringLiteral("Tabelle „%1“ anlegen").arg(t.name), operations);
  }

  void dropTable(const TableModel &t) {
    differ(Kind::OnlyInB, Named("Tabelle", t.name), {}, Absent, tableSummary(t));
    // Its own foreign keys go first, so that tables dropped together may
    // refer to each other in any way.
    QList<ScriptOperation> operations;
    for (const ForeignKeyModel &k : t.foreignKeys)
      operations << dropKey(t.name, k.name);
    operations << ScriptOperation{
        Phase::DropTables, {}, 0, 0, QStringLiteral("DROP TABLE ") + inB(t.name)};
    step(QStringLiteral("Tabelle „%1“ löschen").arg(t.name), operations, true);
  }

  QString comparable(const QString &definition) const {
    return dropsWidths ? WithoutIntegerWidth(definition) : definition;
  }

  // Which of a column's properties differ, each with both sides.
  void columnDifferences(const QString &object, const ColumnModel &ca, const ColumnModel &cb,
                         int positionA, int positionB, bool moved) {
    const QString column = Named("Spalte", ca.name) + QStringLiteral(": ");
    const auto flag = [](bool on) { return on ? QStringLiteral("ja") : QStringLiteral("nein"); };
    const auto value = [](const QString &v) { return v.isNull() ? QStringLiteral("keiner") : v; };
    const qsizetype before = result.differences.size();
    const auto compare = [&](const char *what, const QString &x, const QString &y) {
      if (x != y)
        differ(Kind::Changed, object, column + QString::fromUtf8(what), x, y);
    };
    if (ca.name != cb.name)
      compare("Schreibweise", ca.name, cb.name);
    compare("Typ", comparable(ca.type), comparable(cb.type));
    compare("NULL erlaubt", flag(ca.nullable), flag(cb.nullable));
    compare("Vorgabewert", value(ca.defaultValue), value(cb.defaultValue));
    compare("Extra", ca.extra, cb.extra);
    compare("Zeichensatz", ca.characterSet, cb.characterSet);
    compare("Sortierfolge", ca.collation, cb.collation);
    compare("Kommentar", ca.comment, cb.comment);
    if (moved)
      compare("Position", QString::number(positionA), QString::number(positionB));
    if (result.differences.size() == before)
      differ(Kind::Changed, object, column + QStringLiteral("Definition"), ca.definition,
             cb.definition);
  }

  void compareTable(const TableModel &ta, const TableModel &tb) {
    // The server writes alike what is alike: the same text is the same table
    // (its foreign keys within the database name no database).
    if (ta.createStatement == tb.createStatement && ta.engine == tb.engine &&
        ta.collation == tb.collation && ta.comment == tb.comment)
      return;
    const QString object = Named("Tabelle", ta.name);
    QList<ScriptOperation> main;
    QList<ScriptStep> losing;
    const auto clause = [&](int rank, int order, const QString &text) {
      return ScriptOperation{Phase::AlterTables, tb.name, rank, order, text};
    };

    // Columns.
    QHash<QString, int> bColumns;
    for (int i = 0; i < tb.columns.size(); ++i)
      bColumns.insert(Folded(tb.columns[i].name), i);
    QHash<QString, int> aColumns;
    QStringList aOrder, bOrder;
    for (int i = 0; i < ta.columns.size(); ++i) {
      aColumns.insert(Folded(ta.columns[i].name), i);
      if (bColumns.contains(Folded(ta.columns[i].name)))
        aOrder << Folded(ta.columns[i].name);
    }
    for (const ColumnModel &c : tb.columns)
      if (aColumns.contains(Folded(c.name)))
        bOrder << Folded(c.name);
    const QSet<QString> kept = KeptInOrder(aOrder, bOrder);
    for (int i = 0; i < ta.columns.size(); ++i) {
      const ColumnModel &ca = ta.columns[i];
      const QString place =
          i == 0 ? QStringLiteral(" FIRST")
                 : QStringLiteral(" AFTER ") + QuoteIdentifier(ta.columns[i - 1].name);
      const auto found = bColumns.constFind(Folded(ca.name));
      if (found == bColumns.constEnd()) {
        differ(Kind::OnlyInA, object, Named("Spalte", ca.name), ca.definition, Absent);
        main << clause(Columns, i,
                       QStringLiteral("ADD COLUMN %1 %2%3")
                           .arg(QuoteIdentifier(ca.name), ca.definition, place));
        continue;
      }
      const ColumnModel &cb = tb.columns[*found];
      const bool moved = !kept.contains(Folded(ca.name));
      const bool same = comparable(ca.definition) == comparable(cb.definition);
      if (same && !moved && ca.name == cb.name)
        continue;
      columnDifferences(object, ca, cb, i + 1, *found + 1, moved);
      const QString target = ca.name == cb.name
                                 ? QStringLiteral("MODIFY COLUMN %1").arg(QuoteIdentifier(ca.name))
                                 : QStringLiteral("CHANGE COLUMN %1 %2")
                                       .arg(QuoteIdentifier(cb.name), QuoteIdentifier(ca.name));
      const ScriptOperation change = clause(
          Columns, i, target + QLatin1Char(' ') + ca.definition + (moved ? place : QString()));
      // The server refuses to change the type of a column under a foreign key.
      const bool keysInTheWay = ca.type != cb.type || ca.characterSet != cb.characterSet ||
                                ca.collation != cb.collation || ca.nullable != cb.nullable;
      QList<ScriptOperation> keys = same || !keysInTheWay ? QList<ScriptOperation>()
                                                          : keysHoldingOn(tb.name, Folded(cb.name));
      if (!same && MayLoseData(cb, ca)) {
        losing.append({QStringLiteral("Spalte „%1“ der Tabelle „%2“ ändern (%3 → %4)")
                           .arg(ca.name, ta.name, cb.type, ca.type),
                       true, QList<ScriptOperation>{change} + keys});
      } else {
        main << change << keys;
      }
    }
    for (const ColumnModel &cb : tb.columns)
      if (!aColumns.contains(Folded(cb.name))) {
        differ(Kind::OnlyInB, object, Named("Spalte", cb.name), Absent, cb.definition);
        losing.append(
            {QStringLiteral("Spalte „%1“ der Tabelle „%2“ löschen").arg(cb.name, ta.name),
             true,
             {clause(DropColumns, 0, QStringLiteral("DROP COLUMN ") + QuoteIdentifier(cb.name))}});
      }

    compareIndexes(object, ta, tb, main);
    compareChecks(object, ta, tb, main);
    compareForeignKeys(object, ta, tb, main);

    // Table options.
    const auto option = [&](const char *what, const QString &x, const QString &y,
                            const QString &text) {
      if (x == y)
        return;
      differ(Kind::Changed, object, QString::fromUtf8(what), x, y);
      main << clause(Options, 0, text);
    };
    option("Engine", ta.engine, tb.engine, QStringLiteral("ENGINE=") + OptionWord(ta.engine));
    option("Sortierfolge", ta.collation, tb.collation,
           QStringLiteral("COLLATE=") + OptionWord(ta.collation));
    option("Kommentar", ta.comment, tb.comment,
           QStringLiteral("COMMENT='%1'").arg(EscapeStringLiteral(ta.comment)));
    option("Zeilenformat", ta.rowFormat, tb.rowFormat,
           QStringLiteral("ROW_FORMAT=") +
               (ta.rowFormat.isEmpty() ? QStringLiteral("DEFAULT") : OptionWord(ta.rowFormat)));
    QStringList otherA = ta.otherParts, otherB = tb.otherParts;
    otherA.sort();
    otherB.sort();
    if (otherA != otherB)
      differ(Kind::Changed, object, QStringLiteral("Weitere Angaben (werden nicht angeglichen)"),
             otherA.join(QLatin1Char('\n')), otherB.join(QLatin1Char('\n')));
    step(QStringLiteral("Tabelle „%1“ angleichen").arg(ta.name), main);
    // What may lose data comes after the rest of the table, each to choose alone.
    result.steps << losing;
  }

  void compareIndexes(const QString &object, const TableModel &ta, const TableModel &tb,
                      QList<ScriptOperation> &main) {
    const auto drop = [&](const IndexModel &i) {
      return ScriptOperation{Phase::AlterTables, tb.name, DropKeys, 0,
                             i.primary() ? QStringLiteral("DROP PRIMARY KEY")
                                         : QStringLiteral("DROP INDEX ") + QuoteIdentifier(i.name)};
    };
    const auto add = [&](const IndexModel &i) {
      return ScriptOperation{Phase::AlterTables, tb.name, AddKeys, 0,
                             QStringLiteral("ADD ") + i.definition};
    };
    QHash<QString, const IndexModel *> bIndexes;
    for (const IndexModel &i : tb.indexes)
      bIndexes.insert(Folded(i.name), &i);
    QList<const IndexModel *> onlyA, onlyB;
    for (const IndexModel &ia : ta.indexes) {
      const IndexModel *ib = bIndexes.take(Folded(ia.name));
      if (!ib) {
        onlyA << &ia;
      } else if (ia.shape != ib->shape) {
        differ(Kind::Changed, object, Named("Index", ia.name), ia.definition, ib->definition);
        main << drop(*ib) << add(ia);
      }
    }
    for (const IndexModel &ib : tb.indexes)
      if (bIndexes.contains(Folded(ib.name)))
        onlyB << &ib;
    // An index of B that A has under another name is renamed, not built anew.
    for (const IndexModel *ib : QList<const IndexModel *>(onlyB)) {
      const auto same = std::find_if(onlyA.begin(), onlyA.end(), [&](const IndexModel *ia) {
        return !ia->primary() && !ib->primary() && ia->shape == ib->shape;
      });
      if (same == onlyA.end() || !RenamesIndexes(b.serverVersion))
        continue;
      differ(Kind::Changed, object, Named("Index", (*same)->name), (*same)->definition,
             ib->definition);
      main << ScriptOperation{Phase::AlterTables, tb.name, AddKeys, 0,
                              QStringLiteral("RENAME INDEX %1 TO %2")
                                  .arg(QuoteIdentifier(ib->name), QuoteIdentifier((*same)->name))};
      onlyA.erase(same);
      onlyB.removeOne(ib);
    }
    for (const IndexModel *ia : onlyA) {
      differ(Kind::OnlyInA, object, Named("Index", ia->name), ia->definition, Absent);
      main << add(*ia);
    }
    for (const IndexModel *ib : onlyB) {
      differ(Kind::OnlyInB, object, Named("Index", ib->name), Absent, ib->definition);
      main << drop(*ib);
    }
  }

  // RENAME INDEX: MariaDB 10.5.2 and MySQL 5.7 on.
  static bool RenamesIndexes(const QString &version) {
    return VersionNumber(version) >=
           (version.contains(QLatin1String("MariaDB"), Qt::CaseInsensitive) ? 100502 : 50700);
  }

  // Pairs the constraints of a table in A and B by name: one only A has is
  // added, one only B has dropped, one that differs dropped and added again.
  template <typename T, typename Alike, typename Text, typename Add, typename Drop>
  void compareNamed(const char *kind, const QString &object, const QList<T> &inA,
                    const QList<T> &inB, Alike alike, Text text, Add add, Drop drop,
                    QList<ScriptOperation> &main) {
    QHash<QString, const T *> onlyB;
    for (const T &x : inB)
      onlyB.insert(Folded(x.name), &x);
    for (const T &x : inA) {
      const T *y = onlyB.take(Folded(x.name));
      if (!y) {
        differ(Kind::OnlyInA, object, Named(kind, x.name), text(x), Absent);
        main << add(x);
      } else if (!alike(x, *y)) {
        differ(Kind::Changed, object, Named(kind, x.name), text(x), text(*y));
        main << drop(*y) << add(x);
      }
    }
    for (const T &y : inB)
      if (onlyB.contains(Folded(y.name))) {
        differ(Kind::OnlyInB, object, Named(kind, y.name), Absent, text(y));
        main << drop(y);
      }
  }

  void compareChecks(const QString &object, const TableModel &ta, const TableModel &tb,
                     QList<ScriptOperation> &main) {
    compareNamed(
        "CHECK", object, ta.checks, tb.checks,
        [](const CheckModel &x, const CheckModel &y) { return x.clause == y.clause; },
        [](const CheckModel &c) { return c.clause; },
        [&](const CheckModel &c) {
          return ScriptOperation{
              Phase::AlterTables, tb.name, AddChecks, 0,
              QStringLiteral("ADD CONSTRAINT %1 %2").arg(QuoteIdentifier(c.name), c.clause)};
        },
        [&](const CheckModel &c) {
          return ScriptOperation{Phase::AlterTables, tb.name, DropKeys, 0,
                                 QStringLiteral("DROP CONSTRAINT ") + QuoteIdentifier(c.name)};
        },
        main);
  }

  void compareForeignKeys(const QString &object, const TableModel &ta, const TableModel &tb,
                          QList<ScriptOperation> &main) {
    compareNamed(
        "Fremdschlüssel", object, ta.foreignKeys, tb.foreignKeys,
        [&](const ForeignKeyModel &x, const ForeignKeyModel &y) {
          return keyShape(x, a.database) == keyShape(y, b.database);
        },
        keyText, [&](const ForeignKeyModel &k) { return addKey(tb.name, k); },
        [&](const ForeignKeyModel &k) { return dropKey(tb.name, k.name); }, main);
  }

  static QString viewText(const ViewModel &v) {
    QString text = QStringLiteral("ALGORITHM=%1 SQL SECURITY %2 VIEW AS %3")
                       .arg(v.algorithm, v.security, v.definition);
    if (v.checkOption == QLatin1String("CASCADED") || v.checkOption == QLatin1String("LOCAL"))
      text += QStringLiteral(" WITH %1 CHECK OPTION").arg(v.checkOption);
    return text;
  }
  QString createView(const ViewModel &v, bool replace) const {
    const auto word = [](const QString &w, std::initializer_list<const char *> allowed) {
      for (const char *a : allowed)
        if (w == QLatin1String(a))
          return w;
      return QString();
    };
    QString text = replace ? QStringLiteral("CREATE OR REPLACE") : QStringLiteral("CREATE");
    if (const QString algorithm = word(v.algorithm, {"UNDEFINED", "MERGE", "TEMPTABLE"});
        !algorithm.isEmpty())
      text += QStringLiteral(" ALGORITHM=") + algorithm;
    if (const QString security = word(v.security, {"DEFINER", "INVOKER"}); !security.isEmpty())
      text += QStringLiteral(" SQL SECURITY ") + security;
    text += QStringLiteral(" VIEW %1 AS %2").arg(inB(v.name), asInB(v.definition));
    if (const QString check = word(v.checkOption, {"CASCADED", "LOCAL"}); !check.isEmpty())
      text += QStringLiteral(" WITH %1 CHECK OPTION").arg(check);
    return text;
  }

  // A's views, each after those it reads.
  QList<const ViewModel *> viewsInOrder() const {
    QHash<QString, const ViewModel *> views;
    for (const ViewModel &v : a.views)
      views.insert(key(v.name), &v);
    QList<const ViewModel *> order;
    QSet<QString> placed, visiting;
    std::function<void(const ViewModel *)> place = [&](const ViewModel *v) {
      const QString k = key(v->name);
      if (placed.contains(k) || visiting.contains(k))
        return;
      visiting.insert(k);
      SqlScan::ForEachQualified(v->definition, a.database,
                                [&](const QString &name, QChar, qsizetype, qsizetype) {
                                  if (const ViewModel *used = views.value(key(name)))
                                    place(used);
                                });
      placed.insert(k);
      order << v;
    };
    for (const ViewModel *v : sorted(a.views))
      place(v);
    return order;
  }

  void compareViews() {
    QHash<QString, const ViewModel *> bViews;
    for (const ViewModel &v : b.views)
      bViews.insert(key(v.name), &v);
    for (const ViewModel *va : viewsInOrder()) {
      const ViewModel *vb = bViews.take(key(va->name));
      ViewModel there = *va;
      there.definition = asInB(va->definition);
      if (!vb) {
        differ(Kind::OnlyInA, Named("Sicht", va->name), {}, viewText(*va), Absent);
        step(QStringLiteral("Sicht „%1“ anlegen").arg(va->name),
             {{Phase::CreateViews, {}, 0, 0, createView(*va, false)}});
      } else if (viewText(there) != viewText(*vb)) {
        differ(Kind::Changed, Named("Sicht", va->name), QStringLiteral("Definition"), viewText(*va),
               viewText(*vb));
        step(QStringLiteral("Sicht „%1“ ändern").arg(va->name),
             {{Phase::CreateViews, {}, 0, 0, createView(*va, true)}});
      }
    }
    for (const ViewModel *vb : sorted(b.views))
      if (bViews.contains(key(vb->name))) {
        differ(Kind::OnlyInB, Named("Sicht", vb->name), {}, Absent, viewText(*vb));
        step(QStringLiteral("Sicht „%1“ löschen").arg(vb->name),
             {{Phase::DropViews, {}, 0, 0, QStringLiteral("DROP VIEW ") + inB(vb->name)}});
      }
  }

  static QString triggerText(const TriggerModel &t) {
    return QStringLiteral("%1 %2 ON %3 FOR EACH ROW %4")
        .arg(t.timing, t.event, QuoteIdentifier(t.table), t.body);
  }

  // Triggers fire in the order of their group (table, time, event): a group
  // that differs in any way is made anew in A's order.
  void compareTriggers() {
    using Group = std::tuple<QString, QString, QString>;
    std::map<Group, std::pair<QList<const TriggerModel *>, QList<const TriggerModel *>>> groups;
    QList<Group> order;
    const auto groupOf = [&](const TriggerModel &t) {
      const Group g{key(t.table), t.timing, t.event};
      if (!groups.count(g))
        order << g;
      return g;
    };
    for (const TriggerModel &t : a.triggers)
      groups[groupOf(t)].first << &t;
    QHash<QString, QString> bTableNames;
    for (const TableModel &t : b.tables)
      bTableNames.insert(key(t.name), t.name);
    for (const TriggerModel &t : b.triggers)
      groups[groupOf(t)].second << &t;
    for (const Group &g : order) {
      const auto &[inA, inBGroup] = groups[g];
      // Triggers of a table that only B has go with the table.
      if (inA.isEmpty() && !aObjects.contains(std::get<0>(g)))
        continue;
      const auto same = [&](const TriggerModel *x, const TriggerModel *y) {
        return key(x->name) == key(y->name) && asInB(x->body) == y->body &&
               x->sqlMode == y->sqlMode;
      };
      if (std::equal(inA.begin(), inA.end(), inBGroup.begin(), inBGroup.end(), same))
        continue;
      for (qsizetype i = 0; i < inA.size(); ++i) {
        const TriggerModel *t = inA[i];
        const auto other = std::find_if(inBGroup.begin(), inBGroup.end(),
                                        [&](auto *y) { return key(y->name) == key(t->name); });
        if (other == inBGroup.end())
          differ(Kind::OnlyInA, Named("Trigger", t->name), {}, triggerText(*t), Absent);
        else if (!same(t, *other))
          differ(Kind::Changed, Named("Trigger", t->name), QStringLiteral("Definition"),
                 triggerText(*t), triggerText(**other));
        else if (other - inBGroup.begin() != i)
          differ(Kind::Changed, Named("Trigger", t->name), QStringLiteral("Reihenfolge"),
                 QString::number(i + 1), QString::number(other - inBGroup.begin() + 1));
      }
      for (const TriggerModel *t : inBGroup)
        if (std::none_of(inA.begin(), inA.end(),
                         [&](auto *x) { return key(x->name) == key(t->name); }))
          differ(Kind::OnlyInB, Named("Trigger", t->name), {}, Absent, triggerText(*t));
      QList<ScriptOperation> operations;
      for (const TriggerModel *t : inBGroup)
        operations << ScriptOperation{
            Phase::DropTriggers, {}, 0, 0, QStringLiteral("DROP TRIGGER ") + inB(t->name)};
      for (const TriggerModel *t : inA) {
        const QString table = bTableNames.value(key(t->table), t->table);
        // A trigger keeps the sql_mode it was made in.
        operations
            << ScriptOperation{Phase::CreateTriggers,
                               {},
                               0,
                               0,
                               QStringLiteral("SET SESSION sql_mode = '%1'")
                                   .arg(EscapeStringLiteral(t->sqlMode))}
            << ScriptOperation{Phase::CreateTriggers,
                               {},
                               0,
                               0,
                               QStringLiteral("CREATE TRIGGER %1 %2 %3 ON %4 FOR EACH ROW %5")
                                   .arg(inB(t->name), t->timing, t->event, inB(table),
                                        asInB(t->body))}
            << ScriptOperation{Phase::CreateTriggers,
                               {},
                               0,
                               0,
                               QStringLiteral("SET SESSION sql_mode = '%1'").arg(ScriptSqlMode)};
      }
      const TriggerModel *any = inA.isEmpty() ? inBGroup.first() : inA.first();
      step(QStringLiteral("Trigger %1 %2 der Tabelle „%3“ angleichen")
               .arg(any->timing, any->event, any->table),
           operations);
    }
  }

  struct KeyUse {
    QString holder; // the table of B that holds the key
    ForeignKeyModel key;
    QStringList columns;
    QString referencedTable; // key() of it; empty when it lies in another database
    QStringList referencedColumns;
  };

  const SchemaModel &a;
  const SchemaModel &b;
  const bool foldTables;
  const bool dropsWidths;
  SchemaComparison result;
  Area area = Area::Database;                                // of the differences found now
  QSet<QString> aObjects;                                    // key() of A's tables and views
  QHash<QString, std::pair<QString, ForeignKeyModel>> aKeys; // by folded name: table, key
  QList<KeyUse> bKeys;
  QHash<QString, QList<qsizetype>> bKeysByTable; // key() of a table: its keys and those to it
};

} // namespace

bool MayLoseData(const ColumnModel &from, const ColumnModel &to) {
  if (from.type.isEmpty() || to.type.isEmpty())
    return true; // not known: assume the worst
  if (!Holds(ReadType(from.type), ReadType(to.type)))
    return true;
  if (!from.characterSet.isEmpty() && !to.characterSet.isEmpty() &&
      from.characterSet != to.characterSet && to.characterSet != QLatin1String("utf8mb4"))
    return true;
  const auto generated = [](const ColumnModel &c) {
    return c.extra.contains(QLatin1String("GENERATED"), Qt::CaseInsensitive);
  };
  return generated(to) && !generated(from);
}

SchemaComparison CompareSchemas(const SchemaModel &a, const SchemaModel &b) {
  return Comparer(a, b).run();
}
