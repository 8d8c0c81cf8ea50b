// The schema as SQL: "Struktur exportieren..." writes a database's structure
// (or a table's) to an SQL file; "SQL-Datei ausführen..." runs an SQL file
// against a database. Both run on the connection's thread with a progress
// window, and the main window's lists are read afresh afterwards.
#pragma once

#include "commands/Command.h"
#include "sqlfile/ProgressWindow.h"

#include <QString>
#include <QStringList>

class CommandEdge;
class QMenu;
class ScriptFile;
struct ScriptOutcome;

// The figures of a file's run: bytes and statements done, time left.
ProgressView FileRunFigures(const JobProgress &p, qint64 elapsedMs);
// What the user is told of a file's run that did not complete (stopped, a
// statement refused, the file unreadable): which statement, and how many
// ran; empty when it completed.
QString FileRunFailure(const ScriptOutcome &outcome, const ScriptFile &file);

class SqlFileCommands : public Command {
public:
  // The menu entries run their commands at `edge`.
  SqlFileCommands(ServerSession &session, SchemaLists &lists, CommandEdge &edge, QWidget *window)
      : Command(session, lists, window), m_edge(edge) {}

  // The entries of the database list's context menu, for `database`.
  void addDatabaseEntries(QMenu &menu, const QString &database);
  // The entries of the table list's context menu, for the selected tables.
  void addTableEntries(QMenu &menu, const QString &database, const QStringList &tables);

  // "Struktur exportieren...": all of the database, or only `tables`.
  void ExportStructure(const QString &database, const QStringList &tables = {});
  // "SQL-Datei ausführen...": asks for the file, then runs it against `database`.
  void RunFile(const QString &database);
  // Runs the file at `path` against `database`, after asking.
  void RunFile(const QString &database, const QString &path);

private:
  CommandEdge &m_edge;
  QString m_folder; // where the last file was chosen
};
