#include "compare/ScriptRunner.h"

#include "clientlib/SchemaCalls.h"

namespace {

QString FirstLine(const QString &statement) {
  const QString line = statement.section(QLatin1Char('\n'), 0, 0);
  return line.size() > 120 ? line.left(120) + QStringLiteral(" …") : line;
}

} // namespace

ScriptRun RunScript(ServerSession &session, const QList<ScriptStatement> &statements,
                    const std::function<void(int)> &started) {
  ScriptRun run;
  run.failure =
      SendScriptStatement(session, QStringLiteral("Bereite das Skript vor ..."), ScriptPrologue());
  if (!run.failure.ok)
    return run;
  for (int i = 0; i < statements.size(); ++i) {
    if (started)
      started(i);
    const ServerReply reply = SendScriptStatement(session,
                                                  QStringLiteral("Anweisung %1 von %2:\n%3")
                                                      .arg(i + 1)
                                                      .arg(statements.size())
                                                      .arg(FirstLine(statements[i].text)),
                                                  statements[i].text);
    if (session.lastCallCancelled())
      run.cancelled = true;
    if (!reply.ok) {
      run.failed = i;
      run.failure = reply;
      break;
    }
    ++run.done;
    if (run.cancelled)
      break;
  }
  SendScriptStatement(session, QStringLiteral("Schließe das Skript ab ..."), ScriptEpilogue());
  return run;
}

QString ScriptRunReport(const ScriptRun &run, const QList<ScriptStatement> &statements) {
  const QString ran = QStringLiteral("%1 von %2 Anweisungen wurden ausgeführt.")
                          .arg(run.done)
                          .arg(statements.size());
  if (run.cancelled)
    return QStringLiteral("Abgebrochen bei Anweisung %1. %2")
        .arg(run.failed >= 0 ? run.failed + 1 : run.done)
        .arg(ran);
  if (run.failed >= 0)
    return QStringLiteral("Anweisung %1 ist fehlgeschlagen:\n\n%2\n\nDer Server meldet: %3\n\n%4 "
                          "Die Anweisungen danach wurden nicht gesendet.")
        .arg(run.failed + 1)
        .arg(FirstLine(statements[run.failed].text), run.failure.error, ran);
  if (!run.failure.ok)
    return QStringLiteral("Das Skript konnte nicht beginnen: %1\n\nEs wurde nichts geändert.")
        .arg(run.failure.error);
  return ran;
}
