// "Vergleichen mit...": the selected database against another database of
// the same connection, a database of another saved connection, or an SQL
// file; the result window shows what differs and the statements that make
// the one side equal to the other.
//
// The script changes the other database (B) when that is a database, and
// the selected database when the other side is a file: the file says how
// the database should be. A file is loaded into a temporary database on the
// same server, which is dropped again whatever happens. Both sides are read
// at the same time over two connections.
#pragma once

#include "commands/Command.h"
#include "common/BitBtnXP.h"
#include "connection/SavedConnections.h"

#include <QDialog>
#include <QStringList>

class ServerSession;
class QLabel;
class QLineEdit;
class QTabWidget;
class QTreeWidget;

// Asks what database A is compared with. `connections`, when given, are
// the saved connections offered besides; `server`, when given, names the
// server whose databases `others` are (then only they are offered).
class TCompareSourceForm : public QDialog {
  Q_OBJECT
public:
  enum class Source { Database, Connection, File };
  TCompareSourceForm(const QString &database, const QStringList &others,
                     const QList<SavedConnection> &connections, QWidget *parent,
                     const QString &server = {});

  QTabWidget *Sources;
  QTreeWidget *DatabaseList;
  QTreeWidget *ConnectionList; // null when none is offered
  QLineEdit *FileEd;           // null when no file is offered
  BitBtnXP *FileBtn;
  QLabel *HintLabel;
  BitBtnXP *OkBtn;
  BitBtnXP *CancelBtn;

  Source source() const;
  QString chosen() const;       // the database; empty while none is selected
  int chosenConnection() const; // -1 while none is selected
  QString chosenFile() const;

private:
  void update();
  QString m_database;
};

// Runs the command for `database` of `session`'s connection; `databases`
// are those the user can pick from (the database list). True when a
// statement was sent on that connection, so that the lists must be read
// again.
bool CompareWithOtherDatabase(QWidget *parent, ServerSession &session, const QString &database,
                              const QStringList &databases);

// "Vergleichen mit..." for the database selected in the lists; the lists are
// read afresh when the script changed a database of the connection.
class CompareCommand : public Command {
public:
  using Command::Command;
  void CompareWithOther();
};
