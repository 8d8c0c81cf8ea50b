#include "structure/StructureStatements.h"

#include "clientlib/SqlText.h"

#include <stdexcept>

namespace {

QString AlterTable(const QString &database, const QString &table) {
  return QStringLiteral("ALTER TABLE ") + QuoteQualified(database, table) + QLatin1Char(' ');
}

QString QuotedNames(const QStringList &names) {
  QStringList quoted;
  for (const QString &name : names)
    quoted << QuoteIdentifier(name);
  return QLatin1Char('(') + quoted.join(QStringLiteral(", ")) + QLatin1Char(')');
}

QString PartList(const QList<IndexPart> &parts) {
  QStringList written;
  for (const IndexPart &part : parts) {
    QString text = QuoteIdentifier(part.column);
    if (part.prefixLength > 0)
      text += QStringLiteral("(%1)").arg(part.prefixLength);
    if (part.descending)
      text += QStringLiteral(" DESC");
    written << text;
  }
  return QLatin1Char('(') + written.join(QStringLiteral(", ")) + QLatin1Char(')');
}

// An action is written only when it is one of the known words.
QString Action(const QString &action) {
  if (!ReferentialActions().contains(action))
    throw std::invalid_argument("unknown referential action");
  return action;
}

} // namespace

const QStringList &ReferentialActions() {
  static const QStringList actions{QStringLiteral("RESTRICT"), QStringLiteral("CASCADE"),
                                   QStringLiteral("SET NULL"), QStringLiteral("NO ACTION")};
  return actions;
}

QString AddIndexStatement(const QString &database, const QString &table,
                          const IndexDefinition &index) {
  QString add = AlterTable(database, table) + QStringLiteral("ADD ");
  if (index.kind == IndexKind::Primary)
    return add + QStringLiteral("PRIMARY KEY ") + PartList(index.parts);
  if (index.kind != IndexKind::Index)
    add += IndexKindName(index.kind) + QLatin1Char(' ');
  return add + QStringLiteral("INDEX ") + QuoteIdentifier(index.name) + QLatin1Char(' ') +
         PartList(index.parts);
}

QString DropIndexStatement(const QString &database, const QString &table, const QString &name) {
  if (name == QLatin1String("PRIMARY"))
    return AlterTable(database, table) + QStringLiteral("DROP PRIMARY KEY");
  return AlterTable(database, table) + QStringLiteral("DROP INDEX ") + QuoteIdentifier(name);
}

QString AddForeignKeyStatement(const QString &database, const QString &table,
                               const ForeignKeyDefinition &key) {
  QString add = AlterTable(database, table) + QStringLiteral("ADD ");
  if (!key.name.isEmpty())
    add += QStringLiteral("CONSTRAINT ") + QuoteIdentifier(key.name) + QLatin1Char(' ');
  return add + QStringLiteral("FOREIGN KEY ") + QuotedNames(key.columns) +
         QStringLiteral(" REFERENCES ") +
         QuoteQualified(key.referencedDatabase, key.referencedTable) + QLatin1Char(' ') +
         QuotedNames(key.referencedColumns) + QStringLiteral(" ON DELETE ") + Action(key.onDelete) +
         QStringLiteral(" ON UPDATE ") + Action(key.onUpdate);
}

QString DropForeignKeyStatement(const QString &database, const QString &table,
                                const QString &name) {
  return AlterTable(database, table) + QStringLiteral("DROP FOREIGN KEY ") + QuoteIdentifier(name);
}
