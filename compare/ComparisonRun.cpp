#include "compare/ComparisonRun.h"

#include "sqlfile/StatementSplitter.h"

namespace {

// The statements as the runner takes them: first the script's sql_mode,
// then the chosen ones.
class ChosenStatements : public StatementSource {
public:
  explicit ChosenStatements(const QList<ComparisonStatement> &statements) {
    QStringList texts{ScriptModeStatement()};
    for (const ComparisonStatement &s : statements)
      texts << s.text;
    for (const QString &text : texts) {
      ScriptStatement statement;
      statement.text = text.toUtf8();
      statement.firstWord = FirstWord(statement.text);
      statement.number = static_cast<qint64>(m_statements.size()) + 1;
      m_end += statement.text.size() + 1;
      statement.end = m_end;
      m_statements << statement;
    }
  }
  qint64 bytes() const { return m_end; }

  void begin(bool, qint64) override {}
  void modeSet(bool) override {} // the statements are whole already
  bool next(ScriptStatement &statement) override {
    if (m_next >= m_statements.size())
      return false;
    statement = m_statements[m_next++];
    return true;
  }

private:
  QList<ScriptStatement> m_statements;
  qsizetype m_next = 0;
  qint64 m_end = 0;
};

QString Opening(const QString &statement) {
  const QString line = statement.section(QLatin1Char('\n'), 0, 0);
  return line.size() > 120 ? line.left(120) + QStringLiteral(" …") : line;
}

} // namespace

qsizetype ComparisonRun::done() const { return std::max<qint64>(outcome.ran - 1, 0); }

bool ComparisonRun::complete() const {
  return lost.isEmpty() && outcome.databaseSelected && outcome.failed.number == 0 &&
         !outcome.stopped && done() == statements;
}

ComparisonRun RunComparison(ServerSession &session, const SchemaComparison &comparison,
                            const QList<ComparisonStatement> &statements, JobProgress &progress) {
  ChosenStatements source(statements);
  progress.bytesTotal = source.bytes();
  ComparisonRun run;
  run.statements = statements.size();
  run.outcome = RunScript(
      session, QStringLiteral("Das Skript wird auf „%1“ ausgeführt ...").arg(comparison.databaseB),
      comparison.databaseB, source, progress);
  return run;
}

QString ComparisonRunReport(const ComparisonRun &run, const SchemaComparison &comparison,
                            const QList<ComparisonStatement> &statements) {
  const QString ran = QStringLiteral("%1 von %2 Anweisungen wurden ausgeführt.")
                          .arg(run.done())
                          .arg(run.statements);
  if (!run.lost.isEmpty())
    return QStringLiteral("Die Verbindung zum Server ist abgebrochen: %1\n\nOb die Anweisungen "
                          "bis dahin ausgeführt wurden, ist nicht bekannt; vergleichen Sie neu.")
        .arg(run.lost);
  if (!run.outcome.databaseSelected)
    return QStringLiteral("Die Datenbank „%1“ konnte nicht gewählt werden: %2\n\nEs wurde nichts "
                          "ausgeführt.")
        .arg(comparison.databaseB, run.outcome.reply.error);
  if (run.outcome.stopped)
    return QStringLiteral("Abgebrochen. %1").arg(ran);
  const qint64 failed = run.outcome.failed.number - 2; // the sql_mode comes first
  if (failed == -1)
    return QStringLiteral("Das Skript konnte nicht beginnen: %1\n\nEs wurde nichts ausgeführt.")
        .arg(run.outcome.reply.error);
  if (failed < 0 || failed >= statements.size())
    return ran;
  QList<qint64> lines;
  ScriptFileText(comparison, statements, &lines);
  return QStringLiteral("Anweisung %1 (Zeile %2 des Skripts) ist fehlgeschlagen:\n\n%3\n\nDer "
                        "Server meldet: %4\n\n%5 Die Anweisungen danach wurden nicht gesendet.")
      .arg(failed + 1)
      .arg(lines.value(failed))
      .arg(Opening(statements[failed].text), run.outcome.reply.error, ran);
}
