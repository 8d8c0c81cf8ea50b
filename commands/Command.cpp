#include "commands/Command.h"

#include "clientlib/ServerSession.h"
#include "common/Interaction.h"

bool ConnectedOrSaySo(const ServerSession &session, QWidget *window) {
  if (session.connected())
    return true;
  ShowMessage(window, QStringLiteral("Sie müssen mit der MySQL Server verbunden sein!"));
  return false;
}

Command::Command(ServerSession &session, SchemaLists &lists, QWidget *window)
    : m_session(session), m_lists(lists), m_window(window) {}

std::optional<Command::Selection> Command::Start(Needs needs, WhenNotConnected notConnected) const {
  const Selection s = m_lists.CurrentSelection();
  if ((needs >= Needs::Database && s.database < 0) || (needs >= Needs::Table && s.table < 0) ||
      (needs >= Needs::Field && s.field < 0))
    return std::nullopt;
  if (notConnected == WhenNotConnected::Silent ? !m_session.connected()
                                               : !ConnectedOrSaySo(m_session, m_window))
    return std::nullopt;
  return s;
}

bool Command::Confirmed(const QString &question, const QString &title) const {
  return ShowMessage(m_window, question, title, MessageButtons::YesNoCancel,
                     MessageIcon::Question) == MessageAnswer::Yes;
}

Command::Check Command::TableAsShown(const Selection &s) const {
  return {TableFieldsStill{s.tableName, m_lists.ShownFields()},
          QStringLiteral("Die Tabelle „%1“ ist nicht mehr die angezeigte: sie wurde "
                         "inzwischen geändert, umbenannt oder gelöscht. Es wurde nichts "
                         "gesendet; die Listen werden neu gelesen.")
              .arg(s.tableName)};
}

bool Command::SelectDatabase(const QString &name) const {
  const ServerReply reply = ::SelectDatabase(m_session, name);
  if (reply.ok)
    return true;
  ShowMessage(m_window, QStringLiteral("Konnte Datenbank nicht auswählen"), reply.error);
  return false;
}

bool Command::SendStatement(const QString &statement, const QString &what) const {
  const ServerReply reply = ::SendStatement(m_session, what, statement);
  if (reply.ok)
    return true;
  ShowMessage(m_window, reply.error);
  return false;
}

Command::Sent Command::SelectAndSend(const QString &database, const QString &statement,
                                     const QString &what, const Check &check) const {
  const CheckedSend replies = SelectCheckAndSend(m_session, what, database, statement, check.still);
  if (!replies.select.ok) {
    ShowMessage(m_window, QStringLiteral("Konnte Datenbank nicht auswählen"), replies.select.error);
    return Sent::NotSelected;
  }
  if (!replies.holds) {
    ShowMessage(m_window, check.otherwise);
    return Sent::Changed;
  }
  if (!replies.send.ok) {
    ShowMessage(m_window, replies.send.error);
    return Sent::Refused;
  }
  return Sent::Done;
}

bool Command::AskAndSendOnTable(const Selection &s, const QString &question, const QString &title,
                                const QString &statement, const QString &what) const {
  const Check check = TableAsShown(s);
  if (!Confirmed(question, title))
    return false;
  SelectAndSend(s.databaseName, statement, what, check);
  return true;
}

LiteralEscaper Command::Escaper() const {
  return [&session = m_session](const QString &value) { return session.escape(value); };
}
