// What the commands of the main window share: the session, the three lists
// and the window their messages belong to, and the steps that open and
// close every command: the selections it needs and the connection (guard),
// the question (confirm), the statement with its check (send), and the
// lists rebuilt afterwards (relist, through SchemaLists).
#pragma once

#include "clientlib/SqlText.h"
#include "clientlib/Statements.h"
#include "commands/SchemaLists.h"

#include <QString>

#include <optional>

class QWidget;
class ServerSession;

// Whether connected; if not, says that a command needs a connection.
bool ConnectedOrSaySo(const ServerSession &session, QWidget *window);

class Command {
public:
  Command(ServerSession &session, SchemaLists &lists, QWidget *window);

protected:
  using Selection = SchemaLists::Selection;

  // What a command needs selected: the rows to the left of it as well.
  enum class Needs { Nothing, Database, Table, Field };
  // Whether a command without a connection says so or ends silently.
  enum class WhenNotConnected { Say, Silent };
  // The selection, when the lists have what the command needs and the
  // program is connected; otherwise nothing. A missing selection ends the
  // command silently, before the connection is looked at.
  std::optional<Selection> Start(Needs needs,
                                 WhenNotConnected notConnected = WhenNotConnected::Say) const;

  // Asks with Yes, No and Cancel and the question icon; only Yes proceeds.
  bool Confirmed(const QString &question, const QString &title) const;

  // What a command checks just before it sends, in the same server call; if
  // the object is no longer the one the user saw, `otherwise` is shown and
  // nothing is sent.
  struct Check {
    StillAsShown still;
    QString otherwise;
  };
  // The check for a command on the selected table: its fields are still those
  // that the field list shows (while it shows none, the table is still there).
  Check TableAsShown(const Selection &selection) const;

  // Which lists a command rebuilds afterwards, and whether also when the
  // database could not be selected. The lists come in the request of the
  // statement when it succeeds; they are read afresh when the server refused
  // it or the object was no longer the one shown, and not at all when the
  // user cancelled the statement (nothing changed).
  struct Afterwards {
    ListingRequest lists;
    bool alsoWhenNotSelected = true;
  };
  // Selects the database, checks (in one request), sends the statement and
  // reads the lists (in the next), each only once the step before succeeded;
  // with nothing to check, all in one request.
  enum class Sent { NotSelected, Changed, Refused, Cancelled, Done };
  Sent SelectAndSend(const QString &database, const QString &statement, const QString &what,
                     const Check &check, const Afterwards &afterwards) const;
  // Tells what went wrong in a send and rebuilds the lists, as SelectAndSend does.
  Sent Report(const CheckedSend &replies, const Check &check, const Afterwards &afterwards) const;
  // Asks (Confirmed), then sends the statement on the selected table once the
  // table is still as shown; false when the user did not answer Yes. The
  // check reads the field list before the question is shown.
  bool AskAndSendOnTable(const Selection &selection, const QString &question, const QString &title,
                         const QString &statement, const QString &what,
                         const ListingRequest &afterwards) const;
  // Escapes a value for a string literal as the live connection's server reads it.
  LiteralEscaper Escaper() const;

  ServerSession &m_session;
  SchemaLists &m_lists;
  QWidget *m_window;
};
