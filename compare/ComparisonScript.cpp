#include "compare/ComparisonScript.h"

#include "clientlib/SqlText.h"

#include <algorithm>

namespace {

struct Alter {
  QString table;
  QList<ScriptOperation> clauses;
};

} // namespace

QList<ComparisonStatement> BuildScript(const SchemaComparison &comparison,
                                       const QList<bool> &chosen) {
  QList<ComparisonStatement> script;
  for (int phase = static_cast<int>(ScriptPhase::Database);
       phase <= static_cast<int>(ScriptPhase::CreateTriggers); ++phase) {
    // In the order of their first use: statements of their own, and one
    // ALTER TABLE for each table.
    QList<ComparisonStatement> statements;
    QList<Alter> alters;
    QList<int> alterAt; // the place in `statements` of each ALTER
    for (int s = 0; s < comparison.steps.size(); ++s) {
      if (!chosen.value(s))
        continue;
      for (const ScriptOperation &op : comparison.steps[s].operations) {
        if (static_cast<int>(op.phase) != phase)
          continue;
        if (op.table.isEmpty()) {
          statements.append({op.text, {s}});
          continue;
        }
        auto alter = std::find_if(alters.begin(), alters.end(),
                                  [&](const Alter &a) { return a.table == op.table; });
        if (alter == alters.end()) {
          alters.append({op.table, {}});
          alterAt << statements.size();
          statements.append(ComparisonStatement{});
          alter = std::prev(alters.end());
        }
        ComparisonStatement &statement = statements[alterAt[alter - alters.begin()]];
        if (!statement.steps.contains(s))
          statement.steps << s;
        const bool twice = std::any_of(alter->clauses.begin(), alter->clauses.end(),
                                       [&](const ScriptOperation &c) { return c.text == op.text; });
        if (!twice)
          alter->clauses << op;
      }
    }
    for (int i = 0; i < alters.size(); ++i) {
      QList<ScriptOperation> &clauses = alters[i].clauses;
      std::stable_sort(clauses.begin(), clauses.end(),
                       [](const ScriptOperation &x, const ScriptOperation &y) {
                         return std::pair(x.rank, x.order) < std::pair(y.rank, y.order);
                       });
      QStringList texts;
      for (const ScriptOperation &c : clauses)
        texts << c.text;
      statements[alterAt[i]].text = QStringLiteral("ALTER TABLE %1\n  %2")
                                        .arg(QuoteQualified(comparison.databaseB, alters[i].table),
                                             texts.join(QStringLiteral(",\n  ")));
    }
    script << statements;
  }
  return script;
}

QString ScriptModeStatement() {
  return QStringLiteral("SET SESSION sql_mode = '%1'").arg(ScriptSqlMode);
}

QString ScriptFileText(const SchemaComparison &comparison,
                       const QList<ComparisonStatement> &statements, QList<qint64> *lines) {
  QString text = QStringLiteral("-- Quellwerk: macht die Datenbank „%1“ gleich der Datenbank „%2“\n"
                                "SET NAMES utf8mb4;\nSET @qw_old_sql_mode = @@SESSION.sql_mode;\n"
                                "%3;\n")
                     .arg(comparison.databaseB, comparison.databaseA, ScriptModeStatement());
  qint64 line = 5;
  for (const ComparisonStatement &s : statements) {
    const bool delimited = s.text.contains(QLatin1Char(';'));
    QString delimiter = QStringLiteral(";;");
    while (delimited && s.text.contains(delimiter))
      delimiter += QLatin1Char(';');
    if (lines)
      *lines << line + 1 + (delimited ? 1 : 0);
    text += delimited ? QStringLiteral("\nDELIMITER %1\n%2%1\nDELIMITER ;\n").arg(delimiter, s.text)
                      : QStringLiteral("\n%1;\n").arg(s.text);
    line += 2 + s.text.count(QLatin1Char('\n')) + (delimited ? 2 : 0);
  }
  return text + QStringLiteral("\nSET SESSION sql_mode = @qw_old_sql_mode;\n");
}
