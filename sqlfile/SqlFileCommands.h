// The schema as SQL: "Struktur exportieren..." writes a database's structure
// (or a table's) to an SQL file; "SQL-Datei ausführen..." runs an SQL file
// against a database. Both run on the connection's thread with a progress
// window, and the main window's lists are read afresh afterwards.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QMenu;
class QWidget;
class ServerSession;

// What the commands need of the main window.
struct SqlFileHost {
  ServerSession &session;
  QWidget *window;
  std::function<bool()> connectedOrSaySo; // says so when not connected
  std::function<void()> refreshLists;     // all lists afresh, the selection kept
};

class SqlFileCommands {
public:
  explicit SqlFileCommands(SqlFileHost host) : m_host(std::move(host)) {}

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
  void refresh();
  SqlFileHost m_host;
  QString m_folder; // where the last file was chosen
};
