#include "sqlfile/SqlFileCommands.h"

#include "clientlib/SchemaExport.h"
#include "clientlib/ServerSession.h"
#include "commands/CommandEdge.h"
#include "common/Interaction.h"
#include "connection/SavedConnections.h"
#include "sqlfile/ExportForm.h"
#include "sqlfile/ProgressWindow.h"
#include "sqlfile/SchemaScript.h"
#include "sqlfile/ScriptFile.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>

namespace {

const QString ExportTitle = QStringLiteral("Struktur exportieren");
const QString RunTitle = QStringLiteral("SQL-Datei ausführen");
const QStringList SqlFilters{QStringLiteral("SQL-Dateien (*.sql)"),
                             QStringLiteral("Alle Dateien (*)")};

QString Number(qint64 n) { return QLocale(QLocale::German).toString(n); }

QString Size(qint64 bytes) {
  const QLocale german(QLocale::German);
  if (bytes < 1000 * 1000)
    return german.toString(double(bytes) / 1000, 'f', 1) + QStringLiteral(" kB");
  return german.toString(double(bytes) / 1000 / 1000, 'f', 1) + QStringLiteral(" MB");
}

QString Duration(qint64 seconds) {
  const qint64 h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
  const QString ms = QStringLiteral("%1:%2")
                         .arg(m, h ? 2 : 1, 10, QLatin1Char('0'))
                         .arg(s, 2, 10, QLatin1Char('0'));
  return h ? QStringLiteral("%1:%2 h").arg(h).arg(ms) : ms + QStringLiteral(" min");
}

// What of a script ran when it ended after `ran` statements.
QString RanUpTo(qint64 ran) {
  if (ran == 0)
    return QStringLiteral("Es wurde keine Anweisung ausgeführt.");
  const QString rest =
      QStringLiteral("Anweisung %1 und alle folgenden nicht.").arg(Number(ran + 1));
  if (ran == 1)
    return QStringLiteral("Ausgeführt wurde nur Anweisung 1; ") + rest;
  return QStringLiteral("Ausgeführt wurden die Anweisungen 1 bis %1; ").arg(Number(ran)) + rest;
}

} // namespace

ProgressView FileRunFigures(const JobProgress &p, qint64 elapsedMs) {
  const qint64 bytes = p.bytes, total = p.bytesTotal;
  ProgressView view;
  view.perMille = total > 0 ? int(bytes * 1000 / total) : -1;
  view.figures =
      QStringLiteral("%1 von %2 · %3 Anweisungen").arg(Size(bytes), Size(total), Number(p.done));
  if (bytes > 0 && bytes < total && elapsedMs >= 1000)
    view.figures +=
        QStringLiteral(" · noch etwa ") + Duration((total - bytes) * elapsedMs / bytes / 1000 + 1);
  return view;
}

namespace {

ProgressView ExportFigures(const JobProgress &p, qint64) {
  const qint64 total = p.total;
  if (total == 0)
    return {-1, QStringLiteral("Die Objekte der Datenbank werden aufgelistet ...")};
  return {int(p.done * 1000 / total),
          QStringLiteral("%1 von %2 Objekten gelesen").arg(Number(p.done), Number(total))};
}

// The start of a statement, for a message.
QString Opening(const QByteArray &text) {
  constexpr qsizetype Shown = 300;
  QString shown = QString::fromUtf8(text.left(Shown));
  if (text.size() > Shown)
    shown += QStringLiteral(" ...");
  return shown;
}

QString Refusal(const ServerReply &reply) {
  return reply.errorNumber ? QStringLiteral("Fehler %1: %2").arg(reply.errorNumber).arg(reply.error)
                           : reply.error;
}

} // namespace

QString FileRunFailure(const ScriptOutcome &outcome, const ScriptFile &file) {
  if (outcome.stopped)
    return QStringLiteral("Abgebrochen. ") + RanUpTo(outcome.ran);
  if (outcome.failed.number > 0)
    return QStringLiteral("Anweisung %1 (ab Zeile %2) ist fehlgeschlagen:\n%3\n\nSie beginnt "
                          "so:\n%4\n\n")
               .arg(Number(outcome.failed.number), Number(outcome.failed.line),
                    Refusal(outcome.reply), Opening(outcome.failed.text)) +
           RanUpTo(outcome.ran);
  if (!file.failure().isEmpty())
    return file.failure() + QStringLiteral(".\n\n") + RanUpTo(outcome.ran);
  return {};
}

void SqlFileCommands::addDatabaseEntries(QMenu &menu, const QString &database) {
  QWidget *window = m_window;
  QAction *exportAction =
      menu.addAction(QStringLiteral("Struktur &exportieren..."), window, [this, window, database] {
        m_edge.run(window, [&] { ExportStructure(database); });
      });
  exportAction->setObjectName(QStringLiteral("ExportStructureAction"));
  QAction *runAction =
      menu.addAction(QStringLiteral("SQL-Datei &ausführen..."), window,
                     [this, window, database] { m_edge.run(window, [&] { RunFile(database); }); });
  runAction->setObjectName(QStringLiteral("RunFileAction"));
}

void SqlFileCommands::addTableEntries(QMenu &menu, const QString &database,
                                      const QStringList &tables) {
  QWidget *window = m_window;
  QAction *exportAction = menu.addAction(
      QStringLiteral("Struktur &exportieren..."), window, [this, window, database, tables] {
        m_edge.run(window, [&] { ExportStructure(database, tables); });
      });
  exportAction->setObjectName(QStringLiteral("ExportStructureAction"));
}

