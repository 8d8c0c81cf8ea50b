// "Vergleichen mit...": the selected database (A) against another database
// (B) of the same connection, which the user picks; the result window shows
// what differs and the statements that make B equal to A.
#pragma once

#include "commands/Command.h"
#include "common/BitBtnXP.h"

#include <QDialog>
#include <QStringList>

class ServerSession;
class QTreeWidget;

// Asks which database A is compared with.
class TCompareSourceForm : public QDialog {
  Q_OBJECT
public:
  TCompareSourceForm(const QString &database, const QStringList &others, QWidget *parent);

  QTreeWidget *DatabaseList;
  BitBtnXP *OkBtn;
  BitBtnXP *CancelBtn;

  QString chosen() const; // empty while none is selected
};

// Runs the command for `database`; `databases` are those the user can pick
// from (the database list). True when a statement was sent, so that the
// lists must be read again.
bool CompareWithOtherDatabase(QWidget *parent, ServerSession &session, const QString &database,
                              const QStringList &databases);

// "Vergleichen mit..." for the database selected in the lists; the lists are
// read afresh when the script changed the other database.
class CompareCommand : public Command {
public:
  using Command::Command;
  void CompareWithOther();
};
