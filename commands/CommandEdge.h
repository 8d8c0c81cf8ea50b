// The edge of every command of the program's windows: one command at a
// time. A command runs from a user's action to its end, with the server
// calls, dialogs and message boxes in between; the window keeps running its
// events meanwhile, and the user's input is held back (common/WaitWindow.h),
// but an action can still arrive: through the accessibility interface (a
// screen reader or voice control pressing a button), or from a signal of
// the system. Such an action is refused while a command runs, except those
// that end something ("Trennen", "Ende", closing a window): they end the
// running command first (its statement is ended on the server, no later
// call is sent) and happen once it has unwound.
//
// The edge also catches what ends a command early: a lost connection (said
// once, through connectionLost, after the command has unwound) and a call
// given up because the command was ended.
#pragma once

#include "clientlib/ServerSession.h"
#include "common/Interaction.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

class CommandEdge : public QObject {
public:
  explicit CommandEdge(ServerSession &session) : m_session(session) {}
  CommandEdge(const CommandEdge &) = delete;
  CommandEdge &operator=(const CommandEdge &) = delete;

  // Whether a command is under way (or a server call of code outside the
  // edge is waited for).
  bool running() const { return m_depth > 0 || m_session.busy(); }

  // Runs `handler` as a command, unless one is under way: then nothing runs
  // and the program beeps. Returns whether it ran.
  template <typename Handler> bool run(QWidget *parent, Handler &&handler) {
    if (running()) {
      Refuse();
      return false;
    }
    enter();
    RunHandler(parent, [&] {
      try {
        handler();
      } catch (const ConnectionLost &lost) {
        m_lost = lost.error;
      } catch (const CallInterrupted &) {
        // the command was ended on purpose; what ended it follows
      }
    });
    leave(parent);
    return true;
  }

  // Runs `action` as a command once none is under way: at once when none
  // is, otherwise after the running one has unwound.
  void later(QWidget *parent, std::function<void()> action);
  // The same, and ends the running command first: the statement it waits
  // for is ended on the server, and no later call of it is sent.
  void endCommandThen(QWidget *parent, std::function<void()> action);

  // Said once after a command found the connection gone (the session has
  // closed it); `error` is the client library's text. Runs as a command.
  std::function<void(const QString &error)> connectionLost;

private:
  static void Refuse();
  // A command starts with its calls allowed: ending a command ends that one.
  void enter() {
    if (m_depth++ == 0)
      m_session.allowCalls();
  }
  // Leaves a command; the outermost one then runs what waited for it.
  void leave(QWidget *parent);

  ServerSession &m_session;
  int m_depth = 0;
  std::optional<QString> m_lost;
  std::vector<std::pair<QPointer<QWidget>, std::function<void()>>> m_waiting;
};