void SqlFileCommands::ExportStructure(const QString &database, const QStringList &tables) {
  if (!ConnectedOrSaySo(m_session, m_window))
    return;
  const bool whole = tables.isEmpty();
  const QString what =
      whole ? QStringLiteral("Die Struktur der Datenbank „%1“ (Tabellen, Sichten und Trigger) "
                             "wird als SQL in eine Datei geschrieben.")
                  .arg(database)
            : QStringLiteral("Die Struktur von „%1“ (mit den Triggern) aus der Datenbank „%2“ "
                             "wird als SQL in eine Datei geschrieben.")
                  .arg(tables.join(QStringLiteral("“, „")), database);
  TExportForm form(what, whole, m_window);
  const QString folder = m_folder.isEmpty() ? QDir::homePath() : m_folder;
  QString name = whole ? database : tables.first();
  name.replace(QLatin1Char('/'), QLatin1Char('_')).remove(QChar(0)); // a name, never a path
  form.FileEd->setText(
      QDir::toNativeSeparators(folder + QLatin1Char('/') + name + QStringLiteral(".sql")));
  if (ExecModal(form) != QDialog::Accepted)
    return;
  const QString path = form.FileEd->text();
  const SchemaRequest request{database, tables, form.CreateDatabaseCheck->isChecked(),
                              whole && form.RoutinesCheck->isChecked(),
                              whole && form.EventsCheck->isChecked()};

  JobProgress progress;
  SchemaRead read;
  const QString reading = QStringLiteral("Die Struktur von „%1“ wird gelesen ...").arg(database);
  WithProgressWindow(ExportTitle, reading, progress, ExportFigures,
                     [&] { read = ReadSchema(m_session, reading, request, progress); });
  m_lists.RefreshLists();
  const QString nothingWritten = QStringLiteral("Es wurde keine Datei geschrieben.");
  if (read.stopped) {
    ShowMessage(m_window, QStringLiteral("Der Export wurde abgebrochen. ") + nothingWritten);
    return;
  }
  if (!read.missing.isEmpty()) {
    ShowMessage(m_window, QStringLiteral("„%1“ gibt es in der Datenbank „%2“ nicht mehr. ")
                                  .arg(read.missing.join(QStringLiteral("“, „")), database) +
                              nothingWritten);
    return;
  }
  if (!read.reply.ok) {
    ShowMessage(m_window,
                QStringLiteral("Die Struktur von „%1“ konnte nicht gelesen werden. %2\n\n%3\n%4")
                    .arg(database, nothingWritten, read.refusedWhat, Refusal(read.reply)));
    return;
  }
  const QByteArray script = SchemaScript(read, database, ProductTitle);
  const std::optional<QString> failure = m_session.aside(
      QStringLiteral("Die Datei „%1“ wird geschrieben ...").arg(path), [path, script] {
        QString reason;
        return ReplaceFile(path, script, FileAccess::Shared, &reason) ? QString() : reason;
      });
  if (!failure) {
    ShowMessage(m_window, QStringLiteral("Das Warten auf die Datei „%1“ wurde aufgegeben: sie "
                                         "wird fertig geschrieben oder bleibt, wie sie war.")
                              .arg(path));
    return;
  }
  if (!failure->isEmpty()) {
    ShowMessage(
        m_window,
        QStringLiteral("Die Datei „%1“ konnte nicht geschrieben werden: %2.").arg(path, *failure));
    return;
  }
  m_folder = QFileInfo(path).absolutePath();
}

void SqlFileCommands::RunFile(const QString &database) {
  if (!ConnectedOrSaySo(m_session, m_window))
    return;
  QFileDialog dialog(m_window, RunTitle);
  dialog.setObjectName(QStringLiteral("RunFileDialog"));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters(SqlFilters);
  dialog.setDirectory(m_folder.isEmpty() ? QDir::homePath() : m_folder);
  if (ExecModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    return;
  RunFile(database, dialog.selectedFiles().first());
}

void SqlFileCommands::RunFile(const QString &database, const QString &path) {
  if (!ConnectedOrSaySo(m_session, m_window))
    return;
  const QString name = QFileInfo(path).fileName();
  ScriptFile file;
  if (!file.open(path)) {
    ShowMessage(m_window, QStringLiteral("„%1“: %2.").arg(path, file.failure()));
    return;
  }
  if (ShowMessage(m_window,
                  QStringLiteral("Die SQL-Datei „%1“ (%2) auf der Datenbank „%3“ ausführen?")
                      .arg(name, Size(file.size()), database),
                  RunTitle, MessageButtons::RunCancel, MessageIcon::Question) != MessageAnswer::Run)
    return;
  m_folder = QFileInfo(path).absolutePath();

  JobProgress progress;
  progress.bytesTotal = file.size();
  ScriptOutcome outcome;
  const QString running =
      QStringLiteral("„%1“ wird auf der Datenbank „%2“ ausgeführt ...").arg(name, database);
  WithProgressWindow(RunTitle, running, progress, FileRunFigures,
                     [&] { outcome = RunScript(m_session, running, database, file, progress); });
  m_lists.RefreshLists();
  if (!outcome.databaseSelected) {
    ShowMessage(m_window, QStringLiteral("Konnte Datenbank nicht auswählen"), outcome.reply.error);
    return;
  }
  if (const QString failure = FileRunFailure(outcome, file); !failure.isEmpty())
    ShowMessage(m_window, failure);
}
